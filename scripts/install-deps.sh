#!/usr/bin/env bash
# Makes a fresh Debian machine ready to build, test and run the desk.
# Idempotent: packages already present are left alone.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev libpq-dev postgresql
  libssl-dev libengine-gost-openssl
  libcurl4-openssl-dev libzip-dev libxml2-dev libxlsxwriter-dev zlib1g-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang-14 libclang-rt-14-dev
  clang-format
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
