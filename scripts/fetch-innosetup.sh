#!/usr/bin/env bash
# Fetches the Inno Setup compiler (the npm registry's `innosetup` package, which carries ISCC.exe
# and its files) into a cache folder once, and prints the path of ISCC.exe. The package is only
# downloaded and unpacked (npm pack), never installed, so no package script runs.
# Usage: scripts/fetch-innosetup.sh <cache folder>
# Exit status: 0 with the path printed; 3 when the npm registry cannot be reached (or npm is
# missing), so callers can skip; 1 for any other failure.
set -euo pipefail
version=6.4.1
cache=${1:?usage: fetch-innosetup.sh <cache folder>}
mkdir -p "$cache"
cache=$(cd "$cache" && pwd)
target="$cache/innosetup-$version"
if [ -f "$target/bin/ISCC.exe" ]; then
  echo "$target/bin/ISCC.exe"
  exit 0
fi
command -v npm >/dev/null 2>&1 || { echo "fetch-innosetup: npm is not installed" >&2; exit 3; }
work=$(mktemp -d "$cache/fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT
# npm's own cache stays beside ours, not in the caller's home.
if ! (cd "$work" && npm pack "innosetup@$version" --cache "$cache/npm-cache" --silent >pack.log 2>&1); then
  echo "fetch-innosetup: npm cannot fetch innosetup@$version:" >&2
  cat "$work/pack.log" >&2
  exit 3
fi
tar -xzf "$work/innosetup-$version.tgz" -C "$work"
test -f "$work/package/bin/ISCC.exe" || { echo "fetch-innosetup: the package holds no bin/ISCC.exe" >&2; exit 1; }
# Moved into place in one step, so a concurrent caller never sees half a compiler.
mv "$work/package" "$work/ready" && mv -T "$work/ready" "$target" 2>/dev/null || test -f "$target/bin/ISCC.exe"
echo "$target/bin/ISCC.exe"
