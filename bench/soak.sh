#!/usr/bin/env bash
# The soak: the headless program with everything running at once for a while, watched from outside.
# The web server under steady load (wrk), the hit counters, feedback posts, port triggers and the
# port schedule (recorded, KESTRELON_PORT_RECORD), capture on the test pattern with a snapshot every
# second into the web folder and its upload every 5 s to an FTP server (pyftpdlib), the live stream
# with two viewers, and IP-Refresh every minute against a local router page whose address changes
# each time, so that every check uploads a template (FTP), mails the change (aiosmtpd), rewrites a
# local copy and restarts the web server. Checks at the end: resident memory after the warm-up
# grows by less than 5 MB, no thread or descriptor is left over, the Message log stays bounded while
# it takes many times its 32000 lines, every snapshot and counter image served decodes, every
# schedule entry fired once, every upload and mail arrived, and the settings file is whole with
# the keys it had.
# Prints a summary; exits non-zero when a check fails (the scratch folder is then kept).
# Usage: bench/soak.sh [seconds]   (30 to 600, default 600; 60 for a try)
# KESTRELON_EXE=path runs another build of the program. Only 127.0.0.0/8 is used: the program
# listens on 127.0.0.2, since IP-Refresh refuses to run for a server on 127.0.0.1.
set -euo pipefail
cd "$(dirname "$0")/.."
duration=${1:-600}
if ! [[ "$duration" =~ ^[0-9]+$ ]] || ((duration < 30 || duration > 600)); then
    echo "usage: bench/soak.sh [seconds]   (30 to 600)" >&2
    exit 2
fi
warmup=$((duration / 3 < 60 ? duration / 3 : 60))
here=bench/soak
py=/usr/bin/python3

exe=${KESTRELON_EXE:-}
if [[ -z "$exe" ]]; then
    scripts/install-deps.sh bench >/dev/null
    cmake --preset default >/dev/null
    cmake --build --preset default --target kestrelon >/dev/null
    exe=build/default/kestrelon
fi
exe=$(realpath "$exe")

work=$(mktemp -d /tmp/kestrelon-soak.XXXXXX)
host=127.0.0.2
prog_pid=""
tally_pid=""
keep=no
cleanup() {
    [[ -n "$prog_pid" ]] && kill -KILL "$prog_pid" 2>/dev/null || true
    [[ -n "$tally_pid" ]] && wait "$tally_pid" 2>/dev/null || true
    if [[ $keep == yes ]]; then
        echo "scratch folder kept: $work" >&2
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT

free_port() {
    "$py" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
wait_line() { # $1: extended regex in the kept standard error, $2: seconds
    for _ in $(seq $(($2 * 20))); do
        grep -Eq "$1" "$work/stderr.txt" 2>/dev/null && return 0
        kill -0 "$prog_pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "soak: no line /$1/ from the program" >&2
    cat "$work/stderr.txt" >&2 || true
    keep=yes
    exit 1
}

# The peers, each ending when its standard input (a pipe this script holds open) closes.
mkdir -p "$work/ftp/cam" "$work/mail" "$work/templates"
start_peer() { # $1: a name; then the command, which prints its port first. Sets peer_fd.
    mkfifo "$work/$1.in"
    "${@:2}" < "$work/$1.in" > "$work/$1.port" &
    exec {peer_fd}> "$work/$1.in"
    for _ in $(seq 100); do [[ -s "$work/$1.port" ]] && return 0; sleep 0.05; done
    echo "soak: $1 did not start" >&2
    exit 1
}
start_peer ftp "$py" tests/support/ftp_server.py "$work/ftp" "$work/ftp.events" \
    --user soak --password soakpass
ftp_fd=$peer_fd
start_peer smtp "$py" tests/support/smtp_server.py "$work/mail"
smtp_fd=$peer_fd
start_peer echo "$py" "$here/echo_page.py" "$work/echo.count"
echo_fd=$peer_fd
ftp_port=$(head -1 "$work/ftp.port")
smtp_port=$(head -1 "$work/smtp.port")
echo_port=$(head -1 "$work/echo.port")
# Passwords are stored scrambled: each byte b as 255 - b.
password=$(printf soakpass |
    "$py" -c 'import sys; sys.stdout.buffer.write(bytes(255 - b for b in sys.stdin.buffer.read()))')
printf '<html><body>Address: {IP}</body></html>\n' > "$work/templates/ip.tem"

# The web folder: a page with both counters and the snapshot, a 64 KiB file.
mkdir -p "$work/www" "$work/config"
mkdir -m 700 "$work/home"
cat > "$work/www/index.html" <<'HTML'
<html><body><img src="/hitcounter.bmp"> <img src="/hitcounter2.bmp"> <img src="/snapshot.jpg"></body></html>
HTML
head -c 65536 /dev/zero | tr '\0' 'k' > "$work/www/page.html"

# The port schedule: every 3 s from 15 s after now to the end of the run, each entry with a value
# of its own (10, 11, ...), so that the record shows which fired and how often.
web_port=$(free_port)
viewer_port=$(free_port)
ini="$work/kestrelon.ini"
{
    cat <<INI
[WebServe]
Port=$web_port
Root=$work/www
AutoStart=1
RevDNS=0
Log=1
IO=1
Append=1
AppendFile=$work/feedback.txt
[TimeServer]
Auto=0
Daily=0
[IO]
Schedule=1
[Camera]
AutoSelect=1
AutoSelectDevice=0
AutoStart=1
Delay=0
Interval=1
File=$work/www/snapshot.jpg
CameraLog=1
[FTPCamera]
Host=127.0.0.1:$ftp_port
Username=soak
Password=$password
SavePass=1
Directory=cam
File=cam.jpg
Interval=5
AutoStart=1
[Router]
External=0
UserDefined=1
SelectedRouter=0
[Routers]
0-soak router=1
[RoutersData]
0-127.0.0.1:$echo_port/status.html,<b>IP Address</b>:,1=0
[FTP]
EnableFTP=1
Interval=1
AutoStart=1
[Remote]
Host=127.0.0.1:$ftp_port
Username=soak
Password=$password
SavePass=1
FTPLog=1
[RemoteTemplate]
$work/templates/ip.tem=1
[RemoteFile]
ip.html=1
[Template]
$work/templates/ip.tem=1
[LocalFile]
$work/www/ip.html=1
[DNS]
Sendmail=1
To=owner@example.org
Server=127.0.0.1:$smtp_port
From=kestrelon@example.org
Subject=Address changed
[VidStream]
Stream=1
LastDevice=0
Users=2
Profile=0
Port=$viewer_port
INI
    first=$(($(date +%s) + 15))
    entries=$(((duration + 30) / 3))
    echo "[IOTimes]"
    for ((i = 0; i < entries; i++)); do
        echo "$i-$(date -d "@$((first + 3 * i))" +%H:%M:%S)=1"
    done
    echo "[IOValues]"
    for ((i = 0; i < entries; i++)); do
        echo "$i-$((10 + i))=1"
    done
} > "$ini"

run_program() { # arguments for the program; standard error goes through the tally
    rm -f "$work/stderr.fifo"
    mkfifo "$work/stderr.fifo"
    "$py" "$here/stderr_tally.py" "$work/stderr.txt" "$work/stderr-counts.json" < "$work/stderr.fifo" &
    tally_pid=$!
    # Only the test pattern, even on a machine with a camera; nothing of the user's is touched.
    env QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
        XDG_RUNTIME_DIR="$work/home" KESTRELON_PORT_RECORD="$work/port.rec" \
        GST_PLUGIN_FEATURE_RANK=v4l2deviceprovider:NONE,pipewiredeviceprovider:NONE,libcameraprovider:NONE \
        "$exe" --headless --noexternal --config "$ini" --listen "$host" "$@" 2> "$work/stderr.fifo" \
        {ftp_fd}>&- {smtp_fd}>&- {echo_fd}>&- &
    prog_pid=$!
}
stop_program() { # sets exit_status and stop_seconds
    local start
    start=$(date +%s.%N)
    kill -TERM "$prog_pid"
    exit_status=0
    wait "$prog_pid" || exit_status=$?
    stop_seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
    prog_pid=""
    wait "$tally_pid" || true
    tally_pid=""
}

# A first short start without the automatic starts, so that the settings file holds every key the
# program writes: the file at the end must have the same keys.
run_program -noauto
wait_line '^Kestrelon runs without a window' 30
stop_program
if ((exit_status != 0)); then
    echo "soak: the first start ended with status $exit_status" >&2
    keep=yes
    exit 1
fi
cp "$ini" "$work/kestrelon.ini.start"
rm -f "$work/port.rec" "$work/echo.count" "$work/mail/"*
: > "$work/ftp.events" # the FTP server keeps it open

echo "soak: ${duration} s (warm-up ${warmup} s), scratch folder $work;" \
    "load average $(cut -d' ' -f1-3 /proc/loadavg)"
run_program
wait_line "^server: .*Listening for HTTP connections on ${host//./\\.}:$web_port\\." 30
wait_line '^camera: Capture started' 30
wait_line '^video: Streaming ' 30
for _ in $(seq 200); do [[ -s "$work/www/snapshot.jpg" ]] && break; sleep 0.05; done

"$py" "$here/drive.py" --pid "$prog_pid" --host "$host" --web-port "$web_port" --viewer-port "$viewer_port" \
    --duration "$duration" --warmup "$warmup" --out "$work/drive.json"
alive=yes
kill -0 "$prog_pid" 2>/dev/null || alive=no
if [[ $alive == yes ]]; then
    stop_program
else
    exit_status=0
    wait "$prog_pid" || exit_status=$?
    stop_seconds=0
    prog_pid=""
fi

if ! "$py" "$here/check.py" --work "$work" --exit-status "$exit_status" --stop-seconds "$stop_seconds"; then
    keep=yes
    exit 1
fi
