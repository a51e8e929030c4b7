#!/bin/sh
# Runs tests in a sanitizer build under a private X display; any sanitizer report fails
# the run, including one from a program whose output no test reads (reports go to files).
# Usage: tools/sanitize/run.sh address|thread [build-dir]
#   address  AddressSanitizer + UndefinedBehaviorSanitizer, the whole suite with the
#            end-to-end tests (the fault matrix and the soak run in the normal build)
#   thread   ThreadSanitizer, the tests of the worker threads, the event sink and the
#            window states
set -eu
here=$(cd "$(dirname "$0")/../.." && pwd)
mode=${1:?usage: $0 address|thread [build-dir]}
build=${2:-"$here/build-$mode"}
mkdir -p "$build"
build=$(cd "$build" && pwd)
reports="$build/sanitizer-reports"

case $mode in
address)
    sanitize="-fsanitize=address,undefined -fno-sanitize-recover=undefined"
    # The toolkit's allocations that live until exit would be reported as leaks.
    export ASAN_OPTIONS="detect_leaks=0:log_path=$reports/report"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/report"
    set -- -LE 'faults|soak|wine'
    ;;
thread)
    sanitize="-fsanitize=thread"
    export TSAN_OPTIONS="suppressions=$here/tools/sanitize/tsan.supp:second_deadlock_stack=1:log_path=$reports/report"
    export CORVANE_BUILD_TARGETS="event_sink_tests sftp_worker_tests window_tests connection_control_tests update_tests"
    # Only the programs built above: the others show up as *_NOT_BUILT.
    set -- -LE 'e2e|faults|soak|wine|fuzz' -E '_NOT_BUILT$'
    ;;
*)
    echo "unknown sanitizer: $mode" >&2
    exit 2
    ;;
esac

# CMake takes these as the first configuration's compiler and linker flags.
export CXXFLAGS="$sanitize -fno-omit-frame-pointer"
export LDFLAGS="$sanitize"

rm -rf "$reports"
mkdir -p "$reports"
status=0
"$here/tools/run-tests.sh" "$build" "$@" || status=$?

found=$(find "$reports" -type f | sort)
if [ -n "$found" ]; then
    for report in $found; do
        echo "=== $report"
        cat "$report"
    done
    echo "sanitizer reports: $(echo "$found" | wc -l) (see above)" >&2
    exit 1
fi
if [ "$status" -ne 0 ]; then
    exit "$status"
fi
echo "$mode sanitizer: no reports"
