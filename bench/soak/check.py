#!/usr/bin/python3
"""The soak's checks and summary, from what the run left in its scratch folder.

Usage: check.py --work FOLDER --exit-status N --stop-seconds S

Reads drive.json (samples and clients), stderr-counts.json and stderr.txt (the program's standard
error), port.rec (the recorded port writes), kestrelon.ini.start and kestrelon.ini (the settings
file before and after), feedback.txt, and what the peers got: ftp.events and the FTP folder, the
mail folder, echo.count. Prints one line per check and the figures; exits 1 when a check fails.
"""
import argparse
import collections
import datetime
import io
import json
import os
import re

from PIL import Image

MB = 1024  # kB
RSS_GROWTH_LIMIT_KB = 5 * MB
LOG_MAX_LINES = 32000
# The least a Message log line would hold in memory if the log kept every line: the stamp, the
# shortest request line's text and a string's own size.
MIN_BYTES_PER_KEPT_LINE = 80
LEFTOVER_TOLERANCE = 1  # a descriptor or thread of work under way at every quiet look


class Report:
    def __init__(self):
        self.failed = []

    def check(self, ok, name, detail):
        print("%s  %-10s %s" % ("ok  " if ok else "FAIL", name, detail))
        if not ok:
            self.failed.append(name)


def load(work, name):
    with open(os.path.join(work, name)) as f:
        return json.load(f)


def leftovers(baseline, quiet, key):
    """What the quiet program holds beyond the most it held in the minute after the warm-up, by
    label. The quiet side takes the least count of its looks, so that work under way at one
    moment does not count; the loaded side the most, since threads come and go with the web
    server's restarts and take their descriptors along. Something left behind by every request,
    pass or upload outgrows that within minutes."""
    def count(samples, pick):
        names = set().union(*(s[key] for s in samples))
        return {n: pick(s[key].get(n, 0) for s in samples) for n in names}
    before, after = count(baseline, max), count(quiet, min)
    return {n: (before.get(n, 0), c) for n, c in after.items() if c > before.get(n, 0)}


def ini_entries(path):
    """(malformed lines, [(section, key, value)]) of a settings file, names in lower case."""
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("latin-1")
    bad = [] if text.endswith("\n") else ["(the file does not end with a line break)"]
    entries, section = [], None
    for number, line in enumerate(text.lstrip("\ufeff").splitlines(), 1):
        stripped = line.strip()
        if not stripped or stripped[0] in ";#":
            continue
        if m := re.fullmatch(r"\[(.+)\]", stripped):
            section = m.group(1).lower()
        elif "=" in line and section is not None:
            key, value = line.split("=", 1)
            entries.append((section, key.strip().lower(), value))
        else:
            bad.append("line %d: %r" % (number, line[:60]))
    return bad, entries


def schedule_plan(entries, around):
    """value -> the moment its every-day entry fires, on the day nearest to `around`."""
    times = {k.split("-", 1)[0]: k.split("-", 1)[1] for s, k, _ in entries if s == "iotimes"}
    values = {k.split("-", 1)[0]: int(k.split("-", 1)[1]) for s, k, _ in entries if s == "iovalues"}
    day = datetime.datetime.fromtimestamp(around)
    plan = {}
    for row, text in times.items():
        clock = datetime.datetime.strptime(text, "%H:%M:%S").time()
        moments = [datetime.datetime.combine((day + datetime.timedelta(days=d)).date(), clock).timestamp()
                   for d in (-1, 0, 1)]
        plan[values[row]] = min(moments, key=lambda m: abs(m - around))
    return plan


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--work", required=True)
    parser.add_argument("--exit-status", type=int, required=True)
    parser.add_argument("--stop-seconds", type=float, required=True)
    args = parser.parse_args()
    work = args.work
    drive = load(work, "drive.json")
    counts = load(work, "stderr-counts.json")
    report = Report()
    duration, warmup = drive["duration"], drive["warmup"]
    samples = drive["samples"]
    print("figures of %d s under load (warm-up %d s), a look every 5 s:" % (duration, warmup))

    # The run itself.
    report.check(drive["died_at"] is None and args.exit_status == 0, "run",
                 ("ran to the end; SIGTERM to exit %.2f s, status %d" % (args.stop_seconds, args.exit_status))
                 if drive["died_at"] is None else "the program ended after %s s" % drive["died_at"])
    if len(samples) < 3:
        report.check(False, "samples", "only %d looks at the program" % len(samples))
        raise SystemExit(1)
    stalls = drive["stalls"]
    print("           the machine stalled %d times (no process ran for more than a second), %.0f s in all%s"
          % (len(stalls), sum(s for _, s in stalls),
             ", the longest %.1f s" % max(s for _, s in stalls) if stalls else ""))
    cpu = samples[-1]["cpu_s"] - samples[0]["cpu_s"]
    print("           the program's CPU: %.0f s in %.0f s (%.0f %% of one core)"
          % (cpu, samples[-1]["t"], 100 * cpu / max(1, samples[-1]["t"])))

    # Resident memory after the warm-up.
    after = [s for s in samples if s["t"] >= warmup - 5]
    # The resident size rises and falls within each minute: IP-Refresh restarts the web server
    # every minute, the stop gives the freed memory of its threads back, and the new threads and
    # the Message log (emptied at its line limit) fill it again. Growth is therefore read from the
    # peaks of whole minutes, the first after the warm-up against the last one, not from two
    # single looks that may fall on different points of that cycle.
    last = samples[-1]["t"]
    first_minute = [s for s in samples if warmup <= s["t"] < warmup + 60] or after[:1]
    last_minute = [s for s in samples if s["t"] > last - 60] or samples[-1:]
    warm = max(s["rss_kb"] for s in first_minute)
    end = max(s["rss_kb"] for s in last_minute)
    minutes = [[s["rss_kb"] for s in samples if m <= s["t"] < m + 60] for m in range(0, int(last), 60)]
    print("           VmRSS each minute, least and most: " +
          ", ".join("%.1f-%.1f" % (min(v) / MB, max(v) / MB) for v in minutes if v) + " MB")
    step = max(5, duration // 20)
    curve = [s for s in samples if int(s["t"]) % step < 5 or s is samples[-1]]
    print("           VmRSS: " + ", ".join("%d s %.1f" % (s["t"], s["rss_kb"] / MB) for s in curve) + " MB")
    report.check(end - warm < RSS_GROWTH_LIMIT_KB, "memory",
                 "VmRSS peak %.1f MB in the minute from %d s, %.1f MB in the last minute: %+.2f MB (limit +5); "
                 "peak after warm-up %.1f MB"
                 % (warm / MB, warmup, end / MB, (end - warm) / MB, max(s["rss_kb"] for s in after) / MB))

    # Threads and descriptors: the quiet program against the loaded one after the warm-up.
    baseline = [s for s in samples if warmup <= s["t"] <= warmup + 60] or after
    quiet = drive["quiet"]
    for key, total, name in (("thread_names", "threads", "threads"), ("fd_labels", "fds", "fds")):
        left = leftovers(baseline, quiet, key)
        extra = sum(c - b for b, c in left.values())
        during = [s[total] for s in after]
        report.check(extra <= LEFTOVER_TOLERANCE, name,
                     "%d under load after warm-up (%d to %d), quiet at the end %d; %s"
                     % (baseline[0][total], min(during), max(during), quiet[-1][total] if quiet else -1,
                        "left over: " + "; ".join("%s %d -> %d" % (n, b, c)
                                                  for n, (b, c) in sorted(left.items()))
                        if left else "nothing left over"))
    outside = sorted({l for s in samples + quiet for l in s["fd_labels"] if "OUTSIDE" in l})
    report.check(not outside, "loopback", "connections outside 127.0.0.0/8: %s" % (outside or "none seen"))
    clients = collections.Counter()
    for s in samples:
        for k, v in s["clients"].items():
            clients[k] = max(clients[k], v)
    print("           client connections at most: %s; descriptors of the quiet program: %s"
          % (dict(clients), dict(sorted(quiet[-1]["fd_labels"].items())) if quiet else "-"))

    # The logs: the Message log took many times its line limit while memory stayed flat.
    start_offset = drive["start_wall"] - counts["start_wall"]
    curve_lines = counts["request_curve"]
    at_warm = max((n for t, n in curve_lines if t <= start_offset + warmup), default=0)
    lines_after = counts["request_lines"] - at_warm
    unbounded_kb = lines_after * MIN_BYTES_PER_KEPT_LINE / 1024
    exercised = lines_after > 2 * LOG_MAX_LINES and unbounded_kb > 2 * RSS_GROWTH_LIMIT_KB
    report.check(exercised and end - warm < RSS_GROWTH_LIMIT_KB, "logs",
                 "Message log: %d request lines, %d after the warm-up (%.1f times its %d lines, at least "
                 "%.0f MB if kept) while VmRSS changed by %+.2f MB%s"
                 % (counts["request_lines"], lines_after, lines_after / LOG_MAX_LINES, LOG_MAX_LINES,
                    unbounded_kb / MB, (end - warm) / MB, "" if exercised else "; too few lines to tell"))
    print("           lines on standard error by prefix: %s; longest: %s; dropped by the program: %d"
          % (counts["lines"], counts["longest"], counts["dropped"]))
    longest_server = counts["longest"].get("server:", 0)
    report.check(longest_server <= len("server: ") + 22 + 2048 + 40, "log lines",
                 "the longest Message log line on standard error: %d bytes" % longest_server)
    with open(os.path.join(work, "stderr.txt"), errors="replace") as f:
        kept = f.read().splitlines()
    errors = [l for l in kept if re.search(r"\b(Error|error|failed|Unable)\b", l)]
    restarts = sum(1 for l in kept if re.match(r"server: .*   Listening for HTTP connections on ", l)) - 1
    report.check(not errors, "errors", "%d error lines on standard error%s"
                 % (len(errors), ": " + " | ".join(errors[:5]) if errors else ""))

    # The clients. The web server restarts after each refresh pass: a client that meets it in
    # between is refused, which is no fault then.
    refused = {k: drive[k].get("refused", 0) for k in ("snapshots", "counters", "triggers", "posts")}
    report.check(restarts > 0 or not any(refused.values()), "refused",
                 "connections refused or closed: %s, while the web server restarted %d times"
                 % (refused, restarts))
    snaps = drive["snapshots"]
    report.check(snaps.get("failed", 0) == 0 and snaps.get("decoded", 0) > 0 and snaps["distinct"] >= 2,
                 "snapshots",
                 "%d fetched and decoded (%s), %d failed, %d different pictures (one every %.1f s)%s"
                 % (snaps.get("decoded", 0), ", ".join(k for k in snaps if " x " in k),
                    snaps.get("failed", 0), snaps["distinct"],
                    duration / max(1, snaps["distinct"]), failures(snaps)))
    counters = drive["counters"]
    report.check(counters.get("failed", 0) == 0 and counters.get("images", 0) > 0, "counters",
                 "%d counter images decoded, %d failed; counts at the end %d and %d%s"
                 % (counters.get("images", 0), counters.get("failed", 0), counters.get("last_count", 0),
                    counters.get("last_count2", 0), failures(counters)))
    for number, v in enumerate(drive["viewers"], 1):
        rate = v.get("bytes", 0) / 1024 / duration
        report.check(v.get("failed", 0) == 0 and rate > 8, "viewer %d" % number,
                     "%.1f MB, %.1f KB/s, %d connects, longest wait for data %.1f s%s"
                     % (v.get("bytes", 0) / 1024 / 1024, rate, v.get("connects", 0),
                        v.get("longest_gap_ms", 0) / 1000, failures(v)))
    wrk = drive["wrk"]
    socket_errors = wrk.get("socket_errors", {})
    report.check("requests" in wrk and socket_errors.get("timeout", 0) == 0 and
                 (restarts > 0 or sum(socket_errors.values()) == 0), "wrk",
                 "%d requests (%.0f/s) in %d runs, %d answered 404 as meant, socket errors %s"
                 % (wrk.get("requests", 0), wrk.get("requests", 0) / duration, wrk.get("runs", 0),
                    wrk.get("non_2xx", 0), socket_errors)
                 if "requests" in wrk else wrk.get("output", "")[-300:])

    # The port: every trigger answered 204 is one record line; every schedule entry due while the
    # program ran under load fired once.
    with open(os.path.join(work, "port.rec")) as f:
        record = f.read().splitlines()
    malformed = [l for l in record if not re.fullmatch(r"[0-9A-F]{4} \d+", l)]
    written = collections.Counter(int(l.split()[1]) for l in record if l not in malformed)
    triggers = drive["triggers"]
    answered = sum(v for k, v in triggers.items() if re.fullmatch(r"\d", k))
    recorded = sum(written[v] for v in range(1, 10))
    report.check(not malformed and triggers.get("failed", 0) == 0 and answered == recorded, "triggers",
                 "%d trigger requests answered 204, %d recorded; %s%s"
                 % (answered, recorded, "%d malformed record lines" % len(malformed) if malformed else
                    "record lines well formed", failures(triggers)))
    _, start_entries = ini_entries(os.path.join(work, "kestrelon.ini.start"))
    plan = schedule_plan(start_entries, drive["start_wall"])
    window = (drive["start_wall"] + 2, drive["start_wall"] + samples[-1]["t"] - 2)
    due = [v for v, t in plan.items() if window[0] <= t <= window[1]]
    # The schedule compares each tick's second with the entries: a tick that comes late misses a
    # second, and the late tick and the next may fall into one. In or right after a stall of the
    # machine that is the machine's doing.
    def in_stall(v):
        return any(start - 1 <= plan[v] <= start + length + 2 for start, length in stalls)

    def named(values):
        return [(v, datetime.datetime.fromtimestamp(plan[v]).strftime("%H:%M:%S")) for v in values] or "none"

    missed = sorted(v for v in due if written[v] == 0)
    twice = sorted(v for v in plan if written[v] > 1)
    own = [v for v in missed + twice if not in_stall(v)]
    report.check(bool(due) and not own, "schedule",
                 "%d entries due, %d fired once; missed %s, fired twice %s; of these in a stall of the "
                 "machine: %d"
                 % (len(due), sum(1 for v in due if written[v] == 1), named(missed), named(twice),
                    len(missed) + len(twice) - len(own)))

    posts = drive["posts"]
    answered_posts = sum(v for k, v in posts.items() if re.fullmatch(r"answered [23]\d\d", k))
    try:
        with open(os.path.join(work, "feedback.txt"), "rb") as f:
            records = f.read().count(b"\r\n" + b"-" * 42 + b"\r\n")
    except FileNotFoundError:
        records = 0
    report.check(posts.get("failed", 0) == 0 and answered_posts == records and records > 0, "feedback",
                 "%d posts answered, %d records in the file%s" % (answered_posts, records, failures(posts)))

    # The snapshot upload: one every 5 s or so, each a whole picture on the FTP server.
    try:
        with open(os.path.join(work, "ftp.events")) as f:
            events = f.read().splitlines()
    except FileNotFoundError:
        events = []
    stored = collections.Counter(l.split()[1] for l in events if l.startswith("stor "))
    try:
        with open(os.path.join(work, "ftp", "cam", "cam.jpg"), "rb") as f:
            decode(f.read())
        uploaded = "the last one decodes"
    except (OSError, ValueError) as e:
        uploaded = "the last one: %s" % e
    upload_errors = sum(1 for l in kept if l.startswith("upload: ") and "+++Error" in l)
    report.check(stored["/cam/cam.jpg"] >= duration // 5 * 0.7 and upload_errors == 0
                 and uploaded.endswith("decodes"), "upload",
                 "%d snapshots stored on the FTP server (one due every 5 s), %d failed; %s"
                 % (stored["/cam/cam.jpg"], upload_errors, uploaded))

    # IP-Refresh: every minute the router page names another address, so every check is a pass
    # that uploads the filled template, mails the change, rewrites the local copy and restarts
    # the web server.
    try:
        with open(os.path.join(work, "echo.count")) as f:
            lookups = int(f.read())
    except (FileNotFoundError, ValueError):
        lookups = 0
    mails = [n for n in os.listdir(os.path.join(work, "mail")) if n.endswith(".json")]
    local, remote = (read_text(os.path.join(work, *p)) for p in (("www", "ip.html"), ("ftp", "ip.html")))
    # Server starts look the address up too, so the last lookup may have come after the last pass.
    page = r"<html><body>Address: 203\.0\.113\.\d+</body></html>\r\n"
    filled = local == remote and re.fullmatch(page, local)
    passes = stored["/ip.html"]
    report.check(passes >= max(1, duration // 60 - 1) and len(mails) == passes and filled
                 and restarts == passes, "refresh",
                 "%d lookups of the router page, %d templates uploaded, %d mails, %d restarts of the web "
                 "server; the local and remote copies %s"
                 % (lookups, passes, len(mails), restarts,
                    "name the same address" if filled else "are %r and %r" % (local, remote)))

    # The settings file: whole, with the keys it had after the first start.
    bad_start, before = ini_entries(os.path.join(work, "kestrelon.ini.start"))
    bad_end, now = ini_entries(os.path.join(work, "kestrelon.ini"))
    keys_before = collections.Counter((s, k) for s, k, _ in before)
    keys_now = collections.Counter((s, k) for s, k, _ in now)
    changed = sorted("[%s] %s" % (s, k) for (s, k, v) in set(now) - set(before)
                     if keys_before[(s, k)] == 1 and keys_now[(s, k)] == 1)
    report.check(not bad_start and not bad_end and keys_before == keys_now, "settings",
                 "%d keys at the start, %d at the end%s%s%s"
                 % (sum(keys_before.values()), sum(keys_now.values()),
                    "; malformed: %s" % (bad_start + bad_end) if bad_start or bad_end else "",
                    "; keys gone: %s, keys new: %s"
                    % (sorted(keys_before - keys_now), sorted(keys_now - keys_before))
                    if keys_before != keys_now else "; every line whole",
                    "; values changed: %s" % ", ".join(changed) if changed else ""))

    print("soak: %s" % ("every check passed" if not report.failed else "FAILED: " + ", ".join(report.failed)))
    raise SystemExit(1 if report.failed else 0)


def decode(data):
    """Raises ValueError unless the bytes are a whole JPEG picture."""
    try:
        picture = Image.open(io.BytesIO(data))
        picture.load()
    except Exception as e:  # whatever the decoder says is the finding
        raise ValueError(str(e))
    if picture.format != "JPEG":
        raise ValueError("a %s picture" % picture.format)


def read_text(path):
    try:
        with open(path, newline="") as f:
            return f.read()
    except OSError as e:
        return str(e)


def failures(notes):
    return "; first failures: %s" % " | ".join(notes["failures"][:3]) if notes.get("failures") else ""


if __name__ == "__main__":
    main()
