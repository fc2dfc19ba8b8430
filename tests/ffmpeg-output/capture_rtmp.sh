#!/usr/bin/env bash
# Writes into the folder $1 what this machine's FFmpeg prints and exits with when it streams to an
# RTMP/RTMPS server that is not there, refuses the key, goes away, stalls or shows a certificate
# we do not trust, and when it streams well; each file headed by the package version and the
# commands. Needs nginx with its rtmp and stream modules (scripts/setup.sh); run it once per
# Debian release like capture.sh:  capture_rtmp.sh tests/ffmpeg-output/7.1
# Takes about four minutes: the stalled server cases wait for FFmpeg's timeouts.
set -euo pipefail
out=$(realpath "$1") && mkdir -p "$out"
server=$(cd "$(dirname "$0")/../stream" && pwd)/rtmp_server.sh
version=$(dpkg-query -W -f '${Version}' ffmpeg)
work=$(mktemp -d)
trap 'bash "$server" stop "$work/a" >/dev/null; bash "$server" stop "$work/b" >/dev/null; rm -rf "$work"' EXIT
bash "$server" start "$work/a" >/dev/null && . "$work/a/ports.env"
bash "$server" start "$work/b" >/dev/null && RTMP_B=$(sed -n 's/^RTMP=//p' "$work/b/ports.env")
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
url=rtmp://127.0.0.1:$RTMP/live
surl=rtmps://127.0.0.1:$RTMPS/live
tls=(-tls_verify 1 -ca_file "$CA")

# The source paced at its own speed, a keyframe every 2 s.
source=(-re -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i sine)
h264=(-map 0:v -map 1:a -c:v libx264 -preset veryfast -force_key_frames 'expr:gte(t,n_forced*2)' -c:a aac)
flv1=(-map 0:v -map 1:a -c:v flv -g 50 -c:a libmp3lame -ar 44100)

# The lines that matter: no banner, no input description, no encoder statistics, and of a run of
# status lines (they end in CR) only the last one before the next other line.
trim() {
    tr '\r' '\n' | grep -a -v -E '^(  |\[(libx264|aac|libmp3lame|flv @ 0x[0-9a-f]+\] Failed to update)|Input #|Press |Stream mapping|ffmpeg version|$)' |
        awk '/^frame=/ { status = $0; next } { if (status != "") print status; status = ""; print } END { if (status != "") print status }'
}

# CASE FILE EVENT SECONDS -- COMMAND...: runs COMMAND for at most 60 s (then twice SIGTERM),
# doing EVENT (a shell command) SECONDS after its start, and appends to FILE its trimmed lines,
# exit code and how long it ran after EVENT.
case_() {
    local file=$out/$1 event=$2 delay=$3 && shift 4
    printf '# Debian ffmpeg %s: %s\n' "$version" "$*" >>"$file"
    local begin=$SECONDS at
    "$@" 2>"$work/err" </dev/null >/dev/null &
    local pid=$! rc=0
    if [ -n "$event" ]; then
        sleep "$delay" && eval "$event" >/dev/null && at=$SECONDS
        printf '# %s after %s s\n' "$event" "$delay" >>"$file"
    fi
    while kill -0 $pid 2>/dev/null && ((SECONDS - begin < 60)); do sleep 0.2; done
    if kill -0 $pid 2>/dev/null; then
        kill -TERM $pid && sleep 2 && { ! kill -0 $pid 2>/dev/null || kill -TERM $pid; }
        echo "# (still running after 60 s: SIGTERM, and again 2 s later)" >>"$file"
    fi
    wait $pid || rc=$?
    trim <"$work/err" >>"$file"
    echo "exit code: $rc${at:+ ($((SECONDS - at)) s after the event)}" >>"$file"
    echo >>"$file"
}
ff=(ffmpeg -nostdin -hide_banner)
rm -f "$out"/rtmp-*.txt

# Nothing listens.
case_ rtmp-unreachable.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -f flv "rtmp://127.0.0.1:$closed/live/good-key"
case_ rtmp-unreachable.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" "${tls[@]}" -f flv "rtmps://127.0.0.1:$closed/live/good-key"

# The server takes the connection (and the TLS handshake) but its on_publish check answers 403.
case_ rtmp-wrong-key.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -f flv "$url/bad-key"
case_ rtmp-wrong-key.txt "" 0 -- "${ff[@]}" "${source[@]}" "${flv1[@]}" "${tls[@]}" -f flv "$surl/bad-key"
case_ rtmp-wrong-key.txt "" 0 -- "${ff[@]}" -v verbose "${source[@]}" "${h264[@]}" -f flv "$url/bad-key"

# Certificates: not trusted without our CA, and issued for 127.0.0.1, not localhost.
case_ rtmp-certificate.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -tls_verify 1 -f flv "$surl/good-key"
case_ rtmp-certificate.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" "${tls[@]}" -f flv "rtmps://localhost:$RTMPS/live/good-key"

# A good stream, and FFprobe reading it back while it runs.
case_ rtmp-good.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" "${tls[@]}" -t 3 -f flv "$surl/good-key"
{
    probe=(ffprobe -v error -of compact -show_entries stream=codec_name,width,height,sample_rate "$url/good-key")
    "${ff[@]}" -loglevel error -re -f lavfi -i testsrc2=size=320x240:rate=25 -f lavfi -i anullsrc=r=44100:cl=stereo \
        -shortest -t 8 "${flv1[@]}" -f flv "$url/good-key" &
    sleep 2
    printf '# Debian ffmpeg %s: %s (while silent flv1+mp3 is published)\n' "$version" "${probe[*]}"
    timeout 20 "${probe[@]}" 2>&1 && echo "exit code: 0" || echo "exit code: $?"
    wait
} >>"$out/rtmp-good.txt"

# The server goes away in the middle of the stream.
case_ rtmp-lost.txt "bash $server stop $work/a" 3 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -f flv "$url/good-key"
bash "$server" start "$work/a" >/dev/null
case_ rtmp-lost.txt "bash $server stop $work/a" 3 -- "${ff[@]}" "${source[@]}" "${h264[@]}" "${tls[@]}" -f flv "$surl/good-key"
bash "$server" start "$work/a" >/dev/null

# The server stops reading and keeps the connection open: without a timeout FFmpeg goes on until
# the socket buffers are full, then waits for ever, and the first SIGTERM does not end it.
case_ rtmp-stalled.txt "bash $server stall $work/a" 3 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -f flv "$url/good-key"
bash "$server" restart "$work/a" >/dev/null
case_ rtmp-stalled.txt "bash $server stall $work/a" 3 -- "${ff[@]}" "${source[@]}" "${h264[@]}" \
    -rw_timeout 10000000 -send_buffer_size 32768 -f flv "$url/good-key"
bash "$server" restart "$work/a" >/dev/null

# One encode to two servers through the tee muxer: a refused key, protocol options per slave,
# a slave whose server goes away.
tee=(-flags +global_header -f tee)
case_ rtmp-tee.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -t 3 "${tee[@]}" \
    "[f=flv:onfail=ignore]$url/bad-key|[f=flv:onfail=ignore]$url/good-key"
case_ rtmp-tee.txt "" 0 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -t 3 "${tee[@]}" \
    "[f=flv:onfail=ignore:tls_verify=1]$surl/good-key|[f=flv:onfail=ignore:tls_verify=1:ca_file=$CA]$surl/second-key"
case_ rtmp-tee.txt "bash $server stop $work/b" 3 -- "${ff[@]}" "${source[@]}" "${h264[@]}" -t 6 "${tee[@]}" \
    "[f=flv:onfail=ignore]rtmp://127.0.0.1:$RTMP_B/live/good-key|[f=flv:onfail=ignore]$url/good-key"
