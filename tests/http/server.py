#!/usr/bin/env python3
"""Local HTTP test server: one process per host, serving a root folder on 127.0.0.1.

Faults are switched on per request by a path prefix, /_/SWITCHES/rest-of-path, or for the
whole server by --rule GLOB:SWITCHES (GLOB matched against the request path). SWITCHES is a
comma-separated list of:
  status=CODE      answer with this status and a small HTML page (with its Content-Length)
  no-length        no Content-Length header; the connection closes after the body
  bad-length[=T]   Content-Length: T (default "abc"); the connection closes after the body
  cut=N            announce the whole length, send N bytes of the body, then close
  cut-once=N       as cut=N for the first request of the path only; later ones are whole
  no-range         answer "Range" requests with the whole file (200), as servers may
  drop             close the connection without answering, as a host that is down
  trickle=N        send the body N bytes at a time ...
  interval=MS      ... with this pause between pieces (default 50)
  big=SIZE         a generated body of SIZE bytes instead of a file (byte i is i % 251)
  agent            the body is the request's User-Agent
  redirect-host=H  answer 302 with the same path on host H (same port), e.g. "localhost"
  hang=MS          send nothing (not even the headers) for MS milliseconds, then answer
  stall=N          after N bytes of the body, send nothing more (the connection stays open)
Rules may also come from --rule-file, read again on every request (one GLOB:SWITCHES per
line), so a test can change a running server's behaviour. --tls CERT KEY serves https.
A file is served with an ETag and a Last-Modified; "Range: bytes=N-" gets its rest (206 with
Content-Range) unless an If-Range names another version.
Standard library only. Every request is logged as one line "GET PATH AGENT STATUS" to --log
(with " from N" for a 206),
and a body the client stops reading early as "CLOSED PATH SENT-BYTES"; the start of a hang or
a stall as "HANG PATH at UNIX-SECONDS" or "STALL PATH at UNIX-SECONDS", and a client that
closes during one as "CLOSED PATH SENT-BYTES at UNIX-SECONDS".
"""
import argparse
import fnmatch
import http.server
import os
import select
import signal
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

PATTERN_PERIOD = 251
# A whole number of periods, so consecutive blocks continue the pattern.
PATTERN_BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 261))


def parse_rule(text):
    glob, _, switches = text.rpartition(":")
    return glob, parse_switches(switches)


def parse_switches(text):
    switches = {}
    for item in filter(None, text.split(",")):
        name, _, value = item.partition("=")
        switches[name] = value
    return switches


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TavrinTestServer/1"

    def log_message(self, format, *args):
        pass

    def log_line(self, line):
        if self.server.log_path:
            with self.server.log_lock, open(self.server.log_path, "a", encoding="utf-8") as log:
                log.write(line + "\n")

    def log_request_line(self, path, status):
        self.log_line(f"{self.command} {path} {self.headers.get('User-Agent', '-')} {status}")

    def client_closed(self, wait):
        """Waits up to wait seconds; true when the client has closed the connection."""
        try:
            sock = self.connection
            readable, _, _ = select.select([sock], [], [], wait)
            if not readable:
                return False
            # A TLS socket cannot peek; the client sends nothing more on it but its close.
            tls = isinstance(sock, ssl.SSLSocket)
            return (sock.recv(1) if tls else sock.recv(1, socket.MSG_PEEK)) == b""
        except (OSError, ssl.SSLError):
            return True

    def wait_for_close(self, what, path, sent, seconds):
        """Sends nothing for up to seconds, logged as WHAT PATH at T; true (and logged) when the
        client closed meanwhile."""
        self.log_line(f"{what} {path} at {time.time():.3f}")
        deadline = time.time() + seconds
        while time.time() < deadline:
            if self.client_closed(min(0.05, max(0.0, deadline - time.time()))):
                self.log_line(f"CLOSED {path} {sent} at {time.time():.3f}")
                self.close_connection = True
                return True
        return False

    def rules(self):
        rules = list(self.server.rules)
        try:
            with open(self.server.rule_file, encoding="utf-8") as f:
                rules += [parse_rule(line) for line in f.read().splitlines() if line.strip()]
        except (TypeError, OSError):
            pass
        return rules

    def do_HEAD(self):
        self.respond(send_body=False)

    def do_GET(self):
        self.respond(send_body=True)

    def respond(self, send_body):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        switches = {}
        for glob, rule in self.rules():
            if fnmatch.fnmatchcase(path, glob):
                switches.update(rule)
        if path.startswith("/_/"):
            prefix, _, rest = path[3:].partition("/")
            switches.update(parse_switches(prefix))
            path = "/" + rest
        if "hang" in switches and self.wait_for_close("HANG", path, 0, int(switches["hang"]) / 1000):
            return
        if "drop" in switches:
            self.log_line(f"DROP {path}")
            self.close_connection = True
            return

        if "status" in switches:
            status = int(switches["status"])
            page = f"<html><body>{status} for {path}</body></html>\n".encode()
            return self.send_body(path, status, page, switches, send_body)
        if "redirect-host" in switches:
            self.send_response(302)
            port = self.server.server_address[1]
            self.send_header("Location", f"http://{switches['redirect-host']}:{port}{path}")
            self.send_header("Content-Length", "0")
            self.end_headers()
            self.log_request_line(path, 302)
            return
        if "agent" in switches:
            body = self.headers.get("User-Agent", "").encode("latin-1", "replace")
            return self.send_body(path, 200, body, switches, send_body)
        if "big" in switches:
            return self.send_stream(path, int(switches["big"]), None, switches, send_body)

        local = os.path.realpath(os.path.join(self.server.root, path.lstrip("/")))
        if not local.startswith(self.server.root + os.sep) or not os.path.isfile(local):
            page = f"<html><body>404 for {path}</body></html>\n".encode()
            return self.send_body(path, 404, page, {}, send_body)
        with open(local, "rb") as f:
            size = os.path.getsize(local)
            stat = os.stat(local)
            version = {"ETag": f'"{size:x}-{stat.st_mtime_ns:x}"',
                       "Last-Modified": self.date_time_string(int(stat.st_mtime))}
            start = self.range_start(size, version, switches)
            if start:
                f.seek(start)
            self.send_stream(path, size - start, f, switches, send_body,
                             206 if start else 200, version, (start, size))

    def range_start(self, size, version, switches):
        """Where the body starts: N for "Range: bytes=N-" of this version, 0 otherwise."""
        asked = self.headers.get("Range", "")
        if "no-range" in switches or not asked.startswith("bytes=") or not asked.endswith("-"):
            return 0
        if_range = self.headers.get("If-Range")
        if if_range and if_range not in version.values():
            return 0
        try:
            start = int(asked[6:-1])
        except ValueError:
            return 0
        return start if 0 < start < size else 0

    def send_body(self, path, status, body, switches, send_body):
        self.send_stream(path, len(body), body, switches, send_body, status)

    def send_stream(self, path, size, source, switches, send_body, status=200, version=None,
                    span=None):
        """source: bytes, an open file, or None for the generated pattern; span: (start, whole)
        of a 206."""
        self.log_request_line(path, f"{status} from {span[0]}" if status == 206 else status)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        for name, value in (version or {}).items():
            self.send_header(name, value)
        if status == 206:
            self.send_header("Content-Range", f"bytes {span[0]}-{span[1] - 1}/{span[1]}")
        closing = False
        if "no-length" in switches:
            closing = True
        elif "bad-length" in switches:
            self.send_header("Content-Length", switches["bad-length"] or "abc")
            closing = True
        else:
            self.send_header("Content-Length", str(size))
        if "cut-once" in switches:
            with self.server.log_lock:
                if path not in self.server.cut_once:
                    self.server.cut_once.add(path)
                    switches = dict(switches, cut=switches["cut-once"])
        if "cut" in switches:
            size = min(size, int(switches["cut"]))
            closing = True
        if closing:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if not send_body:
            return
        stalled = "stall" in switches and int(switches["stall"]) < size
        if stalled:
            size = int(switches["stall"])
        piece = int(switches.get("trickle", 0)) or 65536
        pause = int(switches.get("interval", 50)) / 1000.0 if "trickle" in switches else 0
        sent = 0
        try:
            while sent < size:
                n = min(piece, size - sent)
                if source is None:
                    start = sent % len(PATTERN_BLOCK)
                    chunk = (PATTERN_BLOCK[start:] + PATTERN_BLOCK)[:n]
                elif isinstance(source, bytes):
                    chunk = source[sent:sent + n]
                else:
                    chunk = source.read(n)
                    if not chunk:
                        break
                self.wfile.write(chunk)
                sent += len(chunk)
                if pause and sent < size:
                    self.wfile.flush()
                    if self.client_closed(pause):
                        self.log_line(f"CLOSED {path} {sent}")
                        self.close_connection = True
                        return
            self.wfile.flush()
            if stalled and self.wait_for_close("STALL", path, sent, 600):
                return
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
            self.log_line(f"CLOSED {path} {sent}")
            self.close_connection = True


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, required=True, help="0 picks a free port")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--pid-file")
    parser.add_argument("--port-file", help="written once the server listens")
    parser.add_argument("--log")
    parser.add_argument("--rule", action="append", default=[], metavar="GLOB:SWITCHES")
    parser.add_argument("--rule-file")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    args = parser.parse_args()

    server = Server((args.bind, args.port), Handler)
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*args.tls)
        server.socket = context.wrap_socket(server.socket, server_side=True)
    server.root = os.path.realpath(args.root)
    server.log_path = args.log
    server.log_lock = threading.Lock()
    server.rules = [parse_rule(rule) for rule in args.rule]
    server.rule_file = args.rule_file
    server.cut_once = set()

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write(f"{os.getpid()}\n")
    if args.port_file:
        tmp = args.port_file + ".tmp"
        with open(tmp, "w") as f:
            f.write(f"{server.server_address[1]}\n")
        os.replace(tmp, args.port_file)
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
