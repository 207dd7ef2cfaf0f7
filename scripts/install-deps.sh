#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and running the tool needs.
set -euo pipefail
if [ "$(id -u)" -ne 0 ]; then exec sudo "$0" "$@"; fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends \
  build-essential cmake g++ git pkg-config ccache \
  libgtest-dev googletest \
  libcli11-dev nlohmann-json3-dev \
  libudev-dev umockdev libumockdev-dev \
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev \
  fonts-wqy-zenhei fontconfig \
  clang libclang-rt-14-dev \
  dpkg-dev file lintian help2man \
  g++-mingw-w64-x86-64 wine64 wine nsis zip unzip xvfb xauth imagemagick >/dev/null
