#!/usr/bin/env python3
"""The origin server behind the test proxy: plain HTTP and TLS on 127.0.0.1, under
the name origin.test that the proxy's hosts file gives it (the TLS certificate
names origin.test and localhost).

    HEAD, GET /files/<N>.bin   N bytes (byte i is i*7 mod 251), with ranges
    GET /redirect              302 to https://origin.test:<tls port>/files/1000.bin
    POST /collect              the body is recorded, the answer is 204
    GET /proxy.pac             a PAC script: hosts under .test through the open
                               proxy port, every other host direct

Every request is appended to STATE/origin.log as
    <plain|tls> <method> <status> <path> <Host header> <peer address>
before the answer goes out. The proxy connects from 127.0.0.2 and clients directly
from 127.0.0.1, so the peer address tells which way a request came, also inside a
tunnel that the proxy cannot read. Requests that came through a CONNECT tunnel may carry
the whole address as their target; only its path counts.
"""
import argparse
import http.server
import os
import re
import socketserver
import ssl
import sys
import threading
import urllib.parse


PATTERN = bytes((i * 7) % 251 for i in range(251))


def content(size, start=0, end=None):
    end = size if end is None else end
    first = start - start % 251
    repeats = (end - first) // 251 + 1
    return (PATTERN * repeats)[start - first:end - first]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self, status):
        path = urllib.parse.urlsplit(self.path).path
        line = "%s %s %s %s %s %s\n" % (self.server.scheme, self.command, status, path, self.headers.get("Host", "-"),
                                       self.client_address[0])
        with self.server.lock:
            with open(self.server.log_path, "a") as f:
                f.write(line)

    def reply(self, status, body=b"", headers=(), content_type="text/plain"):
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
        path = urllib.parse.urlsplit(self.path).path
        match = re.fullmatch(r"/files/(\d+)\.bin", path)
        if match:
            return self.serve_file(int(match.group(1)))
        if path == "/redirect":
            target = "https://origin.test:%d/files/1000.bin" % self.server.ports["tls"]
            return self.reply(302, headers=[("Location", target)])
        if path == "/proxy.pac":
            script = ('function FindProxyForURL(url, host) {\n'
                      '  if (shExpMatch(host, "*.test")) return "PROXY 127.0.0.2:%d; DIRECT";\n'
                      '  return "DIRECT";\n}\n' % self.server.ports["open"])
            return self.reply(200, script.encode(), content_type="application/x-ns-proxy-autoconfig")
        self.reply(404, b"not found")

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0") or 0)
        self.rfile.read(length)
        if urllib.parse.urlsplit(self.path).path == "/collect":
            return self.reply(204)
        self.reply(404, b"not found")

    def serve_file(self, size):
        if size > 64 << 20:
            return self.reply(404, b"too large")
        start, end, status = 0, size, 200
        match = re.fullmatch(r"bytes=(\d+)-(\d+)", self.headers.get("Range", "").strip())
        if match and self.command == "GET":
            start, end = int(match.group(1)), min(int(match.group(2)) + 1, size)
            status = 206
        self.record(status)
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Accept-Ranges", "bytes")
        self.send_header("Content-Length", str(end - start))
        if status == 206:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end - 1, size))
        self.end_headers()
        if self.command == "GET":
            self.wfile.write(content(size, start, end))


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, scheme, shared, context=None):
        self.scheme = scheme
        self.context = context
        self.__dict__.update(shared)
        super().__init__(("127.0.0.1", port), Handler)

    def get_request(self):
        sock, address = super().get_request()
        if self.context:
            sock = self.context.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def finish_request(self, request, client_address):
        try:
            if self.context:
                request.settimeout(30)
                request.do_handshake()
            super().finish_request(request, client_address)
        except (ssl.SSLError, ConnectionError, OSError):
            pass


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--state", required=True)
    parser.add_argument("--plain-port", type=int, required=True)
    parser.add_argument("--tls-port", type=int, required=True)
    parser.add_argument("--open-port", type=int, required=True, help="the proxy's port without login")
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    args = parser.parse_args()
    shared = {"lock": threading.Lock(), "log_path": os.path.join(args.state, "origin.log"),
              "ports": {"tls": args.tls_port, "open": args.open_port}}
    open(shared["log_path"], "w").close()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    servers = [Server(args.plain_port, "plain", shared), Server(args.tls_port, "tls", shared, context)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    threading.Event().wait()
    return 0


if __name__ == "__main__":
    sys.exit(main())
