#!/bin/bash
# Builds quor-admin-events against Qt 6 and KDE Frameworks 6 in a Debian 13
# tree and runs the whole test suite there (real syslog-ng 4, logrotate, D-Bus,
# kcmshell6 under Xvfb). Run as root on the Debian 12 machine.
#   CI=true              warnings are errors
#   PLASMA6_TREE=dir     where the tree is unpacked (default /var/tmp/quor-admin-events-trixie)
#   PLASMA6_CACHE=dir    the tree's tarball and the compiler cache (default /var/cache/quor-admin-events)
#   --package            then builds the Plasma 6 Debian package in the tree and
#                        checks it with lintian (into the tree's /build/deb)
#   --demo               runs the demo in the tree instead (scripts/demo.sh --plasma6)
#   --prepare            only makes or reuses the tree (.ci/run does it in the
#                        background while the Qt 5 build compiles)
#   CCACHE_DISABLE=1     builds without the compiler cache
# The tree is made once with mmdebstrap from scripts/plasma6-packages.txt and
# kept as a tarball; a change of that list makes a new one.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
tree=${PLASMA6_TREE:-/var/tmp/quor-admin-events-trixie}
cache=${PLASMA6_CACHE:-/var/cache/quor-admin-events}

# Inside the tree: build, test, list and show the module.
if [ "${1:-}" = --inside ]; then
    shift
    if [ "${1:-}" = --demo ]; then
        BUILD_DIR=/build/demo DEMO_ROOT=/build/demo-root exec bash /src/scripts/demo.sh --in-plasma6-tree
    fi
    cd /build
    werror=OFF
    [ "${CI:-}" = true ] && werror=ON
    cmake -S /src -B /build -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=ON -DBUILD_WITH_QT6=ON \
        -DQUOR_WERROR=$werror -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache > /build/cmake.log
    # Every compile error of a run at once: the tree is slow to enter.
    cmake --build /build -j "$(nproc)" -- -k
    rm -f /build/kcmshell-*.png
    ctest --output-on-failure -j 2 --timeout 600
    echo "syslog-ng: $(syslog-ng --version | head -n 1)"
    # The smoke test of the suite opened the module in kcmshell6: its listing
    # and its screenshots are the proof that Plasma 6 finds and shows it.
    listed=$(QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=/build/bin kcmshell6 --list 2> /dev/null | grep '^quor-admin-events ' || true)
    [ -n "$listed" ] || { echo "kcmshell6 --list does not name the module" >&2; exit 1; }
    echo "kcmshell6 --list: $listed"
    for shot in /build/kcmshell-build-tree.png /build/kcmshell-installed.png; do
        [ -s "$shot" ] || { echo "no screenshot $shot: the smoke test did not run" >&2; exit 1; }
    done
    if [ "${1:-}" = --package ]; then
        OUT_DIR=/build/deb bash /src/scripts/build-deb.sh --plasma6
    fi
    exit 0
fi

case "${1:-}" in
"" | --package | --demo | --prepare) ;;
*) echo "usage: $0 [--package | --demo | --prepare]" >&2; exit 2 ;;
esac
packages=$(grep -v '^#' "$source_dir/scripts/plasma6-packages.txt" | sort)
stamp=$(echo "$packages" | sha256sum | cut -c1-12)
tarball=$cache/trixie-$stamp.tar
mkdir -p "$cache/ccache"
if [ ! -s "$tarball" ]; then
    bash "$source_dir/scripts/install-deps.sh" mmdebstrap
    echo "making the Debian 13 tree (some minutes)"
    mmdebstrap --quiet --variant=apt --include="$(echo "$packages" | paste -sd,)" trixie "$tarball.partial.tar"
    mv "$tarball.partial.tar" "$tarball"
    # Older trees of other package lists.
    find "$cache" -maxdepth 1 -name 'trixie-*.tar' ! -name "${tarball##*/}" -delete
fi
if [ "$(cat "$tree/.quor-tree" 2> /dev/null || true)" != "$stamp" ]; then
    # Mounts live in the namespace of one run only (below): nothing is mounted here.
    if findmnt -rno TARGET | grep -q "^$tree/"; then
        echo "$tree has mounts; not replacing it" >&2
        exit 1
    fi
    rm -rf "$tree"
    mkdir -p "$tree"
    tar -C "$tree" -xpf "$tarball"
    mkdir -p "$tree/src" "$tree/build" "$tree/ccache"
    # The tests build their own ru_RU locale; the C one is there already.
    echo "$stamp" > "$tree/.quor-tree"
fi
if [ "${1:-}" = --prepare ]; then
    echo "The Debian 13 tree: $tree"
    exit 0
fi

# The source read-only (the build and the tests write only into /build), the
# compiler cache shared between runs; all mounts end with this run's namespace.
ci=${CI:-}
unshare --mount --propagation private bash -euo pipefail -c '
    tree=$1 source=$2 cache=$3 ci=$4 ccache_disable=$5
    shift 5
    mount --bind "$source" "$tree/src"
    mount -o remount,bind,ro "$tree/src"
    mount --bind "$cache/ccache" "$tree/ccache"
    mount -t proc proc "$tree/proc"
    mount --rbind /dev "$tree/dev"
    mount --rbind /sys "$tree/sys"
    mount -t tmpfs tmpfs "$tree/tmp"
    mount -t tmpfs tmpfs "$tree/run"
    exec chroot "$tree" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 CI="$ci" \
        CCACHE_DIR=/ccache CCACHE_BASEDIR=/ CCACHE_MAXSIZE=5G ${ccache_disable:+CCACHE_DISABLE=$ccache_disable} \
        /bin/bash /src/scripts/test-plasma6.sh --inside "$@"
' run-in-tree "$tree" "$source_dir" "$cache" "$ci" "${CCACHE_DISABLE:-}" "$@"
if [ "${1:-}" = --package ]; then
    echo "The Plasma 6 package: $(ls "$tree"/build/deb/quor-admin-events_*.deb)"
fi
if [ "${1:-}" = --demo ]; then
    echo "The demo's screenshot: $tree/build/demo-root/demo.png"
else
    echo "Qt 6 build and screenshots: $tree/build (kcmshell-build-tree.png, kcmshell-installed.png)"
fi
