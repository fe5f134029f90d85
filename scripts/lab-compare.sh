#!/usr/bin/env bash
# Runs two builds of brownian-lab over the same cases and compares, byte for byte, what each
# case writes: standard output, standard error, the exit status and every file it leaves.
# bench's timings differ from run to run, so its figures are masked (the words stay).
# Symbolic links are compared as links, so that one replaced by a file shows.
#   scripts/lab-compare.sh OLD-BINARY NEW-BINARY
set -u
old=$(realpath "$1") new=$(realpath "$2")
work=$(mktemp -d)
[ -n "${KEEP:-}" ] || trap 'rm -rf "$work"' EXIT
same=0 differ=0

# One case a line: the arguments, words split at spaces; " ; " runs one command after another.
cases=$(cat <<'EOF'
run --mode unbounded --num-side 10 --size 300 --speed 5 --ticks 400 --msd-out msd.csv --speeds-out speeds.csv --plot plot.png
run --num-side 4 --ticks 30 --state-out state.csv --snapshots-out snap.csv --every 7 --trace-out trace.csv --stats-out stats.csv
run --mode unbounded --num-side 6 --ticks 20 --seed 7 --stats-out - --path-png path.png --frame-png frame.png --dpi 48
run --num-side 3 --ticks 5 --seed 3 --msd-out m.csv --manifest run.toml
run --num-side 3 --ticks 5 --state-out s.csv --manifest -
run --num-side 3 --ticks 5 --state-out a.csv --msd-out a.csv
run --num-side 3 --ticks 5 --state-out nodir/a.csv
run --num-side 3 --ticks 5 --state-out /dev/full
run --num-side 3 --ticks 5 --state-out - --msd-out -
run --num-side 3 --ticks 5 --state-out /dev/null --msd-out /dev/stdout --stats-out link.csv
run --num-side 2 --ticks 3 --state-in loose.csv --state-out -
run --num-side 2 --state-in bad.csv
run --num-side 3 --locus 9
run --num-side 3 --state-in missing.csv
run --ticks 2 --state-in state.in --state-out -
run --size 0
run --size=40000
run --threads 257
run --ticks 1 --every 2
run --ticks 1 --bins 3
run --ticks 1 --dpi 100
run --seed 18446744073709551616
run --pairs all
run --config missing.toml
run --config cfg.toml --ticks 3 --state-out -
run --config bad.toml
bench --num-side 4 --ticks 20 --repeats 3 --no-draw
bench --num-side 4 --ticks 20 --repeats 2 --pairs both --warmup 3
bench --ticks 0
bench --no-draw --dpi 100
bench --pairs none
sweep --num-side 3 --size 300,400 --seeds 1-2 --ticks 50 --out sw --jobs 1
sweep --num-side 3 --size 300 --seeds 1-2 --ticks 50 --out sw --print-commands
sweep --num-side 3,3 --out sw
sweep --size 1,,2 --out sw
sweep --seeds 5-2 --out sw
sweep --ticks 5
sweep --out sw --print-commands --jobs 2
sweep --num-side 3 --seeds 1-2 --out=-it's --print-commands --speeds
sweep --num-side 2,100 --ticks 5 --out sw
sweep --out state.in
sweep --mode bounded,unbounded --num-side 4 --size 300,500 --seeds 1-3 --ticks 300 --out sw --jobs 2 ; merge sw
sweep --num-side 3 --ticks 40 --seeds 1-2 --out sw --stats ; merge sw --dpi 50
sweep --mode unbounded --num-side 12 --size 300,150 --speed 3,5 --seeds 1-3 --ticks 1500 --out sw --jobs 2 ; merge sw --dpi 400
sweep --num-side 3 --ticks 40 --seeds 1-2 --out sw --msd ; sweep --num-side 3 --ticks 40 --seeds 1-3 --out sw --msd --print-commands ; merge sw
sweep --num-side 3 --ticks 40 --out sw ; run --config sw/run-1/run.toml --state-out -
sweep --num-side 3 --ticks 40 --out sw ; sweep --num-side 3 --ticks 41 --out sw
sweep --num-side 3 --ticks 40 --out sw ; sweep --num-side 3 --ticks 40 --out sw --speeds
sweep --num-side 3 --ticks 40 --out sw --seeds 2 ; sweep --mode unbounded --num-side 3 --ticks 40 --out sw --seeds 2 ; sweep --num-side 3 --ticks 40 --out sw
run --ticks
run --size 300 --size=400
run --state-out=
bench --no-draw=1
run --num-side 3 --ticks 1 --seed 18446744073709551615 --state-out s.csv --manifest m.toml ; run --config m.toml --state-out -
run --config=
sweep --size 060,+60 --out sw
sweep --config sw.toml --out sw --print-commands
sweep --config cfg.toml --out sw
sweep --mode bounded,torus --out sw
sweep --out sw --msd-out m.csv
merge
merge nowhere
merge -- -x
merge --dpi 10 x
frobnicate
--help
help
EOF
)

fixtures() {
    printf 'i,x,y,vx,vy\n' >state.in
    for i in $(seq 0 24); do printf '%d,%d,%d,1.5,-2\n' "$i" $((500 + i * 150)) $((600 + i * 100)) >>state.in; done
    printf 'num-side = 4\nmode = "unbounded"\nseed = 11\n' >cfg.toml
    printf 'num-side = 4\nsize = "big"\n' >bad.toml
    printf '\357\273\277i,x,y,vx,vy\r\n0, 500.5 ,600,1e-50,-2\r\n1,900,600,+1.5,0\r\n' >loose.csv
    printf '2,500,900,0,0\r\n3,900,900,0,0\r\n\r\n\n' >>loose.csv
    printf 'i,x,y,vx,vy\n0,500,600,1,1\n1,900,600,1e39,0\n' >bad.csv
    ln -s linked.csv link.csv # a symbolic link to a file still to be made
    printf 'mode = ["bounded", "unbounded"]\nsize = [300, 400]\nseeds = "3-4"\nspeeds = true\nstats = false\n' >sw.toml
}

run_case() { # DIR PROGRAM ARGS...
    local dir=$1 prog=$2
    shift 2
    mkdir -p "$dir" && cd "$dir" && fixtures
    local words=() status
    for word in "$@" ";"; do
        if [ "$word" != ";" ]; then words+=("$word") && continue; fi
        "$prog" "${words[@]}" >>stdout 2>>stderr </dev/null
        status=$? words=()
    done
    echo "$status" >status
    # The program's path and the folder differ; bench's timings vary, its words must not.
    sed -i -e "s|$prog|LAB|g" -e "s|$dir|DIR|g" stdout stderr
    [ "$1" != bench ] || sed -i -E 's/[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?/N/g' stdout
    cd - >/dev/null
}

n=0
while IFS= read -r line; do
    n=$((n + 1))
    read -r -a args <<<"$line"
    run_case "$work/old/$n" "$old" "${args[@]}"
    run_case "$work/new/$n" "$new" "${args[@]}"
    if diff -r --no-dereference "$work/old/$n" "$work/new/$n" >"$work/diff-$n" 2>&1; then
        same=$((same + 1))
    else
        differ=$((differ + 1))
        echo "DIFFERS: $line"
        head -20 "$work/diff-$n"
    fi
done <<<"$cases"
echo "$same of $n cases identical, $differ differ"
[ "$differ" -eq 0 ]
