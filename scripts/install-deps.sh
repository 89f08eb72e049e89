#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, `make run` and
# `make deb` need, and only those that are missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config make
  libpng-dev zlib1g-dev libdeflate-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  fonts-dejavu-core
  man-db bash-completion dpkg-dev file
  valgrind
)

# The fuzz targets (make fuzz) need clang and its libFuzzer runtime.
if [ "${TAVREL_FUZZ:-0}" = 1 ]; then
  packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
