#!/bin/sh
# The two output formats side by side: H.264 + AAC against Sorenson Spark +
# MP3, through the encoder front-end with the window's command lines, on
# three 20-second sources of different kinds, at 400x300 and 640x480 and the
# window's default bitrates (225 kbit/s video, 64 kbit/s audio). Prints the
# speed (seconds of video per second of wall time, median of ROUNDS runs), the
# file size and the video's own bitrate, then the front-end's own cost for an
# H.264 encode (FFmpeg replaced by a stand-in that does nothing).
# Run by hand: bench/encoder/formats.sh [BUILD_DIR] [ROUNDS]   (needs hyperfine, python3)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
rounds=${2:-3}
front="$build/kestrel-app/ffmpeg"
[ -x "$front" ] || { echo "build the kestrel_encoder target first ($front missing)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CACHE_HOME="$work/cache"
echo "making the sources..."
# Camera-like: deep zoom with moving detail and grain, 1280x720 at 30 fps, H.264 + AAC.
ffmpeg -nostdin -v error -f lavfi -i "mandelbrot=size=1280x720:rate=30,noise=alls=12:allf=t+u" \
    -f lavfi -i "sine=f=330:r=48000" -t 20 -c:v libx264 -preset veryfast -crf 18 \
    -pix_fmt yuv420p -c:a aac -b:a 128k camera.mp4
# Animation-like: flat colours, sharp edges, smooth motion, 640x480 at 25 fps, MPEG-4 + MP3.
ffmpeg -nostdin -v error -f lavfi -i "testsrc2=size=640x480:rate=25" \
    -f lavfi -i "sine=f=440:r=44100" -t 20 -c:v mpeg4 -q:v 3 -c:a libmp3lame anim.avi
# Film-like: busy texture with heavy grain, PAL 720x576 with non-square pixels,
# 10-bit 4:2:2, PCM sound.
ffmpeg -nostdin -v error -f lavfi \
    -i "life=size=720x576:rate=25:mold=10:ratio=0.3:death_color=#203060:life_color=#e0c080,noise=alls=20:allf=t,setsar=16/15" \
    -f lavfi -i "anoisesrc=r=44100:a=0.1" -t 20 -c:v libx264 -preset ultrafast -qp 10 \
    -pix_fmt yuv422p10le -c:a pcm_s16le film.mov

for source in camera.mp4 anim.avi film.mov; do
    for size in 400x300 640x480; do
        for format in sorenson h264; do
            codecs=""
            [ "$format" = h264 ] && codecs="-vcodec libx264"
            audio="-acodec libfaac"
            [ "$format" = h264 ] || audio=""
            hyperfine -N --runs "$rounds" --style none --export-json "$source-$size-$format.json" \
                "$front -i $source -b 225kb/s -s $size -r 24 $codecs -ar 22050Hz -ab 64k -ac 1 $audio $source-$size-$format.flv" \
                >/dev/null 2>&1
        done
    done
done

# The front-end's own cost per H.264 encode, as in run.sh.
printf '#!/bin/sh\ncase "$2" in -muxers|-encoders|-filters|-h) exec ffmpeg "$@";; esac\n' > stand-in
chmod +x stand-in
KESTREL_FFMPEG="$work/stand-in" hyperfine -N --warmup 3 --runs 50 --style none -i \
    --export-json own.json \
    "$front -i anim.avi -b 225kb/s -s 640x480 -r 24 -vcodec libx264 -ar 22050Hz -ab 64k -ac 1 -acodec libfaac own.flv" \
    "$work/stand-in" >/dev/null 2>&1

python3 - <<'PY'
import json, statistics, struct
def video_kbps(path):
    data = open(path, "rb").read()
    at, size, stamps = struct.unpack(">I", data[5:9])[0] + 4, 0, []
    while at + 11 <= len(data):
        length = int.from_bytes(data[at + 1:at + 4], "big")
        if data[at] & 0x1F == 9:  # a video tag, header and all
            size += 11 + length
            stamps.append(int.from_bytes(data[at + 4:at + 7], "big") | data[at + 7] << 24)
        at += 11 + length + 4
    return size * 8 / (max(stamps) + 1000 / 24) if stamps else 0  # bits per ms = kbit/s
print("20 s sources -> FLV at 225 kbit/s video, 64 kbit/s audio, 24 fps (median wall time)")
print(f"  {'source':11s} {'size':8s} {'format':9s} {'video s/s':>9s} {'file KiB':>9s} {'video kbit/s':>12s}")
for source in ("camera.mp4", "anim.avi", "film.mov"):
    for size in ("400x300", "640x480"):
        for fmt in ("sorenson", "h264"):
            name = f"{source}-{size}-{fmt}"
            wall = statistics.median(json.load(open(name + ".json"))["results"][0]["times"])
            kib = len(open(name + ".flv", "rb").read()) / 1024
            print(f"  {source:11s} {size:8s} {fmt:9s} {20 / wall:9.2f} {kib:9.0f} {video_kbps(name + '.flv'):12.1f}")
own = json.load(open("own.json"))["results"]
print("front-end's own cost per H.264 encode, 50 runs (FFmpeg replaced by a stand-in doing nothing):")
for label, r in zip(("front-end", "stand-in alone"), own):
    print(f"  {label:14s} {r['mean'] * 1000:7.2f} +- {r['stddev'] * 1000:5.2f} ms")
print(f"  added by the front-end: {(own[0]['mean'] - own[1]['mean']) * 1000:.2f} ms (target < 20 ms)")
PY
