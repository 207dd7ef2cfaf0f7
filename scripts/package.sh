#!/usr/bin/env bash
# Builds the .deb from a configured build directory and checks it in a clean folder:
# the declared dependencies, the installed files, and that the installed programs start.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j"$(nproc)" --target quillmere quillmere-sim
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
         usr/share/icons/hicolor/scalable/apps/quillmere.svg; do
  [ -e "$root/$f" ] || { echo "missing $f in the package"; exit 1; }
done
"$root/usr/bin/quillmere-sim" --help >/dev/null
if ldd "$root/usr/bin/quillmere" | grep -q "not found"; then echo "unresolved libraries"; exit 1; fi
echo "package check passed"
