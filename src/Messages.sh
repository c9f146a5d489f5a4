#! /usr/bin/env bash
# Extracts the translation catalogue of the "quor-admin-events" domain (KDE's
# scripty conventions: $EXTRACTRC, $XGETTEXT and $podir come from the caller).
# The tools' messages belong to the same domain: the page shows what they print.
$EXTRACTRC $(find . -name '*.ui') >> rc.cpp
$XGETTEXT $(find . ../tools -name '*.cpp' -o -name '*.h') -o $podir/quor-admin-events.pot
rm -f rc.cpp
