#!/bin/bash
# Builds the Debian package, unpacks it into a temporary root, checks that the
# settings shell finds the packaged module, and rolls a reference configuration
# out to a temporary system root with the Ansible role and the real
# ansible-playbook (localhost, connection local). Service commands go to the
# recording stand-in for sudo in tests/fakebin, placed in each root.
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
for option in --help -h --version; do
    check "velta-event-config-manager $option exits 0" bash -c '"$1" "$2" > /dev/null' _ "$manager" "$option"
done
# Every option --help prints is in the man page.
man_lists_options() {
    local page options option
    page=$(zcat "$work/package/usr/share/man/man8/velta-event-config-manager.8.gz" | sed 's/\\-/-/g')
    options=$("$manager" --help | grep -E '^ +-' | grep -oE -- '(^| )-[-a-z]+' | tr -d ' ')
    for option in $options; do
        grep -qE -- "(^|[^-a-z])$option([^-a-z]|$)" <<< "$page" || { echo "not in the man page: $option"; return 1; }
    done
}
check "the man page lists every option" man_lists_options
check "purging the package removes /var/lib/quor-admin-events" \
    bash -c 'dpkg-deb --ctrl-tarfile "$1" | tar -xOf - ./postrm | grep -qx "    rm -rf /var/lib/quor-admin-events"' _ "$deb"
depends=$(dpkg-deb -f "$deb" Depends)
for package in syslog-ng-core logrotate openssh-client kde-cli-tools sudo libarchive13 libkf5configwidgets5 libqt5widgets5; do
    check "the package depends on $package" grep -qE "(^|, )$package( |,|$)" <<< "$depends"
done

# --- A reference machine whose configuration differs from the sample system.
reference=$work/reference
cp -a "$source_dir/data/root/." "$reference/"
sed -i 's/rotate [0-9]*/rotate 4/' "$reference/etc/logrotate.d/syslog-ng-mod-velta"
echo 'destination velta_reference_dst { file("/dorvex/log/velta/reference"); };' >> "$reference/etc/syslog-ng/conf.d/mod-velta.conf"
mkdir -p "$reference/etc/audit/rules.d"
echo '-w /etc/shadow -p wa -k velta_shadow' > "$reference/etc/audit/rules.d/velta-syslog.rules"
# The programs the manager starts, by their fixed paths in each root (the copies
# below take them along); the reference's own manager is the package's.
bash "$source_dir/scripts/place-programs" "$reference"
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

# The reference with a settings file cut short: the module could not read it whole.
truncated=$work/truncated
cp -a "$reference" "$truncated"
head -c 40 "$reference/etc/velta-syslog.conf" > "$truncated/etc/velta-syslog.conf"
QUOR_ADMIN_EVENTS_ROOT=$truncated "$manager" -o "$work/truncated.tar.gz"

# The reference with another syslog-ng destination: syslog-ng must restart.
restart=$work/restart
cp -a "$reference" "$restart"
echo 'destination velta_restart_dst { file("/dorvex/log/velta/restart"); };' >> "$restart/etc/syslog-ng/conf.d/mod-velta.conf"
QUOR_ADMIN_EVENTS_ROOT=$restart "$manager" -o "$work/restart.tar.gz"

# --- The host: the sample system with the package's files and auditd, and a
# notification file of an event the reference does not notify.
host=$work/host
cp -a "$source_dir/data/root/." "$host/"
cp -a "$work/package/usr/." "$host/usr/"
mkdir -p "$host/sbin"
touch "$host/sbin/auditd"
echo '# stale' > "$host/etc/syslog-ng/conf.d/mod-velta-stale-event.conf"
# A new host: the sample system without the package.
bare=$work/bare
cp -a "$source_dir/data/root/." "$bare/"
# The stand-ins' settings: the manager starts its programs with a fixed
# environment, so they read them from the root.
fake_log=$work/commands.log
for root in "$host" "$bare"; do
    bash "$source_dir/scripts/place-programs" "$root"
    mkdir -p "$root/test"
    printf "QUOR_FAKE_LOG='%s'\nQUOR_FAKE_UNITS='%s'\n" "$fake_log" "$work/units" > "$root/test/fake.env"
done

mkdir -p "$work/tmp"
export ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP=$work/ansible-local ANSIBLE_REMOTE_TMP=$work/ansible-remote
touch "$fake_log"
# Runs a playbook on the root $ROOT (the host's by default); the output goes to
# $work/play.log. The restarts go to the recording stand-in for sudo.
playbook() {
    local file=$1
    shift
    (cd "$work" && TMPDIR=$work/tmp ansible-playbook -i "$source_dir/tests/fleet/inventory.ini" \
        "$source_dir/deploy/ansible/$file" -e quor_admin_events_root="${ROOT:-$host}" \
        -e quor_admin_events_restart_services=true "$@") > "$work/play.log" 2>&1
}
# The example playbook with an archive, without installing the package; the
# hosts trust the key that signed the reference's exports.
play() {
    local archive=$1
    shift
    playbook site.yml -e quor_admin_events_archive="$archive" -e quor_admin_events_install_package=false \
        -e quor_admin_events_signer_key="$reference/var/lib/quor-admin-events/signing/key.pub" "$@"
}
changed_count() {
    sed -n 's/^localhost .* changed=\([0-9]*\) .*/\1/p' "$work/play.log"
}
# A root's files, without root's scratch folder and the stand-ins' settings.
tree_state() {
    (cd "$1" && find . \( -path ./var/lib/quor-admin-events/scratch -o -path ./test \) -prune -o -printf '%p %y %m\n' | sort \
        && find . \( -path ./var/lib/quor-admin-events/scratch -o -path ./test \) -prune -o -type f -print0 | sort -z | xargs -0 sha256sum)
}
snapshot() {
    tree_state "$host"
}
same_as_before() {
    snapshot | cmp -s - "$work/before"
}
in_log() {
    grep -qF -- "$1" "$work/play.log"
}
# Restarts and reloads: a running syslog-ng reloads its files.
restarts() {
    grep -c 'restart\|reload' "$fake_log" || true
}
staging_removed() {
    [ -z "$(ls -A "$work/tmp")" ] || { ls -lA "$work/tmp"; false; }
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

# --- Package files by release: the host's (Debian 12 here) is the one looked into.
release=$(. /etc/os-release && echo "$VERSION_ID")
status=0
play "$work/reference.tar.gz" --check -e quor_admin_events_install_package=true \
    -e "{\"quor_admin_events_package_debs\": {\"$release\": \"$deb\", \"99\": \"$work/no-such.deb\"}}" || status=$?
check "package files by release: the play succeeds" [ "$status" = 0 ]
check "package files by release: the host's release's file is installed" \
    grep -qx "$expected: \[localhost\]" <(grep -A1 'Install quor-admin-events from the package file' "$work/play.log")
status=0
play "$work/reference.tar.gz" --check -e quor_admin_events_install_package=true \
    -e "{\"quor_admin_events_package_debs\": {\"99\": \"$deb\"}}" || status=$?
check "package files by release: a host of another release fails" [ "$status" != 0 ]
check "package files by release: the failure names the host's release" in_log "No package file for Debian $release in quor_admin_events_package_debs"
check "package files by release: the host's files are unchanged" same_as_before

# --- First run: the host's files become the archive's, the services restart.
status=0
play "$work/reference.tar.gz" || status=$?
check "first run: the play succeeds" [ "$status" = 0 ]
check "first run: reports changes" [ "$(changed_count)" -gt 0 ]
identical=true
for name in $(tar -tzf "$work/reference.tar.gz" | grep -vx quor-admin-events-manifest.json); do
    cmp -s "$reference/$name" "$host/$name" || identical=false
done
check "first run: every file of the archive is on the host" $identical
check "first run: the stale notification file is removed" [ ! -e "$host/etc/syslog-ng/conf.d/mod-velta-stale-event.conf" ]
check "first run: syslog-ng restarted" grep -qx 'sudo systemctl restart syslog-ng' "$fake_log"
check "first run: auditd restarted for the audit rules" grep -qx 'sudo systemctl restart auditd' "$fake_log"
check "first run: the staging folder is removed" staging_removed
check "first run: the host trusts the reference machine's key" \
    grep -qF "$(cut -d' ' -f1,2 "$reference/var/lib/quor-admin-events/signing/key.pub")" "$host/etc/quor-admin-events/trusted-signers"
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
# Screened before syslog-ng reads it, with the file, the line and the statement.
# The appended line is the file's last.
broken_line=$(wc -l < "$broken/etc/syslog-ng/conf.d/mod-velta.conf")
check "refused archive: the reason is shown" in_log "/etc/syslog-ng/conf.d/mod-velta.conf:$broken_line: destination velta_broken_dst: \\\"}\\\" is not expected here"
check "refused archive: the host's files are unchanged" same_as_before
check "refused archive: no service restarted" [ "$(restarts)" = "$restarts_before" ]
check "refused archive: the staging folder is removed" staging_removed
cp "$work/play.log" "$work/broken.log"

# --- An unsigned archive: refused unless the play admits it.
tar -czf "$work/unsigned.tar.gz" -C "$rotation" etc/logrotate.d/syslog-ng-mod-velta
status=0
play "$work/unsigned.tar.gz" || status=$?
check "unsigned archive: the play fails" [ "$status" != 0 ]
check "unsigned archive: the reason is shown" in_log "the archive is not signed"
check "unsigned archive: the host's files are unchanged" same_as_before
check "unsigned archive: the staging folder is removed" staging_removed
cp "$work/play.log" "$work/unsigned.log"

# --- A new host in check mode: the archive is checked with the manager of the
# package file, the install and the import are reported, nothing changes.
bare_state() {
    tree_state "$bare"
}
bare_state > "$work/bare-before"
status=0
ROOT=$bare play "$work/reference.tar.gz" --check --diff -e quor_admin_events_install_package=true \
    -e quor_admin_events_package_deb="$deb" || status=$?
check "new host, check mode: the play succeeds" [ "$status" = 0 ]
check "new host, check mode: reports the install and the import" [ "$(changed_count)" -ge 1 ]
# The task's result follows its diff.
check "new host, check mode: the import is reported" grep -qx "changed: \[localhost\]" \
    <(sed -n '/Import the configuration archive/,/^\(changed\|ok\|fatal\|skipping\):/p' "$work/play.log" | tail -1)
check "new host, check mode: prints the diff of the logrotate file" in_log "+	rotate 4"
check "new host, check mode: nothing is installed" [ "$(installed)" = "$installed_before" ]
check "new host, check mode: the host's files are unchanged" bash -c '[ "$(cat "$1")" = "$2" ]' _ "$work/bare-before" "$(bare_state)"
cp "$work/play.log" "$work/bare.log"

# --- A settings file cut short: refused before the package is installed.
status=0
ROOT=$bare play "$work/truncated.tar.gz" -e quor_admin_events_install_package=true -e quor_admin_events_package_deb="$deb" || status=$?
check "truncated settings: the play fails" [ "$status" != 0 ]
check "truncated settings: the manager's reason is shown" in_log "/etc/velta-syslog.conf: not valid JSON"
check "truncated settings: refused before the install" bash -c '! grep -q "Install quor-admin-events from the package file" "$1"' _ "$work/play.log"
check "truncated settings: nothing is installed" [ "$(installed)" = "$installed_before" ]
check "truncated settings: the host's files are unchanged" bash -c '[ "$(cat "$1")" = "$2" ]' _ "$work/bare-before" "$(bare_state)"
cp "$work/play.log" "$work/truncated.log"

# --- A change syslog-ng refuses is put back and imported again on the next
# run. syslog-ng runs since the first run: it refuses the reload and keeps
# running the configuration before, whose files the manager puts back.
status=0
cp "$host/etc/syslog-ng/conf.d/mod-velta.conf" "$work/common-before-restart"
cp "$host/test/fake.env" "$work/fake.env"
echo "QUOR_FAKE_FAIL='reload syslog-ng'" >> "$host/test/fake.env"
play "$work/restart.tar.gz" || status=$?
cp "$work/fake.env" "$host/test/fake.env"
check "failed restart: the play fails" [ "$status" != 0 ]
check "failed restart: the files from before are back" \
    cmp -s "$work/common-before-restart" "$host/etc/syslog-ng/conf.d/mod-velta.conf"
cp "$work/play.log" "$work/restart-failed.log"
restarts_before=$(restarts)
status=0
play "$work/restart.tar.gz" || status=$?
check "failed restart, next run: the play succeeds" [ "$status" = 0 ]
check "failed restart, next run: reports 1 changed" [ "$(changed_count)" = 1 ]
check "failed restart, next run: syslog-ng restarted" [ "$(restarts)" = $((restarts_before + 1)) ]
check "failed restart, next run: the files are imported" \
    cmp -s "$restart/etc/syslog-ng/conf.d/mod-velta.conf" "$host/etc/syslog-ng/conf.d/mod-velta.conf"
cp "$work/play.log" "$work/restart-retried.log"
status=0
play "$work/restart.tar.gz" || status=$?
check "failed restart, third run: reports 0 changed" [ "$(changed_count)" = 0 ]
check "failed restart, third run: no service restarted" [ "$(restarts)" = $((restarts_before + 1)) ]

# --- A trial root restarts nothing unless asked to.
restarts_before=$(restarts)
status=0
play "$work/reference.tar.gz" -e quor_admin_events_restart_services="{{ quor_admin_events_root | length == 0 }}" || status=$?
check "trial root: the import succeeds" [ "$status" = 0 ]
check "trial root: no service restarted" [ "$(restarts)" = "$restarts_before" ]

# --- Drift: exactly the file changed behind the role's back.
echo '# changed by hand' >> "$host/etc/logrotate.d/syslog-ng-mod-velta"
status=0
playbook drift.yml || status=$?
check "drift: the play succeeds" [ "$status" = 0 ]
check "drift: the changed file is reported" in_log '"localhost: /etc/logrotate.d/syslog-ng-mod-velta (modified)"'
check "drift: nothing else is reported" [ "$(grep -c '"localhost: ' "$work/play.log")" = 1 ]
check "drift: the host's files are unchanged" grep -q '^# changed by hand$' "$host/etc/logrotate.d/syslog-ng-mod-velta"
cp "$work/play.log" "$work/drift.log"

# --- Rollback: back to the snapshot taken before the last import.
status=0
playbook rollback.yml || status=$?
check "rollback: the play succeeds" [ "$status" = 0 ]
check "rollback: the syslog-ng file is the one before the last import" \
    cmp -s "$restart/etc/syslog-ng/conf.d/mod-velta.conf" "$host/etc/syslog-ng/conf.d/mod-velta.conf"
check "rollback: the hand-made change is gone" bash -c '! grep -q "^# changed by hand" "$1"' _ "$host/etc/logrotate.d/syslog-ng-mod-velta"
cp "$work/play.log" "$work/rollback.log"

if [ "$failed" != 0 ]; then
    for log in check package first second rotation broken unsigned bare truncated restart-failed restart-retried drift rollback; do
        echo "===== ansible-playbook output: $log"
        cat "$work/$log.log"
    done
fi
echo "fleet: $passed passed, $failed failed"
[ "$failed" = 0 ]
