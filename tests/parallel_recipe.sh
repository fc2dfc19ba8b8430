#!/usr/bin/env bash
# Runs the README's GNU parallel recipe as it stands through two SSH servers on 127.0.0.1, each
# "host" with a home of its own in a scratch folder, on four videos, one of them damaged.
# Usage: parallel_recipe.sh README.md APP_DIR
set -euo pipefail
readme=$(readlink -f "$1") app=$(readlink -f "$2")
T=$(mktemp -d) && work=$T/work && mkdir "$work"
fail() { echo "FAIL: $*" >&2; cat "$T"/run?.txt >&2 2>/dev/null; exit 1; }

# Stops the servers by the pid files they were started with and waits until they are gone.
stop_servers() {
    local p pid
    for p in "$T"/sshd-*.pid; do
        pid=$(cat "$p" 2>/dev/null) && rm "$p" && kill "$pid" || continue
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || continue 2; sleep 0.1; done
        fail "sshd $pid still runs"
    done
}
trap 'stop_servers; rm -rf "$T"' EXIT

sed -n '/parallel_recipe.sh runs this block/,/^```$/p' "$readme" | sed '1,2d;$d' >"$T/recipe.sh"
grep -q -- --sshloginfile "$T/recipe.sh" || fail "no recipe found in $readme"

ssh-keygen -q -t ed25519 -N '' -f "$T/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$T/user_key"
mkdir -p /run/sshd # sshd's privilege separation folder
cat >"$T/sshd.conf" <<EOF
HostKey $T/host_key
AuthorizedKeysFile $T/user_key.pub
PermitRootLogin prohibit-password
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
ForceCommand cd && exec "\$SHELL" -c "\$SSH_ORIGINAL_COMMAND"
EOF
for h in a b; do
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    mkdir "$T/home-$h"
    # The session starts in the host's own home, as on a machine of its own.
    /usr/sbin/sshd -f "$T/sshd.conf" -E "$T/sshd-$h.log" -o "ListenAddress=127.0.0.1:$port" \
        -o "PidFile=$T/sshd-$h.pid" -o "SetEnv=HOME=$T/home-$h"
    printf 'Host host-%s\n  Port %s\n' $h $port >>"$T/ssh_config" # before the common block
    echo "[127.0.0.1]:$port $(cat "$T/host_key.pub")" >>"$T/known_hosts"
    echo "2/host-$h" >>"$work/hosts.txt"
done
cat >>"$T/ssh_config" <<EOF
Host host-*
  HostName 127.0.0.1
  User $(id -un)
  IdentityFile $T/user_key
  IdentitiesOnly yes
  BatchMode yes
  StrictHostKeyChecking yes
  UserKnownHostsFile $T/known_hosts
  GlobalKnownHostsFile /dev/null
EOF
for _ in $(seq 50); do [ -f "$T/sshd-a.pid" ] && [ -f "$T/sshd-b.pid" ] && break; sleep 0.1; done

cd "$work"
mkdir videos
ffmpeg -v error -f lavfi -i testsrc=d=1:s=160x120:r=10 -f lavfi -i sine=d=1 \
    videos/a.avi videos/b.mp4 videos/d.mkv
head -c 3000 videos/b.mp4 >videos/c.mp4 # no index: the encoder fails
md5sum videos/* >"$T/sources.md5"
# parallel keeps its own files in this machine's home: a scratch one here.
recipe() { HOME=$T KESTREL_APP=$app PARALLEL_SSH="ssh -F $T/ssh_config" bash "$T/recipe.sh"; }
log_column() { awk -F'\t' -v c="$1" 'NR > 1 { print $c }' joblog.txt; }
# Both hosts share this machine's disk: --cleanup must have removed the copies, not the sources.
no_copies_left() {
    md5sum --quiet -c "$T/sources.md5" || fail "a source changed"
    local left=$(find "$T"/home-? -name '[a-d].*') # the hosts keep their job logs and caches
    [ -z "$left" ] || fail "left on the hosts: $left"
}

status=0
recipe >"$T/run1.txt" 2>&1 || status=$?
[ "$status" = 1 ] || fail "the first run ended with $status, not 1 failed job"
[ "$(ls flv)" = "$(printf 'a.flv\nb.flv\nd.flv')" ] || fail "FLVs back: $(ls flv)"
for f in flv/*.flv; do "$app/flvmdi" --print "$f" >/dev/null || fail "$f is no whole FLV"; done
[ "$(log_column 2 | sort -u)" = "$(printf 'host-a\nhost-b')" ] || fail "not run on both hosts"
failed=$(awk -F'\t' 'NR > 1 && $7 != 0 { print $9 }' joblog.txt)
[[ $failed == *videos/c.mp4 && $(wc -l <<<"$failed") = 1 ]] || fail "failed in the job log: $failed"
no_copies_left

cp videos/b.mp4 videos/c.mp4 && md5sum videos/* >"$T/sources.md5"
recipe >"$T/run2.txt" 2>&1 || fail "the resumed run failed"
again=$(log_column 9 | sed 1,4d)
[[ $again == *videos/c.mp4 && $(wc -l <<<"$again") = 1 ]] || fail "the resumed run ran: $again"
"$app/flvmdi" --print flv/c.flv >/dev/null || fail "flv/c.flv is no whole FLV"
no_copies_left

cd / && stop_servers
left=$(pgrep -af "$T"; find /proc/[0-9]*/cwd -maxdepth 0 -lname "$T*" 2>/dev/null) || true
[ -z "$left" ] || fail "still running: $left"
echo "PASS"
