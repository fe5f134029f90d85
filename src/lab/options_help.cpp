// The text of --help.
#include "options.h"

namespace brownian::lab {

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
"msd.csv"; a sweep's lists as arrays, size = [100, 200]). An option on the command line wins
over the file; a setting the command does not know is an error naming the file and line. A
relative file name in FILE is taken from FILE's folder.

Settings (run and bench), as in the program's state:
  --mode bounded|unbounded  box with walls 0..5000, or the wrap-around field -500..5500
                            (default bounded)
  --num-side N              particles per side of the start grid, 1 to 181; N² particles
                            (default 5)
  --size S                  particle diameter in twips, 1 to 32767 (default 400)
  --speed V                 sub-steps per tick, 0 to 32767 (default 3)
  --locus L                 tracked particle, 0 to N²-1 (default: the centre particle,
                            (n²-1)/2 for odd n, n²/2-n/2-1 for even n)
  --ticks T                 ticks to run (default 0 for run, 2000 for bench)
  --seed K                  start the random source from a state derived from K, 0 to
                            2^64-1 (default: the program's fixed start state)
  --state-in FILE           start from the particles in FILE (the --state-out format, one
                            row per particle in index order; - reads standard input)
                            instead of placing them with InitPar
  --dpi D                   resolution of the pictures, 24 to 1200 (default 96)

Without --state-in the particles are placed as the program places them: defaults, then the
settings above, then InitPar(BoundMode x 1000). The settings dialog's limits are not enforced;
a fault they cause in the simulation is reported (exit status 3).

Outputs of run (FILE may be - for standard output, for one output at most):
  --state-out FILE          CSV i,x,y,vx,vy after the last tick; 9 significant digits, so
                            reading it back gives the identical Singles
  --snapshots-out FILE      CSV tick,i,x,y,vx,vy: the whole state at tick 0 and every K ticks
  --every K                 ticks between snapshots (default 1)
  --trace-out FILE          CSV substep,x,y,ux,uy: the tracked particle at the start
                            (substep 0) and after every sub-step; x, y as stored, ux, uy its
                            unwrapped position (start plus every move, summed in Double)
  --stats-out FILE          CSV tick,kinetic_energy,momentum_x,momentum_y,contacts at tick 0
                            and after every tick: energy sum (vx²+vy²)/2, momentum sum vx and
                            sum vy (Double from the Singles), contacts = calls of CollidePar
                            and CollideWrap during the tick
  --path-png FILE           the tracked particle's path picture, as the window draws it
  --frame-png FILE          the last frame, the square 0..5000 twips, as the window draws it
  --msd-out FILE            CSV lag,msd: mean squared displacement in twips² against the lag
                            in sub-steps (see below)
  --speeds-out FILE         CSV speed_low,speed_high,count,expected: the time-averaged speed
                            histogram and the counts expected at the run's measured energy
  --bins B                  bins of the speed histogram, 1 to 1000 (default 30)
  --manifest FILE           after everything else has been written: FILE with every setting
                            of the run (seed included) and the program's version, such that
                            brownian-lab run --config FILE repeats the run bit for bit
  --plot FILE               a picture of both, labelled in Japanese: the MSD on log-log axes
                            with the ballistic and diffusive guide lines and the fitted
                            diffusion coefficient, and the histogram with its expected curve

Mean squared displacement: every particle's unwrapped position is its start plus every move
(the velocity the move applied), summed in Double; in the unbounded mode the centre of mass's
motion is taken out. The average runs over all particles and over time origins. Lags are
spaced about 24 per decade from 1 up to half the run's sub-steps. Lags below 256 use every
time origin; a longer lag is a multiple of 4^k (the smallest k with lag < 256 x 4^k) and uses
the origins at multiples of 4^k, so memory stays at 256 positions per particle and level and
the work at a few dozen lags per sub-step, however long the run.
The diffusion coefficient D comes from a straight-line fit MSD = 4 D lag + c over the longest
stretch of lags whose log-log slope lies within 1 +- 0.2; none is given without such a stretch.

Speeds: sampled at the start and after every sub-step, for all particles; in the unbounded
mode relative to the centre of mass's velocity. The expected counts use the finite-N
distribution at fixed energy (and, on the torus, fixed momentum), Scalas et al., Phys. Rev. E
92, 022140 (2015), with S the time-averaged sum of squared speeds:
  walls: F(v) = 1 - (1 - v²/S)^(N-1)
  torus: F(u) = 1 - (1 - u²/((1 - 1/N) S))^(N-2), S taken relative to the centre of mass

Options of bench:
  --no-draw                 leave out the drawing (frame and path) of every tick
  --repeats R               timed runs of T ticks each, 1 to 1000 (default 5)
  --pairs auto|all|grid|both
                            pair pass: every pair below 256 particles and the cell grid from
                            there on (auto, the default), every pair, the cell grid, or both:
                            every tick run with each from the same state, timed apart, and
                            the two results compared bit for bit
  --warmup W                ticks run before the timed runs (default T/10, at least 100)
bench places the particles, runs the warm-up ticks, then times R runs of T ticks, printing
one line per run, and ends with one line of key=value fields (the median run): us_per_tick=,
ticks_per_s=, pair_tests_per_s= and more. With --pairs both the fields are
us_per_tick_all=, us_per_tick_grid= and ratio= (the all-pairs time over the grid time, the
median over the runs), and a tick whose two results differ ends the bench with status 3.

Options of sweep (lists are comma-separated; the runs are their Cartesian product):
  --mode LIST               bounded and/or unbounded (default bounded)
  --num-side LIST           particles per side, each 1 to 181 (default 5)
  --size LIST               particle diameters in twips, each 1 to 32767 (default 400)
  --speed LIST              sub-steps per tick, each 0 to 32767 (default 3)
  --seeds A-B               the seeds A, A+1, ..., B of every setting (default 1-1)
  --ticks T                 ticks of every run, at least 1 (default 2000)
  --out DIR                 the folder of the runs, required: run K writes into DIR/run-K/
  --msd, --speeds, --stats  what each run writes: msd.csv, speeds.csv, stats.csv (default
                            --msd --stats, which merge needs)
  --jobs J                  runs at a time, each a separate brownian-lab run process
                            (default: the number of cores); one progress bar on a terminal
  --print-commands          run nothing; print one brownian-lab run command a line, for GNU
                            parallel, xargs -P or a Slurm job array
The runs are numbered from 1 in this order: mode, then num-side, size, speed as listed, the
seed varying fastest. Each run folder gets its outputs and, last, run.toml, its manifest (see
--manifest); a run that fails leaves no manifest and makes sweep exit non-zero. A run with a
manifest is finished: the same sweep again skips it, so an interrupted sweep resumes. A folder
holding runs of a different sweep is refused.

merge DIR reads every finished run under DIR (run-K/run.toml with its msd.csv and stats.csv),
groups the runs whose settings differ only in the seed, and writes
  DIR/summary.csv      mode,num_side,size,speed,ticks,packing_fraction,runs,D_mean,D_stderr,
                       D_enskog: one row a group, in the order of the runs; D in twips² per
                       sub-step from each run's fit, its mean and standard error over the runs
  DIR/summary-msd.csv  mode,num_side,size,speed,ticks,lag,msd_mean,msd_stderr: the averaged MSD
  DIR/summary.png      D against the packing fraction with error bars, beside the Enskog
                       prediction for hard disks, labelled in Japanese (--dpi D, default 96)
The packing fraction is N pi (size/2)² over the box (25 000 000 twips²) or the field
(36 000 000 twips², unbounded). The Enskog value is D = sqrt(kT/(pi m)) / (2 n size g),
Gass, J. Chem. Phys. 54, 1898 (1971), with n = N over the area, the contact value
g = (1 - 7 eta/16)/(1 - eta)² of Henderson, Mol. Phys. 30, 971 (1975), and kT/m the run's mean
kinetic energy per particle (relative to the centre of mass on the torus, per degree of
freedom pair) from stats.csv. A group without a diffusive fit gets an empty D, and a note.

Output files appear whole or not at all: each is written to a temporary file beside it and
renamed when the run has succeeded. Nothing is written before the arguments and the input
have been checked. A run longer than about a second shows a progress bar on standard error
when that is a terminal.

Exit status: 0 success; 1 an output could not be written, or a run of a sweep failed; 2 bad
arguments, or an unreadable or malformed input (the message names the option, or the file and
line); 3 a fault in the simulation (16-bit integer overflow, index out of range, floating-point
fault); 130 interrupted.

Examples:
  brownian-lab run --mode unbounded --num-side 10 --size 300 --speed 5 --ticks 4000 \
      --msd-out msd.csv --speeds-out speeds.csv --plot plot.png
  brownian-lab sweep --mode unbounded --num-side 20 --size 60,120,180,240,280 --seeds 1-8 \
      --out crowding && brownian-lab merge crowding
  brownian-lab sweep ... --out crowding --print-commands | parallel
)";
}

} // namespace brownian::lab
