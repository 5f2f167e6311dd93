#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs both executables from there: a user who
# installs gets Varnak and varnak-tools side by side, and both work away from the sources.
set -euo pipefail
build_dir=$1
examples=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build_dir" --prefix "$prefix" >/dev/null
for program in Varnak varnak-tools; do
  [[ -x "$prefix/bin/$program" ]] || { echo "FAIL: $program not installed in $prefix/bin"; exit 1; }
done
report=$("$prefix/bin/Varnak" --graph "$examples/ring4.txt" --N 10 --seed 1)
[[ "$report" == Spectra:* ]] || { echo "FAIL: installed Varnak printed: $report"; exit 1; }
exact=$("$prefix/bin/varnak-tools" exact --graph "$examples/ring4.txt" --format csv)
grep -q '^spectrum,' <<<"$exact" || { echo "FAIL: installed varnak-tools printed: $exact"; exit 1; }
echo "OK"
