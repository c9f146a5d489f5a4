#!/bin/bash
# Installs what building, testing and the demo need on Debian 12 (run as root),
# and the packages named as arguments.
set -euo pipefail
packages=(
    cmake g++ make extra-cmake-modules pkg-config ccache
    qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins
    libkf5configwidgets-dev libkf5coreaddons-dev libkf5i18n-dev libkf5config-dev libkf5widgetsaddons-dev libkf5syntaxhighlighting-dev
    libarchive-dev gettext kdesdk-scripts locales qttranslations5-l10n
    libkf5doctools-dev kdoctools5 docbook-xml docbook-xsl
    kde-cli-tools breeze-icon-theme khelpcenter
    xvfb xauth xdotool imagemagick dbus dbus-x11 libxcb1-dev
    syslog-ng-core syslog-ng-mod-python syslog-ng-scl logrotate tar gzip python3
    openssh-client # ssh-keygen signs and checks the archives
    clang libclang-rt-14-dev llvm # the fuzz targets: libFuzzer and readable sanitizer reports
    "$@" # what a caller needs beside these
)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" > /dev/null
fi
