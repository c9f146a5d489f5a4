#!/bin/bash
# Extracts the "quor-admin-events" catalogue the way KDE's translation machinery
# does (every Messages.sh with $EXTRACTRC, $XGETTEXT and $podir set) and merges
# it into the translations under po/.
#   scripts/extract-messages.sh            update po/<lang>/quor-admin-events.po
#   scripts/extract-messages.sh --pot DIR  only write DIR/quor-admin-events.pot
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)

pot_only=
if [ "${1:-}" = --pot ]; then
    pot_only=$(mkdir -p "$2" && cd "$2" && pwd)
fi

podir=${pot_only:-$(mktemp -d)}

# The keywords of KI18n and of uic's tr2i18n, as KDE's extraction passes them.
keywords=(-ki18n:1 -ki18nc:1c,2 -ki18np:1,2 -ki18ncp:1c,2,3
    -kki18n:1 -kki18nc:1c,2 -kki18np:1,2 -kki18ncp:1c,2,3
    -kkli18n:1 -kkli18nc:1c,2 -kkli18np:1,2 -kkli18ncp:1c,2,3
    -kklxi18n:1 -kklxi18nc:1c,2 -kklxi18np:1,2 -kklxi18ncp:1c,2,3
    -kxi18n:1 -kxi18nc:1c,2 -kxi18np:1,2 -kxi18ncp:1c,2,3
    -kkxi18n:1 -kkxi18nc:1c,2 -kkxi18np:1,2 -kkxi18ncp:1c,2,3
    -kI18N_NOOP:1 -kI18NC_NOOP:1c,2 -kI18N_NOOP2:1c,2 -kI18N_NOOP2_NOSTRIP:1c,2
    -ktr2i18n:1 -ktr2xi18n:1)
# Messages.sh expands these unquoted, so options must not contain spaces.
export EXTRACTRC="extractrc"
export XGETTEXT="xgettext --from-code=UTF-8 -C --kde -ci18n --sort-by-file --package-name=quor-admin-events ${keywords[*]}"
export podir

# On a copy: Messages.sh leaves its rc.cpp beside itself while it runs.
work=$(mktemp -d)
trap 'rm -rf "$work"; [ -n "$pot_only" ] || rm -rf "$podir"' EXIT
cp -r "$source_dir/src" "$source_dir/tools" "$work/"
while IFS= read -r messages; do
    (cd "$(dirname "$messages")" && bash "$(basename "$messages")")
done < <(find "$work" -name Messages.sh | sort)

[ -n "$pot_only" ] && exit 0

for po in "$source_dir"/po/*/quor-admin-events.po; do
    msgmerge --quiet --update --backup=none --previous "$po" "$podir/quor-admin-events.pot"
    echo "$po: $(msgfmt --statistics --check -o /dev/null "$po" 2>&1)"
done
