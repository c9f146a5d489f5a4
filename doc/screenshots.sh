#!/bin/bash
# Takes every screenshot of the handbooks anew, in English into doc/ and in
# Russian into po/ru/docs/kcontrol5/quor-admin-events/: the module in the
# settings shell's window and the windows it opens, on a copy of the bundled
# sample system, under Xvfb with the Breeze style (Debian 12, as root).
#
#   doc/screenshots.sh        builds what it needs in build-screenshots/
#   BUILD_DIR=build doc/screenshots.sh
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(realpath -m "${BUILD_DIR:-$source_dir/build-screenshots}")

# The Breeze widget style and the shell's window library beside what the build needs.
bash "$source_dir/scripts/install-deps.sh" kde-style-breeze libkf5kcmutils-dev
cmake -S "$source_dir" -B "$build_dir" -DBUILD_TESTING=ON > /dev/null
cmake --build "$build_dir" -j "$(nproc)" --target handbookscreenshots pofiles
program=$build_dir/bin/handbookscreenshots
[ -x "$program" ] || { echo "$program was not built (is libkf5kcmutils-dev installed?)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The Russian locale, compiled for this run alone: in the "C" locale nothing is translated.
mkdir -p "$work/locales" "$work/runtime"
chmod 700 "$work/runtime"
localedef -i ru_RU -f UTF-8 "$work/locales/ru_RU.UTF-8"

# shoot LANGUAGE LANG FOLDER
shoot() {
    local root=$work/root-$1
    mkdir -p "$root" "$3"
    cp -a "$source_dir/data/root/." "$root/"
    printf 'syslog-ng\nauditd\n' > "$work/units"
    # The programs the module runs by their fixed paths: the stand-ins for sudo
    # and the service commands, the configuration manager of this build. They
    # read their settings from the root; the session's user is root, who is in
    # every password database.
    bash "$source_dir/scripts/place-programs" "$root" "$build_dir/bin/velta-event-config-manager"
    mkdir -p "$root/test"
    printf "QUOR_FAKE_LOG='%s'\nQUOR_FAKE_UNITS='%s'\nQUOR_FAKE_LOGNAME=root\n" "$work/commands.log" "$work/units" > "$root/test/fake.env"
    env QUOR_ADMIN_EVENTS_ROOT="$root" \
        LANGUAGE="$1" LANG="$2" LC_ALL= LOCPATH="$work/locales" \
        XDG_DATA_DIRS="$build_dir:/usr/local/share:/usr/share" \
        XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/runtime" \
        QT_QPA_PLATFORMTHEME= \
        xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- "$program" "$3"
}

shoot en C.UTF-8 "$source_dir/doc"
shoot ru ru_RU.UTF-8 "$source_dir/po/ru/docs/kcontrol5/quor-admin-events"
