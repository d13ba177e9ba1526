#!/usr/bin/env bash
# Installs the Debian 12 packages Orbisk needs to build and test. Idempotent: apt-get runs only
# when something is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  clang-14 libclang-rt-14-dev
  libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libgtest-dev googletest
  qt6-base-dev qt6-svg-dev libqt6svg6-dev libgl-dev qt6-multimedia-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  libwmf-dev libemf2svg-dev
  fonts-dejavu-core
  exiv2 poppler-utils giflib-tools
  # Desktop integration: xdg-mime (associations), desktop-file-validate and
  # update-desktop-database (the desktop entry), dbus-send (KDE wallpaper), Xvfb (screenshots).
  xdg-utils desktop-file-utils dbus xvfb xauth
)
if [[ "${1:-}" == "--bench" ]]; then
  PACKAGES+=(libbenchmark-dev hyperfine libjpeg-turbo-progs imagemagick libvips-tools)
  PACKAGES+=(graphicsmagick) # gm mogrify: the thumbnail peer of bench/thumbnails.sh
fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
