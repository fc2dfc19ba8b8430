# The files the encoder's tests read, made in the folder $1: sources, a colour table (the
# application's, $2, and colours.txt), links named ffmpeg and ffprobe to the front-end $3, a folder
# a stand-in swaps in for a stills folder, and the stand-in FFmpeg that failures.txt describes
# (its lists are FFmpeg's, or those of a release's in $LISTINGS).
set -e
colours="$(cd "$(dirname "$0")" && pwd)/colours.txt"
cd "$1"
src() { out=$1; shift; ffmpeg -nostdin -v error -y -f lavfi "$@" "file:$out"; }
src av.avi -i testsrc=size=320x240:rate=25:duration=2 -f lavfi -i sine=f=440:r=48000:d=2 -c:v mpeg4 -c:a mp3 -shortest
src video.mp4 -i testsrc=size=176x144:rate=30:duration=1 -pix_fmt yuv420p
src audio.wav -i sine=f=300:r=44100:d=2 -ac 2
cp audio.wav "x: Video: b, 999x777, c.wav"
src three.avi -i testsrc=size=160x120:rate=3:duration=1 -c:v mpeg4
cp three.avi 50%.avi
src audiofirst.flv -i testsrc=size=240x180:rate=12:duration=1 -f lavfi -i sine=r=22050:d=1 -map 1:a -map 0:v -c:v flv1
src dnx.mov -i testsrc=size=1920x1080:rate=25:duration=0.2 -c:v dnxhd -b:v 36M -pix_fmt yuv422p
src black.avi -i color=c=black:s=160x120:r=10:d=1 -c:v mpeg4
src busy.avi -i testsrc2=size=320x240:rate=25:duration=3 -c:v mpeg4 -q:v 2
src noise.avi -i 'nullsrc=s=320x240:r=25:d=2,geq=random(1)*255:128:128' -c:v mpeg4 -q:v 2
printf '%5000s' | tr ' ' k >"Video: b, c, 999x777, 1.avi"
cat "$2" "$colours" >rgb.txt
mkdir links victim && echo x >victim/keep
ln -s "$3" links/ffmpeg && ln -s "$3" links/ffprobe
cat >stand-in <<'END'
#!/bin/sh
case "$2" in -muxers|-encoders|-filters) echo >>"$0.asked"
    { if [ -n "$LISTINGS" ]; then grep -v '^#' "$LISTINGS/${2#-}.txt"; else ffmpeg "$@"; fi; } |
        grep -v -e "$(echo "${LACKS:-^$}" | tr , '\n')"; exit;; esac
case " $* " in *" -fps_mode cfr -f null - "*) echo >>"$0.asked"; case ",$LACKS," in *,-fps_mode,*)
    printf "Unrecognized option 'fps_mode'.\nError splitting the argument list: Option not found\n" >&2
    exit 8;; esac; exec ffmpeg "$@";; esac
for a; do last=$a; done; OUT=${last#file:}
[ -z "$BODY" ] || { eval "$BODY"; exit; }; exec ffmpeg "$@"
END
printf '#!/bin/sh\ngrep -v "^#" "$ANSWER"\n' >answer
chmod 700 stand-in answer
