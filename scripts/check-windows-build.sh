#!/usr/bin/env bash
# Compiles every source of the program for Windows (the win32 backend, not the wine one) with the
# MinGW-w64 cross compiler, syntax and warnings only: the same core must keep building there.
# Usage: scripts/check-windows-build.sh   (exit 0 when every file compiles without a warning)
set -euo pipefail
cd "$(dirname "$0")/../src"
compiler=x86_64-w64-mingw32-g++-posix
if ! command -v "$compiler" >/dev/null; then
  echo "check-windows-build: $compiler is not installed (scripts/setup-deps.sh installs it)" >&2
  exit 1
fi
# pugixml is header-only for our purposes; take its headers alone, not the host's include folder.
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
cp /usr/include/pugixml.hpp /usr/include/pugiconfig.hpp "$headers/"

failed=0
checked=0
for source in core/*.cpp platform/*.cpp platform/win32/*.cpp project/*.cpp snapshot/*.cpp package/*.cpp session/*.cpp app/*.cpp; do
  checked=$((checked + 1))
  if ! "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Wpedantic -Werror -DUNICODE -D_UNICODE \
       -I. -I"$headers" "$source"; then
    echo "check-windows-build: $source does not compile for Windows" >&2
    failed=$((failed + 1))
  fi
done
echo "check-windows-build: $((checked - failed)) of $checked sources compile for Windows"
[ "$failed" -eq 0 ]
