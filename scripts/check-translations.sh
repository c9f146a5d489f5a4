#!/bin/bash
# Fails when a catalogue under po/ lags behind the sources: a message extracted
# now that it lacks, an untranslated or fuzzy entry, a translation that lost
# a placeholder (%1) or changed the number of accelerator marks (&), or an
# obsolete entry whose text the sources still hold (marked with a keyword the
# extraction does not know, it would stay untranslated unseen).
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
    python3 - "$po" "$source_dir" << 'EOF' || status=1
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

# Obsolete texts that a source file still holds as one literal: in C++ as a
# string in quotes, in a form as a <string> element.
from html import escape
from pathlib import Path
obsolete = subprocess.run(["msgattrib", "--only-obsolete", "--no-wrap", sys.argv[1]], capture_output=True, text=True, check=True).stdout
texts = [s for s in re.findall(r'^#~ msgid "(.*)"$', obsolete, re.M) if s]
sources = {}
for pattern in ("*.cpp", "*.h", "*.ui"):
    for folder in ("src", "tools"):
        for path in Path(sys.argv[2], folder).rglob(pattern):
            sources[path] = path.read_text(encoding="utf-8", errors="replace")
for msgid in texts:
    literal = '"' + msgid + '"'
    element = "<string>" + escape(msgid.encode().decode("unicode_escape"), quote=False) + "</string>"
    for path, content in sources.items():
        if literal in content or (path.suffix == ".ui" and element in content):
            print(f"{sys.argv[1]}: {msgid!r} is obsolete in the catalogue but still in {path.relative_to(sys.argv[2])}")
            bad = 1
            break
sys.exit(bad)
EOF
done
exit $status
