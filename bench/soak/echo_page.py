#!/usr/bin/python3
"""A router's status page on 127.0.0.1 for the soak's address lookup: every request gets a page
that states another public address (203.0.113.1, .2, ... : documentation addresses, only ever
text), so that every lookup finds a change and a refresh pass follows.

Usage: echo_page.py COUNTFILE

Prints the bound port on its own line once it listens, and writes after every request the number
of requests so far to COUNTFILE. Ends when its standard input closes.
"""
import http.server
import os
import sys
import threading


class Page(http.server.BaseHTTPRequestHandler):
    requests = 0
    lock = threading.Lock()

    def do_GET(self):
        with Page.lock:
            Page.requests += 1
            number = Page.requests
            with open(sys.argv[1] + ".tmp", "w") as f:
                f.write("%d\n" % number)
            os.replace(sys.argv[1] + ".tmp", sys.argv[1])
        body = ("<html><body><b>IP Address</b>: 203.0.113.%d<br>Status: up</body></html>"
                % (1 + (number - 1) % 254)).encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()  # the soak has ended


if __name__ == "__main__":
    main()
