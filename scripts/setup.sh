#!/usr/bin/env bash
# Installs the Debian 12 packages Orbisk needs to build and test. Idempotent: apt-get runs only
# when something is missing.
set -euo pipefail

# Every library named on a link line, every font, plugin and tool the program or the tests use.
# Installed with --no-install-recommends, so nothing here may rely on a recommended package.
PACKAGES=(
  cmake ninja-build g++ pkg-config # the build
  clang-14 libclang-rt-14-dev      # the asan preset and the fuzz targets
  libjpeg62-turbo-dev libpng-dev zlib1g-dev # -ljpeg -lpng -lz: the codecs
  libturbojpeg0-dev # -lturbojpeg: lossless JPEG turns on the DCT coefficients (editor, jpegturn)
  libjpeg-turbo-progs # jpegtran: the lossless-turn test compares orbisk-cli jpegturn with it
  libgtest-dev googletest                   # the tests
  qt6-base-dev qt6-svg-dev libgl-dev qt6-multimedia-dev # Qt and its GL headers
  qt6-qpa-plugins # Qt's platform plugins (xcb for the desktop, offscreen for the tests)
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav # AVI playback
  libwmf-dev libemf2svg-dev # metafile playback (libwmf-config names the libraries below)
  libexpat1-dev libfreetype-dev libx11-dev # -lexpat -lfreetype -lX11 on libwmf's link line
  libfontconfig-dev # finding a font for metafile text when a metafile's font is missing
  fonts-urw-base35  # the fonts libwmf draws metafile text with (Times, Helvetica, Courier, ...)
  fonts-dejavu-core # a font for Qt's windows and the fall-back font for metafile text
  exiv2 poppler-utils giflib-tools # tools the tests compare with (EXIF, printed PDF, GIF)
  tidy # the web album tests validate and parse the published pages with it
  libsane-dev # scanners: SANE's header at build time (libsane.so.1 is loaded only at run time)
  libsane1 libsane-common sane-utils # SANE with its test backend for the scanner tests; scanimage
  # Desktop integration: xdg-mime (associations), desktop-file-validate and
  # update-desktop-database (the desktop entry), dbus-send (KDE wallpaper), Xvfb (screenshots).
  xdg-utils desktop-file-utils dbus xvfb xauth
  libwebp-dev libavif-dev libheif-dev libjxl-dev # WebP, AVIF, HEIF/HEIC, JPEG XL codecs (AV1 and HEVC decoders come as their dependencies)
  webp libavif-bin libheif-examples libjxl-tools # cwebp/dwebp/img2webp, avifenc/avifdec, heif-enc/heif-convert, cjxl/djxl: the tests and bench compare with them
  liblcms2-dev liblcms2-utils # colour profiles into sRGB; tificc is the tests' reference conversion
  libtiff-dev # TIFF files beyond the classic reader's (LZW, Deflate, JPEG, 16-bit, tiled, planar)
  libtiff-tools imagemagick # tiffcp and convert: the TIFF tests make files in every layout and compare decodes
  libglib2.0-bin # gio: the trash and desktop-entry tests compare with GLib's trash and launcher
  apngasm # the moving-picture tests make APNG files with it
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
