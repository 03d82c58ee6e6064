#!/usr/bin/env bash
# Installs the Debian packages Tovira needs to build, run and test, skipping those already present.
# Usage: scripts/install-deps.sh [--test] [--bench] [--fuzz]   (run as root, or with sudo available)
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-l10n-tools libsdl2-dev libpulse-dev libtag1-dev fonts-dejavu-core
  xvfb xauth imagemagick
  libgtest-dev libgmock-dev
  lame twolame sox python3-mutagen
  qt6-svg-dev dbus-daemon dbus-x11 desktop-file-utils xdg-utils shared-mime-info lintian dpkg-dev fakeroot file xvfb xauth xdotool x11-utils imagemagick openbox
)
for arg in "$@"; do
  case "$arg" in
    # The software-centre metainfo's validator, the accessibility bus and its Python client, and a
    # private sound server for the device's tests
    # (never where PipeWire serves PulseAudio clients: the two packages exclude each other).
    --test)
      packages+=(appstream locales at-spi2-core python3-pyatspi)
      if ! dpkg-query -W -f='${Status}' pipewire-pulse 2>/dev/null | grep -q "install ok installed"; then
        packages+=(pulseaudio pulseaudio-utils)
      fi ;;
    --bench) packages+=(libbenchmark-dev libxcb1-dev libavcodec-dev libavformat-dev libavutil-dev drascula-music) ;;
    --fuzz) packages+=(clang libclang-rt-dev) ;;
    *) echo "install-deps: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
