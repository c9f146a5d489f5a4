#!/bin/bash
# Builds the readers' fuzz targets with clang, libFuzzer and the address and
# undefined-behaviour sanitizers, and runs each for the given number of seconds
# (default 20) on a copy of its seed corpus (tests/fuzz/corpus/<target>).
# Fails when a target crashes, leaks, hangs or runs out of memory; the input is
# left in the work folder. New coverage alone is no failure.
#   FUZZ_TARGETS="fuzz_logrotate ..."  only these targets
#   BUILD_DIR=dir                      where to build (default: build-fuzz)
#   FUZZ_SEED=n                        the same inputs on every run (default: a new seed each run)
set -euo pipefail
seconds=${1:-20}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
bash "$source_dir/scripts/install-deps.sh"

build_dir=${BUILD_DIR:-$source_dir/build-fuzz}
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DQUOR_SANITIZE=ON -DQUOR_BUILD_FUZZERS=ON "${launcher[@]}" > /dev/null
targets=${FUZZ_TARGETS:-$(cd "$source_dir/tests/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')}
# shellcheck disable=SC2086
cmake --build "$build_dir" -j "$(nproc)" --target $targets

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export LSAN_OPTIONS=suppressions=$source_dir/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
# One input may take seconds on a loaded machine (a reader that runs a checking
# tool forks a large sanitized process): only a minute counts as a hang. The
# memory limit is far above the few hundred MB a run takes.
unit_timeout=60
rss_limit_mb=2048
work=$build_dir/fuzz-work
failed=()
for target in $targets; do
    rm -rf "$work/$target"
    mkdir -p "$work/$target/corpus"
    cp -r "$source_dir/tests/fuzz/corpus/$target/." "$work/$target/corpus/" 2> /dev/null || true
    echo "== $target: $seconds s"
    # libFuzzer ends with 0 unless an input crashed, leaked, hung or ran out of
    # memory; the outer limit catches a run that would not end at all.
    status=0
    (cd "$work/$target" && timeout -k 10 $((seconds + 2 * unit_timeout + 60)) "$build_dir/bin/$target" \
        -max_total_time="$seconds" -timeout=$unit_timeout -rss_limit_mb=$rss_limit_mb \
        -max_len=262144 -print_final_stats=1 -seed="${FUZZ_SEED:-0}" corpus > log 2>&1) || status=$?
    if [ $status -ne 0 ]; then
        failed+=("$target")
        tail -n 40 "$work/$target/log"
        ls "$work/$target" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' || echo "(exit status $status, no input saved)"
    fi
    grep -E "^#[0-9]+.*DONE|^stat::(number_of_executed_units|average_exec_per_sec)" "$work/$target/log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: failed: ${failed[*]} (inputs and logs in $work)"
    exit 1
fi
