#!/usr/bin/env bash
# The other Debian release than this machine's (Debian 13 on a 12, 12 on a 13), in clean chroots
# made from this machine's package archive: the committed tree (DIR/src.tar, from `make deb`)
# passes `make test` there; its packages build there (without their tests, which that suite ran)
# and install, run and purge there as check_package.sh has them do on this machine's release.
# Needs root, the archive and many minutes.   usage: other_release.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
deb=$(realpath "$1")
case "$(. /etc/os-release && echo "$VERSION_CODENAME")" in
    bookworm) other=trixie ;;
    trixie) other=bookworm ;;
    *) echo "other_release.sh: this machine is neither Debian 12 nor 13" >&2 && exit 1 ;;
esac
out=$deb/$other
rm -rf "$out" && mkdir -p "$out"
export CHROOT_SRC=$deb/src.tar CHROOT_OUT=$out CHROOT_TESTS=$here

# shellcheck disable=SC2016 # the chroots' commands expand them
bash "$here/chroot.sh" "$other" apt git,make,ca-certificates \
    'mkdir "$1/kestrel" && tar -x -f "$CHROOT_SRC" -C "$1/kestrel" &&
     chroot "$1" sh -c "cd /kestrel && make test"' 2>&1 | tee "$out/make-test.log" | tail -5
echo "make test passed on Debian $other"

bash "$here/chroot.sh" "$other" buildd dpkg-dev \
    'mkdir "$1/kestrel" && tar -x -f "$CHROOT_SRC" -C "$1/kestrel" &&
     chroot "$1" sh -c "cd /kestrel && apt-get build-dep -y -q ./ >/dev/null &&
         DEB_BUILD_OPTIONS=nocheck dpkg-buildpackage -us -uc -b >../build.log 2>&1" ||
     { tail -30 "$1/build.log"; exit 1; }
     cp "$1"/*.deb "$1"/*.changes "$1"/*.buildinfo "$CHROOT_OUT/"'
echo "the packages built on Debian $other"

export CHROOT_DEBS=$out
bash "$here/chroot.sh" "$other" apt xvfb,xauth,xdotool,imagemagick,lintian \
    'cp "$CHROOT_TESTS/install_run_purge.sh" "$CHROOT_DEBS"/*.deb "$CHROOT_DEBS"/*.changes \
        "$CHROOT_DEBS"/*.buildinfo "$1/tmp/" &&
     chroot "$1" sh -c "cd /tmp && lintian --fail-on error,warning kestrel_*.changes && bash install_run_purge.sh"'
