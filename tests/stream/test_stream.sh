#!/usr/bin/env bash
# The encoder front-end's streaming (-stream) on real FFmpeg and the real nginx RTMP/RTMPS server of
# rtmp_server.sh: what the server records, the state lines, the retries, a server restarted, stalled
# and stopped under the stream, certificates, and that no stream key leaks into what it writes.
# Usage: test_stream.sh FRONT_END. Exit 77 (skipped) without nginx's rtmp module.
set -uo pipefail
fe=$1
here=$(cd "$(dirname "$0")" && pwd)
server=$here/rtmp_server.sh
[ -e "${NGINX_MODULES:-/usr/lib/nginx/modules}/ngx_rtmp_module.so" ] || {
    echo "no nginx rtmp module; skipped" && exit 77
}
work=$(mktemp -d)
srv=$work/srv srv2=$work/srv2
cleanup() {
    cat "$work"/*.pid 2>/dev/null | xargs -r kill -KILL 2>/dev/null
    for dir in "$srv" "$srv2"; do
        bash "$server" stop "$dir" >/dev/null || echo "FAIL: the server still listens"
    done
    rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() { # DESCRIPTION COMMAND...: a failed check is reported and counted
    local what=$1 && shift
    if ! "$@"; then echo "FAIL: $what" && failures=$((failures + 1)); fi
}
has() { grep -qF -- "$2" "$work/$1.out"; }
count() { grep -cF -- "$2" "$work/$1.out"; }
near() { awk -v a="$1" -v b="$2" -v d="$3" 'BEGIN { exit !(a - b <= d && b - a <= d) }'; }
at_least() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a >= b) }'; }

# SECONDS of grey video (second k at Y = 16 + 12k, read back by second()) and a 440 Hz tone.
make_source() {
    ffmpeg -nostdin -v error -y -f lavfi \
        -i "nullsrc=s=320x240:r=25:d=$1,geq=lum='16+12*mod(floor(T),16)':cb=128:cr=128" \
        -f lavfi -i "sine=f=440:r=44100:d=$1" -c:v mpeg4 -q:v 2 -c:a mp3 "$work/src$1.avi"
}
# The source second of each frame of FLV, in runs: "0 1 2 ..." (the corner, away from the text).
seconds() {
    ffmpeg -nostdin -v error -i "$1" -vf "crop=16:16:iw-16:ih-16,scale=1:1,format=yuv444p" \
        -f rawvideo - | od -An -v -tu1 -w3 | awk '{ printf "%d\n", ($1 - 16) / 12 + 0.5 }' |
        uniq | tr '\n' ' '
}
probe() { # FLV ENTRIES: ffprobe's answer, values only, a blank after each stream
    ffprobe -v error -of csv=p=0 -show_entries "$2" "$1" | tr '\n' ' '
}
recorded() { ls -tr "$srv"/rec/"$1"-*.flv 2>/dev/null; } # KEY: its recordings, oldest first

# start NAME ARGS...: runs the front-end (or $run) in the background (its pid in NAME.pid); each
# line of its error output goes to NAME.out after the time it came, its output to NAME.json; its
# exit code to NAME.rc, the time it took to NAME.took.
start() {
    local name=$1 && shift
    mkfifo "$work/$name.fifo"
    (
        stdbuf -oL tr '\r' '\n' <"$work/$name.fifo" |
            while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$work/$name.out" &
        begin=$EPOCHREALTIME
        "${run:-$fe}" "$@" 2>"$work/$name.fifo" >"$work/$name.json" &
        echo $! >"$work/$name.pid"
        wait $!
        code=$?
        awk -v a="$begin" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }' >"$work/$name.took"
        wait
        echo $code >"$work/$name.rc"
    ) &
}
finish() { # NAME...: waits (up to 120 s) for the runs NAME to end
    local name tries
    for name; do
        for ((tries = 0; tries < 1200; ++tries)); do [ -s "$work/$name.rc" ] && break; sleep 0.1; done
    done
}
rc() { cat "$work/$1.rc"; }
when() { # NAME TEXT: the time of TEXT's first line in NAME.out, waiting up to 60 s for it
    local tries
    for ((tries = 0; tries < 600; ++tries)); do
        grep -F -- "$2" "$work/$1.out" 2>/dev/null | head -1 | cut -d' ' -f1 | grep . && return
        sleep 0.1
    done
    echo 0
}

bash "$server" start "$srv" >/dev/null || exit 1
# shellcheck disable=SC1091
. "$srv/ports.env"
make_source 6 && make_source 16 || exit 1
# A moving picture: its bitrate fills the buffers on the way soon when the server stalls.
ffmpeg -nostdin -v error -f lavfi -i testsrc2=s=320x240:r=25:d=40 -f lavfi -i sine=r=44100:d=40 \
    -c:v mpeg4 -q:v 3 -c:a mp3 "$work/src40.avi" || exit 1
rgb=$here/../../assets/vhook/rgb.txt
mark="imlib2.dll -c white -F /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf/20 -C $rgb -x 8 -y 8 -t On air"
live=rtmp://127.0.0.1:$RTMP/live
export KESTREL_STREAM_RETRY_SCALE=0.005 # retries within 3 s instead of 10 minutes

# The two formats, paced, watermarked; the recording has what was asked and the source's length.
start h264 -i "$work/src6.avi" -b 300kb/s -s 320x240 -r 25 -vcodec libx264 -acodec libfaac \
    -ar 44100Hz -ab 64k -ac 2 -vhook "$mark" -stream "$live/good-key"
start flv1 -i "$work/src6.avi" -b 300kb/s -s 240x180 -r 15 -ar 22050Hz -ab 48k -ac 1 \
    -vhook "$mark" -stream "$live/second-key"
finish h264 flv1
check "H.264 streamed: $(rc h264)" [ "$(rc h264)" = 0 ]
check "Sorenson streamed: $(rc flv1)" [ "$(rc flv1)" = 0 ]
check "paced at the source's speed (FFmpeg 7 reads up to 0.5 s ahead): $(cat "$work/h264.took") s" at_least "$(cat "$work/h264.took")" 5.5
for recording in h264:good-key:"h264,320,240,25/1 aac,44100,2,0/0" flv1:second-key:"flv1,240,180,15/1 mp3,22050,1,0/0"; do
    IFS=: read -r name key want <<<"$recording"
    file=$(recorded "$key")
    got=$(probe "$file" stream=codec_name,width,height,r_frame_rate,sample_rate,channels)
    check "$name recorded as asked: $got" [ "$got" = "$want " ]
    duration=$(probe "$file" format=duration)
    check "$name lasts the source's 6 s: $duration" near "$duration" 6 0.5
    check "$name: states" [ "$(grep -o 'destination 1 .*' "$work/$name.out" | tr '\n' '|')" = \
        "destination 1 $live/****: connecting|destination 1 $live/****: sending|destination 1 $live/****: ended|" ]
    rm -f "$file"
done

# kestrel-convert: silent audio without audio; a second, closed destination, which has the source's
# 16 s for its retries however slowly FFmpeg starts; a refused key (from a private key file, or the
# environment); RTMPS with and without the CA.
closed=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
export XDG_STATE_HOME=$work/state # the job logs
kc=$(dirname "$fe")/kestrel-convert
printf 'good-key\n\n' >"$work/keys" && chmod 600 "$work/keys"
run=$kc start two --json --size 320x240 --format h264 --no-audio --stream "$live" \
    --stream "rtmp://127.0.0.1:$closed/live/second-key" --stream-key-file "$work/keys" "$work/src16.avi"
KESTREL_STREAM_KEY=bad-key run=$kc start refused --json --stream "$live" "$work/src6.avi"
SSL_CERT_FILE=$CA start tls -i "$work/src6.avi" -stream "rtmps://127.0.0.1:$RTMPS/live/second-key"
SSL_CERT_FILE='' start untrusted -i "$work/src6.avi" -stream "rtmps://127.0.0.1:$RTMPS/live/second-key"
start inuse -i "$work/src6.avi" -stream "$live/third-key" -stream "$live/third-key"
finish two refused tls untrusted inuse
closedUrl="rtmp://127.0.0.1:$closed/live/****"
events() { grep -o "\"event\":\"$2\".*" "$work/$1.json" | tr '\n' '|'; } # NAME EVENT
check "one of two destinations: $(rc two)" [ "$(rc two)" = 0 ]
check "the first got the whole stream" has two "destination 1 $live/****: ended"
log=$(grep -o '"log":"[^"]*' "$work/two.json" | cut -d'"' -f4)
check "the closed port retried" [ "$(grep -cF "destination 2 $closedUrl: connecting" "$log")" -ge 2 ]
check "then failed" has two "destination 2 $closedUrl: failed: THE STREAMING SERVER CANNOT BE REACHED!"
check "a warning names it: $(events two warning)" [ "$(events two warning)" = "\"event\":\"warning\",\"job\":1,\"message\":\"THE STREAM DID NOT REACH EVERY SERVER! DESTINATION 2 ($closedUrl): THE STREAMING SERVER CANNOT BE REACHED!\"}|" ]
check "streamed" grep -q '"result":"streamed",.*"exit_code":0' "$work/two.json"
file=$(recorded good-key)
check "no audio: a silent AAC track: $(probe "$file" stream=codec_name)" [ "$(probe "$file" stream=codec_name)" = "h264 aac " ]
check "no audio: silent" grep -q "max_volume: -91" <(ffmpeg -nostdin -i "$file" -map 0:a -af volumedetect -f null - 2>&1)
check "no audio: the whole length" near "$(probe "$file" format=duration)" 16 0.5
check "refused: $(rc refused)" [ "$(rc refused)" = 1 ]
check "refused: once, in words: $(events refused destination)" [ "$(events refused destination)" = "\"event\":\"destination\",\"job\":1,\"destination\":1,\"url\":\"$live/****\",\"state\":\"failed\",\"message\":\"THE SERVER REFUSED THE STREAM! CHECK THE STREAM KEY.\"}|" ]
check "refused: FFmpeg's lines in the details" grep -q '"details":".*live/\*\*\*\*: Input/output error' "$work/refused.json"
chmod 644 "$work/keys"
for refused in "--stream-key-file $work/keys" "--jobs 2" "-o $work" "--stills 3" --overwrite "--watch $work"; do
    # shellcheck disable=SC2086 # the options' words
    "$kc" --stream "$live" $refused "$work/src6.avi" 2>/dev/null
    check "refused before the start: $refused" [ $? = 2 ]
done
check "a name in use: one refused, not retried" [ "$(count inuse 'failed: THE SERVER REFUSED THE STREAM!') $(count inuse ': connecting')" = "1 2" ]
check "a name in use: the other got the stream: $(rc inuse)" has inuse "/live/****: ended"
check "rtmps with the CA: $(rc tls)" [ "$(rc tls)" = 0 ]
check "rtmps recorded" near "$(probe "$(recorded second-key)" format=duration)" 6 0.5
check "rtmps untrusted: $(rc untrusted)" [ "$(rc untrusted)" = 1 ]
check "rtmps untrusted: the line" has untrusted "destination 1 rtmps://127.0.0.1:$RTMPS/live/****: failed: THE SERVER'S CERTIFICATE COULD NOT BE VERIFIED!"
rm -f "$srv"/rec/*

# The server restarted under the stream: it joins again where the source has got to; a second
# server meanwhile gets the whole stream unbroken.
bash "$server" start "$srv2" >/dev/null || exit 1
other=rtmp://127.0.0.1:$(sed -n 's/^RTMP=//p' "$srv2/ports.env")/live/good-key
KESTREL_STREAM_RETRY_SCALE=0.1 start restart -i "$work/src16.avi" -s 320x240 -r 25 \
    -vcodec libx264 -acodec libfaac -stream "$live/good-key" -stream "$other"
began=$(when restart "destination 1 $live/****: sending")
sleep 5
bash "$server" restart "$srv" >/dev/null
finish restart
back=$(grep -F "destination 1 $live/****: sending" "$work/restart.out" | sed -n 2p | cut -d' ' -f1)
check "restart: $(rc restart)" [ "$(rc restart)" = 0 ]
check "restart: lost, then back" has restart "destination 1 $live/****: reconnecting: THE CONNECTION TO THE STREAMING SERVER WAS LOST!"
read -r before after < <(recorded good-key | tr '\n' ' ')
first=$(seconds "$before") second=$(seconds "$after")
reached=$(awk -v a="$began" -v b="$back" 'BEGIN { print int(b - a) }')
check "after the restart from where the source was ($reached s): $second" near "${second%% *}" "$reached" 2
last=$(echo $first | awk '{ print $NF }')
check "no second twice: $first/ $second" [ "${second%% *}" -gt "$last" ]
check "the other server: one whole recording" [ "$(seconds "$srv2"/rec/*.flv)" = "$(seq -s ' ' 0 15) " ]
rm -f "$srv"/rec/*

# The server stalled: a drop within about 10 s of taking nothing; a SIGTERM then ends it cleanly.
KESTREL_STREAM_RETRY_SCALE=0.1 start stall -i "$work/src40.avi" -b 500kb/s -vcodec libx264 \
    -acodec libfaac -stream "$live/good-key"
when stall ": sending" >/dev/null
viewed=$(timeout 20 ffprobe -v error -of csv=p=0 -show_entries stream=codec_name "$live/good-key" | sort | tr '\n' ' ')
check "a viewer sees the codecs: $viewed" [ "$viewed" = "aac h264 " ]
stalled=$EPOCHREALTIME
bash "$server" stall "$srv"
dropped=$(when stall ": reconnecting")
bash "$server" resume "$srv"
check "stall: a drop within 25 s" near "$dropped" "$stalled" 25
check "stall: in words" has stall "destination 1 $live/****: reconnecting: THE CONNECTION TO THE STREAMING SERVER WAS LOST!"
resent=0
for ((tries = 0; tries < 300; ++tries)); do
    awk -v a="$dropped" '$1 > a && /: sending/ { f = 1 } END { exit !f }' "$work/stall.out" &&
        resent=1 && break
    sleep 0.1
done
check "stall: sending again after the resume" [ $resent = 1 ]
kill -TERM "$(cat "$work/stall.pid")"
finish stall
check "stopped: 128 + SIGTERM: $(rc stall)" [ "$(rc stall)" = 143 ]
check "stopped: ended cleanly" has stall "destination 1 $live/****: ended"

check "the key never shows" [ -z "$(grep -rl -e good-key -e second-key -e bad-key "$work"/*.out "$work"/*.json "$work/state")" ]
check "nothing left running" [ -z "$(pgrep -f "$work/src|127.0.0.1:($RTMP|$RTMPS|$closed)/live")" ]
[ $failures = 0 ] && echo "all passed"
exit $((failures > 0))
