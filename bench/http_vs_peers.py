#!/usr/bin/python3
"""Kestrelon's web server against nginx, lighttpd and h2o on loopback, all serving the same files.

Runs the given kestrelon executable headless (its log on, standard error to a file; a second
instance with the log off for the logging cost), starts the peers with configs of their own, then
measures every case in interleaved rounds (each round runs each server once per case). Prints per
case and server the median and range of requests/s, the CPU per request (from /proc/PID/stat, the
server and its children), wrk's error counts and the ratios; then the many-connections cases run
by a client of its own (5,000 keep-alive connections from 50 source addresses 127.0.1.x) with the
resident memory per idle connection.

Called by bench/http_vs_peers.sh, which installs what is missing and builds the program.
"""
import argparse
import asyncio
import os
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "attacks"))
from attack import RssSampler  # noqa: E402

PORTS = {"kestrelon": 18080, "nginx": 18081, "lighttpd": 18082, "h2o": 18083, "kestrelon-log0": 18084,
         "nginx-log0": 18085}
# The servers measured once more with their log off, in the 4 KiB case, for what their log costs.
LOG_OFF = {"kestrelon": "kestrelon-log0", "nginx": "nginx-log0"}
CLK_TCK = os.sysconf("SC_CLK_TCK")

# (name, path, wrk options); the 404 case asks for a file that is not there.
CASES = [
    ("4 KiB keep-alive", "/4k.html", ["-c50"]),
    ("100 KiB keep-alive", "/100k.bin", ["-c50"]),
    ("10 MiB keep-alive", "/10m.bin", ["-c10"]),
    ("Connection: close", "/4k.html", ["-c50", "-H", "Connection: close"]),
    ("404", "/missing.html", ["-c50"]),
    ("1,000 conns, one address", "/4k.html", ["-c1000"]),
]


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def make_files(root):
    os.makedirs(root)
    rnd = os.urandom(10 * 1024 * 1024)
    with open(os.path.join(root, "4k.html"), "wb") as f:
        f.write(rnd[:3072].hex().encode()[:4096])
    with open(os.path.join(root, "index.html"), "wb") as f:
        f.write(b"INDEX")
    with open(os.path.join(root, "100k.bin"), "wb") as f:
        f.write(rnd[: 100 * 1024])
    with open(os.path.join(root, "10m.bin"), "wb") as f:
        f.write(rnd)


def configs(work, root, peer_log):
    as_root = os.getuid() == 0
    write(f"{work}/k1.ini", f"[WebServe]\nPort={PORTS['kestrelon']}\nRevDNS=0\nAutoStart=1\nLog=1\nRoot={root}\n")
    write(f"{work}/k0.ini", f"[WebServe]\nPort={PORTS['kestrelon-log0']}\nRevDNS=0\nAutoStart=1\nLog=0\nRoot={root}\n")
    access = f"access_log {work}/nginx.access;" if peer_log else "access_log off;"
    for name, log, conf in (("nginx", access, "nginx.conf"), ("nginx-log0", "access_log off;", "nginx0.conf")):
        write(f"{work}/{conf}", f"""worker_processes 2;
pid {work}/{conf}.pid;
error_log {work}/{conf}.error crit;
events {{ worker_connections 16384; }}
worker_rlimit_nofile 20000;
http {{
    {log}
    log_not_found off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    keepalive_timeout 15s;
    types {{ text/html html; application/octet-stream bin; }}
    server {{ listen 127.0.0.1:{PORTS[name]}; root {root}; }}
}}
""")
    write(f"{work}/lighttpd.conf", f"""server.document-root = "{root}"
server.bind = "127.0.0.1"
server.port = {PORTS['lighttpd']}
server.pid-file = "{work}/lighttpd.pid"
server.errorlog = "{work}/lighttpd.error"
server.max-fds = 20000
server.max-connections = 10000
server.max-keep-alive-requests = 1000000
server.max-keep-alive-idle = 15
mimetype.assign = (".html" => "text/html", ".bin" => "application/octet-stream")
""" + (f'server.modules += ("mod_accesslog")\naccesslog.filename = "{work}/lighttpd.access"\n' if peer_log else ""))
    write(f"{work}/h2o.conf", f"""listen:
  host: 127.0.0.1
  port: {PORTS['h2o']}
num-threads: 2
max-connections: 10000
error-log: {work}/logs/h2o.error
""" + ("user: nobody\n" if as_root else "") + (f"access-log: {work}/logs/h2o.access\n" if peer_log else "") + f"""file.mime.addtypes:
  text/html: .html
  application/octet-stream: .bin
hosts:
  default:
    paths:
      /:
        file.dir: {root}
""")


def commands(work, kestrelon):
    return {
        "kestrelon": ([kestrelon, "--headless", "--config", f"{work}/k1.ini", "--listen", "127.0.0.1"], f"{work}/k1.err"),
        "kestrelon-log0": ([kestrelon, "--headless", "--config", f"{work}/k0.ini", "--listen", "127.0.0.1"], f"{work}/k0.err"),
        "nginx": (["/usr/sbin/nginx", "-c", f"{work}/nginx.conf", "-g", "daemon off;"], f"{work}/nginx.out"),
        "nginx-log0": (["/usr/sbin/nginx", "-c", f"{work}/nginx0.conf", "-g", "daemon off;"], f"{work}/nginx0.out"),
        "lighttpd": (["/usr/sbin/lighttpd", "-D", "-f", f"{work}/lighttpd.conf"], f"{work}/lighttpd.out"),
        "h2o": (["/usr/bin/h2o", "-c", f"{work}/h2o.conf"], f"{work}/h2o.out"),
    }


def wait_port(port, proc, name, errfile):
    for _ in range(100):
        if proc.poll() is not None:
            break
        r = subprocess.run(["curl", "-sf", "-o", "/dev/null", f"http://127.0.0.1:{port}/4k.html"])
        if r.returncode == 0:
            return
        time.sleep(0.1)
    sys.exit(f"{name} did not start on port {port}:\n" + open(errfile).read()[-2000:])


def pids_of(pid):
    """The process and its children (nginx's and h2o's workers)."""
    out = [pid]
    try:
        kids = subprocess.run(["pgrep", "-P", str(pid)], capture_output=True, text=True).stdout.split()
        out += [int(k) for k in kids]
    except OSError:
        pass
    return out


def cpu_seconds(pids):
    total = 0
    for pid in pids:
        try:
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        except OSError:
            pass
    return total / CLK_TCK


def rss_kib(pids):
    return RssSampler(pids).rss_kib()


def run_wrk(port, path, options, duration, pids):
    before = cpu_seconds(pids)
    out = subprocess.run(["wrk", "-t2", f"-d{duration}", "--timeout", "5s", *options, f"http://127.0.0.1:{port}{path}"],
                         capture_output=True, text=True).stdout
    cpu = cpu_seconds(pids) - before
    rps = float(re.search(r"Requests/sec:\s+([\d.]+)", out).group(1)) if "Requests/sec" in out else 0.0
    m = re.search(r"(\d+) requests in", out)
    requests = int(m.group(1)) if m else 0
    errors = 0
    m = re.search(r"Socket errors: connect (\d+), read (\d+), write (\d+), timeout (\d+)", out)
    if m:
        errors = sum(int(x) for x in m.groups())
    m = re.search(r"Non-2xx or 3xx responses: (\d+)", out)
    non2xx = int(m.group(1)) if m else 0
    return {"rps": rps, "cpu_us": cpu * 1e6 / requests if requests else float("nan"), "errors": errors, "non2xx": non2xx}


async def many_connections(port, addresses, per_address, pids):
    """Opens per_address keep-alive connections from each address, one request on each; holds
    them all idle and reads the server's resident size; then a second request on every one.
    Returns (served first, served second, KiB per idle connection)."""
    request = b"GET /4k.html HTTP/1.1\r\nHost: x\r\n\r\n"

    async def one_reply(reader):
        head = await reader.readuntil(b"\r\n\r\n")
        m = re.search(rb"(?i)content-length:\s*(\d+)", head)
        if m:
            await reader.readexactly(int(m.group(1)))
        return head.startswith(b"HTTP/1.1 200")

    async def open_one(address):
        try:
            reader, writer = await asyncio.wait_for(
                asyncio.open_connection("127.0.0.1", port, local_addr=(address, 0)), 10)
            writer.write(request)
            ok = await asyncio.wait_for(one_reply(reader), 10)
            return (reader, writer) if ok else None
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError):
            return None

    async def again(conn):
        reader, writer = conn
        try:
            writer.write(request)
            return await asyncio.wait_for(one_reply(reader), 10)
        except (OSError, asyncio.TimeoutError, asyncio.IncompleteReadError):
            return False

    rss_before = rss_kib(pids)
    conns = []
    for address in addresses:  # an address at a time, as people behind it would come
        conns += await asyncio.gather(*(open_one(address) for _ in range(per_address)))
    live = [c for c in conns if c]
    await asyncio.sleep(1)
    per_conn = (rss_kib(pids) - rss_before) / len(live) if live else float("nan")
    second = await asyncio.gather(*(again(c) for c in live))
    for c in live:
        c[1].close()
    await asyncio.sleep(0.5)
    return len(live), sum(second), per_conn


def median_range(values):
    return statistics.median(values), min(values), max(values)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--kestrelon", required=True)
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--duration", default="6s")
    ap.add_argument("--peer-log", type=int, default=1, help="peers write an access log too (default 1)")
    ap.add_argument("--servers", default="kestrelon,nginx,lighttpd,h2o")
    ap.add_argument("--log-pairs", type=int, default=3,
                    help="times per round each log pair (log on, log off) runs in the 4 KiB case; "
                         "the first run is the case's own (default 3)")
    args = ap.parse_args()

    servers = args.servers.split(",")
    work = tempfile.mkdtemp(prefix="kestrelon-bench-")
    os.chmod(work, 0o755)
    os.makedirs(f"{work}/logs")
    os.chmod(f"{work}/logs", 0o1777)  # h2o writes its logs as nobody
    root = f"{work}/root"
    make_files(root)
    configs(work, root, args.peer_log)
    procs = {}
    try:
        cmds = commands(work, args.kestrelon)
        extras = [LOG_OFF[s] for s in servers if s in LOG_OFF]
        for name in servers + extras:
            cmd, errfile = cmds[name]
            procs[name] = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=open(errfile, "w"),
                                           start_new_session=True)
            wait_port(PORTS[name], procs[name], name, errfile)
        time.sleep(0.5)  # workers forked
        pids = {name: pids_of(p.pid) for name, p in procs.items()}

        results = {}  # (case, server) -> list of dicts
        for r in range(1, args.rounds + 1):
            for case, path, options in CASES:
                order = servers[r % len(servers):] + servers[:r % len(servers)]  # who goes first moves on
                if case == "4 KiB keep-alive":
                    # Each server with its log off runs right beside itself with it on, first one,
                    # then the other, so that a slower stretch of the machine falls on both alike.
                    paired = []
                    for name in order:
                        pair = [name, LOG_OFF[name]] if name in LOG_OFF else [name]
                        paired += pair if r % 2 else pair[::-1]
                    order = paired
                for name in order:
                    res = run_wrk(PORTS[name], path, options, args.duration, pids[name])
                    results.setdefault((case, name), []).append(res)
                    if case == "4 KiB keep-alive" and (name in LOG_OFF or name in LOG_OFF.values()):
                        results.setdefault(("log", name), []).append(res)
                if case == "4 KiB keep-alive":
                    # The log's cost is a small difference of two large figures: its pairs run
                    # more often than the rest, again side by side, the order still alternating.
                    for extra in range(1, args.log_pairs):
                        for name in [s for s in order if s in LOG_OFF]:
                            pair = [name, LOG_OFF[name]]
                            for one in (pair if (r + extra) % 2 else pair[::-1]):
                                res = run_wrk(PORTS[one], path, options, args.duration, pids[one])
                                results[("log", one)].append(res)
            print(f"round {r} done", file=sys.stderr, flush=True)

        print(f"\nwrk -t2 -d{args.duration}, {args.rounds} interleaved rounds; peers' access log "
              f"{'on' if args.peer_log else 'off'}; kestrelon Log=1, stderr to a file")
        print(f"{'case':26} {'server':15} {'req/s median':>12} {'range':>19} {'CPU us/req':>10} {'errors':>7} {'non-2xx':>8}")
        for case, _, _ in CASES:
            names = [n for n in servers + extras if (case, n) in results]
            for name in names:
                rs = results[(case, name)]
                med, lo, hi = median_range([x["rps"] for x in rs])
                cpu = statistics.median([x["cpu_us"] for x in rs])
                print(f"{case:26} {name:15} {med:12.0f} {lo:9.0f}-{hi:<9.0f} {cpu:10.1f} "
                      f"{sum(x['errors'] for x in rs):7d} {sum(x['non2xx'] for x in rs):8d}")
        if "kestrelon" in servers:
            print("\nratios of medians (kestrelon / peer): req/s, and CPU per request")
            for case, _, _ in CASES:
                ours = results[(case, "kestrelon")]
                o_rps = statistics.median([x["rps"] for x in ours])
                o_cpu = statistics.median([x["cpu_us"] for x in ours])
                parts = []
                for peer in [s for s in servers if s != "kestrelon"]:
                    ps = results[(case, peer)]
                    p_rps = statistics.median([x["rps"] for x in ps])
                    p_cpu = statistics.median([x["cpu_us"] for x in ps])
                    parts.append(f"/{peer} {o_rps / p_rps if p_rps else float('nan'):.2f} "
                                 f"(CPU {o_cpu / p_cpu if p_cpu else float('nan'):.2f})")
                print(f"{case:26} " + "  ".join(parts))
            print()
            for name in [s for s in servers if s in LOG_OFF]:
                on = [x["cpu_us"] for x in results[("log", name)]]
                off = [x["cpu_us"] for x in results[("log", LOG_OFF[name])]]
                log1, log0 = statistics.median(on), statistics.median(off)
                paired = statistics.median([a / b - 1 for a, b in zip(on, off)]) * 100
                what = "Log=1 vs Log=0" if name == "kestrelon" else "access log on vs off"
                print(f"{name} {what}, 4 KiB keep-alive, {len(on)} pairs: CPU per request {log1:.2f} vs "
                      f"{log0:.2f} us (+{(log1 / log0 - 1) * 100:.0f} %; median of the pairs' own ratios "
                      f"+{paired:.0f} %)")
            lines = sum(1 for _ in open(f"{work}/k1.err"))
            print(f"kestrelon's standard error holds {lines} lines")

        print("\n5,000 keep-alive connections from 50 addresses (127.0.1.1-50), 100 each: "
              "served, served again, resident KiB per idle connection")
        addresses = [f"127.0.1.{i}" for i in range(1, 51)]
        for name in servers:
            first, second, per_conn = asyncio.run(many_connections(PORTS[name], addresses, 100, pids[name]))
            print(f"  {name:10} {first:5d} {second:5d} {per_conn:6.1f}")
        print("1,000 keep-alive connections from 127.0.0.1: served, served again")
        for name in servers:
            first, second, _ = asyncio.run(many_connections(PORTS[name], ["127.0.0.1"], 1000, pids[name]))
            print(f"  {name:10} {first:5d} {second:5d}")
    finally:
        for p in procs.values():
            try:
                os.killpg(p.pid, signal.SIGTERM)
            except OSError:
                pass
        for p in procs.values():
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(p.pid, signal.SIGKILL)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
