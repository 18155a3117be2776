#!/usr/bin/env bash
# Fails when a C++ file of the project differs from .clang-format; with --fix
# formats them in place instead.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"

mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null || find src tests bench fuzz application -name '*.cpp' -o -name '*.h')
[ ${#files[@]} -gt 0 ] || exit 0

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi

bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  if ! clang-format --dry-run -Werror "$f" >/dev/null 2>&1; then bad+=("$f"); fi
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "check-format: these files differ from .clang-format (run scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: all files formatted"
