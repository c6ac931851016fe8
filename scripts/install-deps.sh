#!/usr/bin/env bash
# Installs every Debian package that building, running and testing need. Safe to run again: when
# everything is present it does nothing.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qtbase5-dev qttools5-dev qttools5-dev-tools qt5-style-plugins qttranslations5-l10n
    qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
    librtmidi-dev libasound2-dev libjack-jackd2-dev jackd2 pipewire pipewire-jack
    libgtest-dev libgmock-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format clang-tidy
    xvfb xauth ccache
    qemu-system-x86 busybox-static
    dpkg-dev file desktop-file-utils appstream libx11-dev
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root (or with sudo) to install them." >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
