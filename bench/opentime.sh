#!/bin/bash
# Times opening the module in the settings shell against opening the shell's
# stock proxy page, on a copy of the sample system under Xvfb: from the start
# of kcmshell5 to its window being mapped. The two alternate (which one goes
# first swaps every round), one warm-up round is not counted, and the medians
# and their ratio are printed, the ratio last.
#
#     bench/opentime.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR: a build with -DQUOR_BUILD_BENCHMARKS=ON, best Release (default:
# build-release); RUNS: counted runs of each page (default 11). MAPWAIT may
# name the timing helper of another build, to time an older module with it.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build-release}" && pwd)
runs=${2:-11}
mapwait=${MAPWAIT:-$build_dir/bin/mapwait}
for needed in "$mapwait" "$build_dir/bin/plasma/kcms/systemsettings_qwidgets/quor-admin-events.so"; do
    [ -e "$needed" ] || { echo "missing: $needed (build with -DQUOR_BUILD_BENCHMARKS=ON)" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/root"
cp -a "$source_dir/data/root/." "$work/root/"
printf 'syslog-ng\nauditd\n' > "$work/running-units"
export QUOR_ADMIN_EVENTS_ROOT=$work/root
bash "$source_dir/scripts/place-programs" "$work/root"
mkdir -p "$work/root/test"
printf "QUOR_FAKE_LOG='%s'\nQUOR_FAKE_UNITS='%s'\n" "$work/commands.log" "$work/running-units" > "$work/root/test/fake.env"
export QT_PLUGIN_PATH=$build_dir/bin
unset SUDO_UID SUDO_USER SUDO_GID

xvfb-run -a -s "-screen 0 1280x800x24" bash -s "$mapwait" "$runs" "$work" << 'RUNS'
set -euo pipefail
mapwait=$1 runs=$2 work=$3
time_page() {
    "$mapwait" --timeout 60 kcmshell5 "$1" >> "$work/$1" 2> "$work/$1.err" || { cat "$work/$1.err" >&2; exit 1; }
}
median() {
    sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'
}
# Warm-up: the file cache and the shell's own caches.
time_page quor-admin-events
time_page proxy
rm -f "$work/quor-admin-events" "$work/proxy"
for round in $(seq 1 "$runs"); do
    if [ $((round % 2)) -eq 1 ]; then
        time_page quor-admin-events
        time_page proxy
    else
        time_page proxy
        time_page quor-admin-events
    fi
done
module=$(median "$work/quor-admin-events")
proxy=$(median "$work/proxy")
echo "module runs (ms): $(tr '\n' ' ' < "$work/quor-admin-events")"
echo "proxy runs (ms):  $(tr '\n' ' ' < "$work/proxy")"
echo "median open time: module $module ms, proxy $proxy ms (of $runs runs each)"
awk -v m="$module" -v p="$proxy" 'BEGIN { printf "ratio module/proxy: %.2f\n", m / p }'
RUNS
