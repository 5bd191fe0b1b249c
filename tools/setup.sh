#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: apt-get update runs only
# when something is missing, and installed packages are left alone.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git
  clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6 libgl-dev
  firebird3.0-server-core firebird3.0-utils libfbclient2 firebird-dev
  libcurl4-openssl-dev libzip-dev libpugixml-dev nettle-dev libffi-dev nlohmann-json3-dev
  python3 python3-pyftpdlib python3-aiosmtpd python3-xlrd python3-dbfread
  vsftpd poppler-utils libxml2-utils bc
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
echo "setup: all packages present"
