#!/usr/bin/env bash
# A stuck SMTP server against the feedback form of the real program (headless, on loopback).
# The mail server either accepts connections and never greets ("greet") or plays the dialogue
# and never answers the mail's data ("data"). POSTS form posts arrive (each sender gone after a
# moment); then a new visitor asks for a page and for a counter image, and the program gets
# SIGTERM. Prints how long the visitor waited, how long the program took to end and what it
# logged about the mails.
# Usage: bench/stuck_smtp.sh [posts] [greet|data]   (default 12 greet)
# KESTRELON_EXE=path measures another build of the program (an earlier one, to compare).
set -euo pipefail
cd "$(dirname "$0")/.."
posts=${1:-12}
mode=${2:-greet}
[[ "$mode" == greet || "$mode" == data ]] || { echo "mode: greet or data" >&2; exit 2; }

exe=${KESTRELON_EXE:-}
if [[ -z "$exe" ]]; then
    scripts/install-deps.sh >/dev/null
    cmake --preset default >/dev/null
    cmake --build --preset default --target kestrelon >/dev/null
    exe=build/default/kestrelon
fi

work=$(mktemp -d)
smtp_pid=""
prog_pid=""
cleanup() {
    [[ -n "$prog_pid" ]] && kill -KILL "$prog_pid" 2>/dev/null || true
    [[ -n "$smtp_pid" ]] && kill "$smtp_pid" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# The stuck server: one asyncio loop, any number of connections, each held until the client goes.
/usr/bin/python3 - "$mode" "$work/smtp.port" <<'PY' &
import asyncio, sys
mode, port_file = sys.argv[1], sys.argv[2]

async def client(reader, writer):
    try:
        if mode == "data":
            writer.write(b"220 stuck.example ESMTP\r\n")
            while True:
                line = await reader.readline()
                if not line:
                    break
                verb = line[:4].upper()
                if verb == b"DATA":
                    writer.write(b"354 go ahead\r\n")
                    while (await reader.readline()) not in (b".\r\n", b""):
                        pass
                    break  # the answer to the data never comes
                writer.write(b"250 OK\r\n")
        while await reader.read(4096):
            pass
    except ConnectionError:
        pass
    writer.close()

async def main():
    server = await asyncio.start_server(client, "127.0.0.1", 0, backlog=512)
    with open(port_file, "w") as f:
        f.write(str(server.sockets[0].getsockname()[1]))
    await server.serve_forever()

asyncio.run(main())
PY
smtp_pid=$!
for _ in $(seq 100); do [[ -s "$work/smtp.port" ]] && break; sleep 0.05; done
smtp_port=$(cat "$work/smtp.port")

mkdir -p "$work/www"
echo "<html>home</html>" > "$work/www/index.html"
printf '000000\r\n' > "$work/www/hitcounter.txt"
cat > "$work/kestrelon.ini" <<INI
[WebServe]
Port=0
RevDNS=0
AutoStart=1
Root=$work/www
Append=0
Email=1
EmailServer=127.0.0.1:$smtp_port
EmailAddr=owner@example.org
EmailFrom=kestrelon@example.org
INI
"$exe" --headless --noexternal --config "$work/kestrelon.ini" --listen 127.0.0.1 2>"$work/stderr" &
prog_pid=$!
port=""
for _ in $(seq 200); do
    port=$(sed -n 's/.*Listening for HTTP connections on 127\.0\.0\.1:\([0-9]*\)\..*/\1/p' "$work/stderr" | head -1)
    [[ -n "$port" ]] && break
    sleep 0.05
done
[[ -n "$port" ]] || { cat "$work/stderr" >&2; exit 1; }

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

# The posts, each sender gone after 50 ms, as an attacker would do it.
for i in $(seq "$posts"); do
    curl -s -o /dev/null -m 0.05 -d "n=$i&text=stuck" "http://127.0.0.1:$port/index.html" || true
done

start=$(now)
page=$(curl -s -o /dev/null -m 600 -w '%{http_code}' "http://127.0.0.1:$port/index.html" || true)
page_wait=$(since "$start")
start=$(now)
image=$(curl -s -o /dev/null -m 600 -w '%{http_code}' "http://127.0.0.1:$port/hitcounter.bmp" || true)
image_wait=$(since "$start")

start=$(now)
kill -TERM "$prog_pid"
ended=no
for _ in $(seq 1200); do
    if ! kill -0 "$prog_pid" 2>/dev/null; then ended=yes; break; fi
    sleep 0.05
done
term_wait=$(since "$start")
if [[ $ended == no ]]; then
    term_wait="more than $term_wait (then killed)"
fi
wait "$prog_pid" 2>/dev/null || true
prog_pid=""

errors=$(grep -c '   Email error: ' "$work/stderr" || true)
not_sent=$(grep -c '   Email error: Not sent' "$work/stderr" || true)
echo "stuck SMTP server ($mode), $posts posts:"
answer() { [[ "$1" == 000 ]] && echo "no answer" || echo "$1"; }
echo "  new visitor: page $(answer "$page") after ${page_wait} s, counter image $(answer "$image") after ${image_wait} s"
echo "  SIGTERM to exit: ${term_wait} s"
echo "  'Email error' lines: $errors (of which 'Not sent': $not_sent)"
