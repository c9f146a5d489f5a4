#!/bin/bash
# Builds the Debian package quor-admin-events_<version>_<arch>.deb with
# dpkg-buildpackage and checks it with lintian (Debian 12, as root for the
# installs). The sources are copied to OUT_DIR/src first, so that the build
# leaves the work tree clean and the results land in OUT_DIR.
#   OUT_DIR=dir   where to build (default: build-deb)
#   LINTIAN=0     skip lintian
#   --plasma6     the Plasma 6 package (Qt 6, KDE Frameworks 6), in the Debian 13
#                 tree of scripts/test-plasma6.sh, which holds what it needs
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out_dir=${OUT_DIR:-$source_dir/build-deb}
profile=()
if [ "${1:-}" = --plasma6 ]; then
    profile=(-Ppkg.quor-admin-events.qt6)
else
    bash "$source_dir/scripts/install-deps.sh" debhelper dpkg-dev fakeroot lintian
fi

rm -rf "$out_dir"
mkdir -p "$out_dir/src"
tar -C "$source_dir" --exclude='./build*' --exclude=./demo-root --exclude=./.git -cf - . | tar -C "$out_dir/src" -xf -

# debhelper gives the build a HOME of its own; keep using the shared compiler cache.
if command -v ccache > /dev/null; then
    export CCACHE_DIR=${CCACHE_DIR:-$(ccache -k cache_dir)}
    export CCACHE_BASEDIR=$out_dir/src
    export PATH=/usr/lib/ccache:$PATH
fi
(cd "$out_dir/src" && dpkg-buildpackage -us -uc -b -j"$(nproc)" "${profile[@]}")

changes=$(ls "$out_dir"/quor-admin-events_*.changes)
if [ "${LINTIAN:-1}" != 0 ]; then
    lintian --fail-on error --suppress-tags-from-file /dev/null "$changes"
fi
ls "$out_dir"/quor-admin-events_*.deb
