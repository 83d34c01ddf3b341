#!/usr/bin/env bash
# CI step for the Windows editions: installs the mingw-w64 cross compilers
# and Wine (64-bit and 32-bit) from Debian, then builds both DLLs, checks
# their export and import tables and the 32-bit DLL's __stdcall returns, runs
# the test suite under Wine and compares the results with the Linux build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(cmake g++ googletest
          g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
          wine wine64 wine32:i386)
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
# Waits for another apt or dpkg to let go of the lock instead of failing.
apt_get() { apt-get -o DPkg::Lock::Timeout=900 -o Acquire::Retries=3 "$@"; }
installed() {
  [[ $(dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null |
       grep -c '^install ok installed$') -eq ${#packages[@]} ]]
}
# The packages cannot be had when the package index itself fails, or their
# download does (a mirror in the middle of a sync): the step is skipped with
# apt's error rather than failing CI. Any other failure to install them, and
# every failure once they are present, fails CI.
skip() {
  local error
  error=$(grep -m1 '^E:' <<<"$1" || true)
  echo "windows: SKIPPED: ${error:-$(tail -n1 <<<"$1")}"
  exit 0
}
if installed; then
  echo "windows: Debian packages already installed"
else
  if ! log=$(apt_get update -qq 2>&1); then skip "$log"; fi
  if ! log=$(apt_get install -y -qq --no-install-recommends "${packages[@]}" 2>&1 >/dev/null) &&
     ! installed; then
    # Packages that could not be downloaded from the mirror are skipped like
    # the index; anything else (a package that does not exist, a broken
    # dependency) fails CI.
    if grep -qE 'Failed to fetch|Hash Sum mismatch|unexpected size|Temporary failure resolving|Could not connect|Unable to fetch' <<<"$log"; then
      skip "$log"
    fi
    echo "$log" >&2
    exit 1
  fi
fi

"$root/tools/build-windows.sh" --test
