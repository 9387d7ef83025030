"""FTP server for the tests: pyftpdlib on 127.0.0.1 and a free port.

Usage: ftp_server.py ROOT EVENTS --user U --password P

Serves the folder ROOT to the one user U with full rights. Prints the bound port on its own line
once it listens. Appends what happens to the file EVENTS, one line each, flushed at once:
"connect", "login U", "refused U", "cwd PATH", "stor PATH TYPE" (TYPE "a" or "i", once the file
is complete), "stalled PATH" (a STOR that is made to stall, see below), "quit", "disconnect".

Reads commands from its standard input, one a line, and answers each with "ok" on its standard
output once it is in force:
  refuse-logins N   refuse the next N logins (530)
  stall NAME        a STOR of a file named NAME takes its data connection and then reads nothing,
                    so that the transfer never ends
  stall-off         no more stalls
The server ends when its standard input closes, so it never outlives its test.
"""

import argparse
import logging
import os
import sys
import threading

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


class Control:
    refuse_logins = 0
    stall_name = None
    events = None

    @classmethod
    def event(cls, text):
        cls.events.write(text + "\n")
        cls.events.flush()


class Authorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        if Control.refuse_logins > 0:
            Control.refuse_logins -= 1
            raise AuthenticationFailed("Login refused.")
        DummyAuthorizer.validate_authentication(self, username, password, handler)


class StallingDTPHandler(DTPHandler):
    def handle_read(self):
        if getattr(self.cmd_channel, "stall_transfer", False):
            # Off the loop for good: the data stays unread and the transfer never completes.
            self.del_channel()
            return
        DTPHandler.handle_read(self)

    handle_read_event = handle_read  # the loop calls this name


class Handler(FTPHandler):
    dtp_handler = StallingDTPHandler
    auth_failed_timeout = 0  # answer a refused login at once

    def _on_dtp_connection(self):
        # pyftpdlib keeps the active-mode connector after it has handed its socket to the data
        # channel, and closes it again at the session's next PORT or EPRT and at its end. By then
        # the descriptor number may belong to another session's connection being made, and the
        # close takes that one off the loop: its "200" never comes and its client times out.
        # Once the data connection stands there is nothing left to connect.
        self._dtp_connector = None
        FTPHandler._on_dtp_connection(self)

    def on_connect(self):
        Control.event("connect")

    def on_disconnect(self):
        Control.event("disconnect")

    def on_login(self, username):
        Control.event("login " + username)

    def on_login_failed(self, username, password):
        Control.event("refused " + username)

    def on_file_received(self, file):
        Control.event("stor " + self.fs.fs2ftp(file) + " " + self._current_type)

    def ftp_CWD(self, path):
        result = FTPHandler.ftp_CWD(self, path)
        if result is not None:
            Control.event("cwd " + self.fs.cwd)
        return result

    def ftp_STOR(self, file, mode="w"):
        self.stall_transfer = Control.stall_name == os.path.basename(file)
        if self.stall_transfer:
            Control.event("stalled " + self.fs.fs2ftp(file))
        return FTPHandler.ftp_STOR(self, file, mode)

    def ftp_QUIT(self, line):
        Control.event("quit")
        return FTPHandler.ftp_QUIT(self, line)


def read_commands():
    for line in sys.stdin:
        words = line.split()
        if words[:1] == ["refuse-logins"]:
            Control.refuse_logins = int(words[1])
        elif words[:1] == ["stall"]:
            Control.stall_name = words[1]
        elif words[:1] == ["stall-off"]:
            Control.stall_name = None
        print("ok", flush=True)
    os._exit(0)  # the test has gone


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("events")
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    args = parser.parse_args()
    logging.basicConfig(level=logging.ERROR)
    Control.events = open(args.events, "a")
    authorizer = Authorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.socket.getsockname()[1], flush=True)
    threading.Thread(target=read_commands, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
