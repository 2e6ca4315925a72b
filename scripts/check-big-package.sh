#!/usr/bin/env bash
# Installs a big package on a fresh Wine prefix with the prefix's own Windows Installer
# (msiexec /i /qn) and compares every installed file with its source by checksum. Too slow for the
# test suite; run once after the 3 GB benchmark kept its package:
#
#   CORVANE_BENCH_LARGE=1 CORVANE_BENCH_KEEP=/var/tmp/big build/bench/package_build_bench \
#       --benchmark_filter='BM_BuildVersusWixl/3000'   # or BM_BuildBigRandom: over 2 GB on disk
#   scripts/check-big-package.sh /var/tmp/big        # then: rm -rf /var/tmp/big
#
# The folder holds big.msi, files/ (the packaged files) and files.root (the Windows folder they
# were packaged from, e.g. C:\wide3000x1024, which the package installs to again).
# Exit status 0 when every file arrived byte for byte.
set -euo pipefail
kept=$(cd "${1:?usage: check-big-package.sh <folder kept by the benchmark>}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(tr -d '\r\n' <"$kept/files.root")
relative=${root#?:\\}
relative=${relative//\\//}

work=$(mktemp -d /var/tmp/corvane-big-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$here/make-prefix.sh" "$work" >/dev/null
run_wine() {
  env -i PATH=/usr/lib/wine:/usr/bin:/bin HOME="$work/home" USER="${USER:-root}" \
    LANG=C.UTF-8 WINEPREFIX="$work/prefix" WINEDEBUG=-all \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" "$@"
}

echo "package: $(stat -c %s "$kept/big.msi") bytes; files: $(find "$kept/files" -type f | wc -l)"
cp "$kept/big.msi" "$work/prefix/drive_c/big.msi"
start=$(date +%s)
status=0
run_wine wine64 msiexec /i 'C:\big.msi' /qn /l*v 'C:\install.log' || status=$?
run_wine wineserver -w
echo "msiexec /i /qn: exit $status after $(( $(date +%s) - start )) s"
installed="$work/prefix/drive_c/$relative"
if [ "$status" -ne 0 ] || [ ! -d "$installed" ]; then
  cp "$work/prefix/drive_c/install.log" "$kept/install.log" 2>/dev/null || true
  echo "not installed; the installer's log is $kept/install.log; its failures:" >&2
  # Wine writes the log in UTF-16.
  { iconv -f UTF-16LE -t UTF-8 "$kept/install.log" 2>/dev/null || cat "$kept/install.log"; } |
    grep -a -i -E "error|fail|return value 3" | head -20 >&2
  exit 1
fi
(cd "$kept/files" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$work/source.sums"
(cd "$installed" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$work/installed.sums"
if cmp -s "$work/source.sums" "$work/installed.sums"; then
  echo "every file identical: $(wc -l <"$work/source.sums") files"
else
  echo "files differ:" >&2
  diff "$work/source.sums" "$work/installed.sums" | head -20 >&2
  exit 1
fi
