#!/usr/bin/env bash
# Checks the Debian packages that `make deb` left in DIR as Debian checks its
# own: lintian and blhc find nothing; a second build of the same tree in
# another folder gives the same .deb files, byte for byte; and in a clean
# Debian 12 made from this machine's package archive, apt installs both with
# every dependency, they run as a user runs them, and purging them leaves no
# file behind. Needs root, the archive and minutes.   usage: check_package.sh DIR
set -euo pipefail

if [ "${1:-}" = --in-chroot ]; then
    cd /tmp
    export HOME=/root
    # Everything but the kernel's file systems, the user's home and runtime
    # folder, and what apt, dpkg and the caches of other packages keep.
    files() {
        local skip=(/proc /sys /dev /run /tmp /root /var/lib/apt /var/lib/dpkg /var/cache/apt
            /var/cache/debconf /var/cache/fontconfig /var/cache/ldconfig /var/log/apt
            /var/log/dpkg.log /var/log/alternatives.log /var/log/fontconfig.log)
        find / -xdev \( $(printf -- '-path %s -o ' "${skip[@]}") -false \) -prune -o -print | sort
    }
    # As piuparts does, what apt pulls in comes first, so that the lists
    # before and after differ by what the two packages did alone.
    apt-get install -s ./kestrel_*.deb ./flvmdi_*.deb |
        awk '$1 == "Inst" && $2 != "kestrel" && $2 != "flvmdi" { print $2 }' |
        xargs apt-get install -y -q >/dev/null
    files >before
    apt-get install -y -q ./kestrel_*.deb ./flvmdi_*.deb >/dev/null
    kestrel --version
    flvmdi --version
    # A conversion with watermark and stills, headless, as a script would run it.
    ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=2 \
        -f lavfi -i sine=duration=2 clip.mp4
    mkdir out
    kestrel-convert --watermark Sample --stills 3 -o out clip.mp4
    flvmdi --print out/clip.flv | grep -q '"width":400,"height":300'
    ls out/cover3.jpg
    # The window shows, and so does its player (a view of its own, one more visible window)
    # once a click on the second tab has reached the window past its splash.
    xvfb-run -a sh -ec 'kestrel 2>window.log & trap "kill $!" EXIT
        for i in $(seq 20); do sleep 3
            [ "$(xdotool search --onlyvisible --classname "^kestrel\$" | wc -l)" -ge 2 ] && exit
            xdotool search --onlyvisible --name "^Kestrel FLV" mousemove --window %1 184 32 click 1 || :
        done; exit 1'
    (! grep -A1 "cannot be run" window.log)
    echo "the window and its player showed"
    apt-get purge -y -q kestrel flvmdi >/dev/null
    files | diff before - && echo "purged without a trace"
    exit
fi

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

mirrors=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -s "$f" ] && mirrors+=("$f")
done
export KESTREL_DEBS=$deb KESTREL_CHECK=$0
mmdebstrap --variant=apt --include=xvfb,xauth,xdotool --format=null --quiet \
    --customize-hook='cp "$KESTREL_CHECK" "$KESTREL_DEBS"/kestrel_*.deb "$KESTREL_DEBS"/flvmdi_*.deb "$1/tmp/"' \
    --customize-hook='chroot "$1" bash /tmp/check_package.sh --in-chroot' \
    bookworm /dev/null "${mirrors[@]}"
