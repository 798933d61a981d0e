#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12, as root. Safe to run again.
set -euo pipefail
# 32-bit Wine runs the x86 build beside the x86-64 one; its packages come from
# the i386 architecture, and the 32-bit side of the tests' serial shim needs gcc-multilib.
# Its ODBC calls reach the ledger through the 32-bit unixODBC and driver.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
pkgs=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev
      g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
      wine wine64 fonts-wine xvfb xauth x11-apps x11-utils imagemagick ghostscript poppler-utils
      clang-format locales fonts-dejavu-core wixl msitools git nlohmann-json3-dev wine32:i386
      gcc-multilib libssl-dev
      postgresql odbc-postgresql unixodbc unixodbc-dev odbc-postgresql:i386 libodbc2:i386)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync fails one index; what it did fetch still serves.
  for try in 1 2 3; do
    apt-get update -qq && break
    if [ "$try" = 3 ]; then
      echo "note: the package lists could not all be refreshed; going on with those at hand" >&2
    else
      sleep 10
    fi
  done
  if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    # Without an i386 index that matches the installed libraries the 32-bit
    # packages cannot go in; the rest still builds and tests the x86-64 side,
    # and the x86 Wine tests say why they do not run.
    native=()
    for p in "${missing[@]}"; do [ "${p%:i386}" = "$p" ] && native+=("$p"); done
    apt-get install -y -qq --no-install-recommends "${native[@]}" >/dev/null
    echo "note: the 32-bit packages could not be installed; the x86 build will not run under Wine" >&2
  fi
fi
