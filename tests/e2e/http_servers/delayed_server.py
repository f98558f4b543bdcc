#!/usr/bin/python3
"""A web server for benchmarks: serves a folder over HTTP/1.1 (connections kept open) and
answers every request only after a fixed delay, as a distant server would. Prints its port.

Usage: delayed_server.py ROOT DELAY_MS
"""
import functools
import http.server
import sys
import time


class DelayedHandler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out at once: Nagle against the reader's delayed ACK would add
    # 40 ms to every answer.
    disable_nagle_algorithm = True
    delay = 0.0

    def do_GET(self):
        time.sleep(self.delay)
        super().do_GET()

    def log_message(self, *args):
        pass


def main():
    root, delay_ms = sys.argv[1], int(sys.argv[2])
    DelayedHandler.delay = delay_ms / 1000.0
    handler = functools.partial(DelayedHandler, directory=root)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
