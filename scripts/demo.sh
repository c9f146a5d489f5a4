#!/bin/bash
# Opens the module in the settings shell on the bundled sample system (Debian 12,
# as root). The sample system lives in demo-root/: the module reads and writes
# only there, and its service commands go to a stand-in for sudo that keeps the
# demo's own service state. Without a display it runs under Xvfb and saves a
# screenshot to demo-root/demo.png, and one of its Help to demo-root/demo-help.png.
#
# With --live a real syslog-ng runs the demo root's files for as long as the
# demo does (scripts/live-syslog-ng): the module's restarts and reloads act on
# it, and scripts/send-event sends records into its socket.
#
# With --plasma6 the Qt 6 / KDE Frameworks 6 build opens in kcmshell6 in the
# Debian 13 tree of scripts/test-plasma6.sh, under Xvfb: the screenshot is
# then in that tree's /build/demo-root (the tree has no KHelpCenter, so no
# screenshot of Help).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
live=false
kcmshell=kcmshell5
qt_option=()
case "${1:-}" in
--live) live=true ;;
--plasma6) exec bash "$source_dir/scripts/test-plasma6.sh" --demo ;;
# Inside the Debian 13 tree, which holds what the build needs.
--in-plasma6-tree) kcmshell=kcmshell6 qt_option=(-DBUILD_WITH_QT6=ON) ;;
"") ;;
*) echo "usage: $0 [--live | --plasma6]" >&2; exit 2 ;;
esac
[ ${#qt_option[@]} -gt 0 ] || bash "$source_dir/scripts/install-deps.sh"

build_dir=${BUILD_DIR:-$source_dir/build-demo}
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF "${qt_option[@]}" > /dev/null
cmake --build "$build_dir" -j "$(nproc)"

root=${DEMO_ROOT:-$source_dir/demo-root}
if [ ! -d "$root" ]; then
    mkdir -p "$root"
    cp -a "$source_dir/data/root/." "$root/"
fi
mkdir -p "$root/demo"
# Every program the module runs by its fixed path, placed in the demo root: the
# stand-ins for the services, then the demo's own build of the tools.
bash "$source_dir/scripts/place-programs" "$root"
for tool in "$build_dir"/bin/quor-wmfunc:/usr/bin/quor-wmfunc "$build_dir"/bin/velta-event-config-manager:/usr/sbin/velta-event-config-manager; do
    from=${tool%%:*}
    to=$root${tool#*:}
    if [ -x "$from" ]; then
        mkdir -p "$(dirname "$to")"
        cp "$from" "$to"
    fi
done
[ -f "$root/demo/running-units" ] || printf 'syslog-ng\nauditd\n' > "$root/demo/running-units"

# The sample homes belong to the users alice (the session's user), bob and carol.
# The module writes users' files only for accounts of the password database, with
# their ownership: the demo adds these accounts when missing (no login shell, no
# home on the real system) and hands the sample homes to them.
for user in alice bob carol; do
    if ! getent passwd "$user" > /dev/null; then
        echo "Adding the demo account $user (no login shell; remove it with: userdel $user)."
        useradd --no-create-home --home-dir "/home/$user" --shell /usr/sbin/nologin "$user"
    fi
    for home in "$root/home/$user" "$root/home/.qmx/$user"; do
        if [ -d "$home" ] && [ ! -L "$home" ]; then
            chown -R --no-dereference "$user:" "$home"
        fi
    done
done

export QUOR_ADMIN_EVENTS_ROOT=$root
# The stand-ins' settings: the module starts its programs with a fixed
# environment, so they read them from the root.
mkdir -p "$root/test"
fake_settings() {
    printf "QUOR_FAKE_LOG='%s'\nQUOR_FAKE_UNITS='%s'\n" "$root/demo/commands.log" "$root/demo/running-units"
    if $live; then
        printf "QUOR_LIVE_SYSLOGNG='%s'\nQUOR_LIVE_SCRIPT='%s'\n" "$root/demo/syslog-ng" "$source_dir/scripts/live-syslog-ng"
    fi
}
fake_settings > "$root/test/fake.env"
# The stand-in for logname names the session's user (alice); the user behind a real
# sudo is not in the sample system.
unset SUDO_UID SUDO_USER SUDO_GID
export QT_PLUGIN_PATH=$build_dir/bin
# Help opens help:/ + the module's "X-DocPath", found among the data directories;
# the translations are found there too (<build>/locale).
cmake -DCMAKE_INSTALL_PREFIX="$build_dir/demo-install" -P "$build_dir/doc/cmake_install.cmake" > /dev/null
export XDG_DATA_DIRS=$build_dir/demo-install/share:$build_dir:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}
# A locale asked for but not installed here (LANG=ru_RU.UTF-8 on an English
# machine), compiled for the demo alone: in the "C" locale nothing is translated.
wanted_locale=${LC_ALL:-${LANG:-}}
case $wanted_locale in
?*_*.UTF-8)
    if ! locale -a | grep -qxF "${wanted_locale%.UTF-8}.utf8"; then
        mkdir -p "$build_dir/locales"
        localedef -i "${wanted_locale%.UTF-8}" -f UTF-8 "$build_dir/locales/$wanted_locale"
        export LOCPATH=$build_dir/locales
    fi
    ;;
esac

main_log=$root/dorvex/log/velta/events
if $live; then
    export QUOR_LIVE_SYSLOGNG=$root/demo/syslog-ng
    live_syslog_ng=$source_dir/scripts/live-syslog-ng
    # Whatever ran before, the daemon starts on the files as they are now.
    "$live_syslog_ng" restart
    trap '"$live_syslog_ng" stop' EXIT
    touch "$QUOR_LIVE_SYSLOGNG/notifications"
    cat << EOF
syslog-ng runs on $root (its files in $QUOR_LIVE_SYSLOGNG).
Send an event from another terminal:
    QUOR_ADMIN_EVENTS_ROOT=$root $source_dir/scripts/send-event usb_added serial=42
    QUOR_ADMIN_EVENTS_ROOT=$root $source_dir/scripts/send-event --list
Records arrive in $main_log; events whose notifications are on
(context menu of an event, then Apply) also in $QUOR_LIVE_SYSLOGNG/notifications.
EOF
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    $live || exec "$kcmshell" quor-admin-events
    # Shows what arrives while the module is open.
    tail -n 0 -F "$main_log" "$QUOR_LIVE_SYSLOGNG/notifications" &
    tail_pid=$!
    trap 'kill "$tail_pid"; "$live_syslog_ng" stop' EXIT
    "$kcmshell" quor-admin-events
    exit
fi
# The Debian 13 tree has no KHelpCenter: Help has nothing to open there.
help_shot=$root/demo-help.png
command -v khelpcenter > /dev/null || help_shot=
# The Help button's accelerator in the demo's language (Alt+H in English, Alt+С
# in Russian), from the settings shell's own catalogue, as a key xdotool sends.
help_label=$(gettext -d kconfigwidgets5 --context="show help" "&Help" 2> /dev/null || echo "&Help")
help_key=$(python3 -I -c '
import sys
label = sys.argv[1]
key = label[label.index("&") + 1].lower() if "&" in label[:-1] else "h"
print(key if key.isascii() else "U%04X" % ord(key))' "$help_label")
echo "No display: opening the module under Xvfb for screenshots of it${help_shot:+ and of its Help}."
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
    "$2" quor-admin-events &
    pid=$!
    for i in $(seq 1 150); do
        window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        sleep 0.2
    done
    sleep 2
    import -window root "$0"
    if [ -n "$1" ]; then
        # The Help button opens the handbook in KHelpCenter.
        [ -n "$window" ] && xdotool windowfocus "$window" && xdotool key "alt+$3"
        for i in $(seq 1 150); do
            xdotool search --onlyvisible --class khelpcenter > /dev/null 2>&1 && break
            sleep 0.2
        done
        sleep 3
        import -window root "$1"
    fi
    kill "$pid"
' "$root/demo.png" "$help_shot" "$kcmshell" "$help_key"
if [ -n "$help_shot" ]; then
    echo "Screenshots: $root/demo.png, $help_shot"
else
    rm -f "$root/demo-help.png"
    echo "Screenshot: $root/demo.png (KHelpCenter is not installed: no screenshot of Help)"
fi
if $live; then
    record=$("$source_dir/scripts/send-event" usb_added serial=42)
    echo "Sent: $record"
    if timeout 10 bash -c 'until grep -qxF "$0" "$1"; do sleep 0.1; done' "$record" "$main_log"; then
        echo "Arrived in $main_log"
    else
        echo "Not in $main_log after 10 s; see $QUOR_LIVE_SYSLOGNG/internal.log" >&2
        exit 1
    fi
fi
