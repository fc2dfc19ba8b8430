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
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav
  # (H.264 in an FLV reaches the decoder through h264parse)
  gstreamer1.0-plugins-bad
  # the real encoder behind our front-end
  ffmpeg
  # watermark fonts and the window font
  fonts-dejavu-core fonts-dejavu-extra fonts-liberation fonts-freefont-ttf fonts-wine
  # tests, peers and benchmarks
  xvfb xauth xdotool x11-utils imagemagick python3 flvmeta yamdi hyperfine time strace
  appstream desktop-file-utils man-db file
  # the GNU parallel recipe's test: two local SSH hosts
  parallel openssh-server rsync
  # the private session bus of the desktop-session test
  dbus-daemon
  clang libclang-rt-dev
  # the JSON reader of the encoder front-end
  nlohmann-json3-dev
  # the browser test: Chromium plays our FLV files with flv.js
  chromium
  # the streaming tests' private RTMP/RTMPS servers
  nginx libnginx-mod-rtmp libnginx-mod-stream
)
# Node.js and npm bring flv.js; a Node.js from elsewhere that has npm serves.
command -v npm >/dev/null || PACKAGES+=(nodejs npm)

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

# Liberation Sans Narrow, a watermark font, has a package of its own since
# Debian 13; Debian 12's fonts-liberation still holds it.
narrow=/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Regular.ttf
if [ "${1:-}" != deb ] && [ ! -e "$narrow" ]; then
  $SUDO apt-get update -qq
  $SUDO apt-get satisfy -y -qq --no-install-recommends \
    "fonts-liberation-sans-narrow | fonts-liberation (<< 1:2)"
fi

if [ "${1:-}" = deb ]; then
  if ! (cd "$2" && dpkg-checkbuilddeps 2>/dev/null); then
    $SUDO apt-get update -qq
    (cd "$2" && $SUDO apt-get build-dep -y -qq --no-install-recommends ./)
  fi
  exit 0
fi

# Debian's nginx package starts a web server on port 80 and has it start at boot; the streaming
# tests run servers of their own, so it is stopped and disabled. Where invoke-rc.d was refused
# (policy-rc.d) nothing started; without an init system it started from the init script.
if [ -d /run/systemd/system ]; then
  $SUDO systemctl disable --now --quiet nginx
else
  $SUDO update-rc.d nginx disable >/dev/null 2>&1 || true
  if [ -s /run/nginx.pid ]; then
    $SUDO start-stop-daemon --stop --quiet --retry QUIT/5/TERM/5/KILL/5 \
      --pidfile /run/nginx.pid --exec /usr/sbin/nginx || true
  fi
fi

# The npm packages of the browser test, exactly as locked (again only when
# the lock file changed).
browser=$(cd "$(dirname "$0")/../tests/browser" && pwd)
if ! cmp -s "$browser/package-lock.json" "$browser/node_modules/.installed-lock.json"; then
  npm ci --prefix "$browser" --no-audit --no-fund --loglevel=error
  cp "$browser/package-lock.json" "$browser/node_modules/.installed-lock.json"
fi
