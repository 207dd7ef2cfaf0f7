#!/usr/bin/env bash
# Builds the Windows packages from a cross build folder (default build-win):
#   <build>/package/quillmere-<version>-setup.exe   64-bit NSIS installer
#   <build>/package/quillmere-<version>-win64.zip   portable: unpack and run quillmere.exe
# Both hold quillmere.exe, and quillmere-cli.exe and quillmere-sim.exe where
# the build has them. Needs mingw-w64, cmake, nsis and zip.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQUILLMERE_GUI=OFF \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
targets=(quillmere)
# A target this build defines has a rule in its build system. The list is
# read whole first: grep -q stops at the first match, and under pipefail the
# writer's broken pipe would count as no match.
rules=$(cmake --build "$build" --target help)
for program in quillmere-cli quillmere-sim; do
  if grep -qx "\.\.\. $program" <<<"$rules"; then targets+=("$program"); fi
done
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
out=$build/package
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage"
cmake --install "$build" --prefix "$stage" --strip >/dev/null
cp packaging/windows/quillmere.ico "$out/"

# The programs besides the window, as the installer's File lines and for the checks.
: >"$out/extra-programs.txt"
: >"$out/extra-programs.nsh"
for program in quillmere-cli.exe quillmere-sim.exe; do
  if [ -f "$stage/$program" ]; then
    echo "$program" >>"$out/extra-programs.txt"
    echo "File \"\${STAGE}/$program\"" >>"$out/extra-programs.nsh"
  fi
done

setup=$out/quillmere-$version-setup.exe
makensis -V2 -DVERSION="$version" -DSTAGE="$(realpath "$stage")" -DOUTFILE="$(realpath "$out")/$(basename "$setup")" \
  -DEXTRA_PROGRAMS="$(realpath "$out/extra-programs.nsh")" packaging/windows/quillmere.nsi

zipfile=$(realpath "$out")/quillmere-$version-win64.zip
(cd "$stage" && rm -f "$zipfile" && zip -q -9 -r "$zipfile" .)
ls -l "$setup" "$zipfile"
