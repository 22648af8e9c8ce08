#!/usr/bin/env python3
"""A file server for the download tests that misbehaves on request.

It listens on 127.0.0.1 on three ports: one plain, one TLS, and one that speaks
whichever the client opens with; each --bad-tls NAME=CERT,KEY[,old] adds a TLS port
that the clients must refuse: its certificate, or with "old" its protocol (TLS 1.0
and 1.1 only). HEAD and ranged GET are served from --root.
The URL path chooses the behaviour, so clients need nothing special:

    /<directive>/<directive>/.../<file name>

Directives (each one path segment):
    ignore-range     GET answers 200 with the whole file
    fail=N           the first N GETs of this path answer 503
    get-status=CODE  GETs answer CODE with a small HTML page
    status=CODE      HEAD and GET answer CODE with a small HTML page
    drop=BYTES       GET sends its headers and BYTES of the body, then closes
    stall=BYTES      GET sends its headers and BYTES of the body, then nothing more
                     for a minute, keeping the connection open
    silent           GET is read but never answered; the connection stays open for
                     a minute
    silent-head      the same for HEAD
    short=BYTES      GET's body (and Content-Length) is BYTES shorter
    long=BYTES       GET's body (and Content-Length) carries BYTES more
    times=N          ignore-range, get-status, drop, stall, silent, short and long
                     apply only to the first N GETs of this path
    no-length        no Content-Length; a GET's body ends when the connection closes
    length=N         Content-Length says N whatever the file holds (the body is
                     the file, then the connection closes)
    rate=BPS         the body goes out at BPS bytes per second per connection
    redirect=SCHEME  HEAD and GET answer 302 to the same path without this
                     directive, on the plain port (SCHEME "http") or the TLS port
                     ("https")
    get-redirect=SCHEME  the same for GETs only
    tls-only         requests over plain HTTP are dropped without an answer
    plain-only       requests over TLS are dropped without an answer
    id=TEXT          ignored: makes a path unique to one test

Every request is appended to <state>/requests.log as
    <port> <plain|tls> <method> <status> <range or -> <path>
before the answer goes out, so a client that has its answer finds the line.
Whatever arrives in clear text, HTTP or not, is also appended to <state>/clear.log
as "<port> <first line as Python bytes literal>" when the connection's first bytes
arrive.
"""

import argparse
import http.server
import os
import random
import re
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse

GENERATED_SIZES = [0, 1, 2, 3, 1000, 102399, 102400, 102401, 1048579, 5000000]
# How long a stalled or silent connection is held open: longer than any client waits.
SILENCE = 60


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, mode, context, shared):
        self.mode = mode  # "plain", "tls", "dual", or "tls" with a certificate to refuse
        self.context = context
        self.shared = shared
        super().__init__(("127.0.0.1", 0), Handler)

    def finish_request(self, request, client_address):
        request.settimeout(60)
        try:
            first = request.recv(1, socket.MSG_PEEK)
        except OSError:
            return
        if not first:
            return
        tls = first[0] == 0x16  # a TLS handshake record
        if not tls:
            try:
                head = request.recv(4096, socket.MSG_PEEK)
            except OSError:
                head = first
            self.shared.record_clear(self.server_address[1], head.split(b"\r\n")[0])
        if (tls and self.mode == "plain") or (not tls and self.mode == "tls"):
            reset(request)
            return
        if tls:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (OSError, ssl.SSLError):
                return
        try:
            Handler(request, client_address, self)
        except (OSError, ssl.SSLError):
            pass
        finally:
            try:
                request.close()
            except OSError:
                pass


class Shared:
    def __init__(self, root, log_path, clear_path, ports):
        self.root = root
        self.log_path = log_path
        self.clear_path = clear_path
        self.ports = ports  # mode -> port, filled once all listen
        self.lock = threading.Lock()
        self.get_counts = {}

    def record_clear(self, port, line):
        with self.lock:
            with open(self.clear_path, "a") as log:
                log.write(f"{port} {line!r}\n")

    def count_get(self, path):
        with self.lock:
            n = self.get_counts.get(path, 0) + 1
            self.get_counts[path] = n
            return n

    def record(self, port, scheme, method, status, byte_range, path):
        line = f"{port} {scheme} {method} {status} {byte_range or '-'} {path}\n"
        with self.lock:
            with open(self.log_path, "a") as log:
                log.write(line)


def reset(sock):
    """Closes with a reset instead of an orderly end."""
    try:
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()
    except OSError:
        pass


def parse_directives(segments):
    flags = {}
    for segment in segments:
        name, _, value = segment.partition("=")
        flags[name] = value
    return flags


def int_flag(flags, name):
    return int(flags[name]) if name in flags else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 60

    def log_message(self, format, *args):
        pass

    def do_HEAD(self):
        self.answer(head=True)

    def do_GET(self):
        self.answer(head=False)

    def answer(self, head):
        server = self.server
        shared = server.shared
        path = urllib.parse.urlsplit(self.path).path
        segments = [s for s in path.split("/") if s]
        flags = parse_directives(segments[:-1])
        name = segments[-1] if segments else ""
        tls = isinstance(self.connection, ssl.SSLSocket)
        scheme = "tls" if tls else "plain"
        port = server.server_address[1]
        byte_range = self.headers.get("Range")
        method = "HEAD" if head else "GET"

        def record(status):
            shared.record(port, scheme, method, status, byte_range, path)

        if ("tls-only" in flags and not tls) or ("plain-only" in flags and tls):
            record("dropped")
            self.close_connection = True
            reset(self.connection)
            return

        nth_get = 0 if head else shared.count_get(path)
        times = int_flag(flags, "times")
        misbehave = not head and (times is None or nth_get <= times)

        redirect = flags.get("redirect") or (None if head else flags.get("get-redirect"))
        if redirect in ("http", "https"):
            rest = "/".join(s for s in segments if not s.startswith(("redirect=", "get-redirect=")))
            target_port = shared.ports["plain" if redirect == "http" else "tls"]
            location = f"{redirect}://localhost:{target_port}/{rest}"
            record(302)
            self.send_response(302)
            self.send_header("Location", location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if "status" in flags:
            return self.error_page(int(flags["status"]), head, record)
        fail = int_flag(flags, "fail")
        if not head and fail is not None and nth_get <= fail:
            return self.error_page(503, head, record)
        if misbehave and "get-status" in flags:
            return self.error_page(int(flags["get-status"]), head, record)
        if (misbehave and "silent" in flags) or (head and "silent-head" in flags):
            record("silent")
            self.close_connection = True
            time.sleep(SILENCE)
            return

        file_path = os.path.join(shared.root, os.path.basename(name))
        if not name or not os.path.isfile(file_path):
            return self.error_page(404, head, record)
        with open(file_path, "rb") as f:
            data = f.read()
        total = len(data)

        status, body, content_range = 200, data, None
        if not head and byte_range and not (misbehave and "ignore-range" in flags):
            match = re.fullmatch(r"\s*bytes\s*=\s*(\d+)-(\d+)\s*", byte_range)
            if not match or int(match.group(1)) > int(match.group(2)) or int(match.group(1)) >= total:
                return self.error_page(416, head, record)
            first, last = int(match.group(1)), min(int(match.group(2)), total - 1)
            status, body = 206, data[first:last + 1]
            content_range = f"bytes {first}-{last}/{total}"
        if misbehave and "short" in flags:
            body = body[:max(0, len(body) - int(flags["short"]))]
        if misbehave and "long" in flags:
            body = body + bytes([0xA5]) * int(flags["long"])

        length = len(body)
        closes = False
        if "length" in flags:
            length = int(flags["length"])
            closes = True
        if "no-length" in flags:
            length = None
            closes = True

        record(status)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        if content_range:
            self.send_header("Content-Range", content_range)
        if length is not None:
            self.send_header("Content-Length", str(length))
        if closes and not head:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if head:
            return
        stall = int_flag(flags, "stall") if misbehave else None
        if stall is not None:
            self.send_body(body[:stall], flags)
            self.wfile.flush()
            self.close_connection = True
            time.sleep(SILENCE)
            return
        drop = int_flag(flags, "drop") if misbehave else None
        if drop is not None:
            self.send_body(body[:drop], flags)
            self.close_connection = True
            # An orderly close (no TLS close_notify): the bytes sent all arrive.
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        self.send_body(body, flags)

    def send_body(self, body, flags):
        rate = int_flag(flags, "rate")
        if not rate:
            self.wfile.write(body)
            return
        step = max(1, rate // 20)
        for offset in range(0, len(body), step):
            self.wfile.write(body[offset:offset + step])
            self.wfile.flush()
            time.sleep(step / rate)

    def error_page(self, status, head, record):
        record(status)
        page = f"<html><body><h1>{status}</h1><p>error page</p></body></html>".encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        if not head:
            self.wfile.write(page)


def generate(root):
    os.makedirs(root, exist_ok=True)
    for size in GENERATED_SIZES:
        path = os.path.join(root, f"{size}.bin")
        if not os.path.exists(path) or os.path.getsize(path) != size:
            with open(path + ".tmp", "wb") as f:
                f.write(random.Random(size).randbytes(size))
            os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--state", required=True, help="folder for ports, requests.log and the served files")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--bad-tls", action="append", default=[], metavar="NAME=CERT,KEY[,old]")
    args = parser.parse_args()

    root = os.path.join(args.state, "files")
    generate(root)
    log_path = os.path.join(args.state, "requests.log")
    open(log_path, "w").close()
    clear_path = os.path.join(args.state, "clear.log")
    open(clear_path, "w").close()

    def context_of(cert, key, old=False):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        if old:
            # OpenSSL 3 speaks TLS 1.0 and 1.1 only at security level 0.
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1_1
        return context

    shared = Shared(root, log_path, clear_path, {})
    context = context_of(args.cert, args.key)
    servers = {mode: Server(mode, context, shared) for mode in ("plain", "tls", "dual")}
    for spec in args.bad_tls:
        name, _, files = spec.partition("=")
        cert, key, *old = files.split(",")
        servers[name] = Server("tls", context_of(cert, key, old == ["old"]), shared)
    shared.ports.update((mode, server.server_address[1]) for mode, server in servers.items())
    for server in servers.values():
        threading.Thread(target=server.serve_forever, daemon=True).start()

    ports = "".join(f"{mode} {server.server_address[1]}\n" for mode, server in servers.items())
    with open(os.path.join(args.state, "ports.tmp"), "w") as f:
        f.write(ports)
    os.replace(os.path.join(args.state, "ports.tmp"), os.path.join(args.state, "ports"))
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
