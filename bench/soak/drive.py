#!/usr/bin/python3
"""Drives the running program for the soak and samples it from outside. Loopback only.

Usage: drive.py --pid PID --host ADDRESS --web-port P --viewer-port V --duration S --warmup S
                --out FILE [--wrk-connections N] [--wrk-delay-ms MS]

For DURATION seconds: wrk keeps the web server busy (load.lua), two viewers read the live stream,
the snapshot is fetched twice a second and decoded, the hit-counter images are fetched from
changing client addresses and decoded and the count files read, trigger paths write the port,
feedback forms are posted, and /proc/PID is sampled every 5 s (resident size, threads by name,
descriptors by what they are). Then the clients stop and a few quiet samples follow. Everything
goes to FILE as JSON.
A refused or closed connection is counted apart from the failures: the web server restarts after
each refresh pass, and its clients meet it in between. A thread that wakes every 100 ms notes
when it woke more than a second late: then the machine gave none of its processes time (others'
work on a shared machine), and what the program missed meanwhile is no fault of its own.
"""
import argparse
import collections
import hashlib
import http.client
import io
import json
import os
import re
import signal
import socket
import subprocess
import threading
import time

from PIL import Image

TCP_STATES = {
    "01": "ESTABLISHED", "02": "SYN_SENT", "03": "SYN_RECV", "04": "FIN_WAIT1", "05": "FIN_WAIT2",
    "06": "TIME_WAIT", "07": "CLOSE", "08": "CLOSE_WAIT", "09": "LAST_ACK", "0A": "LISTEN",
    "0B": "CLOSING",
}
MAX_NOTES = 20  # failures kept verbatim per client


class Gone(Exception):
    """The program has ended."""


def loopback(hex_address):
    """Whether a /proc/net/tcp{,6} address (host byte order, 32-bit words) is 127.0.0.0/8, plain
    or IPv4-mapped, or ::1 or unspecified."""
    words = [int(hex_address[i:i + 8], 16) for i in range(0, len(hex_address), 8)]
    if len(words) == 4:
        if words[:2] != [0, 0] or words[2] not in (0, 0xFFFF0000):
            return False
        if words[2] == 0:
            return words[3] in (0, 0x01000000)  # :: or ::1
    return words[-1] == 0 or words[-1] & 0xFF == 127


def tcp_sockets():
    """inode -> (local port, remote port, state, remote on loopback) of every TCP socket of this
    network namespace."""
    table = {}
    for name in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(name) as f:
            next(f)
            for line in f:
                fields = line.split()
                local, remote, state, inode = fields[1], fields[2], fields[3], fields[9]
                address, port = remote.rsplit(":", 1)
                table[inode] = (int(local.rsplit(":", 1)[1], 16), int(port, 16),
                                TCP_STATES.get(state, state), loopback(address))
    return table


def sample(pid, client_ports):
    """One look at the program. Descriptors are labelled so that a leak names itself: accepted
    client connections on the web and viewer ports are counted apart, as they come and go."""
    base = "/proc/%d" % pid
    try:
        status = {}
        with open(base + "/status") as f:
            for line in f:
                key, _, value = line.partition(":")
                status[key] = value.split()
        with open(base + "/stat") as f:
            stat = f.read().rsplit(")", 1)[1].split()
        threads = collections.Counter()
        for task in os.listdir(base + "/task"):
            try:
                with open("%s/task/%s/comm" % (base, task)) as f:
                    threads[f.read().strip()] += 1
            except OSError:
                pass
        tcp = tcp_sockets()
        labels = collections.Counter()
        clients = collections.Counter()
        for fd in os.listdir(base + "/fd"):
            try:
                target = os.readlink("%s/fd/%s" % (base, fd))
            except OSError:
                continue
            if target.startswith("socket:["):
                entry = tcp.get(target[8:-1])
                if entry is None:
                    label = "socket (not TCP)"
                elif entry[2] == "LISTEN":
                    label = "TCP listening on %d" % entry[0]
                elif entry[0] in client_ports:
                    clients[client_ports[entry[0]]] += 1
                    continue
                else:
                    label = "TCP to %sport %d, %s" % ("" if entry[3] else "OUTSIDE ", entry[1], entry[2])
            elif target.startswith("pipe:"):
                label = "pipe"
            elif target.startswith("/memfd:"):
                label = "memfd"
            else:
                label = target
            labels[label] += 1
    except FileNotFoundError:
        raise Gone()
    ticks = os.sysconf("SC_CLK_TCK")
    return {
        "rss_kb": int(status["VmRSS"][0]),
        "rss_anon_kb": int(status.get("RssAnon", ["0"])[0]),
        "threads": sum(threads.values()),
        "thread_names": dict(threads),
        "fds": sum(labels.values()) + sum(clients.values()),
        "fd_labels": dict(labels),
        "clients": dict(clients),
        "cpu_s": (int(stat[11]) + int(stat[12])) / ticks,
    }


class Notes:
    """Counts and the first few failures of one client; any thread."""

    def __init__(self):
        self.lock = threading.Lock()
        self.counts = collections.Counter()
        self.failures = []

    def count(self, key, n=1):
        with self.lock:
            self.counts[key] += n

    def attempt(self, job, *args):
        """Runs one client step; a connection the server refused or closed counts as "refused",
        any other exception as a failure."""
        try:
            job(*args)
        except (ConnectionError, http.client.RemoteDisconnected) as e:
            self.count("refused")
        except Exception as e:  # every other failure to fetch or decode is a finding
            self.fail("%s: %s" % (type(e).__name__, e))

    def fail(self, text):
        with self.lock:
            self.counts["failed"] += 1
            if len(self.failures) < MAX_NOTES:
                self.failures.append(text)

    def result(self, **extra):
        with self.lock:
            return dict(self.counts, failures=list(self.failures), **extra)


def fetch(host, port, path, source="127.0.0.1"):
    """One GET on a connection of its own: (status, body)."""
    conn = http.client.HTTPConnection(host, port, timeout=15, source_address=(source, 0))
    try:
        conn.request("GET", path)
        reply = conn.getresponse()
        body = reply.read()
        length = reply.getheader("Content-Length")
        if length is not None and int(length) != len(body):
            raise http.client.HTTPException("%d bytes, announced %s" % (len(body), length))
        return reply.status, body
    finally:
        conn.close()


def decode(body, expected_format):
    """The decoded picture's size; raises when the bytes are no whole picture of that format."""
    picture = Image.open(io.BytesIO(body))
    picture.load()  # decodes every pixel: a truncated file raises here
    if picture.format != expected_format:
        raise ValueError("a %s picture, not %s" % (picture.format, expected_format))
    return picture.size


def viewer(host, port, stop, notes):
    """Reads the stream as a player would; on an end, comes back after a second."""
    longest_gap = 0.0
    while not stop.is_set():
        notes.count("connects")
        try:
            with socket.create_connection((host, port), timeout=1) as s:
                s.sendall(b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n")
                head = b""
                deadline = time.monotonic() + 10
                while b"\r\n\r\n" not in head:
                    try:
                        chunk = s.recv(4096)
                    except socket.timeout:
                        if time.monotonic() > deadline or stop.is_set():
                            raise OSError("no reply header within 10 s")
                        continue
                    if not chunk:
                        raise OSError("closed before the reply header")
                    head += chunk
                head, body = head.split(b"\r\n\r\n", 1)
                status_line = head.split(b"\r\n", 1)[0].decode("latin-1")
                if " 200 " not in status_line or b"video/webm" not in head.lower():
                    raise OSError("answered " + status_line)
                while len(body) < 4:
                    body += s.recv(4096)
                if body[:4] != b"\x1a\x45\xdf\xa3":
                    raise OSError("the stream does not start as WebM")
                notes.count("bytes", len(body))
                connected = last = time.monotonic()
                while not stop.is_set():
                    try:
                        chunk = s.recv(65536)
                    except socket.timeout:
                        longest_gap = max(longest_gap, time.monotonic() - last)
                        continue
                    now = time.monotonic()
                    longest_gap = max(longest_gap, now - last)
                    last = now
                    if not chunk:
                        notes.fail("the stream ended after %.0f s" % (now - connected))
                        break
                    notes.count("bytes", len(chunk))
        except OSError as e:
            notes.fail(str(e))
        stop.wait(1)
    notes.count("longest_gap_ms", int(longest_gap * 1000))


def snapshots(host, port, stop, notes, seen):
    """Fetches the snapshot twice a second and decodes it."""
    def once():
        status, body = fetch(host, port, "/snapshot.jpg")
        if status != 200:
            raise ValueError("status %d" % status)
        notes.count("%d x %d" % decode(body, "JPEG"))
        notes.count("decoded")
        seen.add(hashlib.sha1(body).hexdigest())

    while not stop.wait(0.5):
        notes.attempt(once)


def counters(host, port, stop, notes, triggers, posts):
    """Counter images from changing client addresses, the count files, every third round a
    trigger path that writes a value of 1 to 9 to the port, every fifth a feedback post."""
    last = {}

    def counter(source, suffix):
        status, body = fetch(host, port, "/hitcounter%s.bmp" % suffix, source)
        if status != 200:
            raise ValueError("hitcounter%s.bmp: status %d" % (suffix, status))
        decode(body, "BMP")
        notes.count("images")
        status, body = fetch(host, port, "/hitcounter%s.txt" % suffix)
        text = body.decode("latin-1")
        if status != 200 or not re.fullmatch(r"\d+\r?\n?", text):
            raise ValueError("hitcounter%s.txt: status %d, %r" % (suffix, status, text[:40]))
        if int(text) < last.get(suffix, 0):
            raise ValueError("hitcounter%s.txt went back from %d to %d" % (suffix, last[suffix], int(text)))
        last[suffix] = int(text)

    def trigger(value):
        status, _ = fetch(host, port, "/^%d" % value)
        triggers.count("answered %d" % status)
        if status == 204:
            triggers.count(str(value))

    def post(round_):
        conn = http.client.HTTPConnection(host, port, timeout=15)
        try:
            conn.request("POST", "/index.html", body="name=soak&round=%d" % round_,
                         headers={"Content-Type": "application/x-www-form-urlencoded"})
            posts.count("answered %d" % conn.getresponse().status)
        finally:
            conn.close()

    round_ = 0
    while not stop.wait(1):
        notes.attempt(counter, "127.0.0.%d" % (2 + round_ % 50), "" if round_ % 2 == 0 else "2")
        if round_ % 3 == 0:
            triggers.attempt(trigger, 1 + (round_ // 3) % 9)
        if round_ % 5 == 0:
            posts.attempt(post, round_)
        round_ += 1
    notes.count("last_count", last.get("", 0))
    notes.count("last_count2", last.get("2", 0))


def stalls(stop, found):
    """Periods in which this process got no time: [wall time of the start, seconds]."""
    last = time.monotonic()
    while not stop.wait(0.1):
        now = time.monotonic()
        if now - last > 1.1:
            found.append([round(time.time() - (now - last), 2), round(now - last - 0.1, 1)])
        last = now


def load(url, seconds, connections, delay_ms, stop, figures):
    """wrk until `seconds` have passed, started again when it ends early: it gives up when its
    first connections are refused, as they are while the web server restarts."""
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "load.lua")
    deadline = time.monotonic() + seconds
    errors = collections.Counter()
    while not stop.is_set() and deadline - time.monotonic() >= 1:
        run = subprocess.Popen(
            ["wrk", "-t1", "-c%d" % connections, "-d%ds" % int(deadline - time.monotonic()),
             "--timeout", "5s", "-s", script, url],
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
            env=dict(os.environ, SOAK_WRK_DELAY_MS=str(delay_ms)))
        while run.poll() is None:
            if stop.wait(0.5):
                run.send_signal(signal.SIGINT)  # wrk prints its figures on SIGINT
                run.wait()
        text = run.stdout.read()
        figures["runs"] = figures.get("runs", 0) + 1
        figures["output"] = text
        if m := re.search(r"(\d+) requests in", text):
            figures["requests"] = figures.get("requests", 0) + int(m.group(1))
        if m := re.search(r"Non-2xx or 3xx responses: (\d+)", text):
            figures["non_2xx"] = figures.get("non_2xx", 0) + int(m.group(1))
        if m := re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", text):
            errors.update(dict(zip(("connect", "read", "write", "timeout"), map(int, m.groups()))))
        if "unable to connect" in text:
            errors["refused at its start"] += 1
            stop.wait(0.5)
    figures["socket_errors"] = dict(errors)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pid", type=int, required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--web-port", type=int, required=True)
    parser.add_argument("--viewer-port", type=int, required=True)
    parser.add_argument("--duration", type=int, required=True)
    parser.add_argument("--warmup", type=int, required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--wrk-connections", type=int, default=4)
    parser.add_argument("--wrk-delay-ms", type=int, default=4)
    args = parser.parse_args()
    client_ports = {args.web_port: "web", args.viewer_port: "viewer"}

    stop = threading.Event()
    wrk = {}
    viewer_notes = [Notes(), Notes()]
    snapshot_notes, counter_notes, trigger_notes, post_notes = Notes(), Notes(), Notes(), Notes()
    seen, stalled = set(), []
    web = (args.host, args.web_port, stop)
    workers = [threading.Thread(target=viewer, args=(args.host, args.viewer_port, stop, notes))
               for notes in viewer_notes]
    workers.append(threading.Thread(target=snapshots, args=web + (snapshot_notes, seen)))
    workers.append(threading.Thread(target=counters, args=web + (counter_notes, trigger_notes, post_notes)))
    workers.append(threading.Thread(target=stalls, args=(stop, stalled)))
    url = "http://%s:%d" % (args.host, args.web_port)
    workers.append(threading.Thread(
        target=load, args=(url, args.duration, args.wrk_connections, args.wrk_delay_ms, stop, wrk)))
    start_wall, start = time.time(), time.monotonic()
    for w in workers:
        w.start()

    samples, quiet, died_at = [], [], None
    try:
        while True:
            t = time.monotonic() - start
            samples.append(dict(sample(args.pid, client_ports), t=round(t, 1)))
            if t >= args.duration:
                break
            time.sleep(min(5.0, max(0.0, args.duration - t)))
    except Gone:
        died_at = round(time.monotonic() - start, 1)
    stop.set()
    for w in workers:
        w.join()
    # Quiet: nobody connected; the background work (captures, uploads, the refresh cycle) goes on.
    if died_at is None:
        time.sleep(2)
        try:
            for _ in range(5):
                quiet.append(dict(sample(args.pid, client_ports), t=round(time.monotonic() - start, 1)))
                time.sleep(1)
        except Gone:
            died_at = round(time.monotonic() - start, 1)

    with open(args.out, "w") as f:
        json.dump({
            "start_wall": start_wall,
            "duration": args.duration,
            "warmup": args.warmup,
            "died_at": died_at,
            "samples": samples,
            "quiet": quiet,
            "wrk": wrk,
            "viewers": [n.result() for n in viewer_notes],
            "snapshots": snapshot_notes.result(distinct=len(seen)),
            "counters": counter_notes.result(),
            "triggers": trigger_notes.result(),
            "posts": post_notes.result(),
            "stalls": stalled,
        }, f, indent=1)


if __name__ == "__main__":
    main()
