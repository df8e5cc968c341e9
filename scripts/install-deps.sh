#!/usr/bin/env bash
# Installs every Debian package Corvelle needs to build, test, benchmark and fuzz.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    clang clang-format libclang-rt-14-dev ccache
    libgtest-dev libgmock-dev libbenchmark-dev
    libopenimageio-dev libcairo2-dev libcli11-dev nlohmann-json3-dev
    openimageio-tools libopencv-core-dev
    ffmpeg
    frei0r-plugins-dev frei0r-plugins melt gstreamer1.0-tools gstreamer1.0-plugins-base
    gstreamer1.0-plugins-bad
    libboost-dev
    chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
