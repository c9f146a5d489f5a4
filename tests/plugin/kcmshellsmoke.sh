#!/bin/bash
# Opens the module in the real settings shell under Xvfb, from the build tree and
# from an installed copy, and takes a screenshot of each.
set -euo pipefail
build=$1
source=$2
# kcmshell5 or kcmshell6, as the module was built.
kcmshell=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

root=$work/root
cp -a "$source/data/root/." "$root/" 2>/dev/null || mkdir -p "$root"
export QUOR_ADMIN_EVENTS_ROOT=$root
# The programs the module starts, by their fixed paths in the root.
bash "$source/scripts/place-programs" "$root"
mkdir -p "$root/test"
printf "QUOR_FAKE_LOG='%s'\nQUOR_FAKE_UNITS='%s'\n" "$work/commands.log" "$work/units" > "$root/test/fake.env"
printf 'syslog-ng\nauditd\n' > "$work/units"

check_list() {
    QT_QPA_PLATFORM=offscreen "$kcmshell" --list 2>/dev/null \
        | grep -q "^quor-admin-events - syslog-ng-mod-velta configuration settings$" \
        || { echo "$kcmshell --list does not list the module"; exit 1; }
}

# Opens the module, waits for its window, saves a screenshot.
open_module() {
    local shot=$1
    # On the X server, whatever platform the caller's tests run on.
    env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
        "$1" quor-admin-events > "$0.log" 2>&1 &
        pid=$!
        for i in $(seq 1 300); do
            window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
            [ -n "$window" ] && break
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.2
        done
        if [ -z "$window" ]; then
            echo "no window appeared"; cat "$0.log"; kill "$pid" 2>/dev/null; exit 1
        fi
        sleep 1
        import -window root "$0"
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    ' "$shot" "$kcmshell"
    [ -s "$shot" ] || { echo "no screenshot $shot"; exit 1; }
    echo "screenshot: $shot"
}

export QT_PLUGIN_PATH=$build/bin
check_list
open_module "$build/kcmshell-build-tree.png"

DESTDIR=$work/install cmake --install "$build" > /dev/null
plugin=$(find "$work/install" -name quor-admin-events.so | head -n 1)
[ -n "$plugin" ] || { echo "the plugin was not installed"; exit 1; }
export QT_PLUGIN_PATH=${plugin%/plasma/kcms/systemsettings_qwidgets/quor-admin-events.so}
check_list
open_module "$build/kcmshell-installed.png"
