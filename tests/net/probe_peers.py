#!/usr/bin/python3
"""Probe responders for the Windows unit tests under Wine, run on the Linux side.

Wine cannot bind a UDP socket to one loopback address other than 127.0.0.1 (answers leave
from 127.0.0.1), so tests running under Wine ask this server for their responders. It
listens for commands on 127.0.0.1 (the port is printed on the first line of stdout):
  open ADDR DELAY_MS REPLY_SIZE REPLY_FROM  -> "ok ID" or "fail": answer on ADDR:10874
  count ID                                  -> the number of answers so far
  close ID                                  -> "ok"
REPLY_FROM 0.0.0.0 answers from ADDR itself, another address from a socket bound there.
Runs until killed.
"""
import socket
import sys
import threading
import time

PROBE_PORT = 10874
peers = {}
lock = threading.Lock()


class Peer:
    def __init__(self, addr, delay_ms, size, reply_from):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind((addr, PROBE_PORT))
        self.out = self.sock
        if reply_from != "0.0.0.0":
            self.out = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            self.out.bind((reply_from, 0))
        self.delay = delay_ms / 1000.0
        self.size = size
        self.count = 0
        self.stop = False
        self.sock.settimeout(0.05)
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while not self.stop:
            try:
                data, sender = self.sock.recvfrom(2048)
            except socket.timeout:
                continue
            except OSError:
                return
            if self.delay:
                time.sleep(self.delay)
            self.out.sendto((data + b"\0" * self.size)[: self.size], sender)
            self.count += 1

    def close(self):
        self.stop = True
        self.thread.join()
        self.sock.close()
        if self.out is not self.sock:
            self.out.close()


def handle(words):
    if words[0] == "open" and len(words) == 5:
        try:
            peer = Peer(words[1], int(words[2]), int(words[3]), words[4])
        except OSError:
            return "fail"
        with lock:
            peer_id = len(peers) + 1
            peers[peer_id] = peer
        return "ok %d" % peer_id
    if words[0] in ("count", "close") and len(words) == 2:
        with lock:
            peer = peers.get(int(words[1]))
        if peer is None:
            return "fail"
        if words[0] == "count":
            return str(peer.count)
        peer.close()
        return "ok"
    return "fail"


def main():
    control = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    control.bind(("127.0.0.1", 0))
    print(control.getsockname()[1], flush=True)
    while True:
        data, sender = control.recvfrom(512)
        try:
            answer = handle(data.decode("ascii").split())
        except (ValueError, IndexError, UnicodeDecodeError):
            answer = "fail"
        control.sendto(answer.encode("ascii"), sender)


if __name__ == "__main__":
    sys.exit(main())
