#!/usr/bin/env bash
# A private RTMP/RTMPS server for the streaming tests: Debian's nginx with its rtmp and stream
# modules, everything (config, pid, logs, temp files, recordings, a throwaway CA) inside DIR.
#
#   rtmp_server.sh start DIR    start it; ports come from DIR/ports.env when that exists, so a
#                               restart listens where the first start did
#   rtmp_server.sh stop DIR     stop it and wait until nothing listens on its ports
#   rtmp_server.sh restart DIR  stop, then start on the same ports
#   rtmp_server.sh stall DIR    SIGSTOP the worker: connections stay open, nothing is read
#   rtmp_server.sh resume DIR   SIGCONT the worker
#
# start prints, and writes to DIR/ports.env, the lines RTMP=port HTTP=port RTMPS=port CA=path.
# Publishing needs the key good-key, second-key or third-key as the stream name
# (rtmp://.../live/good-key); nginx takes one publisher per name. Any other key gets 403 from the on_publish check, which
# ends the publish before its first frame. Every publish is recorded under DIR/rec.
set -euo pipefail

modules=${NGINX_MODULES:-/usr/lib/nginx/modules}

usage() { echo "usage: $0 start|stop|restart|stall|resume DIR" >&2 && exit 2; }

listening() { # PORT: is something accepting on 127.0.0.1:PORT?
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

master() { # prints the pid of DIR's running nginx master, fails when none runs
    local pid
    pid=$(cat "$dir/nginx.pid" 2>/dev/null) && [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null &&
        echo "$pid"
}

free_ports() { # three ports the kernel hands out on 127.0.0.1 now
    python3 -c '
import socket
s = [socket.socket() for _ in range(3)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))'
}

make_certificates() {
    [ -s "$dir/server.pem" ] && return
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=Kestrel-Test-CA \
        -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 \
        -keyout "$dir/server.key" -out "$dir/server.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n' >"$dir/server.ext"
    openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" \
        -CAcreateserial -days 30 -extfile "$dir/server.ext" -out "$dir/server.pem" 2>/dev/null
}

write_config() {
    local user=""
    # As root the workers would turn into nobody and could not write the recordings.
    [ "$(id -u)" -ne 0 ] || user="user root root;"
    cat >"$dir/nginx.conf" <<EOF
$user
load_module $modules/ngx_rtmp_module.so;
load_module $modules/ngx_stream_module.so;
daemon on;
master_process on;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/logs/error.log info;
events { worker_connections 256; }

http {
    access_log $dir/logs/access.log;
    client_body_temp_path $dir/tmp/body;
    proxy_temp_path $dir/tmp/proxy;
    fastcgi_temp_path $dir/tmp/fastcgi;
    uwsgi_temp_path $dir/tmp/uwsgi;
    scgi_temp_path $dir/tmp/scgi;
    map \$arg_name \$publish_allowed { good-key 1; second-key 1; third-key 1; default 0; }
    server {
        listen 127.0.0.1:$HTTP;
        location = /auth {
            if (\$publish_allowed) { return 204; }
            return 403;
        }
    }
}

stream {
    server {
        listen 127.0.0.1:$RTMPS ssl;
        ssl_certificate $dir/server.pem;
        ssl_certificate_key $dir/server.key;
        proxy_pass 127.0.0.1:$RTMP;
    }
}

rtmp {
    server {
        listen 127.0.0.1:$RTMP;
        application live {
            live on;
            record all;
            record_path $dir/rec;
            record_unique on;
            notify_method get;
            on_publish http://127.0.0.1:$HTTP/auth;
        }
    }
}
EOF
}

start() {
    mkdir -p "$dir/logs" "$dir/tmp" "$dir/rec"
    dir=$(realpath "$dir")
    if master >/dev/null; then
        echo "$0: a server already runs in $dir" >&2 && return 1
    fi
    if [ -s "$dir/ports.env" ]; then
        # shellcheck disable=SC1091
        . "$dir/ports.env"
    else
        read -r RTMP HTTP RTMPS < <(free_ports)
    fi
    make_certificates
    CA=$dir/ca.pem
    printf 'RTMP=%s\nHTTP=%s\nRTMPS=%s\nCA=%s\n' "$RTMP" "$HTTP" "$RTMPS" "$CA" >"$dir/ports.env"
    write_config
    nginx -p "$dir" -e "$dir/logs/error.log" -c "$dir/nginx.conf"
    local port tries=0
    for port in "$RTMP" "$HTTP" "$RTMPS"; do
        until listening "$port"; do
            ((++tries < 100)) || { echo "$0: nothing listens on $port" >&2 && return 1; }
            sleep 0.05
        done
    done
    cat "$dir/ports.env"
}

stop() {
    dir=$(realpath "$dir")
    local pid workers port tries=0
    if pid=$(master); then
        workers=$(pgrep -P "$pid" || true)
        # A stopped worker would not see the master's TERM.
        [ -z "$workers" ] || kill -CONT $workers 2>/dev/null || true
        kill -TERM "$pid"
        while kill -0 "$pid" 2>/dev/null; do
            if ((++tries == 100)); then
                kill -KILL "$pid" $workers 2>/dev/null || true
            fi
            sleep 0.05
        done
        for w in $workers; do
            while kill -0 "$w" 2>/dev/null; do sleep 0.05; done
        done
    fi
    [ -s "$dir/ports.env" ] || return 0
    # shellcheck disable=SC1091
    . "$dir/ports.env"
    for port in "$RTMP" "$HTTP" "$RTMPS"; do
        if listening "$port"; then echo "$0: port $port still listens" >&2 && return 1; fi
    done
}

signal_worker() { # SIGNAL
    local pid workers
    pid=$(master) || { echo "$0: no server runs in $dir" >&2 && return 1; }
    workers=$(pgrep -P "$pid") || { echo "$0: no worker under $pid" >&2 && return 1; }
    kill "-$1" $workers
}

[ $# -eq 2 ] || usage
dir=$2
case $1 in
start) start ;;
stop) stop ;;
restart) stop && start ;;
stall) signal_worker STOP ;;
resume) signal_worker CONT ;;
*) usage ;;
esac
