#!/usr/bin/env bash
# Requests per second of Kestrelon's web server against nginx, both on loopback serving the
# same 4 KiB file, measured with wrk in turns (A B A B ...). Prints both medians and the ratio,
# first with reverse lookup off, then with it on (answered from the lookup cache).
# Usage: bench/http_vs_nginx.sh [rounds]   (default 3 rounds of 10 s each per server)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
duration=${DURATION:-10s}

scripts/install-deps.sh bench
cmake --preset default >/dev/null
cmake --build --preset default --target kestrelon_bench_server >/dev/null

work=$(mktemp -d)
ours_pid=""
nginx_pid=""
cleanup() {
    [[ -n "$ours_pid" ]] && kill "$ours_pid" 2>/dev/null || true
    [[ -n "$nginx_pid" ]] && kill "$nginx_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root" "$work/nginx"
head -c 4096 /dev/urandom | base64 -w 76 | head -c 4096 > "$work/root/bench.html"
chmod -R a+rX "$work"

ours_port=18080
nginx_port=18081
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes 2;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 100000;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/root;
    }
}
CONF

start_ours() { # $1: reverse lookup 0/1
    build/default/bench/kestrelon_bench_server --root "$work/root" --port $ours_port --log 1 --revdns "$1" \
        2>"$work/ours.err" &
    ours_pid=$!
    for _ in $(seq 50); do
        curl -sf -o /dev/null "http://127.0.0.1:$ours_port/bench.html" && return 0
        sleep 0.1
    done
    echo "our server did not start:" >&2
    cat "$work/ours.err" >&2
    exit 1
}
stop_ours() { kill "$ours_pid"; wait "$ours_pid" 2>/dev/null || true; ours_pid=""; }

/usr/sbin/nginx -c "$work/nginx/nginx.conf" -g 'daemon off;' &
nginx_pid=$!
for _ in $(seq 50); do
    curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/bench.html" && break
    sleep 0.1
done

rps() { # $1: port
    wrk -t2 -c50 -d"$duration" "http://127.0.0.1:$1/bench.html" | awk '/Requests\/sec/ {print $2}'
}
median() { sort -n | awk '{a[NR]=$1} END {if (NR%2) print a[(NR+1)/2]; else print (a[NR/2]+a[NR/2+1])/2}'; }

run_pairs() { # $1: reverse lookup 0/1; prints "ours nginx"
    local ours=() theirs=()
    start_ours "$1"
    for r in $(seq "$rounds"); do
        ours+=("$(rps $ours_port)")
        theirs+=("$(rps $nginx_port)")
        echo "  round $r: kestrelon ${ours[-1]}  nginx ${theirs[-1]}" >&2
    done
    stop_ours
    echo "$(printf '%s\n' "${ours[@]}" | median) $(printf '%s\n' "${theirs[@]}" | median)"
}

echo "reverse lookup off, logging on:" >&2
read -r a b < <(run_pairs 0)
printf 'reverse lookup off: kestrelon %.0f req/s, nginx %.0f req/s, ratio %.2f (target 0.80)\n' "$a" "$b" \
    "$(awk -v a="$a" -v b="$b" 'BEGIN {print a / b}')"
echo "reverse lookup on (cached), logging on:" >&2
read -r a b < <(run_pairs 1)
printf 'reverse lookup on:  kestrelon %.0f req/s, nginx %.0f req/s, ratio %.2f (target 0.70)\n' "$a" "$b" \
    "$(awk -v a="$a" -v b="$b" 'BEGIN {print a / b}')"
