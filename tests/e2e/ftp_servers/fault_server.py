#!/usr/bin/python3
"""An FTP server with chosen faults, for the FTP session tests under Wine.

Serves ROOT read-only on ADDRESS (--port, or a free one; the first line printed is
"listening PORT"). Files are served whole unless their name says otherwise:
  short-*  half of the file is sent, then the data ends as if complete
  drop-*   half of the file is sent, then the data connection is dropped
  stall-*  64 KiB are sent, then nothing for --stall seconds, then the rest
Sizes (SIZE, LIST) are always the true ones; --plain serves every file whole. Logins: the user and password given,
anything else is refused. Each connection is served by its own thread, so a stall
holds up only its own transfer.
"""
import argparse
import sys
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

STALL_AFTER = 65536


class ShapedFile:
    """Wraps a served file and shapes the bytes it gives to the data connection."""

    def __init__(self, real, kind, stall_seconds):
        self._real = real
        self._kind = kind
        self._stall = stall_seconds
        self._sent = 0
        real.seek(0, 2)
        self._size = real.tell()
        real.seek(0)
        self.name = real.name

    @property
    def closed(self):
        return self._real.closed

    def close(self):
        self._real.close()

    def seek(self, *args):
        return self._real.seek(*args)

    def read(self, count):
        limit = self._size
        if self._kind in ("short", "drop"):
            limit = self._size // 2
        if self._sent >= limit:
            if self._kind == "drop":
                raise OSError("connection dropped on purpose")
            return b""
        if self._kind == "stall" and self._sent >= STALL_AFTER and self._stall > 0:
            time.sleep(self._stall)
            self._stall = 0
        if self._kind == "stall" and self._sent < STALL_AFTER:
            count = min(count, STALL_AFTER - self._sent)
        data = self._real.read(min(count, limit - self._sent))
        self._sent += len(data)
        return data


def make_fs(stall_seconds):
    class ShapingFS(AbstractedFS):
        def open(self, filename, mode):
            real = super().open(filename, mode)
            base = filename.replace("\\", "/").rsplit("/", 1)[-1]
            kind = base.split("-", 1)[0] if "-" in base else ""
            if kind in ("short", "drop", "stall"):
                return ShapedFile(real, kind, stall_seconds)
            return real

    return ShapingFS


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="kvo")
    parser.add_argument("--password", default="kvo")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--stall", type=float, default=31.0)
    parser.add_argument("--plain", action="store_true", help="serve every file whole")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elr")
    handler = type("FaultHandler", (FTPHandler,), {})
    handler.authorizer = authorizer
    if not args.plain:
        handler.abstracted_fs = make_fs(args.stall)
    handler.use_sendfile = False  # the shaping wrapper must see every byte
    handler.banner = "fault server"
    handler.auth_failed_timeout = 0.1  # a refused login answers at once
    server = ThreadedFTPServer((args.address, args.port), handler)
    print("listening %d" % server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    sys.exit(main())
