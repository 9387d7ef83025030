#!/usr/bin/python3
"""Reads the headless program's standard error and keeps what a reader needs of it.

Usage: stderr_tally.py KEPT COUNTS

The Message log's request lines ("Command ...", "Serving file ...", "I/O Request ...") come by
the hundred a second under load: they are counted, not kept. Every other line goes to KEPT at
once (flushed, so the caller can wait for a line there), at most 2000 of each kind. At the end of
the input COUNTS gets a JSON object: lines per prefix, the request lines as a curve over time,
the longest line per prefix, and the lines the program said it dropped.
"""
import json
import re
import sys
import time

STAMPED = re.compile(r"^\d\d/\d\d/\d{4} \d\d:\d\d:\d\d   ")
REQUEST_LINE = ("Command ", "Serving file ", "I/O Request ")
DROPPED = re.compile(r"^(\d+) lines dropped$")
KEEP_PER_KIND = 2000


def main():
    kept_path, counts_path = sys.argv[1], sys.argv[2]
    start = time.monotonic()
    per_prefix = {}
    longest = {}
    kept_per_kind = {}
    request_lines = 0
    curve = []  # [seconds since start, request lines so far], every 5 s
    next_point = 0.0
    dropped = 0
    with open(kept_path, "w", encoding="utf-8", errors="replace") as kept:
        for raw in sys.stdin.buffer:
            line = raw.rstrip(b"\n").decode("utf-8", "replace")
            prefix = line.split(": ", 1)[0] + ":" if re.match(r"^[a-z]+: ", line) else "(none)"
            per_prefix[prefix] = per_prefix.get(prefix, 0) + 1
            longest[prefix] = max(longest.get(prefix, 0), len(raw) - 1)
            kind = prefix
            if prefix == "server:":
                message = STAMPED.sub("", line[len("server: "):], count=1)
                if message.startswith(REQUEST_LINE):
                    request_lines += 1
                    kind = None
                else:
                    kind = "server: " + message.split(" ", 1)[0]
            elif (m := DROPPED.match(line)) is not None:
                dropped += int(m.group(1))
            if kind is not None and kept_per_kind.get(kind, 0) < KEEP_PER_KIND:
                kept_per_kind[kind] = kept_per_kind.get(kind, 0) + 1
                kept.write(line + "\n")
                kept.flush()
            now = time.monotonic() - start
            if now >= next_point:
                curve.append([round(now, 1), request_lines])
                next_point = now + 5
    curve.append([round(time.monotonic() - start, 1), request_lines])
    with open(counts_path, "w") as f:
        json.dump(
            {
                "lines": per_prefix,
                "longest": longest,
                "request_lines": request_lines,
                "request_curve": curve,
                "dropped": dropped,
                "start_wall": time.time() - (time.monotonic() - start),
            },
            f,
        )


if __name__ == "__main__":
    main()
