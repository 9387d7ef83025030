#!/usr/bin/env bash
# Kestrelon's web server (the shipped program, headless, its log on and standard error to a file)
# against nginx, lighttpd and h2o serving the same files on loopback: 4 KiB, 100 KiB and 10 MiB
# keep-alive, Connection: close, 404, 1,000 connections from one address, in interleaved wrk
# rounds; then 5,000 keep-alive connections from 50 addresses and the memory per idle connection.
# Usage: bench/http_vs_peers.sh [rounds]   (default 5 rounds; DURATION=6s per wrk run;
#   KESTRELON=path measures another build; PEER_LOG=0 turns the peers' access logs off;
#   SERVERS=kestrelon,nginx picks the servers; LOG_PAIRS=3 is how often a round runs each log
#   pair, log on beside log off, in the 4 KiB case). About 20 minutes with the defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-5}

scripts/install-deps.sh bench
if [[ -z "${KESTRELON:-}" ]]; then
    cmake --preset default >/dev/null
    cmake --build --preset default --target kestrelon >/dev/null
    KESTRELON=build/default/kestrelon
fi
ulimit -n 20000
exec /usr/bin/python3 bench/http_vs_peers.py --kestrelon "$(realpath "$KESTRELON")" --rounds "$rounds" \
    --duration "${DURATION:-6s}" --peer-log "${PEER_LOG:-1}" --servers "${SERVERS:-kestrelon,nginx,lighttpd,h2o}" \
    --log-pairs "${LOG_PAIRS:-3}"
