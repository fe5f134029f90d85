// The Python module `brownian`: the simulation of the program and the lab, its analysis and its
// pictures, for notebooks and scripts.
#include "analysis/analysis.h"
#include "lab/progress.h"
#include "session.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

namespace py = pybind11;
using namespace pybind11::literals;

namespace brownian::python {

namespace {

using Clock = std::chrono::steady_clock;
/// The longest stretch of ticks run without Python's lock: Ctrl-C and the other Python threads
/// get their turn at least this often, between two ticks.
constexpr auto kUnlockedStretch = std::chrono::milliseconds(20);
/// Progress lines at most this often.
constexpr auto kProgressEvery = std::chrono::milliseconds(200);

/// The text of a whole number given as any Python integer (int, NumPy integers, bool).
std::string wholeText(py::handle value, const char *keyword)
{
    PyObject *index = PyNumber_Index(value.ptr());
    if (!index) {
        PyErr_Clear();
        throw py::type_error(std::string(keyword) + ": expected a whole number, got "
            + py::str(py::type::handle_of(value).attr("__name__")).cast<std::string>());
    }
    return py::str(py::reinterpret_steal<py::object>(index));
}

std::optional<std::string> optionalWholeText(py::handle value, const char *keyword)
{
    if (value.is_none())
        return std::nullopt;
    return wholeText(value, keyword);
}

/// The Python object `Simulation`: a session and whether a run is going on (in some thread).
class PySimulation
{
public:
    PySimulation(const lab::LabOptions &options, int threads,
        const std::optional<std::vector<lab::StateRow>> &rows)
        : m_session(options, threads, rows)
    {
    }

    /// The session while no run is going on: one thread uses a simulation at a time.
    Session &idle()
    {
        if (m_running)
            throw std::runtime_error("the simulation is running (run() in another thread)");
        return m_session;
    }
    Session &session() { return m_session; }
    bool running() const { return m_running; }

    /// Runs `ticks` ticks without Python's lock, taking it back after each stretch to let
    /// Ctrl-C (KeyboardInterrupt) and the progress line in. An interrupted run stops after a
    /// whole tick: the state and the counts are those of that tick.
    void run(std::int64_t ticks, bool progress)
    {
        Session &session = idle();
        session.beginRun();
        m_running = true;
        struct Finish
        {
            PySimulation &self;
            ~Finish()
            {
                self.m_running = false;
                self.m_session.endRun();
            }
        } finish { *this };
        const auto start = Clock::now();
        auto shown = start;
        std::int64_t done = 0;
        while (done < ticks) {
            {
                py::gil_scoped_release unlocked;
                const auto until = Clock::now() + kUnlockedStretch;
                do {
                    session.tick();
                    ++done;
                } while (done < ticks && Clock::now() < until);
            }
            if (PyErr_CheckSignals() != 0)
                throw py::error_already_set();
            const auto now = Clock::now();
            if (progress && (now - shown >= kProgressEvery || done == ticks)) {
                shown = now;
                const double elapsed = std::chrono::duration<double>(now - start).count();
                const std::string line = lab::Progress::line(done, ticks, elapsed, 30);
                py::module_::import("sys").attr("stderr").attr("write")(
                    "\r" + line + (done == ticks ? "\n" : ""));
            }
        }
    }

private:
    Session m_session;
    bool m_running = false;
};

/// A read-only NumPy view of one of the state's arrays, which keeps `owner` alive.
py::array_t<float> stateView(py::object owner, const SingleArray &values)
{
    py::array_t<float> view(values.size(), values.data(), owner);
    view.attr("setflags")("write"_a = false);
    return view;
}

/// The view of one of the state's arrays, for the Simulation's properties.
template <SingleArray ModPar::*Column> py::array_t<float> stateColumn(py::object self)
{
    return stateView(self, self.cast<PySimulation &>().session().state().*Column);
}

template <typename T> py::array_t<T> arrayOf(const std::vector<T> &values)
{
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

py::array_t<std::uint8_t> rgbArray(const QImage &rgb32)
{
    const QImage rgb = rgb32.convertToFormat(QImage::Format_RGB888);
    py::array_t<std::uint8_t> out({ rgb.height(), rgb.width(), 3 });
    auto *to = out.mutable_data();
    for (int row = 0; row < rgb.height(); ++row, to += 3 * rgb.width())
        std::copy_n(rgb.constScanLine(row), 3 * rgb.width(), to);
    return out;
}

PySimulation *makeSimulation(py::handle mode, py::handle numSide, py::handle size, py::handle speed,
    py::handle locus, py::handle seed, py::handle threads, py::handle state)
{
    if (!py::isinstance<py::str>(mode))
        throw py::type_error("mode: expected 'bounded' or 'unbounded'");
    SettingsText text;
    text.mode = mode.cast<std::string>();
    text.numSide = wholeText(numSide, "num_side");
    text.size = wholeText(size, "size");
    text.speed = wholeText(speed, "speed");
    text.locus = optionalWholeText(locus, "locus");
    text.seed = optionalWholeText(seed, "seed");
    text.threads = optionalWholeText(threads, "threads");
    const lab::LabOptions options = checkSettings(text);
    const int threadCount = checkThreads(text.threads);
    std::optional<std::vector<lab::StateRow>> rows;
    if (py::isinstance<py::str>(state)) {
        rows = readStateText(state.cast<std::string>(), options, "state");
    } else if (!state.is_none()) {
        const py::object path = py::module_::import("os").attr("fspath")(state);
        const py::bytes bytes =
            py::module_::import("pathlib").attr("Path")(path).attr("read_bytes")();
        rows = readStateText(bytes, options, py::str(path));
    }
    return new PySimulation(options, threadCount, rows);
}

py::object fitObject(const std::vector<MsdPoint> &points)
{
    const auto fit = fitDiffusion(points);
    if (!fit)
        return py::none();
    return py::module_::import("types").attr("SimpleNamespace")("D"_a = fit->coefficient,
        "intercept"_a = fit->intercept, "from_lag"_a = fit->fromLag, "to_lag"_a = fit->toLag);
}

/// A recorder attached to a simulation: its sampler, and the simulation's Python object.
struct Recorder
{
    Recorder(py::object simulation, bool msd, bool speeds)
        : owner(simulation)
        , sampler(simulationOf(simulation).idle().attachSampler(msd, speeds))
    {
    }
    static PySimulation &simulationOf(py::handle simulation)
    {
        if (!py::isinstance<PySimulation>(simulation))
            throw py::type_error("simulation: expected a brownian.Simulation");
        return simulation.cast<PySimulation &>();
    }
    /// The sampler while its simulation runs no ticks.
    const MotionSampler &idle() const
    {
        owner.cast<PySimulation &>().idle();
        return *sampler;
    }
    py::object owner;
    std::shared_ptr<MotionSampler> sampler;
};
struct MsdRecorder : Recorder
{
    explicit MsdRecorder(py::object simulation)
        : Recorder(simulation, true, false)
    {
    }
};
struct SpeedRecorder : Recorder
{
    explicit SpeedRecorder(py::object simulation)
        : Recorder(simulation, false, true)
    {
    }
};

const char *kSimulationDoc =
    R"(A simulation of equal hard discs, set up and placed as `brownian-lab run` does it.

mode: "bounded" (walls round the box 0..5000 twips) or "unbounded" (the field wraps round at
-500 and 5500); num_side: particles per side of the start grid (1..181, N = num_side**2); size:
the particles' diameter in twips (1..32767); speed: sub-steps per tick (0..32767); locus: the
tracked particle (None: the centre one); seed: the random start (None: the program's fixed
start); threads: worker threads for the pair passes (1..256, None: the processor count). The
results never depend on the threads. A bad value raises ValueError and nothing is made.)";

} // namespace

} // namespace brownian::python

using namespace brownian;
using namespace brownian::python;

PYBIND11_MODULE(brownian, m)
{
    m.doc() = "The Brownian-motion simulator's hard-disc simulation and its analysis: the same "
              "bits as the program and brownian-lab.";

    static py::exception<FaultError> fault(m, "SimulationFault", PyExc_RuntimeError);
    fault.doc() = "A fault of the simulation (16-bit overflow, index out of range, floating-point "
                  "fault). The simulation keeps the state the faulty sub-step left and runs no "
                  "further.";
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p)
                std::rethrow_exception(p);
        } catch (const SettingsError &e) {
            PyErr_SetString(PyExc_ValueError, e.what());
        } catch (const OutputError &e) {
            PyErr_SetString(PyExc_OSError, e.what());
        } catch (const FaultError &e) {
            fault(e.what());
        }
    });

    py::class_<PySimulation> simulation(m, "Simulation", kSimulationDoc);
    simulation
        .def(py::init([](py::handle mode, py::handle numSide, py::handle size, py::handle speed,
                          py::handle locus, py::handle seed, py::handle threads) {
            return makeSimulation(mode, numSide, size, speed, locus, seed, threads, py::none());
        }),
            "mode"_a = "bounded", "num_side"_a = 5, "size"_a = 400, "speed"_a = 3,
            "locus"_a = py::none(), "seed"_a = py::none(), "threads"_a = py::none())
        .def_static(
            "from_state",
            [](py::handle state, py::handle mode, py::handle numSide, py::handle size,
                py::handle speed, py::handle locus, py::handle threads) {
                if (state.is_none())
                    throw py::type_error("state: expected the text of a state file or a path");
                return makeSimulation(
                    mode, numSide, size, speed, locus, py::none(), threads, state);
            },
            "state"_a, "mode"_a = "bounded", "num_side"_a = 5, "size"_a = 400, "speed"_a = 3,
            "locus"_a = py::none(), "threads"_a = py::none(),
            "A simulation starting from a state file, as `brownian-lab run --state-in` does: "
            "`state` is the file's text (str) or its path (os.PathLike), with the header "
            "i,x,y,vx,vy and one row per particle.")
        .def(
            "run",
            [](PySimulation &self, py::handle ticks, bool progress) {
                self.run(checkTicks(wholeText(ticks, "ticks")), progress);
            },
            "ticks"_a, "progress"_a = false,
            "Runs `ticks` ticks, each the window's tick of `speed` sub-steps. Ctrl-C stops the "
            "run after a whole tick with KeyboardInterrupt. A fault raises SimulationFault. "
            "progress: a progress line on sys.stderr.")
        .def_property_readonly("x", &stateColumn<&ModPar::ParX>,
            "The particles' x, twips: a read-only float32 view of the state.")
        .def_property_readonly("y", &stateColumn<&ModPar::ParY>,
            "The particles' y, twips (downward): a read-only float32 view of the state.")
        .def_property_readonly("vx", &stateColumn<&ModPar::ParVX>,
            "The particles' x velocity, twips per sub-step: a read-only float32 view.")
        .def_property_readonly("vy", &stateColumn<&ModPar::ParVY>,
            "The particles' y velocity, twips per sub-step: a read-only float32 view.")
        .def(
            "unwrapped",
            [](PySimulation &self) {
                const Session &s = self.idle();
                return py::make_tuple(arrayOf(s.unwrappedX()), arrayOf(s.unwrappedY()));
            },
            "The unwrapped positions (ux, uy), float64 twips: the start plus every move, "
            "never wrapped round (as the lab's --trace-out).")
        .def(
            "state", [](PySimulation &self) { return self.idle().stateText(); },
            "The text of `brownian-lab run --state-out`: i,x,y,vx,vy, one row per particle.")
        .def_property_readonly(
            "tick", [](PySimulation &self) { return self.idle().ticks(); }, "Ticks run so far.")
        .def_property_readonly(
            "sub_steps", [](PySimulation &self) { return self.idle().subSteps(); },
            "Sub-steps run so far.")
        .def_property_readonly(
            "kinetic_energy",
            [](PySimulation &self) { return stateTotals(self.idle().state()).kineticEnergy; },
            "Σ (vx² + vy²) / 2, twips² per sub-step² (unit mass).")
        .def_property_readonly(
            "momentum",
            [](PySimulation &self) {
                const Totals t = stateTotals(self.idle().state());
                return py::make_tuple(t.momentumX, t.momentumY);
            },
            "(Σ vx, Σ vy), twips per sub-step.")
        .def_property_readonly(
            "packing_fraction",
            [](PySimulation &self) {
                const lab::LabOptions &o = self.session().options();
                return fieldPackingFraction(o.unbounded, o.numSide, o.size);
            },
            "N π (size/2)² over the box (bounded) or the field (unbounded).")
        .def_property_readonly("mode",
            [](PySimulation &self) {
                return self.session().options().unbounded ? "unbounded" : "bounded";
            })
        .def_property_readonly(
            "num_side", [](PySimulation &self) { return self.session().options().numSide; })
        .def_property_readonly(
            "particles", [](PySimulation &self) { return self.session().options().particles(); })
        .def_property_readonly(
            "size", [](PySimulation &self) { return self.session().options().size; })
        .def_property_readonly(
            "speed", [](PySimulation &self) { return self.session().options().speed; })
        .def_property_readonly(
            "locus", [](PySimulation &self) { return self.session().options().locus; })
        .def_property_readonly(
            "seed", [](PySimulation &self) { return self.session().options().seed; })
        .def_property_readonly(
            "threads", [](PySimulation &self) { return self.session().threads(); })
        .def(
            "frame_png",
            [](PySimulation &self, const std::filesystem::path &path, py::handle dpi) {
                const int checked = checkDpi(wholeText(dpi, "dpi"));
                writeFile(path.string(), pngBytes(self.idle().frameImage(checked)));
            },
            "path"_a, "dpi"_a = 96, "Writes the frame as `brownian-lab run --frame-png` does.")
        .def(
            "path_png",
            [](PySimulation &self, const std::filesystem::path &path) {
                writeFile(path.string(), pngBytes(self.idle().pathImage()));
            },
            "path"_a,
            "Writes the tracked particle's path since the placement as `brownian-lab run "
            "--path-png` does (96 dpi).")
        .def(
            "frame_image",
            [](PySimulation &self, py::handle dpi) {
                return rgbArray(self.idle().frameImage(checkDpi(wholeText(dpi, "dpi"))));
            },
            "dpi"_a = 96, "The frame as an RGB uint8 array (height, width, 3) for imshow.")
        .def(
            "path_image", [](PySimulation &self) { return rgbArray(self.idle().pathImage()); },
            "The path picture as an RGB uint8 array (height, width, 3) for imshow.")
        .def("__repr__", [](PySimulation &self) {
            const lab::LabOptions &o = self.session().options();
            return "<brownian.Simulation " + std::string(o.unbounded ? "unbounded" : "bounded")
                + " num_side=" + std::to_string(o.numSide) + " size=" + std::to_string(o.size)
                + " speed=" + std::to_string(o.speed) + " tick="
                + (self.running() ? std::string("(running)")
                                  : std::to_string(self.session().ticks()))
                + ">";
        });

    py::class_<MsdRecorder>(m, "MsdRecorder",
        "The mean squared displacement of a simulation's particles from now on (from the "
        "centre of mass on the torus): a multiple-tau correlator fed after every sub-step, as "
        "`brownian-lab run --msd-out` measures it.")
        .def(py::init<py::object>(), "simulation"_a)
        .def_property_readonly(
            "samples", [](const MsdRecorder &r) { return r.idle().msd()->samples(); },
            "Positions taken (the start and every sub-step since).")
        .def_property_readonly(
            "lags",
            [](const MsdRecorder &r) {
                std::vector<std::int64_t> lags;
                for (const MsdPoint &p : r.idle().msd()->result())
                    lags.push_back(p.lag);
                return arrayOf(lags);
            },
            "Lags in sub-steps (int64), as the lab's msd.csv.")
        .def_property_readonly(
            "msd",
            [](const MsdRecorder &r) {
                std::vector<double> msd;
                for (const MsdPoint &p : r.idle().msd()->result())
                    msd.push_back(p.msd);
                return arrayOf(msd);
            },
            "MSD at each lag, twips² (float64).")
        .def(
            "fit_diffusion",
            [](const MsdRecorder &r) { return fitObject(r.idle().msd()->result()); },
            "MSD = 4 D lag + intercept fitted over the longest diffusive stretch, as the lab "
            "fits it: an object with D (twips² per sub-step), intercept, from_lag and to_lag, "
            "or None when there is no such stretch yet.");

    py::class_<SpeedRecorder>(m, "SpeedHistogram",
        "The time-averaged histogram of the particles' speeds from now on (relative to the "
        "centre of mass on the torus), as `brownian-lab run --speeds-out` counts it.")
        .def(py::init<py::object>(), "simulation"_a)
        .def_property_readonly(
            "samples", [](const SpeedRecorder &r) { return r.idle().speeds()->samples(); })
        .def_property_readonly(
            "mean_sum_squares",
            [](const SpeedRecorder &r) { return r.idle().speeds()->meanSumSquares(); },
            "Σ speed² averaged over the samples.")
        .def(
            "bins",
            [](const SpeedRecorder &r, py::handle bins) {
                const int count = checkBins(wholeText(bins, "bins"));
                std::vector<double> low, high, expected;
                std::vector<std::uint64_t> counts;
                for (const SpeedBin &b : r.idle().speeds()->result(count)) {
                    low.push_back(b.low);
                    high.push_back(b.high);
                    counts.push_back(b.count);
                    expected.push_back(b.expected);
                }
                return py::module_::import("types").attr("SimpleNamespace")("low"_a = arrayOf(low),
                    "high"_a = arrayOf(high), "count"_a = arrayOf(counts),
                    "expected"_a = arrayOf(expected));
            },
            "bins"_a = 30,
            "At most `bins` bins (1..1000), as the lab's speeds.csv: arrays low, high (twips per "
            "sub-step), count, and expected (the count the N-particle distribution expects).");

    m.def("expected_speed_cdf", py::vectorize(expectedSpeedCdf), "speed"_a, "particles"_a,
        "sum_squares"_a, "torus"_a,
        "The distribution function of one particle's speed for N particles of fixed energy "
        "Σ v² (and fixed momentum on the torus, speeds relative to the centre of mass).");
    m.def("speed_support", speedSupport, "particles"_a, "sum_squares"_a, "torus"_a,
        "The largest speed that distribution allows.");
    m.def("enskog_diffusion", py::vectorize([](double packingFraction, double kT, double size) {
        // The density from η = n π σ² / 4; the lab's merge takes it from the run's settings.
        const double density = packingFraction / (std::numbers::pi * size * size / 4.0);
        return enskogDiffusion(density, size, packingFraction, kT);
    }),
        "packing_fraction"_a, "kT"_a, "size"_a,
        "The Enskog self-diffusion coefficient of hard discs of diameter `size` (twips) at "
        "`packing_fraction`, for kT/m = `kT` in twips² per sub-step²: twips² per sub-step, the "
        "unit of fit_diffusion().D.");
    m.def(
        "fit_diffusion",
        [](const std::vector<std::int64_t> &lags, const std::vector<double> &msd) {
            if (lags.size() != msd.size())
                throw SettingsError("fit_diffusion: lags and msd differ in length");
            std::vector<MsdPoint> points;
            for (std::size_t i = 0; i < lags.size(); ++i)
                points.push_back({ lags[i], msd[i] });
            return fitObject(points);
        },
        "lags"_a, "msd"_a, "The lab's diffusion fit of any MSD (an average over runs, say).");
}
