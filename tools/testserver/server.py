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
    dead-after=BYTES once the bodies of this path carried BYTES in all, GETs answer 503
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
    slow-first=BPS   a ranged GET from byte 0 goes out at BPS bytes per second
    redirect=SCHEME  HEAD and GET answer 302 to the same path without this
                     directive, on the plain port (SCHEME "http") or the TLS port
                     ("https")
    get-redirect=SCHEME  the same for GETs only
    no-answer        the request is read and the connection closed in order, with
                     no answer at all
    tls-only         requests over plain HTTP are dropped without an answer
    plain-only       requests over TLS are dropped without an answer
    no-etag          no ETag (Last-Modified stays)
    weak-etag        the ETag is weak (W/"...")
    no-validator     neither ETag nor Last-Modified
    ignore-if-range  ranges are served whatever If-Range says
    replace-after=N  after N GETs of this path the file is replaced by another of the
                     same size (new bytes, new ETag and Last-Modified), as <file>.v2
    replace-every=N  the file is replaced after every N GETs (<file>.v2, .v3, ...)
    resize-after=N   after N GETs the file is replaced by one 1000 bytes longer
                     (<file>.v2.resized)
    id=TEXT          ignored: makes a path unique to one test

Every file carries an ETag and a Last-Modified date; a GET with If-Range naming
neither answers 200 with the whole file, as HTTP servers do. big.bin is a sparse
file of 5 GiB + 12345 bytes with random bytes around 2 GiB, 4 GiB and its end.

Every request is appended to <state>/requests.log as
    <port> <plain|tls> <method> <status> <range or -> <path> <If-Range, blanks as _, or ->
before the answer goes out, so a client that has its answer finds the line. When a
GET's body goes out, <state>/sent.log gets "<bytes> <path>" for every piece, before
the piece is written.
Whatever arrives in clear text, HTTP or not, is also appended to <state>/clear.log
as "<port> <first line as Python bytes literal>" when the connection's first bytes
arrive.
"""

import argparse
import email.utils
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
BIG_SIZE = 5 * 2**30 + 12345
BIG_WINDOWS = [(2**31 - 300000, 2**31 + 300000), (2**32 - 300000, 2**32 + 300000), (BIG_SIZE - 300000, BIG_SIZE)]


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
    def __init__(self, root, log_path, clear_path, ports, sent_path):
        self.root = root
        self.log_path = log_path
        self.clear_path = clear_path
        self.ports = ports  # mode -> port, filled once all listen
        self.sent_path = sent_path
        self.lock = threading.Lock()
        self.get_counts = {}
        self.sent = {}

    def record_clear(self, port, line):
        with self.lock:
            with open(self.clear_path, "a") as log:
                log.write(f"{port} {line!r}\n")

    def count_get(self, path):
        with self.lock:
            n = self.get_counts.get(path, 0) + 1
            self.get_counts[path] = n
            return n

    def get_count(self, path):
        with self.lock:
            return self.get_counts.get(path, 0)

    def record(self, port, scheme, method, status, byte_range, path, if_range):
        if_range = if_range.replace(" ", "_") if if_range else "-"
        line = f"{port} {scheme} {method} {status} {byte_range or '-'} {path} {if_range}\n"
        with self.lock:
            with open(self.log_path, "a") as log:
                log.write(line)

    def add_sent(self, path, count):
        with self.lock:
            self.sent[path] = self.sent.get(path, 0) + count
            with open(self.sent_path, "a") as log:
                log.write(f"{count} {path}\n")

    def sent_for(self, path):
        with self.lock:
            return self.sent.get(path, 0)

    def version_of(self, name, flags, gets):
        """(file path, size, ETag, Last-Modified) of the file as served after this many GETs, or None."""
        base = os.path.join(self.root, os.path.basename(name))
        if not name or not os.path.isfile(base):
            return None
        version, resized = 1, False
        after = int_flag(flags, "replace-after")
        if after is not None and gets > after:
            version = 2
        every = int_flag(flags, "replace-every")
        if every is not None:
            version = 1 + gets // every
        after = int_flag(flags, "resize-after")
        if after is not None and gets > after:
            version, resized = 2, True
        path = base
        if version > 1:
            path = f"{base}.v{version}" + (".resized" if resized else "")
            with self.lock:
                if not os.path.exists(path):
                    size = os.path.getsize(base) + (1000 if resized else 0)
                    with open(path + ".tmp", "wb") as f:
                        f.write(random.Random(f"{name}:{version}:{resized}").randbytes(size))
                    os.replace(path + ".tmp", path)
        size = os.path.getsize(path)
        # Each version a minute younger than the one before, so dates differ too.
        mtime = int(os.stat(base).st_mtime) + (version - 1) * 60
        return path, size, f'"{size:x}-{mtime:x}-{version}"', email.utils.formatdate(mtime, usegmt=True)


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
            shared.record(port, scheme, method, status, byte_range, path, self.headers.get("If-Range"))

        if ("tls-only" in flags and not tls) or ("plain-only" in flags and tls):
            record("dropped")
            self.close_connection = True
            reset(self.connection)
            return

        if "no-answer" in flags:
            record("unanswered")
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
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
        dead_after = int_flag(flags, "dead-after")
        if not head and dead_after is not None and shared.sent_for(path) >= dead_after:
            return self.error_page(503, head, record)
        if misbehave and "get-status" in flags:
            return self.error_page(int(flags["get-status"]), head, record)
        if (misbehave and "silent" in flags) or (head and "silent-head" in flags):
            record("silent")
            self.close_connection = True
            time.sleep(SILENCE)
            return

        # A HEAD describes the file as the next GET will find it.
        served = shared.version_of(name, flags, shared.get_count(path) + (1 if head else 0))
        if served is None:
            return self.error_page(404, head, record)
        file_path, total, etag, last_modified = served

        validators = []
        if "no-validator" not in flags:
            if "no-etag" not in flags:
                validators.append(("ETag", "W/" + etag if "weak-etag" in flags else etag))
            validators.append(("Last-Modified", last_modified))

        status, first, last = 200, 0, total - 1
        content_range = None
        if_range = self.headers.get("If-Range")
        range_applies = if_range is None or "ignore-if-range" in flags or if_range in (etag, last_modified)
        if not head and byte_range and range_applies and not (misbehave and "ignore-range" in flags):
            match = re.fullmatch(r"\s*bytes\s*=\s*(\d+)-(\d+)\s*", byte_range)
            if not match or int(match.group(1)) > int(match.group(2)) or int(match.group(1)) >= total:
                return self.error_page(416, head, record, [("Content-Range", f"bytes */{total}")])
            first, last = int(match.group(1)), min(int(match.group(2)), total - 1)
            status = 206
            content_range = f"bytes {first}-{last}/{total}"
        length = last - first + 1
        extra = b""
        if misbehave and "short" in flags:
            length = max(0, length - int(flags["short"]))
        if misbehave and "long" in flags:
            extra = bytes([0xA5]) * int(flags["long"])

        declared = length + len(extra)
        closes = False
        if "length" in flags:
            declared = int(flags["length"])
            closes = True
        if "no-length" in flags:
            declared = None
            closes = True

        record(status)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        for header, value in validators:
            self.send_header(header, value)
        if content_range:
            self.send_header("Content-Range", content_range)
        if declared is not None:
            self.send_header("Content-Length", str(declared))
        if closes and not head:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if head:
            return

        rate = int_flag(flags, "rate")
        if "slow-first" in flags and first == 0 and status == 206:
            rate = int(flags["slow-first"])
        limit = None
        for cut in ("drop", "stall"):
            if misbehave and cut in flags:
                limit = int(flags[cut])
        cut_short = limit is not None
        if dead_after is not None:
            # The body breaks off where the server dies.
            left = max(0, dead_after - shared.sent_for(path))
            if left < length + len(extra):
                limit = left if limit is None else min(limit, left)
                cut_short = True
        self.send_body(file_path, first, length, extra, rate, limit, lambda count: shared.add_sent(path, count))
        if limit is not None and misbehave and "stall" in flags:
            self.wfile.flush()
            self.close_connection = True
            time.sleep(SILENCE)
        elif cut_short:
            self.close_connection = True
            # An orderly close (no TLS close_notify): the bytes sent all arrive.
            self.connection.shutdown(socket.SHUT_RDWR)

    def send_body(self, file_path, first, length, extra, rate, limit, count_sent):
        """Sends length bytes of the file from first, then extra, at most limit bytes in all.
        Every piece is counted as sent before it goes out, so the count is never behind
        what a client has received."""
        step = max(1, rate // 20) if rate else 65536
        sent = 0
        with open(file_path, "rb") as f:
            f.seek(first)
            left = length
            while left > 0 or extra:
                if left > 0:
                    chunk = f.read(min(step, left))
                    left -= len(chunk)
                    if not chunk:
                        break
                else:
                    chunk, extra = extra, b""
                if limit is not None:
                    chunk = chunk[:max(0, limit - sent)]
                count_sent(len(chunk))
                self.wfile.write(chunk)
                sent += len(chunk)
                if limit is not None and sent >= limit:
                    return
                if rate:
                    self.wfile.flush()
                    time.sleep(len(chunk) / rate)

    def error_page(self, status, head, record, headers=()):
        record(status)
        page = f"<html><body><h1>{status}</h1><p>error page</p></body></html>".encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        for header, value in headers:
            self.send_header(header, value)
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
    # A file beyond 4 GiB that costs no disk: sparse zeros with random bytes in the
    # windows around 2 GiB, 4 GiB and its end.
    path = os.path.join(root, "big.bin")
    if not os.path.exists(path) or os.path.getsize(path) != BIG_SIZE:
        with open(path + ".tmp", "wb") as f:
            f.truncate(BIG_SIZE)
            for first, last in BIG_WINDOWS:
                f.seek(first)
                f.write(random.Random(first).randbytes(last - first))
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
    sent_path = os.path.join(args.state, "sent.log")
    open(sent_path, "w").close()
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

    shared = Shared(root, log_path, clear_path, {}, sent_path)
    context = context_of(args.cert, args.key)
    servers = {mode: Server(mode, context, shared) for mode in ("plain", "tls", "dual")}
    for bad in args.bad_tls:
        name, _, files = bad.partition("=")
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
