#!/bin/bash
# Fails when a catalogue under po/ lags behind the sources: a message extracted
# now that it lacks, an untranslated or fuzzy entry, or a translation that lost
# a placeholder (%1) or changed the number of accelerator marks (&).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
fresh=$(mktemp -d)
trap 'rm -rf "$fresh"' EXIT
bash "$source_dir/scripts/extract-messages.sh" --pot "$fresh"

status=0
for po in "$source_dir"/po/*/quor-admin-events.po; do
    statistics=$(LC_ALL=C msgfmt --statistics --check -o /dev/null "$po" 2>&1) || status=1
    echo "$po: $statistics"
    case "$statistics" in
    *untranslated* | *fuzzy*) status=1 ;;
    esac
    # Every message of a fresh extraction, translated (msgcmp counts untranslated and fuzzy as missing).
    msgcmp "$po" "$fresh/quor-admin-events.pot" || status=1
    python3 - "$po" << 'EOF' || status=1
import re
import subprocess
import sys

# One entry per block of the catalogue without line wrapping: its msgid and msgstr texts.
text = subprocess.run(["msgcat", "--no-wrap", sys.argv[1]], capture_output=True, text=True, check=True).stdout
bad = 0
for block in text.split("\n\n"):
    ids = [s for k, s in re.findall(r'^(msgid(?:_plural)?) "(.*)"$', block, re.M)]
    strs = re.findall(r'^msgstr(?:\[\d\])? "(.*)"$', block, re.M)
    if not ids or not ids[0]:
        continue
    placeholders = set(re.findall(r"%\d", "".join(ids)))
    for translation in strs:
        # Every form keeps every placeholder: a Russian singular form also stands for 21, 31...
        missing = placeholders - set(re.findall(r"%\d", translation))
        if missing or translation.count("&") != ids[0].count("&"):
            print(f"{sys.argv[1]}: {ids[0]!r} -> {translation!r}: placeholders or accelerators differ")
            bad = 1
sys.exit(bad)
EOF
done
exit $status
