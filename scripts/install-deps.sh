#!/usr/bin/env bash
# Installs what kelm's build and tests need on Debian 12, when it is missing.
# Run as root (or through sudo). Does nothing when everything is there.
set -euo pipefail
need=()
for pkg in build-essential cmake libgtest-dev libicu-dev libbenchmark-dev "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get -o DPkg::Lock::Timeout=300 update -qq
  $SUDO apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "${need[@]}"
fi
