#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is
# missing. Asks apt only when something is missing, so a prepared machine
# needs no network.
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6sql6-sqlite libqt6sql6-psql libgl-dev libxcb1-dev
    postgresql
    qt6-translations-l10n
    libgtest-dev libgmock-dev libbenchmark-dev libsodium-dev libasio-dev libhiredis-dev redis-server
    libgnutls28-dev libssl-dev
    clang libclang-rt-14-dev
    fonts-ipafont-gothic
    openssl ca-certificates
    dpkg-dev file lintian desktop-file-utils appstream systemd
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
