#!/usr/bin/env bash
# Hostile clients against Kestrelon's web server, with nginx beside it under the same limits where
# the comparison means something. Each attack runs against a freshly started server while its
# resident size is sampled from outside (/proc/PID/status); one line of figures per run.
# Usage: bench/attacks/run.sh [ATTACK...]
#   ATTACK: slowloris chunkext trailer stalled fields pipeline growing bodydeadline linger stderr
#   (default: all of them; about five minutes). KESTRELON=path runs another build of the program.
set -euo pipefail
cd "$(dirname "$0")/../.."
attacks=("$@")
if ((${#attacks[@]} == 0)); then
    attacks=(slowloris chunkext trailer stalled fields pipeline growing bodydeadline linger stderr)
fi

scripts/install-deps.sh bench
if [[ -z "${KESTRELON:-}" ]]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target kestrelon >/dev/null
    KESTRELON=build/default/kestrelon
fi
attack=bench/attacks/attack.py
ulimit -n 20000

work=$(mktemp -d)
server_pid=""
cleanup() {
    [[ -n "$server_pid" ]] && kill "$server_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/nginx"
printf 'INDEX' > "$work/root/index.html"
head -c 65536 /dev/zero | tr '\0' 'g' > "$work/root/grow.txt"
chmod -R a+rX "$work"
ours_port=18090
nginx_port=18091

cat > "$work/k.ini" <<INI
[WebServe]
Port=$ours_port
RevDNS=0
AutoStart=1
Log=1
Root=$work/root
INI

# The same limits as Kestrelon's: 16 KiB header, 1 MiB body, 10 s header, 30 s body and write
# time-outs, 15 s keep-alive. POSTs go to a proxy, so that nginx reads and buffers their bodies.
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log crit;
events { worker_connections 8192; }
http {
    access_log off;
    client_header_timeout 10s;
    client_body_timeout 30s;
    send_timeout 30s;
    keepalive_timeout 15s;
    keepalive_requests 100000;
    large_client_header_buffers 4 16k;
    client_max_body_size 1m;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/root;
        location / {
            if (\$request_method = POST) {
                proxy_pass http://127.0.0.1:9;
            }
        }
    }
}
CONF

wait_port() { # $1: port
    for _ in $(seq 100); do
        curl -sf -o /dev/null "http://127.0.0.1:$1/index.html" && return 0
        sleep 0.1
    done
    echo "no server on port $1" >&2
    exit 1
}

start_ours() { # $1: where standard error goes
    "$KESTRELON" --headless --config "$work/k.ini" --listen 127.0.0.1 2>"$1" &
    server_pid=$!
    wait_port $ours_port
}

start_nginx() {
    /usr/sbin/nginx -c "$work/nginx/nginx.conf" -g 'daemon off;' &
    server_pid=$!
    wait_port $nginx_port
}

# The master and its workers.
pids_of() { # $1: pid
    echo "$1$(pgrep -P "$1" | sed 's/^/,/' | tr -d '\n')"
}

stop_server() {
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
}

options_of() { # $1: attack
    case "$1" in
        slowloris) echo "--seconds 20" ;;
        chunkext | trailer) echo "--conns 20 --seconds 20" ;;
        stalled) echo "--seconds 20" ;;
        fields) echo "--seconds 15" ;;
        pipeline) echo "--conns 4 --requests 20000" ;;
        growing) echo "--seconds 10 --file $work/root/grow.txt" ;;
        bodydeadline) echo "--seconds 45" ;;
        linger) echo "--seconds 40" ;;
    esac
}

for a in "${attacks[@]}"; do
    if [[ "$a" == stderr ]]; then
        # Standard error into a pipe that nobody reads: requests and the shutdown must go on.
        mkfifo "$work/stderr.fifo"
        sleep 1000 <"$work/stderr.fifo" &
        reader=$!
        start_ours "$work/stderr.fifo"
        /usr/bin/python3 "$attack" stderr --port $ours_port --pids "$server_pid" --requests 2000 --label kestrelon
        start=$(date +%s.%N)
        kill -TERM "$server_pid"
        for _ in $(seq 300); do
            kill -0 "$server_pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$server_pid" 2>/dev/null; then
            echo "kestrelon stderr        SIGTERM: still running after 30 s" && kill -KILL "$server_pid"
        else
            awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "kestrelon stderr        SIGTERM: ended after %.1f s\n", b - a }'
        fi
        wait "$server_pid" 2>/dev/null || true
        server_pid=""
        kill "$reader" 2>/dev/null || true
        rm -f "$work/stderr.fifo"
        continue
    fi
    start_ours /dev/null
    # shellcheck disable=SC2046
    /usr/bin/python3 "$attack" "$a" --port $ours_port --pids "$(pids_of "$server_pid")" --label kestrelon $(options_of "$a")
    stop_server
    if [[ "$a" != bodydeadline ]]; then
        start_nginx
        # shellcheck disable=SC2046
        /usr/bin/python3 "$attack" "$a" --port $nginx_port --pids "$(pids_of "$server_pid")" --label "nginx    " $(options_of "$a")
        stop_server
    fi
done
