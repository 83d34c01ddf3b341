#!/usr/bin/env bash
# Cross-builds the Windows editions of velmprob with mingw-w64:
#
#   build-win32/stats/velmprob.dll     statistics edition, 32-bit x86, __stdcall
#   build-win64/threaded/velmprob.dll  threaded sampling edition, x86-64
#
# and checks that each DLL exports exactly its edition's names and imports
# only system DLLs, and that every 32-bit export returns with ret 4 x its
# argument count. With --test it also builds the test programs and runs the
# whole suite under Wine (one Wine server for the whole run, stopped at the
# end), and compares what every export returns for fixed seeds with the Linux
# libraries built from the same tree (tools/velmdump.cpp, which on 32-bit
# calls every export as __stdcall and checks the stack pointer): the bits must
# be equal. It also builds the C-convention variant of the 32-bit DLL
# (build-win32-cdecl, VELM_WIN32_CDECL) and requires the stack check to catch
# it. Installs nothing: it names the Debian packages that are missing.
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
    -h|--help) sed -n '2,20p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
# Checks a DLL's export and import tables and, for 32-bit x86, the calling
# convention in its code.
check_tables() {  # check_tables DIR FOLDER EDITION [CONVENTION]
  local dir=$root/$1 lib=$root/$1/$2/velmprob.dll edition=$3 convention=${4:-}
  local objdump
  objdump=$(grep -m1 '^CMAKE_OBJDUMP:' "$dir/CMakeCache.txt" | cut -d= -f2-)
  phase "checking export and import tables of $1/$2/velmprob.dll"
  cmake -DOBJDUMP="$objdump" -DLIB="$lib" \
        -DEXPECTED="$root/tests/export/exports_$edition.txt" \
        -P "$root/tests/export/check_pe_tables.cmake" || return 1
  if [[ -n $convention ]]; then
    phase "checking that every export of $1/$2/velmprob.dll returns as $convention"
    cmake -DOBJDUMP="$objdump" -DLIB="$lib" -DHEADER="$root/export/velmprob.h" \
          -DCONVENTION="$convention" -P "$root/tests/export/check_stdcall.cmake" || return 1
  fi
}

build() {  # build DIR TOOLCHAIN EDITION EMULATOR [CONVENTION]
  local dir=$root/$1 toolchain=$root/cmake/$2 edition=$3 emulator=$4 convention=${5:-}
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
  check_tables "$1" "$edition" "$edition" "$convention" || return 1
  if [[ $run_tests == 1 ]]; then
    phase "testing $1 under $(basename "$emulator")"
    # Now and then Wine fails to start a test process at all (it fails at
    # once, with no output); such a test is run once more. A test that fails
    # on its merits fails both times.
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure ||
      ctest --test-dir "$dir" --output-on-failure --rerun-failed || return 1
  fi
}

# The Linux libraries of the same tree and the Windows DLLs must return the
# same bits for the same calls: velmdump (a target of every build) prints them.
compare() {  # compare WINDIR EDITION EMULATOR
  local windir=$root/$1 edition=$2 emulator=$3 ref=$root/build-win-ref
  phase "comparing $1/$edition/velmprob.dll with the Linux $edition edition"
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
  cmake --build "$ref" -j "$jobs" --target velmprob_stats velmprob_threaded velmdump || return 1
}

# The C-convention variant of the 32-bit DLL: its code must return as cdecl,
# and the __stdcall host (build-win32/velmdump.exe) must refuse it at its
# first call with arguments, the stack pointer 4 bytes off.
cdecl_variant() {
  local dir=build-win32-cdecl emulator=/usr/lib/wine/wine out
  phase "configuring $dir (stats edition, VELM_WIN32_CDECL)"
  mkdir -p "$root/$dir"
  cmake -S "$root" -B "$root/$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DVELM_EDITIONS=stats -DVELM_WIN32_CDECL=ON \
    -DVELM_WERROR="${VELM_WERROR:-ON}" -DVELM_BUILD_BENCH=OFF -DVELM_BUILD_TESTS=OFF \
    >"$root/$dir/configure.log" 2>&1 || { cat "$root/$dir/configure.log"; return 1; }
  cmake --build "$root/$dir" -j "$jobs" --target velmprob_stats || return 1
  check_tables "$dir" stats-cdecl stats cdecl || return 1
  phase "calling $dir/stats-cdecl/velmprob.dll as __stdcall: the stack check must fail"
  local rc=0
  out=$("$emulator" "$root/build-win32/velmdump.exe" "$root/$dir/stats-cdecl/velmprob.dll" \
        2>&1 >/dev/null) || rc=$?
  if [[ $rc != 3 || $out != *"moved the stack pointer"* ]]; then
    echo "the stack check missed the cdecl DLL (exit status $rc): $out" >&2
    return 1
  fi
  echo "refused as expected: $out"
}

build build-win32 mingw-w64-i686.cmake stats /usr/lib/wine/wine stdcall || status=1
build build-win64 mingw-w64-x86_64.cmake threaded /usr/lib/wine/wine64 || status=1
if [[ $run_tests == 1 ]]; then
  if reference; then
    compare build-win32 stats /usr/lib/wine/wine || status=1
    compare build-win64 threaded /usr/lib/wine/wine64 || status=1
  else
    status=1
  fi
  cdecl_variant || status=1
fi

phase "done, status $status"
exit $status
