#!/usr/bin/env bash
# Live streaming through the encoder front-end (-stream) to the private nginx
# RTMP servers of tests/stream/rtmp_server.sh: a SECONDS-long 640x480 25 fps
# source sent as H.264 + AAC at the window's size and bitrates. Prints the
# pacing (wall time over the source's length), the time from the start to the
# first tag recorded at the server, the front-end's own CPU (not FFmpeg's)
# with three destinations, and how soon the stream is back after its server
# was stopped and, 5 s later, started again, with the real retry delays (1, 2, 4,
# 8, 16 s). The load goes before and after, as the figures need idle cores.
# Run by hand: bench/stream/run.sh [BUILD_DIR] [SECONDS]   (needs nginx's rtmp module)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
secs=${2:-60}
front="$build/kestrel-app/ffmpeg"
server="$here/../../tests/stream/rtmp_server.sh"
encode="-b 225kb/s -s 400x300 -r 24 -vcodec libx264 -acodec libfaac -ar 44100Hz -ab 64k -ac 2"
[ -x "$front" ] || { echo "build the kestrel_encoder target first ($front missing)" >&2; exit 1; }
[ -e "${NGINX_MODULES:-/usr/lib/nginx/modules}/ngx_rtmp_module.so" ] ||
    { echo "needs nginx's rtmp module (libnginx-mod-rtmp)" >&2; exit 1; }

work=$(mktemp -d)
cleanup() {
    [ ! -s "$work/pid" ] || kill -TERM "$(cat "$work/pid")" 2>/dev/null || true
    for dir in "$work"/srv*; do [ ! -d "$dir" ] || bash "$server" stop "$dir" >/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
calc() { awk "BEGIN { printf \"%.$1f\", $2 }"; } # DIGITS EXPRESSION
url() { echo "rtmp://127.0.0.1:$(sed -n 's/^RTMP=//p' "$work/srv$1/ports.env")/live/good-key"; }

# stream NAME ARGS...: the front-end in the background on the source with ARGS, its pid in pid;
# each line of its error output goes to NAME.out after the time it came; when it ends, its exit
# code and end time go to NAME.end, and the CPU seconds of it and all its children to NAME.all.
stream() {
    local name=$1 && shift
    mkfifo "$work/$name.fifo"
    begin=$EPOCHREALTIME
    (
        stdbuf -oL tr '\r' '\n' <"$work/$name.fifo" |
            while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$work/$name.out" &
        # shellcheck disable=SC2086
        "$front" -i "$work/src.avi" $encode "$@" 2>"$work/$name.fifo" >/dev/null &
        echo $! >"$work/pid"
        wait $! && code=0 || code=$?
        echo "$code $EPOCHREALTIME" >"$work/$name.end"
        wait
        times >"$work/$name.times"
    ) &
    until [ -s "$work/pid" ]; do sleep 0.01; done
}

# watch NAME REC: until the front-end ends, samples its own CPU ticks (utime + stime, without its
# children's) into ticks, and the time a recording under REC first grows past the FLV header
# (13 bytes) into tag; then sets code, took (its wall time) and all (CPU s with the children).
watch() {
    local name=$1 rec=$2 pid stat end
    pid=$(cat "$work/pid") ticks=0 tag=""
    until [ -s "$work/$name.end" ]; do
        if read -r -a stat 2>/dev/null <"/proc/$pid/stat"; then ticks=$((stat[13] + stat[14])); fi
        [ -n "$tag" ] || [ -z "$(find "$rec" -name '*.flv' -size +13c)" ] || tag=$EPOCHREALTIME
        sleep 0.05
    done
    read -r code end <"$work/$name.end"
    took=$(calc 3 "$end - $begin")
    until [ -s "$work/$name.times" ]; do sleep 0.05; done
    all=$(tail -1 "$work/$name.times" | tr 'ms' '  ' | awk '{ print $1 * 60 + $2 + $3 * 60 + $4 }')
    rm -f "$work/pid"
    [ "$code" = 0 ] || echo "  (the front-end ended with $code: $(grep -v frame= "$work/$name.out" | tail -1))"
}
sending() { awk -v a="$2" '$1 > a && /: sending/ { print $1; exit }' "$work/$1.out"; } # NAME AFTER
since() { if [ -n "$1" ]; then echo "$(calc 2 "$1 - $2") s"; else echo never; fi; } # TIME FROM

echo "load before: $(uptime)"
echo "making the $secs-second 640x480 25 fps source, streamed as: $encode"
ffmpeg -nostdin -v error -f lavfi -i "testsrc=size=640x480:rate=25:duration=$secs" \
    -f lavfi -i "sine=f=440:r=44100:d=$secs" -c:v mpeg4 -q:v 3 -c:a libmp3lame "$work/src.avi"
for n in 1 2 3; do bash "$server" start "$work/srv$n" >/dev/null; done

stream one -stream "$(url 1)"
watch one "$work/srv1/rec"
echo "pacing, one destination: $took s for $secs s = $(calc 4 "$took / $secs") (goal <= 1.02)"
echo "first tag recorded at the server: $(calc 2 "$tag - $begin") s after the start" \
    "(\"sending\" at $(calc 2 "$(sending one 0) - $begin") s)"

rm -f "$work"/srv1/rec/*
stream three -stream "$(url 1)" -stream "$(url 2)" -stream "$(url 3)"
watch three "$work/srv1/rec"
own=$(calc 2 "$ticks / $(getconf CLK_TCK)")
echo "front-end's own CPU, three destinations: $own s user+sys over $took s" \
    "= $(calc 2 "100 * $own / $took") % of one core (with FFmpeg's encoder and relays: $all s)"

rm -f "$work"/srv1/rec/*
stream again -stream "$(url 1)"
sleep "$(calc 1 "$secs / 3")"
down=$EPOCHREALTIME
bash "$server" stop "$work/srv1"
rm -f "$work"/srv1/rec/* # the recording before the stop
sleep 5
bash "$server" start "$work/srv1" >/dev/null
up=$EPOCHREALTIME
watch again "$work/srv1/rec"
back=$(sending again "$up")
echo "reconnect (server stopped at $(calc 1 "$down - $begin") s, back at $(calc 1 "$up - $begin") s):" \
    "\"sending\" again $(since "$back" "$up") after the server was back," \
    "first new tag recorded $(since "$tag" "$up") after"
echo "  its states (s after the start): $(awk -v b="$begin" '/destination 1 / { s = $0
    sub(/.*\*\*\*\*: /, "", s); sub(/:.*/, "", s); printf "%s%.1f %s", sep, $1 - b, s; sep = ", " }' "$work/again.out")"
echo "load after: $(uptime)"
