#!/usr/bin/env bash
# Installs the build into a fresh prefix: the application folder holds the program's files and no
# scratch files of a run, desktop entry and metainfo validate, the programs and manual pages are on
# the PATH, the launchers answer --version without a display.   usage: check_install.sh BUILD APP_ID
set -euo pipefail
build=$1 id=$2
dest=$(mktemp -d)
scratch=()
for f in input.bat infile.txt; do
    [ -e "$build/kestrel-app/$f" ] || { touch "$build/kestrel-app/$f"; scratch+=("$build/kestrel-app/$f"); }
done
trap 'rm -rf "$dest" "${scratch[@]}"' EXIT
DESTDIR="$dest" cmake --install "$build" --prefix /usr/local >/dev/null
root=$dest/usr/local

got=$(cd "$root/lib/kestrel" && find . -type f -o -type l | sed 's|^\./||' | sort | tr '\n' ' ')
want="colors.txt ffmpeg flvmdi fonts.txt fontsizes.txt kestrel kestrel-48.png kestrel-convert kestrel.swx kstr_flvcn.html kstr_flvp_small.qml vhook/rgb.txt "
[ "$got" = "$want" ] || { echo "the application folder holds: $got"; exit 1; }

desktop-file-validate "$root/share/applications/$id.desktop"
appstreamcli validate --pedantic --no-net "$root/share/metainfo/$id.metainfo.xml" >/dev/null
for size in 16 24 32 48 64 128 256; do
    file "$root/share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "$size x $size"
done
PATH=$root/bin:$PATH flvmdi --version >/dev/null
for page in flvmdi kestrel kestrel-convert; do
    MANPATH=$root/share/man man --warnings -E UTF-8 $page 2>&1 >/dev/null | (! grep .)
done
for program in kestrel kestrel-convert; do
    env -u DISPLAY -u WAYLAND_DISPLAY "$root/bin/$program" --version | grep -q "^$program .* 7\."
done
echo "installed as expected"
