#!/usr/bin/env bash
# Benchmark of flvmdi against the floor of any atomic rewrite of the file
# (cp FILE TMP && sync TMP && mv TMP FILE) and the injectors flvmeta and
# yamdi, run by hand (never by CTest):
#   bench/flvmdi/run.sh [BUILD_DIR] [ROUNDS] [SIZE_MB]
# BENCH_PEERS=0 leaves flvmeta and yamdi out; BENCH_RAW=1 prints every run.
# Makes a one-minute encode as our encoder writes it (Sorenson 320x240 at
# 225 kbit/s, 25 fps; MP3 22050 Hz 64 kbit/s), repeats its tags with shifted
# timestamps into a 400 MB file (and a 10 MB one for the memory check), then
# times every tool on it with the page cache warm, each writing a new file.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
rounds="${2:-9}"
size="${3:-400}"
flvmdi="$build/kestrel-app/flvmdi"
work="$build/bench-flvmdi"
[ -x "$flvmdi" ] || { echo "run.sh: build flvmdi first ($flvmdi)" >&2; exit 1; }
for tool in ffmpeg flvmeta yamdi python3; do
    command -v "$tool" >/dev/null || { echo "run.sh: $tool is not installed" >&2; exit 1; }
done
mkdir -p "$work"

clip="$work/clip.flv"
if [ ! -s "$clip" ]; then
    ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=25:duration=60 \
        -f lavfi -i sine=frequency=440:sample_rate=22050:duration=60 \
        -c:v flv1 -b:v 225k -c:a libmp3lame -ar 22050 -b:a 64k -ac 2 "$clip"
fi
big="$work/big-$size.flv"
small="$work/small-10.flv"
[ -s "$big" ] || python3 "$root/bench/flvmdi/make_big_flv.py" "$clip" "$big" "$size"
[ -s "$small" ] || python3 "$root/bench/flvmdi/make_big_flv.py" "$clip" "$small" 10

echo "machine: $(nproc) cores, $(uname -r), file system $(stat -f -c %T "$work")"
python3 "$root/bench/flvmdi/timing.py" "$flvmdi" "$big" "$small" "$work" "$rounds"
