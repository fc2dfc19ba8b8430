#!/bin/sh
# Encoder front-end overhead: the same 30-second 640x480 encode (with and
# without the text watermark) through the front-end and through the direct
# FFmpeg command it stands for, 7 rounds, interleaved; then the start-up cost
# of a probe of a tiny file (front-end vs ffprobe alone).
# Run by hand: bench/encoder/run.sh [BUILD_DIR]   (needs hyperfine, python3)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
front="$build/kestrel-app/ffmpeg"
table="$here/../../assets/vhook/rgb.txt"
font=/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
rounds=7
[ -x "$front" ] || { echo "build the kestrel_encoder target first ($front missing)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "making the 30-second 640x480 source..."
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=640x480:rate=25:duration=30 \
    -f lavfi -i sine=f=440:r=44100:d=30 -c:v mpeg4 -q:v 3 -c:a libmp3lame -shortest src.avi
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=160x120:rate=10:duration=1 -c:v flv1 tiny.flv
printf 'Sample' > text.txt

common="-b:v 225k -s 400x300 -r 24 -fps_mode cfr -c:a libmp3lame -ar 22050 -b:a 64k -ac 1 -sn -dn -f flv -y"
direct="ffmpeg -nostdin -hide_banner -stats -i file:src.avi -c:v flv1"
drawtext="drawtext=fontfile=$font:textfile=text.txt:expansion=none:fontsize=20:fontcolor=0xFFFF00FF:x=290:y=10"
vhook="$build/kestrel-app/vhook/imlib2.dll -c yellow -F $font/20 -C $table -A 255 -x 290 -y 10 -t Sample"
old="-b 225kb/s -s 400x300 -r 24"
audio="-ar 22050Hz -ab 64k -ac 1"

i=0
while [ $i -le $rounds ]; do
    # Round 0 warms the caches and is not counted; the order alternates.
    if [ $((i % 2)) -eq 0 ]; then
        set -- "$front -i src.avi $old $audio front.flv" "$direct $common file:direct.flv" \
            "$front -i src.avi $old -vhook '$vhook' $audio frontmark.flv" \
            "$direct -vf $drawtext $common file:directmark.flv"
        names="front direct front-mark direct-mark"
    else
        set -- "$direct -vf $drawtext $common file:directmark.flv" \
            "$front -i src.avi $old -vhook '$vhook' $audio frontmark.flv" \
            "$direct $common file:direct.flv" "$front -i src.avi $old $audio front.flv"
        names="direct-mark front-mark direct front"
    fi
    echo "round $i of $rounds: $names"
    hyperfine -N --runs 1 --style none --export-json "round$i.json" "$@" >/dev/null 2>&1
    echo "$names" > "round$i.names"
    i=$((i + 1))
done

hyperfine -N --warmup 3 --runs 30 --style none -i --export-json probe.json \
    "$front -i tiny.flv" \
    "ffprobe -v error -of json -show_entries format=format_name,duration,start_time,bit_rate:stream=index,codec_type,codec_name,pix_fmt,width,height,r_frame_rate,avg_frame_rate,sample_rate,channels,bit_rate file:tiny.flv" \
    >/dev/null 2>&1

# The front-end's own cost per encode: the same command line with a stand-in
# for FFmpeg that does nothing (it answers the lists of parts as FFmpeg does,
# which the front-end asks once and then reads from its cache), against the
# stand-in alone.
printf '#!/bin/sh\ncase "$2" in -muxers|-encoders|-filters|-h) exec ffmpeg "$@";; esac\n' > stand-in
chmod +x stand-in
XDG_CACHE_HOME="$work/cache" KESTREL_FFMPEG="$work/stand-in" hyperfine -N --warmup 3 --runs 50 \
    --style none -i --export-json own.json \
    "$front -i src.avi $old -vhook '$vhook' $audio own.flv" "$work/stand-in" >/dev/null 2>&1

python3 - "$rounds" <<'PY'
import json, statistics, sys
rounds = int(sys.argv[1])
wall, cpu = {}, {}
for i in range(1, rounds + 1):
    names = open(f"round{i}.names").read().split()
    for name, result in zip(names, json.load(open(f"round{i}.json"))["results"]):
        wall.setdefault(name, []).append(result["mean"])
        cpu.setdefault(name, []).append(result["user"] + result["system"])
med = lambda xs: statistics.median(xs)
print(f"30 s 640x480 -> 400x300 FLV, {rounds} interleaved runs each (medians)")
for name in ("front", "direct", "front-mark", "direct-mark"):
    print(f"  {name:12s} wall {med(wall[name]):7.3f} s   cpu {med(cpu[name]):7.3f} s")
for label, a, b in (("plain", "front", "direct"), ("watermark", "front-mark", "direct-mark")):
    print(f"  {label:9s} front-end/direct: wall {med(wall[a]) / med(wall[b]):.3f}   cpu {med(cpu[a]) / med(cpu[b]):.3f}   (target <= 1.03)")
probe = json.load(open("probe.json"))["results"]
print("probe of a tiny file, 30 runs (mean +- sd):")
for label, r in zip(("front-end", "ffprobe alone"), probe):
    print(f"  {label:14s} {r['mean'] * 1000:7.2f} +- {r['stddev'] * 1000:5.2f} ms   cpu {(r['user'] + r['system']) * 1000:6.2f} ms")
own = json.load(open("own.json"))["results"]
print("front-end's own cost per watermarked encode, 50 runs (FFmpeg replaced by a stand-in doing nothing):")
for label, r in zip(("front-end", "stand-in alone"), own):
    print(f"  {label:14s} {r['mean'] * 1000:7.2f} +- {r['stddev'] * 1000:5.2f} ms   cpu {(r['user'] + r['system']) * 1000:6.2f} ms")
PY
