#!/usr/bin/env bash
# Installs everything Keyloom needs to build, run and test on Debian 12. Safe to run again.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang
    qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6charts6 libqt6test6 qt6-qpa-plugins
    libgl-dev libqt6opengl6-dev libxkbcommon-dev libvulkan-dev qcoro-qt6-dev
    libcpp-httplib-dev libssl-dev libxcb1-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    fonts-material-design-icons-iconfont fonts-dejavu-core fonts-dejavu-extra
    xvfb xauth
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
