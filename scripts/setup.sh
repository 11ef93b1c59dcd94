#!/usr/bin/env bash
# Installs the Debian packages LumoEditor needs, when any is missing.
# Runs apt-get update once before installing; uses sudo when not root.
set -euo pipefail

PACKAGES=(
  cmake g++ ninja-build pkg-config
  qtbase5-dev libqt5opengl5-dev qttools5-dev-tools
  libglu1-mesa-dev libgl1-mesa-dri
  libopencv-dev opencv-data
  libfreeimage-dev libwebp-dev webp
  rapidjson-dev libnanoflann-dev libboost-filesystem-dev
  libzip-dev unzip nodejs libxxhash-dev
  libgtest-dev libtinyobjloader-dev libstb-dev libmeshoptimizer-dev assimp-testmodels
  xvfb xauth
  clang libclang-rt-14-dev
  librsvg2-bin python3-markdown fonts-wqy-microhei
  libdlib-dev libdlib-data duktape-dev libsodium-dev libegl-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "setup: installing ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
