#!/usr/bin/env bash
# Writes into the folder $1 the lines of this machine's FFmpeg that our readers take or could
# mistake, each file headed by the package version and the command it came from. Run it once per
# Debian release (in a chroot of the other one) when FFmpeg changes:  capture.sh tests/ffmpeg-output/7.1
set -euo pipefail
out=$(realpath "$1") && mkdir -p "$out"
version=$(dpkg-query -W -f '${Version}' ffmpeg)
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT && cd "$work"

# A source whose name looks like FFmpeg's own progress lines.
name='Duration: 00:09:59.00, frame=9 time=00:09:00.00.avi'
ffmpeg -nostdin -v error -f lavfi -i testsrc=size=320x240:rate=25:duration=8 \
    -f lavfi -i sine=d=8 -c:v mpeg4 -c:a mp3 -shortest "file:$name"

head() { printf '# Debian ffmpeg %s: %s\n' "$version" "$1"; }
listed() { # LIST WORDS...: the lines of `ffmpeg -LIST` that name one of WORDS
    local list=$1 && shift
    { head "ffmpeg -hide_banner -$list" && ffmpeg -hide_banner "-$list" 2>&1 |
        grep -E "^ *[^ ]+ +($(IFS='|' && echo "$*"))( |,)"; } >"$out/$list.txt"
}
listed muxers flv image2 image2pipe mjpeg mp3 h264 null
listed encoders flv libx264 libx264rgb mjpeg aac libmp3lame
listed filters drawtext drawbox drawgrid

command=(ffprobe -v error -of json=compact=1 -show_entries "format=format_name,duration,start_time,bit_rate:stream=index,codec_type,codec_name,pix_fmt,width,height,r_frame_rate,avg_frame_rate,sample_rate,channels,bit_rate" "file:$name")
{ head "${command[*]}" && "${command[@]}"; } >"$out/probe.json"

# An encode as the front-end runs it (its status lines end in CR): the lines that name the input,
# its length and streams, and the status and summary lines, with the last one.
command=(ffmpeg -nostdin -i "file:$name" -s 400x300 -b:v 225k -fps_mode cfr -c:v libx264 -preset veryslow -c:a aac -f flv -y file:out.flv)
{ head "${command[*]}" && "${command[@]}" 2>&1 |
    grep -a -E '^(Input|Output) #|Duration:|Stream #|frame=|video:|Qavg'; } >"$out/encode.txt"
command=(ffmpeg -nostdin -i file:"$work/none.avi" -f flv -y file:out.flv)
{ head "${command[*]} (exit code: N)" && { "${command[@]}" 2>&1 || echo "exit code: $?"; } |
    grep -v -e '^  lib' -e '^  configuration:' -e '^  built with'; } >"$out/errors.txt"
