#!/bin/bash
# Records per second that a real syslog-ng takes from the events socket into
# the main event log, for the configurations the module writes, each beside a
# minimal one (the same source into one file, no parser) measured in the same
# round:
#
#     bench/pipelinebench.sh BUILD_DIR [RECORDS [ROUNDS]]
#
# BUILD_DIR holds bin/notificationfiles (QUOR_BUILD_BENCHMARKS=ON). Each row is
# run with the sample's common file ("now") and with the one shipped before the
# parse moved into the source ("before"). A round runs every row once, in
# turn; the figure of a row is its median over the rounds. Every run must
# deliver every record it sent, or the benchmark fails.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:?usage: pipelinebench.sh BUILD_DIR [RECORDS [ROUNDS]]}" && pwd)
records=${2:-50000}
rounds=${3:-3}
work=$(mktemp -d /tmp/pipelinebench.XXXXXX)
trap 'QUOR_ADMIN_EVENTS_ROOT=$work/root QUOR_LIVE_SYSLOGNG=$work/live "$source_dir/scripts/live-syslog-ng" stop > /dev/null 2>&1; rm -rf "$work"' EXIT
conf=$work/root/etc/syslog-ng/conf.d
sample=$source_dir/data/root/etc/syslog-ng/conf.d/mod-velta.conf
previous=$source_dir/bench/mod-velta-previous.conf

# The sample's events source, unparsed, into the main log.
minimal() {
    cat << 'CONF'
@version: 3.38
source velta_events_src {
    unix-dgram("/run/syslog-ng-mod-velta/events.sock" flags(no-parse, no-multi-line) create-dirs(yes) dir-perm(0755) perm(0660) log-msg-size(262144));
};
destination velta_json_dst {
    file("/dorvex/log/velta/events" template("$MSG\n"));
};
log {
    source(velta_events_src);
    destination(velta_json_dst);
};
CONF
}

# One configuration: COMMON_FILE EVENTS. The central destination is left out:
# nothing listens on its address here.
prepare() {
    rm -rf "$work/root" "$work/live"
    mkdir -p "$conf" "$work/root/dorvex/log/velta"
    if [ "$1" = minimal ]; then
        minimal > "$conf/mod-velta.conf"
    else
        python3 - "$1" "$conf/mod-velta.conf" << 'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
text = re.sub(r'\n# The site\'s central log server\.\ndestination velta_central_dst \{.*?\n\};\n', "\n", text, flags=re.S)
text = re.sub(r'\n# \.\.\. and to the central log server\.\nlog \{.*?\n\};\n', "\n", text, flags=re.S)
open(sys.argv[2], "w", encoding="utf-8").write(text)
PY
    fi
    [ "$2" -gt 0 ] && "$build_dir/bin/notificationfiles" "$conf" "$2"
    return 0
}

# Sends RECORDS records (MESSAGE_IDS: "none", or "all" for the events in turn)
# and prints records/s from the first send to the last line in the main log.
measure() {
    export QUOR_ADMIN_EVENTS_ROOT=$work/root QUOR_LIVE_SYSLOGNG=$work/live
    "$source_dir/scripts/live-syslog-ng" start
    python3 - "$work/root" "$records" "$1" "$2" << 'PY'
import os, socket, sys, time
root, count, events, ids = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
path = root + "/run/syslog-ng-mod-velta/events.sock"
log = root + "/dorvex/log/velta/events"
deadline = time.monotonic() + 30
while not os.path.exists(path):
    if time.monotonic() > deadline:
        sys.exit("the events socket did not appear")
    time.sleep(0.01)
records = []
for i in range(count):
    message_id = "bench_event_%d" % (i % events) if ids == "all" else "not_notified"
    records.append(('{"velta-info": {"message_id": "%s", "user": "alice", "host": "h%d"}}' % (message_id, i)).encode())
sender = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sender.connect(path)
start = time.monotonic()
for record in records:
    sender.send(record)
deadline = time.monotonic() + 300
lines = 0
while lines < count:
    if time.monotonic() > deadline:
        sys.exit("only %d of %d records reached the main log" % (lines, count))
    time.sleep(0.02)
    with open(log, "rb") as f:
        lines = sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 20), b""))
elapsed = time.monotonic() - start
time.sleep(0.2)
with open(log, "rb") as f:
    lines = f.read().count(b"\n")
if lines != count:
    sys.exit("%d records in the main log for %d sent" % (lines, count))
print(int(count / elapsed))
PY
    "$source_dir/scripts/live-syslog-ng" stop
}

rows=("minimal|minimal|0|none"
    "now: no event notified|$sample|0|none"
    "now: 10 notified, records no filter takes|$sample|10|none"
    "now: 100 notified, records no filter takes|$sample|100|none"
    "now: 100 notified, every record notified|$sample|100|all"
    "before: no event notified|$previous|0|none"
    "before: 100 notified, records no filter takes|$previous|100|none"
    "before: 100 notified, every record notified|$previous|100|all")
declare -A figures
for ((round = 1; round <= rounds; round++)); do
    for row in "${rows[@]}"; do
        IFS='|' read -r name common events ids <<< "$row"
        prepare "$common" "$events"
        figure=$(measure "$((events > 0 ? events : 1))" "$ids")
        figures[$name]+="$figure "
        echo "round $round: $name: $figure records/s" >&2
    done
done

median() { tr ' ' '\n' <<< "$1" | grep . | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
base=$(median "${figures[minimal]}")
printf '%-50s %12s %8s\n' configuration records/s ratio
for row in "${rows[@]}"; do
    name=${row%%|*}
    value=$(median "${figures[$name]}")
    printf '%-50s %12s %8.2f   (%s)\n' "$name" "$value" "$(awk -v v="$value" -v b="$base" 'BEGIN {print v / b}')" "${figures[$name]% }"
done
