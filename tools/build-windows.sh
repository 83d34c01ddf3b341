#!/usr/bin/env bash
# Cross-builds the Windows editions of velmprob with mingw-w64:
#
#   build-win32/stats/velmprob.dll     statistics edition, 32-bit x86
#   build-win64/threaded/velmprob.dll  threaded sampling edition, x86-64
#
# and checks that each DLL exports exactly its edition's names and imports
# only system DLLs. With --test it also builds the test programs and runs the
# whole suite under Wine (one Wine server for the whole run, stopped at the
# end), and compares what every export returns for fixed seeds with the Linux
# libraries built from the same tree (tools/velmdump.cpp): the bits must be
# equal. Installs nothing: it names the Debian packages that are missing.
#
# Usage: tools/build-windows.sh [--test] [--jobs N]
# Environment: WINEPREFIX (default: $HOME/.cache/velmprob-wine), VELM_WERROR
# (ON by default).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
run_tests=0
jobs=2
while [[ $# -gt 0 ]]; do
  case $1 in
    --test) run_tests=1 ;;
    --jobs) jobs=$2; shift ;;
    -h|--help) sed -n '2,15p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "build-windows.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

# ---- what is needed, and from which Debian package ------------------------
missing=()
need() {  # need PATH-OR-COMMAND PACKAGE
  if [[ $1 == /* ]]; then [[ -e $1 ]] || missing+=("$2")
  else command -v "$1" >/dev/null 2>&1 || missing+=("$2"); fi
}
need cmake cmake
need i686-w64-mingw32-g++-posix g++-mingw-w64-i686-posix
need x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64-posix
need i686-w64-mingw32-objdump binutils-mingw-w64-i686
need x86_64-w64-mingw32-objdump binutils-mingw-w64-x86-64
if [[ $run_tests == 1 ]]; then
  need /usr/src/googletest/CMakeLists.txt googletest
  need g++ g++
  need wine wine
  need wineserver wine
  need /usr/lib/wine/wine64 wine64
  need /usr/lib/wine/wine wine32:i386
fi
if [[ ${#missing[@]} -gt 0 ]]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  echo "build-windows.sh: missing Debian packages: ${missing[*]}" >&2
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
    echo "  (wine32:i386 needs: dpkg --add-architecture i386 && apt-get update)" >&2
  fi
  echo "  install with: apt-get install ${missing[*]}" >&2
  exit 2
fi

started=$SECONDS
phase() { echo "== $* ($((SECONDS - started)) s)"; }

# ---- Wine: one prefix, one server for the whole run -----------------------
if [[ $run_tests == 1 ]]; then
  export WINEPREFIX=${WINEPREFIX:-$HOME/.cache/velmprob-wine}
  export WINEDEBUG=${WINEDEBUG:--all}
  # No Mono or Gecko installers: the tests are console programs.
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
  export WINEARCH=win64
  stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
  trap stop_wine EXIT
  phase "starting Wine in $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  if ! wineserver -p 2>/dev/null; then
    # A server already runs for this prefix: replace it with a persistent one.
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wineserver -p
  fi
  wine wineboot --init >/dev/null 2>&1
fi

status=0
build() {  # build DIR TOOLCHAIN EDITION EMULATOR
  local dir=$root/$1 toolchain=$root/cmake/$2 edition=$3 emulator=$4
  local args=(-S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain"
              -DCMAKE_BUILD_TYPE=Release -DVELM_EDITIONS="$edition"
              -DVELM_WERROR="${VELM_WERROR:-ON}" -DVELM_BUILD_BENCH=OFF)
  if [[ $run_tests == 1 ]]; then
    args+=(-DVELM_BUILD_TESTS=ON -DCMAKE_CROSSCOMPILING_EMULATOR="$emulator")
  else
    args+=(-DVELM_BUILD_TESTS=OFF)
  fi
  # Each step returns on failure: errexit does not apply inside "build || ...".
  phase "configuring $1 ($edition edition)"
  mkdir -p "$dir"
  cmake "${args[@]}" >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log"; return 1; }
  phase "building $1"
  if [[ $run_tests == 1 ]]; then
    cmake --build "$dir" -j "$jobs" || return 1
  else
    cmake --build "$dir" -j "$jobs" --target "velmprob_$edition" || return 1
  fi
  phase "checking export and import tables of $1/$edition/velmprob.dll"
  cmake -DOBJDUMP="$(grep -m1 '^CMAKE_OBJDUMP:' "$dir/CMakeCache.txt" | cut -d= -f2-)" \
        -DLIB="$dir/$edition/velmprob.dll" \
        -DEXPECTED="$root/tests/export/exports_$edition.txt" \
        -P "$root/tests/export/check_pe_tables.cmake" || return 1
  if [[ $run_tests == 1 ]]; then
    phase "testing $1 under $(basename "$emulator")"
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure || return 1
  fi
}

# The Linux libraries of the same tree and the Windows DLLs must return the
# same bits for the same calls.
compare() {  # compare WINDIR EDITION EMULATOR TRIPLE
  local windir=$root/$1 edition=$2 emulator=$3 triple=$4 ref=$root/build-win-ref
  phase "comparing $1/$edition/velmprob.dll with the Linux $edition edition"
  "$triple-g++-posix" -std=c++20 -O2 -Wall -Wextra -static -I "$root" \
    "$root/tools/velmdump.cpp" -o "$windir/velmdump.exe" || return 1
  "$ref/velmdump" "$ref/$edition/libvelmprob.so" >"$ref/$edition.dump" || return 1
  "$emulator" "$windir/velmdump.exe" "$windir/$edition/velmprob.dll" >"$windir/$edition.dump" ||
    return 1
  if ! cmp -s "$ref/$edition.dump" "$windir/$edition.dump"; then
    echo "results differ from the Linux build ($ref/$edition.dump, $windir/$edition.dump):" >&2
    diff "$ref/$edition.dump" "$windir/$edition.dump" | head -20 >&2
    return 1
  fi
  echo "identical: $(wc -l <"$windir/$edition.dump") lines of results"
}
reference() {
  local ref=$root/build-win-ref
  phase "building the Linux libraries for comparison"
  mkdir -p "$ref"
  cmake -S "$root" -B "$ref" -DCMAKE_BUILD_TYPE=Release -DVELM_EDITIONS="stats;threaded" \
    -DVELM_BUILD_TESTS=OFF -DVELM_BUILD_BENCH=OFF >"$ref/configure.log" 2>&1 ||
    { cat "$ref/configure.log"; return 1; }
  cmake --build "$ref" -j "$jobs" --target velmprob_stats velmprob_threaded || return 1
  g++ -std=c++20 -O2 -Wall -Wextra -I "$root" "$root/tools/velmdump.cpp" \
    -o "$ref/velmdump" -ldl || return 1
}

build build-win32 mingw-w64-i686.cmake stats /usr/lib/wine/wine || status=1
build build-win64 mingw-w64-x86_64.cmake threaded /usr/lib/wine/wine64 || status=1
if [[ $run_tests == 1 ]]; then
  if reference; then
    compare build-win32 stats /usr/lib/wine/wine i686-w64-mingw32 || status=1
    compare build-win64 threaded /usr/lib/wine/wine64 x86_64-w64-mingw32 || status=1
  else
    status=1
  fi
fi

phase "done, status $status"
exit $status
