#!/usr/bin/env bash
# Installs what building, running and testing need, when something is missing (Debian 12).
set -euo pipefail

packages=(g++ cmake make pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev
  libbenchmark-dev fonts-vlgothic libcli11-dev libtomlplusplus-dev libxcb1-dev python3-dev
  pybind11-dev python3-pybind11 python3-numpy)
if [ "${1:-}" = "--test" ]; then
  packages+=(xvfb xauth xdotool x11-utils imagemagick openbox clang libclang-rt-14-dev desktop-file-utils dpkg-dev parallel
    python3-pytest python3-matplotlib)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
