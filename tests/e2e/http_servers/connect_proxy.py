#!/usr/bin/python3
"""A forward proxy for tests: tunnels CONNECT requests (what an https request through a proxy
sends) and writes each request line to a log. Prints its port.

Usage: connect_proxy.py LOG
"""
import select
import socket
import socketserver
import sys

BUFFER = 65536


class TunnelHandler(socketserver.StreamRequestHandler):
    log_path = ""

    def handle(self):
        line = self.rfile.readline(BUFFER).decode("latin-1").strip()
        while self.rfile.readline(BUFFER).strip():
            pass  # the rest of the request's header
        with open(self.log_path, "a") as log:
            log.write(line + "\n")
        parts = line.split()
        if len(parts) != 3 or parts[0] != "CONNECT":
            self.wfile.write(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            return
        host, _, port = parts[1].rpartition(":")
        try:
            upstream = socket.create_connection((host, int(port)))
        except OSError:
            self.wfile.write(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        self.wfile.write(b"HTTP/1.1 200 Connection established\r\n\r\n")
        self.wfile.flush()
        self.pump(self.connection, upstream)
        upstream.close()

    @staticmethod
    def pump(client, upstream):
        ends = [client, upstream]
        while True:
            ready, _, _ = select.select(ends, [], [])
            for end in ready:
                data = end.recv(BUFFER)
                if not data:
                    return
                (upstream if end is client else client).sendall(data)


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    TunnelHandler.log_path = sys.argv[1]
    server = Server(("127.0.0.1", 0), TunnelHandler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
