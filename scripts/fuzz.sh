#!/usr/bin/env bash
# Usage: scripts/fuzz.sh [SECONDS] [RUNS] [TARGET...]
# Runs every fuzz target of tests/fuzz/ with libFuzzer (clang) for SECONDS
# each (default 60), or until it has run RUNS inputs when RUNS is given (-1:
# no limit), under AddressSanitizer and UndefinedBehaviorSanitizer, and
# prints the inputs each one ran and its speed. TARGET names (the file name
# without _fuzz.cpp, e.g. `scripts/fuzz.sh 1200 1000000 handler`) build and
# run only those targets. It builds into build-fuzz/; each
# target's corpus grows in build-fuzz/corpus/<target>/ from one run to the
# next, starting from the seeds that make_fuzz_seeds writes from the handheld
# simulator's request lines. A finding is kept in build-fuzz/findings/ and
# fails the run; copy it into tests/fuzz/regressions/<target>/ with the fix,
# so that ctest replays it in every build.
set -euo pipefail

# shellcheck source=scripts/lib.sh
. "$(dirname "$0")/lib.sh"
cd "$QUELVOR_ROOT"

seconds=${1:-60}
runs=${2:--1}
shift $(($# < 2 ? $# : 2))
case $seconds in
'' | *[!0-9]*) die "SECONDS must be a whole number, not '$seconds'" ;;
esac
case $runs in
-1) ;;
'' | *[!0-9]*) die "RUNS must be a whole number, not '$runs'" ;;
esac

if [ $# -gt 0 ]; then
    sources=()
    for name in "$@"; do
        [ -f "tests/fuzz/${name}_fuzz.cpp" ] || die "no fuzz target '$name' (tests/fuzz/${name}_fuzz.cpp)"
        sources+=("tests/fuzz/${name}_fuzz.cpp")
    done
else
    mapfile -t sources < <(ls tests/fuzz/*_fuzz.cpp)
fi

ensure_packages
ensure_packages "${QUELVOR_FUZZ_PACKAGES[@]}"

dir=build-fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S . -B "$dir" -DQUELVOR_FUZZ=ON -DQUELVOR_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
targets=()
for src in "${sources[@]}"; do targets+=("$(basename "$src" .cpp)"); done
build_args=()
for t in make_fuzz_seeds "${targets[@]}"; do build_args+=(--target "$t"); done
cmake --build "$dir" -j2 "${build_args[@]}"

"$dir/tests/fuzz/make_fuzz_seeds" "$dir/seeds" >/dev/null
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=0
summary=()
for t in "${targets[@]}"; do
    name=${t%_fuzz}
    corpus=$dir/corpus/$name
    findings=$dir/findings/$name
    mkdir -p "$corpus" "$findings"
    inputs=("$corpus" "$dir/seeds/$name")
    [ -d "tests/fuzz/regressions/$name" ] && inputs+=("tests/fuzz/regressions/$name")
    say "Fuzzing $name for ${seconds}s"
    log=$dir/findings/$name.log
    rc=0
    "$dir/tests/fuzz/$t" -max_total_time="$seconds" -runs="$runs" -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${inputs[@]}" >"$log" 2>&1 || rc=$?
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    units=$(find "$corpus" -type f | wc -l)
    if [ $rc -ne 0 ]; then
        failed=1
        summary+=("$(printf '%-14s %12s inputs %8s exec/s  corpus %6s  FINDING (see %s)' "$name" "${executed:-?}" \
            "${speed:-?}" "$units" "$log")")
    else
        summary+=("$(printf '%-14s %12s inputs %8s exec/s  corpus %6s  no finding' "$name" "${executed:-?}" \
            "${speed:-?}" "$units")")
    fi
done
printf '%s\n' "${summary[@]}"
exit $failed
