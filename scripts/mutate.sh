#!/usr/bin/env bash
# Mutation pass: applies small deliberate faults to the sources one at a time, rebuilds, runs
# the fast tests and reports which faults the tests catch.
#
#   scripts/mutate.sh                 every mutant in scripts/mutants.txt
#   scripts/mutate.sh ID [ID ...]     only these mutants
#   scripts/mutate.sh --list          list the mutants (id, file, applicable, description)
#
# Options (before the ids):
#   --build-dir DIR   build directory (default build/mutate; configured like the release preset)
#   --mutants FILE    mutant list (default scripts/mutants.txt)
#   --jobs N          parallel build and test jobs (default 2)
#   --timeout S       seconds allowed for the tests of one mutant (default 300); a mutant that
#                     runs longer (say an endless loop) counts as killed
#   --tests REGEX     run only the fast tests whose names match (ctest -R), e.g. python
#
# Each mutant is applied by exact text replacement; the text must occur exactly once in its
# file, otherwise the mutant is reported as not applicable. The file is restored after every
# mutant, also on Ctrl-C. Results go to DIR/mutate-results.txt.
set -u -o pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
build="$root/build/mutate"
mutants="$here/mutants.txt"
jobs=2
timeout_s=300
list_only=0
only_tests=()
ids=()

while [ $# -gt 0 ]; do
    case "$1" in
    --build-dir) build=$(realpath -m "$2"); shift 2 ;;
    --mutants) mutants=$(realpath "$2"); shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --list) list_only=1; shift ;;
    --tests) only_tests=(-R "$2"); shift 2 ;;
    -h | --help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "mutate.sh: unknown option $1" >&2; exit 2 ;;
    *) ids+=("$1"); shift ;;
    esac
done

# The mutant list parser and the text replacement; kept in Python for exact byte handling.
mut() {
    python3 - "$mutants" "$root" "$@" <<'PY'
import sys, os

def parse(path):
    mutants, cur = [], None
    with open(path, encoding="utf-8") as f:
        for n, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            if line.startswith("[") and line.endswith("]"):
                cur = {"id": line[1:-1], "line": n}
                mutants.append(cur)
                continue
            key, sep, value = line.partition(" = ")
            if not sep or cur is None:
                sys.exit(f"{path}:{n}: expected [id] or 'key = value'")
            if key in ("find", "repl"):
                value = value.replace("{NL}", "\n")
            cur[key.strip()] = value
    for m in mutants:
        for key in ("file", "find", "repl", "desc"):
            if key not in m:
                sys.exit(f"{path}:{m['line']}: mutant {m['id']} has no {key}")
    ids = [m["id"] for m in mutants]
    dup = {i for i in ids if ids.count(i) > 1}
    if dup:
        sys.exit(f"{path}: duplicate ids: {' '.join(sorted(dup))}")
    return mutants

mutants_path, root, cmd, *args = sys.argv[1:]
mutants = parse(mutants_path)
by_id = {m["id"]: m for m in mutants}

def occurrences(m):
    path = os.path.join(root, m["file"])
    if not os.path.isfile(path):
        return -1
    with open(path, encoding="utf-8", newline="") as f:
        return f.read().count(m["find"])

if cmd == "ids":
    print("\n".join(m["id"] for m in mutants))
elif cmd == "list":
    for m in mutants:
        n = occurrences(m)
        state = "ok" if n == 1 else ("missing file" if n < 0 else f"{n} matches")
        eq = "  [equivalent]" if "equivalent" in m else ""
        print(f"{m['id']:<24} {m['file']:<34} {state:<12} {m['desc']}{eq}")
elif cmd == "get":
    m = by_id.get(args[0])
    if m is None:
        sys.exit(f"no mutant {args[0]}")
    print(m[args[1]] if args[1] in m else "")
elif cmd == "apply":
    # apply ID BACKUP: exit 3 when the text does not occur exactly once.
    m = by_id[args[0]]
    path = os.path.join(root, m["file"])
    if occurrences(m) != 1:
        sys.exit(3)
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    with open(args[1], "w", encoding="utf-8", newline="") as f:
        f.write(path + "\n" + text)
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text.replace(m["find"], m["repl"], 1))
elif cmd == "restore":
    # restore BACKUP: writes the saved text back to the saved path.
    with open(args[0], encoding="utf-8", newline="") as f:
        path = f.readline().rstrip("\n")
        text = f.read()
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)
PY
}

[ -f "$mutants" ] || { echo "mutate.sh: no mutant list $mutants" >&2; exit 2; }
mut ids >/dev/null || exit 2

if [ "$list_only" = 1 ]; then
    mut list
    exit 0
fi

all_ids=$(mut ids)
if [ ${#ids[@]} -eq 0 ]; then
    mapfile -t ids <<<"$all_ids"
else
    for id in "${ids[@]}"; do
        grep -qxF -- "$id" <<<"$all_ids" || { echo "mutate.sh: no mutant '$id'" >&2; exit 2; }
    done
fi

mkdir -p "$build"
backup="$build/mutate-backup"
log_dir="$build/mutate-logs"
results="$build/mutate-results.txt"
mkdir -p "$log_dir"

restore() {
    if [ -f "$backup" ]; then
        mut restore "$backup" && rm -f "$backup"
    fi
}
# A run that was killed outright may have left a mutant in place.
restore
trap 'restore' EXIT
trap 'echo; echo "mutate.sh: interrupted, source restored" >&2; restore; exit 130' INT TERM

# Only the programs the fast tests run (and the lab tool and the Python module, which some of
# them load) are rebuilt after a mutant; the window program, the benchmarks and the fuzzers are
# not.
test_targets=()
find_test_targets() {
    mapfile -t test_targets < <(cd "$build" && ctest -LE "xvfb|fuzz" -E packaging \
        --show-only=json-v1 2>/dev/null | python3 -c '
import json, os, sys
here = os.getcwd() + os.sep
names = {os.path.basename(t["command"][0]) for t in json.load(sys.stdin).get("tests", [])
         if t.get("command") and t["command"][0].startswith(here)}
print("\n".join(sorted(names | {"brownian-lab", "brownian_python"})))')
}
build_all() {
    cmake --build "$build" -j"$jobs" >"$1" 2>&1
}
build_tests() {
    [ ${#test_targets[@]} -gt 0 ] || { build_all "$1"; return; }
    cmake --build "$build" -j"$jobs" --target "${test_targets[@]}" >"$1" 2>&1
}
run_tests() {
    (cd "$build" && timeout --kill-after=10 "$timeout_s" \
        ctest -j"$jobs" -LE "xvfb|fuzz" -E packaging "${only_tests[@]}" --timeout "$timeout_s" \
            --stop-on-failure) \
        >"$1" 2>&1
}

echo "== configuring and building $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
    gen=()
    command -v ninja >/dev/null && gen=(-G Ninja)
    cmake -S "$root" -B "$build" "${gen[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$log_dir/configure.log" 2>&1 \
        || { echo "configure failed: $log_dir/configure.log" >&2; exit 1; }
fi
build_all "$log_dir/baseline-build.log" || { echo "build failed: $log_dir/baseline-build.log" >&2; exit 1; }
find_test_targets
echo "== fast tests on the unmutated sources"
run_tests "$log_dir/baseline-tests.log" \
    || { echo "the fast tests fail without any mutant: $log_dir/baseline-tests.log" >&2; exit 1; }

: >"$results"
killed=0 survived=0 equivalent=0 broken=0 skipped=0
survivors=() equivalents=()
total=${#ids[@]}
k=0
for id in "${ids[@]}"; do
    k=$((k + 1))
    file=$(mut get "$id" file)
    desc=$(mut get "$id" desc)
    eq=$(mut get "$id" equivalent)
    printf '[%2d/%d] %-24s ' "$k" "$total" "$id"
    mut apply "$id" "$backup"
    case $? in
    0) ;;
    3) echo "not applicable (text not found exactly once in $file)"
       echo "$id not-applicable" >>"$results"; skipped=$((skipped + 1)); continue ;;
    *) echo "mutate.sh: could not apply $id" >&2; exit 1 ;;
    esac
    start=$SECONDS
    if ! build_tests "$log_dir/$id-build.log"; then
        status=build-failure; broken=$((broken + 1))
    elif run_tests "$log_dir/$id-tests.log"; then
        if [ -n "$eq" ]; then
            status=equivalent; equivalent=$((equivalent + 1)); equivalents+=("$id")
        else
            status=SURVIVED; survived=$((survived + 1)); survivors+=("$id")
        fi
    else
        status=killed; killed=$((killed + 1))
    fi
    restore
    echo "$status ($((SECONDS - start)) s)  $desc"
    echo "$id $status" >>"$results"
done

# Leave the build matching the restored sources.
build_all "$log_dir/final-build.log" || echo "mutate.sh: rebuild after restoring failed" >&2

scored=$((killed + survived))
echo
echo "== summary"
echo "killed $killed, survived $survived, equivalent (survived, named) $equivalent," \
    "build failures $broken, not applicable $skipped"
if [ "$scored" -gt 0 ]; then
    echo "kill rate: $killed/$scored = $((100 * killed / scored)) % (equivalent mutants and build failures excepted)"
fi
[ ${#survivors[@]} -gt 0 ] && echo "survivors: ${survivors[*]}"
[ ${#equivalents[@]} -gt 0 ] && echo "equivalent: ${equivalents[*]}"
echo "results: $results"
exit 0
