#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kestrel
# needs. Safe to run again: apt-get skips what is already there.
# `setup.sh deb SRC` installs instead what building the Debian packages of the
# tree SRC needs (its Build-Depends) and what the package test uses.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-multimedia-dev
  libgl-dev
  # run: Qt platform, QML modules of the player movie, media back end
  qt6-qpa-plugins qt6-image-formats-plugins
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-templates qml6-module-qtquick-window
  qml6-module-qtqml-workerscript qml6-module-qtmultimedia
  libqt6multimediaquick6
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # the real encoder behind our front-end
  ffmpeg
  # watermark fonts and the window font
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation fonts-freefont-ttf fonts-wine
  # tests, peers and benchmarks
  xvfb xauth xdotool x11-utils imagemagick python3 flvmeta yamdi hyperfine time strace
  appstream desktop-file-utils man-db file
  # the private session bus of the desktop-session test
  dbus-daemon
  clang libclang-rt-14-dev
  # the JSON reader of the encoder front-end
  nlohmann-json3-dev
)

if [ "${1:-}" = deb ]; then
  PACKAGES=(dpkg-dev lintian blhc mmdebstrap)
fi

export DEBIAN_FRONTEND=noninteractive
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "${1:-}" = deb ] && ! (cd "$2" && dpkg-checkbuilddeps 2>/dev/null); then
  $SUDO apt-get update -qq
  (cd "$2" && $SUDO apt-get build-dep -y -qq --no-install-recommends ./)
fi
