#include "commands.h"
#include "csv.h"
#include "plot.h"
#include "run_files.h"

namespace brownian::lab {

namespace {

PlotInput plotInput(const LabOptions &o, const Recorder &recorder, std::int64_t subSteps,
    const std::vector<MsdPoint> &msd, const std::vector<SpeedBin> &speeds)
{
    PlotInput in;
    in.unbounded = o.unbounded;
    in.numSide = o.numSide;
    in.size = o.size;
    in.speed = o.speed;
    in.locus = o.locus;
    in.ticks = o.ticks;
    in.subSteps = subSteps;
    fillPlotData(in, msd, *recorder.speeds(), speeds, o.particles());
    return in;
}

} // namespace

int writeOutputs(const LabOptions &o, const ModPar &state, const Recorder &recorder,
    std::int64_t subSteps, ImageSurface *pathPicture, RunFiles &files)
{
    std::unique_ptr<ImageSurface> frame;
    if (!o.framePng.empty()) {
        frame = makeFrameBuffer(o.dpi);
        frame->setFillStyle(FillStyle::Solid);
        try {
            drawFrame(state, *frame);
        } catch (const RuntimeFault &fault) {
            printError("simulation fault while drawing the frame: " + faultText(fault));
            return kExitFault;
        }
    }
    std::vector<MsdPoint> msd;
    if (recorder.msd())
        msd = recorder.msd()->result();
    std::vector<SpeedBin> speeds;
    if (recorder.speeds())
        speeds = recorder.speeds()->result(o.bins);

    if (OutputFile *f = files.find("--state-out")) {
        std::string text(kStateHeader);
        text += '\n';
        appendStateRows(text, state);
        f->write(text);
    }
    if (OutputFile *f = files.find("--msd-out"))
        f->write(msdCsv(msd));
    if (OutputFile *f = files.find("--speeds-out"))
        f->write(speedsCsv(speeds));
    if (OutputFile *f = files.find("--path-png"))
        f->write(encodePng(pathPicture->image()));
    if (OutputFile *f = files.find("--frame-png"))
        f->write(encodePng(frame->image()));
    if (OutputFile *f = files.find("--plot"))
        f->write(encodePng(renderPlot(plotInput(o, recorder, subSteps, msd, speeds), o.dpi)));
    return files.commitAll(o);
}

} // namespace brownian::lab
