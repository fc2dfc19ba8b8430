#!/usr/bin/env bash
# Inside a clean Debian, with the packages kestrel and flvmdi in the working folder: apt installs
# them with every dependency, they run as a user runs them (a conversion in each format with
# watermark and stills, the window, its player playing an H.264 FLV), and purging them leaves no
# file behind. Needs xvfb-run, xdotool and ImageMagick.
set -euo pipefail
export HOME=/root
# Everything but the kernel's file systems, the user's home and runtime folder, and what apt,
# dpkg and the caches of other packages keep (as piuparts, the icon cache GTK's trigger makes).
files() {
    local skip=(/proc /sys /dev /run /tmp /root /var/lib/apt /var/lib/dpkg /var/cache/apt
        /var/cache/debconf /var/cache/fontconfig /var/cache/ldconfig /var/log/apt
        /var/log/dpkg.log /var/log/alternatives.log /var/log/fontconfig.log
        /usr/share/icons/hicolor/icon-theme.cache)
    find / -xdev \( $(printf -- '-path %s -o ' "${skip[@]}") -false \) -prune -o -print | sort
}
# As piuparts does, what apt pulls in comes first, so that the lists before and after differ by
# what the two packages did alone.
apt-get install -s ./kestrel_*.deb ./flvmdi_*.deb |
    awk '$1 == "Inst" && $2 != "kestrel" && $2 != "flvmdi" { print $2 }' |
    xargs apt-get install -y -q >/dev/null
files >before
apt-get install -y -q ./kestrel_*.deb ./flvmdi_*.deb >/dev/null
kestrel --version
flvmdi --version

# Conversions with watermark (the font Debian 13 moved to a package of its own) and stills,
# headless, as a script would run them; the output folder is made.
ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=5 -f lavfi -i sine=duration=5 clip.mp4
for format in sorenson:2 h264:7; do
    kestrel-convert --format "${format%:*}" --watermark Sample --font "Liberation Sans Narrow" \
        --stills 3 -o "out/${format%:*}" clip.mp4 || { cat ~/.local/state/kestrel/logs/*; exit 1; }
    flvmdi --print "out/${format%:*}/clip.flv" | grep '"width":400,"height":300' |
        grep -q "\"videocodecid\":${format#*:},"
    ls "out/${format%:*}/cover3.jpg"
done

# The window shows; a click on its second tab shows the player (a view of its own, one more
# visible window), whose folder button opens the file dialog: the H.264 FLV typed there plays, a
# picture that is not blank and changes.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -ec 'kestrel 2>window.log & trap "kill $!" EXIT
    window() { xdotool search --onlyvisible --name "^Kestrel FLV" "$@"; }
    views() { xdotool search --onlyvisible --classname "^kestrel\$" | wc -l; }
    for i in $(seq 20); do sleep 3
        [ "$(views)" -ge 2 ] && break
        window mousemove --window %1 184 32 click 1 || :
    done
    [ "$(views)" -ge 2 ]; echo "the window and its player showed"
    window mousemove --window %1 56 368 click 1
    for i in $(seq 20); do sleep 1; xdotool search --onlyvisible --name "^Open FLV File" >/dev/null && break; done
    xdotool search --onlyvisible --name "^Open FLV File" windowfocus --sync %1 \
        type --delay 20 "$PWD/out/h264/clip.flv"
    xdotool key Return && sleep 3
    picture() { import -window "$(window | head -1)" -crop 300x200+90+100 +repage "$1"; }
    picture a.png && sleep 1 && picture b.png
    [ "$(convert a.png -format "%[fx:standard_deviation > 0.1]" info:)" = 1 ]
    [ "$(compare -metric AE a.png b.png null: 2>&1)" != 0 ]; echo "the player played the H.264 FLV"'
(! grep -A1 -e "cannot be run" -e "No decoder" window.log)
apt-get purge -y -q kestrel flvmdi >/dev/null
files | diff before - && echo "purged without a trace"
