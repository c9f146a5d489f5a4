#!/bin/bash
# Builds quor-admin-events and runs every test (Debian 12, as root).
#   CI=true          warnings are errors
#   QUOR_SANITIZE=1  address and undefined-behaviour sanitizers
#   BUILD_DIR=dir    where to build (default: build)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
bash "$source_dir/scripts/install-deps.sh"

build_dir=${BUILD_DIR:-$source_dir/build}
werror=OFF
[ "${CI:-}" = true ] && werror=ON
sanitize=OFF
# The benchmarks are built (not run) with the plain build, so that they keep
# up with the code they time.
benchmarks=ON
exclude=()
if [ -n "${QUOR_SANITIZE:-}" ]; then
    sanitize=ON
    benchmarks=OFF
    # The settings shell loads the plugin into an uninstrumented program; the
    # kill test is about what a killed writer leaves, which the plain run shows.
    exclude=(-E 'kcmshellsmoke|killtest')
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export LSAN_OPTIONS=suppressions=$source_dir/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON \
    -DQUOR_WERROR=$werror -DQUOR_SANITIZE=$sanitize -DQUOR_BUILD_BENCHMARKS=$benchmarks "${launcher[@]}" > /dev/null
cmake --build "$build_dir" -j "$(nproc)"
cd "$build_dir"
ctest --output-on-failure -j 2 --timeout 600 "${exclude[@]}"
