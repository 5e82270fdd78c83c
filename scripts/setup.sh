#!/bin/bash
# Installs what LiveUpdate needs on Debian 12 (when missing), then configures and builds it.
# usage: scripts/setup.sh [BUILD_DIR]   (default: build)
# LIVEUPDATE_WERROR=ON makes warnings errors; LIVEUPDATE_SANITIZE=ON builds with ASan and UBSan.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}

packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libcli11-dev qt6-base-dev
    libqt6sql6-sqlite libqt6sql6-odbc libcurl4-openssl-dev curl libzip-dev zlib1g-dev zipcmp zipmerge ziptool
    libsqlite3-dev sqlite3 unixodbc-dev odbc-postgresql tdsodbc postgresql python3-pyftpdlib
    lighttpd fonts-dejavu-core zip unzip dpkg-dev help2man lintian libsodium-dev minisign
    lighttpd-mod-openssl openssl libssl-dev clang-format)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" = 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DLIVEUPDATE_WERROR=${LIVEUPDATE_WERROR:-OFF} \
    -DLIVEUPDATE_SANITIZE=${LIVEUPDATE_SANITIZE:-OFF} >/dev/null
cmake --build "$build" -j "$(nproc)"
