#!/usr/bin/python3
"""An FTP server for the resume tests under Wine: counts what it sends, drops a line on cue.

Serves ROOT read-only to anonymous logins on ADDRESS (--port, or a free one; the first line
printed is "listening PORT"). Every byte of a file that the data connection hands to the
network is counted per file in --count (a JSON object, rewritten as bytes go out). Options:
  --drop-after N    the first transfer that reaches N bytes of a file (counted from the
                    file's start) ends there with a dropped data connection
  --drop-name S     only files whose path holds S are dropped (default: every file)
  --down-after-drop after the drop every command is answered 421 and its connection closed
                    (the line stays down until the server is stopped)
  --no-rest         REST is refused (502), as by a server that cannot resume
  --rest-from-zero  REST is answered 350 but the data starts at byte 0 all the same
  --rate B          each transfer sends at most B bytes per second (0: no limit)
"""
import argparse
import json
import os
import socket
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import ThreadedFTPServer

CHUNK = 65536
SEND_BUFFER = 32768


class Tally:
    """Bytes sent per file, written to a JSON file so the test can read it at any time."""

    def __init__(self, path):
        self._path = path
        self._lock = threading.Lock()
        self._sent = {}
        self.dropped = set()
        self.down = False

    def add(self, name, count):
        with self._lock:
            self._sent[name] = self._sent.get(name, 0) + count
            temp = self._path + ".tmp"
            with open(temp, "w") as out:
                json.dump(self._sent, out)
            os.replace(temp, self._path)


def make_fs(args, tally):
    class CountedFile:
        def __init__(self, real, name):
            self._real = real
            self._name = name
            self._pos = 0
            self.name = real.name
            self.counted_name = name

        @property
        def closed(self):
            return self._real.closed

        def close(self):
            self._real.close()

        def seek(self, offset, whence=0):
            if args.rest_from_zero:
                return 0
            self._pos = self._real.seek(offset, whence)
            return self._pos

        def read(self, count):
            count = min(count, CHUNK)
            drops = args.drop_after > 0 and args.drop_name in self._name and self._name not in tally.dropped
            if drops:
                if self._pos >= args.drop_after:
                    tally.dropped.add(self._name)
                    if args.down_after_drop:
                        tally.down = True
                    raise OSError("line dropped on purpose")
                count = min(count, args.drop_after - self._pos)
            data = self._real.read(count)
            if args.rate > 0 and data:
                time.sleep(len(data) / args.rate)
            self._pos += len(data)
            return data

    class CountingFS(AbstractedFS):
        def open(self, filename, mode):
            real = super().open(filename, mode)
            return CountedFile(real, self.fs2ftp(filename))

    return CountingFS


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--count", required=True)
    parser.add_argument("--drop-after", type=int, default=0)
    parser.add_argument("--drop-name", default="")
    parser.add_argument("--down-after-drop", action="store_true")
    parser.add_argument("--no-rest", action="store_true")
    parser.add_argument("--rest-from-zero", action="store_true")
    parser.add_argument("--rate", type=float, default=0)
    args = parser.parse_args()

    tally = Tally(args.count)
    tally.add("", 0)
    authorizer = DummyAuthorizer()
    authorizer.add_anonymous(args.root, perm="elr")
    members = {"authorizer": authorizer, "use_sendfile": False, "banner": "resume test server"}
    if args.no_rest:
        members["ftp_REST"] = lambda self, line: self.respond("502 REST not implemented.")

    def pre_process_command(self, line, cmd, arg):
        if tally.down:
            self.respond("421 Service not available, closing control connection.")
            self.close_when_done()
            return
        FTPHandler.pre_process_command(self, line, cmd, arg)

    members["pre_process_command"] = pre_process_command

    class CountingDTP(DTPHandler):
        def __init__(self, sock, cmd_channel):
            # A small send buffer keeps what is counted as sent close to what has arrived.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, SEND_BUFFER)
            DTPHandler.__init__(self, sock, cmd_channel)

        def send(self, data):
            sent = DTPHandler.send(self, data)
            if sent and self.file_obj is not None:
                tally.add(getattr(self.file_obj, "counted_name", ""), sent)
            return sent

    members["dtp_handler"] = CountingDTP
    handler = type("ResumeHandler", (FTPHandler,), members)
    handler.abstracted_fs = make_fs(args, tally)
    handler.passive_ports = None
    server = ThreadedFTPServer((args.address, args.port), handler)
    print("listening %d" % server.address[1], flush=True)
    try:
        server.serve_forever(handle_exit=True)
    finally:
        server.close_all()


if __name__ == "__main__":
    sys.exit(main())
