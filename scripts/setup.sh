#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (run as root), and any
# further Debian packages named as arguments (the benchmarks' peers, for example).
# Only packages that are missing are installed, so a second run costs nothing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

for p in cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix \
         mingw-w64-i686-dev binutils-mingw-w64-i686 googletest \
         wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick fonts-ipafont-gothic \
         python3 python3-pyftpdlib nginx-light zip fonts-wine "$@"; do
  have "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # The tests start nginx themselves, each on its own port; installing it must not start the
  # system's service, which would hold port 80 for nothing.
  no_services=""
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod +x /usr/sbin/policy-rc.d
    no_services=1
  fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${need[@]}"
  [ -z "$no_services" ] || rm -f /usr/sbin/policy-rc.d
fi
