#!/usr/bin/env bash
# Installs what is needed, builds the desk (Release) and runs it with the
# given arguments.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh

build="$root/build"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVALIS_TESTS=OFF
cmake --build "$build" -j2

exec "$build/bin/CorvalisDemo" "$@"
