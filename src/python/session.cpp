#include "session.h"

#include "lab/commands.h"
#include "lab/csv.h"
#include "lab/output.h"
#include "lab/recorder.h"
#include "model/geometry.h"

#include <cctype>
#include <charconv>

namespace brownian::python {

namespace {

/// The lab's option names and the keywords that stand for them in Python.
constexpr std::pair<std::string_view, std::string_view> kKeywords[] = {
    { "--mode", "mode" },
    { "--num-side", "num_side" },
    { "--size", "size" },
    { "--speed", "speed" },
    { "--locus", "locus" },
    { "--seed", "seed" },
    { "--ticks", "ticks" },
    { "--dpi", "dpi" },
    { "--bins", "bins" },
};

/// The lab's message with every option named by its keyword ("--num-side" but not a longer
/// name such as "--speeds-out").
std::string withKeywords(std::string message)
{
    const auto partOfName = [&](std::size_t at) {
        return at < message.size()
            && (std::isalnum(static_cast<unsigned char>(message[at])) || message[at] == '-');
    };
    for (const auto &[option, keyword] : kKeywords) {
        for (auto at = message.find(option); at != std::string::npos;
             at = message.find(option, at + 1)) {
            if (!partOfName(at + option.size()))
                message.replace(at, option.size(), keyword);
        }
    }
    return message;
}

/// Checks `options` (each "--name=value") with the lab's parser as a `run` would.
lab::LabOptions checkWithLab(std::vector<std::string> options)
{
    options.insert(options.begin(), "run");
    lab::ParseResult parsed = lab::parseArguments(options);
    if (!parsed.ok())
        throw SettingsError(withKeywords(parsed.error));
    return parsed.options;
}

/// A copy of a surface's image that outlives the surface, in the format the lab saves.
QImage detached(const QImage &image)
{
    return image.copy().convertToFormat(QImage::Format_RGB32);
}

Simulation placedSimulation(
    const lab::LabOptions &o, int threads, const std::optional<std::vector<lab::StateRow>> &rows)
{
    Simulation simulation(ModPar {}, threads);
    try {
        lab::placeParticles(simulation.state(), o, rows);
    } catch (const RuntimeFault &fault) {
        throw FaultError("simulation fault in the placement (InitPar): " + lab::faultText(fault));
    }
    return simulation;
}

} // namespace

lab::LabOptions checkSettings(const SettingsText &s)
{
    std::vector<std::string> args { "--mode=" + s.mode, "--num-side=" + s.numSide,
        "--size=" + s.size, "--speed=" + s.speed };
    if (s.locus)
        args.push_back("--locus=" + *s.locus);
    if (s.seed)
        args.push_back("--seed=" + *s.seed);
    return checkWithLab(args);
}

int checkThreads(const std::optional<std::string> &threads)
{
    // The lab's own limits and default: the processor count.
    return checkWithLab(threads ? std::vector<std::string> { "--threads=" + *threads }
                                : std::vector<std::string> {})
        .threads;
}

std::int64_t checkTicks(const std::string &ticks)
{
    // The lab's parser costs about 0.1 ms, as much as a tick of a few hundred particles: the
    // counts within its limit pass without it; it words the message for the others.
    std::int64_t value = 0;
    const char *end = ticks.data() + ticks.size();
    const auto [last, ec] = std::from_chars(ticks.data(), end, value);
    if (ec == std::errc() && last == end && value >= 0 && value <= lab::kMaxTicks)
        return value;
    return checkWithLab({ "--ticks=" + ticks }).ticks;
}

int checkDpi(const std::string &dpi)
{
    return checkWithLab({ "--dpi=" + dpi, "--frame-png=-" }).dpi;
}

int checkBins(const std::string &bins)
{
    return checkWithLab({ "--bins=" + bins, "--speeds-out=-" }).bins;
}

std::vector<lab::StateRow> readStateText(
    const std::string &text, const lab::LabOptions &o, const std::string &source)
{
    try {
        return lab::parseStateCsv(text, o.particles(), source);
    } catch (const lab::InputError &e) {
        throw SettingsError(e.what());
    }
}

Session::Session(const lab::LabOptions &options, int threads,
    const std::optional<std::vector<lab::StateRow>> &rows)
    : m_options(options)
    , m_simulation(placedSimulation(options, threads, rows))
    , m_path(pathPicture(96))
    , m_stepper(m_simulation, options.unbounded)
{
}

void Session::beginRun()
{
    if (m_fault)
        throw FaultError(*m_fault);
    auto &attached = m_sampling.attached;
    std::erase_if(attached, [](const auto &weak) { return weak.expired(); });
    for (const auto &weak : attached) {
        if (auto sampler = weak.lock())
            m_sampling.held.push_back(std::move(sampler));
    }
}

void Session::tick()
{
    TickCounters counters;
    try {
        m_stepper.tick(*m_path, counters, m_sampling.held.empty() ? nullptr : &m_sampling);
    } catch (const RuntimeFault &fault) {
        m_fault = "simulation fault at tick " + std::to_string(m_ticks + 1) + ", sub-step "
            + std::to_string(subSteps() + 1) + ": " + lab::faultText(fault);
        throw FaultError(*m_fault);
    }
    ++m_ticks;
}

void Session::endRun()
{
    m_sampling.held.clear();
}

void Session::Sampling::afterSubStep(const ModPar &state)
{
    for (const auto &sampler : held)
        sampler->sample(state, m_session.unwrappedX(), m_session.unwrappedY());
}

std::shared_ptr<MotionSampler> Session::attachSampler(bool msd, bool speeds)
{
    auto sampler =
        std::make_shared<MotionSampler>(state(), m_options.unbounded, msd, speeds, std::nullopt);
    sampler->sample(state(), unwrappedX(), unwrappedY());
    m_sampling.attached.push_back(sampler);
    return sampler;
}

std::string Session::stateText() const
{
    std::string text(lab::kStateHeader);
    text += '\n';
    lab::appendStateRows(text, state());
    return text;
}

QImage Session::frameImage(int dpi) const
{
    const auto frame = frameBuffer(dpi);
    frame->setFillStyle(FillStyle::Solid);
    try {
        drawFrame(state(), *frame);
    } catch (const RuntimeFault &fault) {
        throw FaultError("simulation fault while drawing the frame: " + lab::faultText(fault));
    }
    return detached(frame->image());
}

QImage Session::pathImage() const
{
    return detached(m_path->image());
}

void writeFile(const std::string &path, const std::string &bytes)
{
    lab::OutputFile file;
    // "-" is the lab's name for standard output; here it is a file of that name.
    const std::string target = path == "-" ? "./-" : path;
    std::string error = file.open(target);
    if (error.empty()) {
        file.write(bytes);
        error = file.commit();
    }
    if (!error.empty())
        throw OutputError(path + ": " + error);
}

} // namespace brownian::python
