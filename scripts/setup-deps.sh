#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Idempotent and non-interactive: packages already present are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libpugixml-dev libmsi-dev libgcab-dev libgsf-1-dev libglib2.0-dev
  qt6-base-dev fonts-dejavu-core
  libgtest-dev libgmock-dev libbenchmark-dev
  wine64 wine wine32:i386
  nsis nsis-doc msitools wixl gcab
  xvfb xauth xdotool
  g++-mingw-w64-x86-64-posix
  clang libclang-rt-14-dev ccache
  time
)

missing=()
# The Inno Setup compiler of the tests comes from the npm registry; the base image may bring npm
# with its own nodejs.
command -v npm >/dev/null || packages+=(npm)
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-deps: all packages present"
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

# Wine's 32-bit half: the capture machine runs 32-bit setups as a 64-bit Windows does (WoW64).
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

echo "setup-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
