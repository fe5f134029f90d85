// The text of --help: the prose here, the options from the table.
#include "option_table.h"

namespace brownian::lab {

namespace {

/// The options of the commands in `scope`, each "  --name VALUE" with its text from column 28.
std::string optionLines(unsigned scope)
{
    std::string text;
    const std::string indent(28, ' ');
    for (const detail::OptionRow &s : detail::optionRows()) {
        if (s.scope != scope || !*s.help)
            continue;
        using enum detail::Kind;
        const std::string values = s.values ? s.values : "";
        std::string usage = "  " + std::string(s.name)
            + (s.kind == Flag             ? values
                    : s.kind == List      ? " LIST"
                    : s.kind == SeedRange ? " A-B"
                                          : " " + values);
        usage += usage.size() + 2 > indent.size() ? "\n" + indent
                                                  : std::string(indent.size() - usage.size(), ' ');
        text += usage + detail::helpOf(s, indent) + "\n";
    }
    return text;
}

} // namespace

std::string helpText()
{
    return R"(brownian-lab: runs the Brownian-motion simulation of the program without windows.

Usage:
  brownian-lab run [OPTIONS]     simulate and write what is asked for
  brownian-lab bench [OPTIONS]   time ticks
  brownian-lab sweep [OPTIONS]   many runs over seeds and settings, each in its own folder
  brownian-lab merge DIR         the runs of a sweep averaged, with a figure
  brownian-lab --help            this text

Every command also takes --config FILE: settings from a TOML file, one 'name = value' a line
with the option's name without the dashes (size = 300, mode = "unbounded", msd-out =
"msd.csv"; a sweep's lists as arrays, size = [100, 200]; flags as true or false). An option on
the command line wins over the file; a setting the command does not know, a value of the wrong
type and a file that is not TOML are errors naming the file and line. A relative file name in
FILE is taken from FILE's folder.

Settings (run and bench), as in the program's state:
)" + optionLines(detail::ForRun | detail::ForBench)
        + R"(
Without --state-in the particles are placed as the program places them: defaults, then the
settings above, then InitPar(BoundMode x 1000). The settings dialog's limits are not enforced;
a fault they cause in the simulation is reported (exit status 3).

Outputs of run (FILE may be - for standard output, for one output at most):
)" + optionLines(detail::ForRun)
        + R"(
Mean squared displacement: every particle's unwrapped position is its start plus every move
(the velocity the move applied), summed in Double; in the unbounded mode the centre of mass's
motion is taken out. The average runs over all particles and over time origins. The lags go
from 1 up to half the run's sub-steps: 1 to 8, 10, 12 and 14, then 8, 10, 12 and 14 blocks of
2^k sub-steps for k = 1, 2, ... (about 13 per decade). A multiple-tau correlator keeps, per
particle and level k, the last 16 averages over blocks of 2^k sub-steps and measures the lags
of level k between them, with the spread of the positions within a block added back; memory
grows with the logarithm of the run's length.
The diffusion coefficient D comes from a straight-line fit MSD = 4 D lag + c over the longest
stretch of lags whose log-log slope lies within 1 +- 0.2; none is given without such a stretch.

Speeds: sampled at the start and after every sub-step, for all particles; in the unbounded
mode relative to the centre of mass's velocity. The expected counts use the finite-N
distribution at fixed energy (and, on the torus, fixed momentum), Scalas et al., Phys. Rev. E
92, 022140 (2015), with S the time-averaged sum of squared speeds:
  walls: F(v) = 1 - (1 - v²/S)^(N-1)
  torus: F(u) = 1 - (1 - u²/((1 - 1/N) S))^(N-2), S taken relative to the centre of mass

Options of bench:
)" + optionLines(detail::ForBench)
        + R"(bench places the particles, runs the warm-up ticks, then times R runs of T ticks, printing
one line per run, and ends with one line of key=value fields (the median run): us_per_tick=,
ticks_per_s=, pair_tests_per_s= and more. With --pairs both the fields are
us_per_tick_all=, us_per_tick_grid= and ratio= (the all-pairs time over the grid time, the
median over the runs), and a tick whose two results differ ends the bench with status 3.

Options of sweep (lists are comma-separated; the runs are their Cartesian product):
)" + optionLines(detail::ForSweep)
        + R"(The runs are numbered from 1 in this order: mode, then num-side, size, speed as listed, the
seed varying fastest. Each run folder gets its outputs and, last, run.toml, its manifest (see
--manifest); a run that fails leaves no manifest and makes sweep exit non-zero. A run with a
manifest and all its files is finished: the same sweep again skips it, so an interrupted sweep
resumes (and removes the temporary files a killed run left). A folder
holding runs of a different sweep is refused.

merge DIR reads every finished run under DIR (run-K/run.toml with its msd.csv and stats.csv),
groups the runs whose settings differ only in the seed, and writes
  DIR/summary.csv      mode,num_side,size,speed,ticks,packing_fraction,runs,D_mean,D_stderr,
                       D_enskog: one row a group, in the order of the runs; D in twips² per
                       sub-step from each run's fit, its mean and standard error over the runs
  DIR/summary-msd.csv  mode,num_side,size,speed,ticks,lag,msd_mean,msd_stderr: the averaged MSD
  DIR/summary.png      D against the packing fraction with error bars, beside the Enskog
                       prediction for hard disks, labelled in Japanese (--dpi D, default 96;
                       drawn at 300 dpi at most)
The packing fraction is N pi (size/2)² over the box (25 000 000 twips²) or the field
(36 000 000 twips², unbounded). The Enskog value is D = sqrt(kT/(pi m)) / (2 n size g),
Gass, J. Chem. Phys. 54, 1898 (1971), with n = N over the area, the contact value
g = (1 - 7 eta/16)/(1 - eta)² of Henderson, Mol. Phys. 30, 971 (1975), and kT/m the run's mean
kinetic energy per particle (relative to the centre of mass on the torus, per degree of
freedom pair) from stats.csv. A group without a diffusive fit gets an empty D, and a note.
Two runs with the same settings and seed (a copied run) and a finished run whose files are
missing are refused.

Output files appear whole or not at all: each is written to a temporary file beside it, and
the files of a run are renamed into place together once all of them have been written; a run
that fails or is interrupted leaves none of them. A symbolic link is followed and its target
replaced; a device or a named pipe (/dev/null, /dev/stdout, a FIFO) is written in place.
Nothing is written before the arguments and the input have been checked. A run longer than
about a second shows a progress bar on standard error when that is a terminal.

Exit status: 0 success; 1 an output (standard output included) could not be written, or a
run of a sweep failed; 2 bad arguments, or an unreadable or malformed input (the message names
the option, or the file and line); 3 a fault in the simulation (16-bit integer overflow, index
out of range, floating-point fault); 130 interrupted (SIGINT, SIGTERM, SIGHUP).

Examples:
  brownian-lab run --mode unbounded --num-side 10 --size 300 --speed 5 --ticks 4000 \
      --msd-out msd.csv --speeds-out speeds.csv --plot plot.png
  brownian-lab sweep --mode unbounded --num-side 20 --size 60,120,180,240,280 --seeds 1-8 \
      --out crowding && brownian-lab merge crowding
  brownian-lab sweep ... --out crowding --print-commands | parallel
)";
}

} // namespace brownian::lab
