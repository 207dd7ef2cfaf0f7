#!/usr/bin/env bash
# Builds the .deb from a configured build directory and checks it in a clean folder:
# the declared dependencies, the installed files, that the installed programs start,
# and that Debian's package checker (lintian) finds no error and no warning.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
# The programs, their manual pages and the compressed changelog (the programs
# come along as the pages' dependencies, quillmere-cli too once it exists).
cmake --build "$build" -j"$(nproc)" --target quillmere quillmere-sim quillmere-package-files
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls -t "$build"/quillmere_*.deb | head -n 1)
echo "package: $deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for need in libqt6widgets6 libc6 fonts-wqy-zenhei; do
  grep -q "$need" <<<"$depends" || { echo "missing dependency $need"; exit 1; }
done
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
for f in usr/bin/quillmere usr/bin/quillmere-sim usr/share/applications/quillmere.desktop \
         usr/share/icons/hicolor/scalable/apps/quillmere.svg usr/share/doc/quillmere/copyright \
         usr/share/doc/quillmere/changelog.gz usr/share/man/man1/quillmere.1.gz \
         usr/share/man/man1/quillmere-sim.1.gz usr/bin/quillmere-cli usr/share/man/man1/quillmere-cli.1.gz; do
  [ -e "$root/$f" ] || { echo "missing $f in the package"; exit 1; }
done
"$root/usr/bin/quillmere-sim" --help >/dev/null
"$root/usr/bin/quillmere-cli" --version >/dev/null
"$root/usr/bin/quillmere" --version >/dev/null
if ldd "$root/usr/bin/quillmere" | grep -q "not found"; then echo "unresolved libraries"; exit 1; fi
# Informational and pedantic tags are shown but do not fail the check.
echo "lintian:"
status=0
report=$(lintian --fail-on error,warning --display-info --pedantic "$deb" 2>&1) || status=$?
grep -v "running with root privileges" <<<"$report" || true
if [ "$status" -ne 0 ]; then echo "lintian found errors or warnings"; exit 1; fi
echo "package check passed"
