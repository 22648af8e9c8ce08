#!/usr/bin/env python3
"""The local services the installer meets in the demo and the end-to-end tests.

TLS on localhost:48443 (the test authority's certificate):
    HEAD, GET /files/<name>    the product installer, with ranges (and If-Range
                               against its ETag and Last-Modified), each connection
                               sending at most --rate bytes per second (the number
                               in STATE/rate when present); while the file
                               STATE/fail-downloads exists GETs answer 503, or,
                               when it holds a number, bodies break off once that
                               many bytes (all connections together) went out after
                               it appeared, and GETs answer 503 from then on; the
                               number in STATE/announce-size, when present, is the
                               Content-Length that HEAD answers
    POST /mp/collect?...       the analytics collector: each body is kept as
                               STATE/events/<n>.json, the answer is 204
Plain HTTP on 127.0.0.1:48080:
    GET /redirect?...          302 to the installer's address (the text of
                               STATE/redirect-target when present)
    GET /producturl?key=...    the licence page and the after-installation page

The served installer is the sample product's installer with --pad bytes of
pseudo-random data appended, signed again afterwards (the padding lies inside the
signed image) with the throwaway material of --codesign, written into STATE/files
at start: one file for each name of --variants (tools/release/sign-variants.py),
"signed" by default. The text of STATE/serve-variant names the variant served.
Every request is appended to STATE/requests.log as one JSON object per line, with
the address it came from ("peer"). Ports: --tls-port and
--plain-port. The process id goes to STATE/pid, and STATE/ready appears once both
ports listen.
"""
import argparse
import email.utils
import hashlib
import http.server
import importlib.machinery
import json
import os
import random
import re
import socketserver
import ssl
import sys
import threading
import time
import types
import urllib.parse

INSTALLER_NAME = "VanteloPexarSetup.exe"
PAGES = {
    "license_agreement": "<html><head><title>Vantelo License Agreement</title></head>"
                         "<body><h1>Vantelo License Agreement</h1><p>A sample licence.</p></body></html>",
    "installed": "<html><head><title>Vantelo Pexar installed</title></head>"
                 "<body><h1>Thank you for installing Vantelo Pexar</h1></body></html>",
}


class State:
    def __init__(self, folder, rate):
        self.folder = folder
        self.rate = rate
        self.lock = threading.Lock()
        self.events = 0
        os.makedirs(os.path.join(folder, "events"), exist_ok=True)
        os.makedirs(os.path.join(folder, "files"), exist_ok=True)

    def path(self, name):
        return os.path.join(self.folder, name)

    def setting(self, name):
        """The number in STATE/<name>, or None when the file is absent."""
        try:
            with open(self.path(name)) as f:
                return int(f.read().strip())
        except (FileNotFoundError, ValueError):
            return None

    def failure_budget(self):
        """None while downloads work; else the body bytes still allowed to go out."""
        try:
            stat = os.stat(self.path("fail-downloads"))
            with open(self.path("fail-downloads")) as f:
                text = f.read().strip()
        except FileNotFoundError:
            return None
        with self.lock:
            flag = (stat.st_ino, stat.st_mtime_ns)
            if getattr(self, "flag", None) != flag:
                self.flag, self.sent_since_flag = flag, 0
            return max(0, int(text) - self.sent_since_flag) if text else 0

    def count_sent(self, count):
        with self.lock:
            self.sent_since_flag = getattr(self, "sent_since_flag", 0) + count

    def log(self, record):
        record["time"] = round(time.time(), 3)
        with self.lock:
            with open(self.path("requests.log"), "a") as f:
                f.write(json.dumps(record) + "\n")

    def store_event(self, record):
        with self.lock:
            self.events += 1
            name = self.path("events/%03d.json" % self.events)
        with open(name + ".tmp", "w") as f:
            json.dump(record, f)
        os.replace(name + ".tmp", name)


def sign_variants_module():
    path = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "release", "sign-variants.py")
    loader = importlib.machinery.SourceFileLoader("sign_variants", path)
    module = types.ModuleType(loader.name)
    module.__file__ = path
    loader.exec_module(module)
    return module


def make_installer(source, folder, pad, codesign, variants):
    """The sample installer padded to a realistic size and signed each way asked for;
    the padding is deterministic for one pad."""
    signing = sign_variants_module()
    with open(source, "rb") as f:
        data = signing.strip_signature(f.read())
    generator = random.Random(pad)
    padding = b"".join(generator.randbytes(min(left, 1 << 20)) for left in range(pad, 0, -(1 << 20)))
    signing.make_variants(codesign, data + padding, os.path.join(folder, "files", "variants"), variants)
    described = {}
    for name in variants:
        with open(os.path.join(folder, "files", "variants", name + ".exe"), "rb") as f:
            content = f.read()
        described[name] = {"size": len(content), "sha256": hashlib.sha256(content).hexdigest()}
    record = dict(described.get("signed", {}), variants=described)
    with open(os.path.join(folder, "installer.json"), "w") as f:
        json.dump(record, f)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    @property
    def state(self):
        return self.server.state

    def record(self, status, **extra):
        # Through a proxy's tunnel WinHTTP may send the whole address as the target.
        url = urllib.parse.urlsplit(self.path)
        path = url.path + ("?" + url.query if url.query else "") if url.scheme else self.path
        entry = {"port": self.server.server_address[1], "scheme": self.server.scheme,
                 "peer": self.client_address[0],
                 "method": self.command, "path": path, "status": status,
                 "headers": {k: v for k, v in self.headers.items()}}
        entry.update(extra)
        self.state.log(entry)

    def answer(self, status, body=b"", content_type="text/html; charset=utf-8", headers=()):
        self.record(status)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query)
        if self.server.scheme == "https" and url.path.startswith("/files/"):
            return self.serve_file(os.path.basename(url.path))
        if self.server.scheme == "http" and url.path == "/redirect":
            target = "https://localhost:%d/files/%s" % (self.server.tls_port, INSTALLER_NAME)
            try:
                with open(self.state.path("redirect-target")) as f:
                    target = f.read().strip() or target
            except FileNotFoundError:
                pass
            return self.answer(302, b"", headers=[("Location", target)])
        if self.server.scheme == "http" and url.path == "/producturl":
            page = PAGES.get(query.get("key", [""])[0])
            if page:
                return self.answer(200, page.encode())
        self.answer(404, b"<html><body>Not found</body></html>")

    def serve_file(self, name):
        path = os.path.join(self.state.folder, "files", name)
        if name == INSTALLER_NAME:
            variant = "signed"
            try:
                with open(self.state.path("serve-variant")) as f:
                    variant = f.read().strip() or variant
            except FileNotFoundError:
                pass
            path = os.path.join(self.state.folder, "files", "variants", os.path.basename(variant) + ".exe")
        if not os.path.isfile(path):
            return self.answer(404, b"<html><body>Not found</body></html>")
        budget = self.state.failure_budget() if self.command == "GET" else None
        if budget == 0:
            return self.answer(503, b"<html><body>Unavailable</body></html>")
        stat = os.stat(path)
        size = stat.st_size
        etag = '"%x-%x"' % (size, stat.st_mtime_ns)
        last_modified = email.utils.formatdate(stat.st_mtime, usegmt=True)
        if self.command == "HEAD":
            size = self.state.setting("announce-size") or size
        start, end = 0, size - 1
        status = 200
        ranged = self.headers.get("Range", "")
        match = re.fullmatch(r"bytes=(\d+)-(\d*)", ranged.strip())
        if_range = self.headers.get("If-Range")
        if match and self.command == "GET" and if_range in (None, etag, last_modified):
            start = int(match.group(1))
            end = min(int(match.group(2)), size - 1) if match.group(2) else size - 1
            if start > end:
                return self.answer(416, b"", headers=[("Content-Range", "bytes */%d" % size)])
            status = 206
        length = end - start + 1
        self.record(status, range=ranged or None)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", last_modified)
        self.send_header("Content-Length", str(length))
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
        self.end_headers()
        if self.command == "HEAD":
            return
        rate = self.state.setting("rate") or self.state.rate
        began = time.monotonic()
        sent = 0
        with open(path, "rb") as f:
            f.seek(start)
            while sent < length:
                piece = f.read(min(65536, length - sent))
                if not piece:
                    break
                if budget is not None:
                    # The budget is shared by all connections: the server dies
                    # in the middle of the bodies once it is spent.
                    piece = piece[:self.state.failure_budget() or 0]
                    if not piece:
                        self.close_connection = True
                        return
                    self.state.count_sent(len(piece))
                try:
                    self.wfile.write(piece)
                except (BrokenPipeError, ConnectionResetError, ssl.SSLError):
                    return
                sent += len(piece)
                if rate:
                    ahead = sent / rate - (time.monotonic() - began)
                    if ahead > 0:
                        time.sleep(ahead)

    def do_POST(self):
        url = urllib.parse.urlsplit(self.path)
        length = int(self.headers.get("Content-Length", "0") or 0)
        body = self.rfile.read(length)
        if self.server.scheme == "https" and url.path == "/mp/collect":
            self.state.store_event({"path": self.path, "headers": {k: v for k, v in self.headers.items()},
                                    "body": body.decode("utf-8", "replace")})
            return self.answer(204)
        self.answer(404)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, scheme, state, context=None, tls_port=0):
        self.scheme = scheme
        self.state = state
        self.context = context
        self.tls_port = tls_port
        super().__init__(("127.0.0.1", port), Handler)

    def get_request(self):
        sock, address = super().get_request()
        if self.context:
            sock = self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def finish_request(self, request, client_address):
        try:
            if self.context:
                request.do_handshake()
            super().finish_request(request, client_address)
        except (ssl.SSLError, ConnectionError, OSError):
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--state", required=True)
    parser.add_argument("--installer", required=True, help="the sample installer (SampleSetup.exe)")
    parser.add_argument("--codesign", required=True, help="throwaway signing material (build/codesign)")
    parser.add_argument("--variants", default="signed", help="comma-separated signed variants to serve")
    parser.add_argument("--pad", type=int, default=64 << 20, help="bytes appended to the installer")
    parser.add_argument("--rate", type=int, default=0, help="bytes per second per connection (0: no limit)")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--tls-port", type=int, default=48443)
    parser.add_argument("--plain-port", type=int, default=48080)
    args = parser.parse_args()

    state = State(args.state, args.rate)
    for stale in ("ready", "requests.log", "fail-downloads", "redirect-target", "serve-variant"):
        if os.path.exists(state.path(stale)):
            os.remove(state.path(stale))
    for name in os.listdir(state.path("events")):
        os.remove(os.path.join(state.path("events"), name))
    make_installer(args.installer, args.state, args.pad, args.codesign, args.variants.split(","))

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    servers = [Server(args.tls_port, "https", state, context), Server(args.plain_port, "http", state,
                                                                      tls_port=args.tls_port)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(state.path("pid"), "w") as f:
        f.write(str(os.getpid()))
    open(state.path("ready"), "w").close()
    try:
        threading.Event().wait()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
