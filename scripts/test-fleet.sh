#!/bin/bash
# Builds the Debian package, unpacks it into a temporary root, checks that the
# settings shell finds the packaged module, and rolls a reference configuration
# out to a temporary system root with the Ansible role and the real
# ansible-playbook (localhost, connection local). Service commands go to the
# recording stand-in for sudo in tests/fakebin.
#   DEB=file   use this package instead of building one
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)

# python3-apt for the role's apt tasks.
missing=()
for package in ansible-core python3-apt; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
fi
deb=${DEB:-}
if [ -z "$deb" ]; then
    bash "$source_dir/scripts/build-deb.sh"
    deb=$(ls "$source_dir"/build-deb/quor-admin-events_*.deb)
fi
deb=$(realpath "$deb")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0
check() {
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "PASS: $name"
    else
        failed=$((failed + 1))
        echo "FAIL: $name"
    fi
}

# --- The package, unpacked into a temporary root.
dpkg -x "$deb" "$work/package"
plugins=$work/package/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/qt5/plugins
modules=$(QT_PLUGIN_PATH=$plugins QT_QPA_PLATFORM=offscreen timeout 60 kcmshell5 --list 2>/dev/null)
check "kcmshell5 --list with the packaged plugin path lists the module" grep -q '^quor-admin-events ' <<< "$modules"
manager=$work/package/usr/sbin/velta-event-config-manager
for file in usr/sbin/velta-event-config-manager usr/bin/quor-wmfunc \
    usr/share/man/man8/velta-event-config-manager.8.gz usr/share/man/man1/quor-wmfunc.1.gz \
    usr/share/doc/quor-admin-events/copyright usr/share/doc/quor-admin-events/changelog.gz \
    usr/share/doc/HTML/en/kcontrol5/quor-admin-events/index.docbook \
    usr/share/doc/HTML/en/kcontrol5/quor-admin-events/index.cache.bz2; do
    check "the package holds /$file" [ -s "$work/package/$file" ]
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in syslog-ng-core logrotate kde-cli-tools sudo libarchive13 libkf5configwidgets5 libqt5widgets5; do
    check "the package depends on $package" grep -qE "(^|, )$package( |,|$)" <<< "$depends"
done

# --- A reference machine whose configuration differs from the sample system.
reference=$work/reference
cp -a "$source_dir/data/root/." "$reference/"
sed -i 's/rotate [0-9]*/rotate 4/' "$reference/etc/logrotate.d/syslog-ng-mod-velta"
echo 'destination velta_reference_dst { file("/dorvex/log/velta/reference"); };' >> "$reference/etc/syslog-ng/conf.d/mod-velta.conf"
mkdir -p "$reference/etc/audit/rules.d"
echo '-w /etc/shadow -p wa -k velta_shadow' > "$reference/etc/audit/rules.d/velta-syslog.rules"
QUOR_ADMIN_EVENTS_ROOT=$reference "$manager" -o "$work/reference.tar.gz"

# The same with a syslog-ng file that syslog-ng rejects.
broken=$work/broken
cp -a "$reference" "$broken"
echo 'destination velta_broken_dst { file("/dorvex/log/velta/broken" };' >> "$broken/etc/syslog-ng/conf.d/mod-velta.conf"
QUOR_ADMIN_EVENTS_ROOT=$broken "$manager" -o "$work/broken.tar.gz"

# The reference with only the rotation changed: syslog-ng and auditd read none of it.
rotation=$work/rotation
cp -a "$reference" "$rotation"
sed -i 's/rotate 4/rotate 6/' "$rotation/etc/logrotate.d/syslog-ng-mod-velta"
QUOR_ADMIN_EVENTS_ROOT=$rotation "$manager" -o "$work/rotation.tar.gz"

# --- The host: the sample system with the package's files, and a notification
# file of an event the reference does not notify.
host=$work/host
cp -a "$source_dir/data/root/." "$host/"
cp -a "$work/package/usr/." "$host/usr/"
echo '# stale' > "$host/etc/syslog-ng/conf.d/mod-velta-stale-event.conf"

mkdir -p "$work/tmp"
export PATH=$source_dir/tests/fakebin:$PATH
export QUOR_FAKE_LOG=$work/commands.log
export QUOR_FAKE_UNITS=$work/units
export ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP=$work/ansible-local ANSIBLE_REMOTE_TMP=$work/ansible-remote
touch "$QUOR_FAKE_LOG"
# Runs the example playbook on the host root; the output goes to $work/play.log.
play() {
    local archive=$1
    shift
    (cd "$work" && TMPDIR=$work/tmp ansible-playbook -i "$source_dir/tests/fleet/inventory.ini" \
        "$source_dir/deploy/ansible/site.yml" \
        -e quor_admin_events_root="$host" -e quor_admin_events_archive="$archive" \
        -e quor_admin_events_install_package=false "$@") > "$work/play.log" 2>&1
}
changed_count() {
    sed -n 's/^localhost .* changed=\([0-9]*\) .*/\1/p' "$work/play.log"
}
snapshot() {
    (cd "$host" && find . -printf '%p %y %m\n' | sort && find . -type f -print0 | sort -z | xargs -0 sha256sum)
}
same_as_before() {
    snapshot | cmp -s - "$work/before"
}
in_log() {
    grep -qF -- "$1" "$work/play.log"
}
restarts() {
    grep -c 'restart' "$QUOR_FAKE_LOG" || true
}
staging_removed() {
    [ -z "$(ls -A "$work/tmp")" ]
}

# --- Check mode: shows the diff, changes nothing, restarts nothing.
snapshot > "$work/before"
status=0
play "$work/reference.tar.gz" --check --diff || status=$?
check "check mode: the play succeeds" [ "$status" = 0 ]
check "check mode: reports a change" [ "$(changed_count)" = 1 ]
check "check mode: prints the diff of the logrotate file" in_log "+	rotate 4"
check "check mode: prints the diff of the syslog-ng file" in_log '+destination velta_reference_dst'
check "check mode: the host's files are unchanged" same_as_before
check "check mode: no service restarted" [ "$(restarts)" = 0 ]
check "check mode: the staging folder is removed" staging_removed
cp "$work/play.log" "$work/check.log"

# --- Check mode with the package file: the install is looked into, not done.
installed() {
    dpkg-query -W -f='${Status} ${Version}' quor-admin-events 2>/dev/null || true
}
installed_before=$(installed)
expected=changed
[ "$installed_before" = "install ok installed $(dpkg-deb -f "$deb" Version)" ] && expected=ok
status=0
play "$work/reference.tar.gz" --check -e quor_admin_events_install_package=true -e quor_admin_events_package_deb="$deb" || status=$?
check "check mode with the package file: the play succeeds" [ "$status" = 0 ]
check "check mode with the package file: the install is reported" \
    grep -qx "$expected: \[localhost\]" <(grep -A1 'Install quor-admin-events from the package file' "$work/play.log")
check "check mode with the package file: nothing is installed" [ "$(installed)" = "$installed_before" ]
check "check mode with the package file: the host's files are unchanged" same_as_before
cp "$work/play.log" "$work/package.log"

# --- First run: the host's files become the archive's, the services restart.
status=0
play "$work/reference.tar.gz" || status=$?
check "first run: the play succeeds" [ "$status" = 0 ]
check "first run: reports changes" [ "$(changed_count)" -gt 0 ]
identical=true
for name in $(tar -tzf "$work/reference.tar.gz"); do
    cmp -s "$reference/$name" "$host/$name" || identical=false
done
check "first run: every file of the archive is on the host" $identical
check "first run: the stale notification file is removed" [ ! -e "$host/etc/syslog-ng/conf.d/mod-velta-stale-event.conf" ]
check "first run: syslog-ng restarted" grep -qx 'sudo systemctl restart syslog-ng' "$QUOR_FAKE_LOG"
check "first run: auditd restarted for the audit rules" grep -qx 'sudo systemctl restart auditd' "$QUOR_FAKE_LOG"
check "first run: the staging folder is removed" staging_removed
cp "$work/play.log" "$work/first.log"

# --- Second run: nothing to do.
snapshot > "$work/before"
restarts_before=$(restarts)
status=0
play "$work/reference.tar.gz" || status=$?
check "second run: the play succeeds" [ "$status" = 0 ]
check "second run: reports 0 changed" [ "$(changed_count)" = 0 ]
check "second run: the host's files are unchanged" same_as_before
check "second run: no service restarted" [ "$(restarts)" = "$restarts_before" ]
cp "$work/play.log" "$work/second.log"

# --- A change that no service reads: imported, nothing restarted.
status=0
play "$work/rotation.tar.gz" || status=$?
check "rotation only: the play succeeds" [ "$status" = 0 ]
check "rotation only: reports the import" [ "$(changed_count)" = 1 ]
check "rotation only: the logrotate file is the archive's" \
    cmp -s "$rotation/etc/logrotate.d/syslog-ng-mod-velta" "$host/etc/logrotate.d/syslog-ng-mod-velta"
check "rotation only: no service restarted" [ "$(restarts)" = "$restarts_before" ]
cp "$work/play.log" "$work/rotation.log"
snapshot > "$work/before"

# --- An archive with a syslog-ng file that syslog-ng rejects.
status=0
play "$work/broken.tar.gz" || status=$?
check "refused archive: the play fails" [ "$status" != 0 ]
check "refused archive: the play stops at --check" in_log "velta-event-config-manager --check failed"
check "refused archive: syslog-ng's message is shown" in_log "syntax error, unexpected '}' in /etc/syslog-ng/conf.d/mod-velta.conf"
check "refused archive: the host's files are unchanged" same_as_before
check "refused archive: no service restarted" [ "$(restarts)" = "$restarts_before" ]
check "refused archive: the staging folder is removed" staging_removed
cp "$work/play.log" "$work/broken.log"

if [ "$failed" != 0 ]; then
    for log in check package first second rotation broken; do
        echo "===== ansible-playbook output: $log"
        cat "$work/$log.log"
    done
fi
echo "fleet: $passed passed, $failed failed"
[ "$failed" = 0 ]
