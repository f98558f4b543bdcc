#!/usr/bin/python3
"""A scripted HTTP server on loopback for the HTTP session's tests.

Prints the port it listens on, then serves until it is ended (SIGTERM). Every path names what the
answer holds; the body of a file is the pattern of its size (byte i is (i * 7 + 3) % 251):

  /good/N            N bytes, Range honoured (206), Content-Length given
  /no-range/N        N bytes, Range ignored (200 with the whole file)
  /chunked/N         N bytes without a Content-Length (chunked)
  /status/CODE       that status, with a short body
  /redirect/same/P   302 to /P on this host and port
  /redirect/http-other/P   302 to /P on http://localhost (another host name, plain http)
  /redirect/ftp/P    302 to ftp://127.0.0.1/P
  /redirect/loop     302 to itself
  /short/N           Content-Length N, half the bytes, then the connection closes
  /long/N            Content-Length N, then 2*N bytes
  /endless           200 without a length, bytes until the client leaves
  /drip/N            Content-Length N, one byte every 200 ms
  /hang/N            Content-Length N, the headers, then nothing
  /silent/N          reads the request and never answers
  /trickle/N         Content-Length N, 1 KiB every 100 ms (brisk enough for the watchdog, far
                     too slow to finish a large file)
  /part-elsewhere/N  N bytes; a Range is answered 206 with the whole file (bytes 0-)
  /part-unplaced/N   N bytes; a Range is answered 206 with the rest and no Content-Range
  /redirect-endless-body/P   302 to /P, then a body without end
  /redirect-endless-headers  302, then headers without end
  /relative/P        302 to the relative address /P
  /metered/N         N bytes sent from a small send buffer, each piece's time logged
  /sent              the lines "MS BYTES" of the pieces /metered sent so far (MS from the first)
  /requests          the lines "PATH RANGE" of every request so far (RANGE "-" when none)
  /reset             forgets the requests and the pieces sent so far (a server shared by one
                     test after another)
"""
import http.server
import socket
import socketserver
import threading
import time

PATTERN_MUL = 7
PATTERN_ADD = 3
PATTERN_MOD = 251
DRIP_DELAY_S = 0.2
TRICKLE_PIECE = 1024
TRICKLE_DELAY_S = 0.1
STREAM_CHUNK = 65536
# /metered: what leaves the server is what the client's buffers take in, not what the
# server's own buffer holds ahead of the line.
METERED_SEND_BUFFER = 16384
METERED_PIECE = 16384

requests_seen = []
requests_lock = threading.Lock()
sent_pieces = []  # (monotonic seconds, bytes) of every piece /metered sent
PATTERN_CYCLE = bytes((i * PATTERN_MUL + PATTERN_ADD) % PATTERN_MOD for i in range(PATTERN_MOD))


def pattern(start, end):
    if end <= start:
        return b""
    at = start % PATTERN_MOD
    repeats = (at + end - start) // PATTERN_MOD + 1
    return (PATTERN_CYCLE * repeats)[at:at + end - start]


def range_start(header):
    if not header or not header.startswith("bytes=") or not header.endswith("-"):
        return None
    try:
        return int(header[len("bytes="):-1])
    except ValueError:
        return None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, status, body, extra=()):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def serve_file(self, size, honour_range):
        start = range_start(self.headers.get("Range"))
        if honour_range and start is not None:
            if start >= size:
                self.send_body(416, b"", [("Content-Range", "bytes */%d" % size)])
                return
            self.send_body(206, pattern(start, size),
                           [("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size))])
            return
        self.send_body(200, pattern(0, size))

    def send_endless(self):
        block = pattern(0, STREAM_CHUNK)
        try:
            while True:
                self.wfile.write(block)
        except OSError:
            pass
        self.close_connection = True

    def send_metered(self, size):
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, METERED_SEND_BUFFER)
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.flush()
        body = pattern(0, size)
        try:
            for at in range(0, size, METERED_PIECE):
                piece = body[at:at + METERED_PIECE]
                self.connection.sendall(piece)
                with requests_lock:
                    sent_pieces.append((time.monotonic(), len(piece)))
        except OSError:
            self.close_connection = True

    def redirect(self, location):
        self.send_body(302, b"moved", [("Location", location)])

    def do_GET(self):
        with requests_lock:
            requests_seen.append("%s %s" % (self.path, self.headers.get("Range") or "-"))
        parts = self.path.strip("/").split("/")
        kind = parts[0]
        arg = parts[1] if len(parts) > 1 else ""
        port = self.server.server_address[1]
        if kind == "requests":
            with requests_lock:
                text = "".join(line + "\n" for line in requests_seen)
            self.send_body(200, text.encode())
        elif kind == "reset":
            with requests_lock:
                requests_seen.clear()
                sent_pieces.clear()
            self.send_body(200, b"ok")
        elif kind == "part-elsewhere":
            size = int(arg)
            if range_start(self.headers.get("Range")) is None:
                self.serve_file(size, False)
            else:
                self.send_body(206, pattern(0, size), [("Content-Range", "bytes 0-%d/%d" % (size - 1, size))])
        elif kind == "part-unplaced":
            size = int(arg)
            start = range_start(self.headers.get("Range"))
            if start is None:
                self.serve_file(size, False)
            else:
                self.send_body(206, pattern(start, size))
        elif kind == "redirect-endless-body":
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.1:%d/%s" % (port, "/".join(parts[1:])))
            self.send_header("Connection", "close")
            self.end_headers()
            self.send_endless()
        elif kind == "redirect-endless-headers":
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.1:%d/good/1000" % port)
            try:
                while True:
                    self.wfile.write(b"X-Filler: " + b"f" * 1000 + b"\r\n")
            except OSError:
                pass
            self.close_connection = True
        elif kind == "relative":
            self.redirect("/" + "/".join(parts[1:]))
        elif kind == "metered":
            self.send_metered(int(arg))
        elif kind == "sent":
            with requests_lock:
                first = sent_pieces[0][0] if sent_pieces else 0
                text = "".join("%d %d\n" % (round((at - first) * 1000), n) for at, n in sent_pieces)
            self.send_body(200, text.encode())
        elif kind == "good":
            self.serve_file(int(arg), True)
        elif kind == "no-range":
            self.serve_file(int(arg), False)
        elif kind == "chunked":
            body = pattern(0, int(arg))
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            for at in range(0, len(body), STREAM_CHUNK):
                piece = body[at:at + STREAM_CHUNK]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
            self.wfile.write(b"0\r\n\r\n")
        elif kind == "status":
            self.send_body(int(arg), b"status body")
        elif kind == "redirect":
            rest = "/".join(parts[2:])
            if arg == "same":
                self.redirect("http://127.0.0.1:%d/%s" % (port, rest))
            elif arg == "http-other":
                self.redirect("http://localhost:%d/%s" % (port, rest))
            elif arg == "ftp":
                self.redirect("ftp://127.0.0.1/%s" % rest)
            else:
                self.redirect(self.path)
        elif kind == "short":
            size = int(arg)
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(pattern(0, size // 2))
            self.close_connection = True
        elif kind == "long":
            size = int(arg)
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            self.wfile.write(pattern(0, 2 * size))
            self.close_connection = True
        elif kind == "endless":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.send_endless()
        elif kind == "drip":
            size = int(arg)
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            try:
                for i in range(size):
                    self.wfile.write(pattern(i, i + 1))
                    self.wfile.flush()
                    time.sleep(DRIP_DELAY_S)
            except OSError:
                pass
            self.close_connection = True
        elif kind == "hang":
            self.send_response(200)
            self.send_header("Content-Length", arg)
            self.end_headers()
            self.wfile.flush()
            try:
                while not self.rfile.read(1) == b"":
                    pass
            except OSError:
                pass
            self.close_connection = True
        elif kind == "silent":
            try:
                while not self.rfile.read(1) == b"":
                    pass
            except OSError:
                pass
            self.close_connection = True
        elif kind == "trickle":
            size = int(arg)
            self.send_response(200)
            self.send_header("Content-Length", str(size))
            self.end_headers()
            try:
                for at in range(0, size, TRICKLE_PIECE):
                    self.wfile.write(pattern(at, min(size, at + TRICKLE_PIECE)))
                    self.wfile.flush()
                    time.sleep(TRICKLE_DELAY_S)
            except OSError:
                pass
            self.close_connection = True
        else:
            self.send_body(404, b"no such path")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
