"""SMTP server for the tests: aiosmtpd on 127.0.0.1 and a free port.

Usage: smtp_server.py FOLDER [--user U --password P [--auth-optional]] [--reject TEXT]

Prints the bound port on its own line once it listens. Each accepted message becomes one file
FOLDER/NNNNNN.json (written under a temporary name and renamed, so a reader never sees half a
file) with the envelope, the raw data in base64, and the message as Python's e-mail parser reads
it: the header values decoded (RFC 2047 included) and the body after its transfer decoding.
The server ends on SIGTERM or when its standard input closes, so it never outlives its test.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import logging
import os
import sys
import threading
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class Saver:
    def __init__(self, folder, reject):
        self.folder = folder
        self.reject = reject
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.reject and self.reject in address:
            return "550 5.1.1 <%s>: recipient rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content
        record = {
            "from": envelope.mail_from,
            "rcpts": envelope.rcpt_tos,
            "auth": getattr(session, "kestrelon_auth", None),
            "data": base64.b64encode(data).decode("ascii"),
        }
        try:
            parsed = email.message_from_bytes(data, policy=email.policy.default)
            record["headers"] = [[name, str(value)] for name, value in parsed.items()]
            record["body"] = base64.b64encode(parsed.get_payload(decode=True) or b"").decode("ascii")
        except Exception as e:  # a message the parser cannot read is still recorded
            record["parse_error"] = repr(e)
        self.count += 1
        name = "%06d.json" % self.count
        temporary = os.path.join(self.folder, "." + name + ".tmp")
        with open(temporary, "w") as f:
            json.dump(record, f)
        os.replace(temporary, os.path.join(self.folder, name))
        return "250 OK"


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        ok = (
            isinstance(auth_data, LoginPassword)
            and auth_data.login == user.encode()
            and auth_data.password == password.encode()
        )
        if ok:
            session.kestrelon_auth = {"mechanism": mechanism, "user": user}
        # handled=False: aiosmtpd itself answers a refusal with 535.
        return AuthResult(success=ok, handled=False)

    return authenticate


async def serve(args):
    loop = asyncio.get_running_loop()
    handler = Saver(args.folder, args.reject)
    options = {"hostname": "kestrelon-test", "loop": loop}
    if args.user is not None:
        options.update(
            authenticator=make_authenticator(args.user, args.password or ""),
            auth_require_tls=False,
            auth_required=not args.auth_optional,
        )
    server = await loop.create_server(lambda: SMTP(handler, **options), host="127.0.0.1", port=0)
    print(server.sockets[0].getsockname()[1], flush=True)

    stop = asyncio.Event()

    def watch_stdin():
        sys.stdin.buffer.read()  # returns when the test process closes its end or dies
        loop.call_soon_threadsafe(stop.set)

    threading.Thread(target=watch_stdin, daemon=True).start()
    await stop.wait()
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--auth-optional", action="store_true")
    parser.add_argument("--reject")
    args = parser.parse_args()
    # AUTH without TLS is what the tests want; aiosmtpd warns about it.
    warnings.simplefilter("ignore")
    logging.getLogger("mail.log").setLevel(logging.ERROR)
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
