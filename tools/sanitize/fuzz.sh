#!/bin/sh
# Builds the fuzz targets with clang and runs each for a bounded time, starting from the
# kept corpus in tests/fuzz/corpus/<target>. New inputs go to the build folder, so the kept
# corpus changes only by hand; a finding fails the run and is left in <build>/findings.
# Usage: tools/sanitize/fuzz.sh [seconds per target] [build-dir]
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-60}
build=${2:-"$here/build-fuzz"}

cmake -S "$here/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build" -j"$(nproc)"

rm -rf "$build/findings"
mkdir -p "$build/findings"
status=0
for target in account_name version win_command_line; do
    mkdir -p "$build/corpus/$target"
    echo "=== fuzz_$target, ${seconds}s"
    "$build/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" \
        "$build/corpus/$target" "$here/tests/fuzz/corpus/$target" 2>"$build/fuzz_$target.log" ||
        status=1
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$build/fuzz_$target.log" || true
done
if [ "$status" -ne 0 ]; then
    for finding in "$build"/findings/*; do
        echo "=== finding $finding"
        od -c "$finding" | head -20
    done
    echo "fuzzing found faults; logs: $build/fuzz_*.log" >&2
    tail -n 30 "$build"/fuzz_*.log >&2
    exit 1
fi
echo "fuzzing: no findings"
