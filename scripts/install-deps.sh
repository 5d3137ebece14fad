#!/usr/bin/env bash
# Installs what kelm's build and tests need on Debian 12, when it is missing.
# Run as root (or through sudo). Does nothing when everything is there.
# groff-base checks the man pages (a CTest); dpkg-dev and file let
# `cpack -G DEB` work out the package's dependencies.
set -euo pipefail
need=()
for pkg in build-essential cmake libgtest-dev libicu-dev libbenchmark-dev groff-base dpkg-dev file \
    "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  # Another apt-get (an unattended upgrade, a parallel job) may hold the lock.
  lock=(-o DPkg::Lock::Timeout=300)
  $SUDO apt-get "${lock[@]}" update -qq
  $SUDO apt-get "${lock[@]}" install -y -qq --no-install-recommends "${need[@]}"
fi
