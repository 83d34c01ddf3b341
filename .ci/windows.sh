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
if installed; then
  echo "windows: Debian packages already installed"
else
  apt_get update -qq
  apt_get install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
fi

"$root/tools/build-windows.sh" --test
