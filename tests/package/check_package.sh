#!/usr/bin/env bash
# Checks the Debian packages that `make deb` left in DIR as Debian checks its own: lintian and
# blhc find nothing; a second build of the same tree in another folder gives the same .deb files,
# byte for byte; and in a clean chroot of this machine's release, apt installs both, they run as
# a user runs them, and purging them leaves no file behind. Needs root, the archive and minutes.
#   usage: check_package.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
lintian --fail-on error,warning "$deb"/kestrel_*.changes
blhc "$deb/build.log"

again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
mkdir "$again/src" && tar -x -f "$deb/src.tar" -C "$again/src"
(cd "$again/src" && DEB_BUILD_OPTIONS="nocheck parallel=2" dpkg-buildpackage -us -uc -b \
    >"$again/build.log" 2>&1) || { tail -30 "$again/build.log"; exit 1; }
for f in "$deb"/*.deb; do cmp "$f" "$again/${f##*/}"; done
echo "built again: the same .deb files"

export CHROOT_DEBS=$deb CHROOT_TESTS=$here
# shellcheck disable=SC2016 # the chroot's command expands them
bash "$here/chroot.sh" "$(. /etc/os-release && echo "$VERSION_CODENAME")" apt \
    xvfb,xauth,xdotool,imagemagick \
    'cp "$CHROOT_TESTS/install_run_purge.sh" "$CHROOT_DEBS"/*.deb "$1/tmp/" &&
     chroot "$1" sh -c "cd /tmp && bash install_run_purge.sh"'
