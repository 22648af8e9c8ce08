#!/usr/bin/env python3
"""Loopback HTTP peers for the HTTP client and analytics tests.

peer mode: answers every request with the exact bytes of a script (a JSON file named
after the request path), in pieces, with delays, and records what it received. In
a script's text, {<listener>} stands for that listener's port and {query} for the
request's query, percent-decoded (so one script can answer any header value).
collector mode: records every POST (header and body) and answers 204.

Listeners: plain HTTP on 127.0.0.1; TLS on localhost with the test authority's
server certificate, a self-signed one and (when present) an expired one. The ports
go into STATE/ports.ini, the records into STATE/records/.
"""
import argparse
import json
import os
import re
import socket
import ssl
import sys
import threading
import time
import urllib.parse

HEADER_END = b"\r\n\r\n"


def record_name(target):
    return re.sub(r"[^A-Za-z0-9._-]", "_", target)


def write_atomically(path, data):
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


class Server:
    def __init__(self, args):
        self.mode = args.mode
        self.state = args.state
        self.scripts = args.scripts
        self.records = os.path.join(args.state, "records")
        os.makedirs(self.records, exist_ok=True)
        self.ports = {}
        self.lock = threading.Lock()
        self.connections = 0
        self.posts = 0

    def listen(self, name, context):
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", 0))
        listener.listen(64)
        port = listener.getsockname()[1]
        sockets = [listener]
        # Name lookups of localhost may answer ::1 first.
        try:
            listener6 = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
            listener6.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            listener6.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 1)
            listener6.bind(("::1", port))
            listener6.listen(64)
            sockets.append(listener6)
        except OSError:
            pass
        self.ports[name] = port
        for s in sockets:
            threading.Thread(target=self.accept_loop, args=(s, context), daemon=True).start()

    def accept_loop(self, listener, context):
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=self.serve, args=(connection, context), daemon=True).start()

    def serve(self, connection, context):
        with self.lock:
            self.connections += 1
            number = self.connections
        try:
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            connection.settimeout(30)
            if context is not None:
                connection = context.wrap_socket(connection, server_side=True)
            pending = b""
            while True:
                request, pending = self.read_request(connection, pending)
                if request is None:
                    return
                if self.mode == "collector":
                    keep_open = self.collect(connection, request)
                else:
                    keep_open = self.answer(connection, request, number)
                if not keep_open:
                    return
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                connection.close()
            except OSError:
                pass

    @staticmethod
    def read_request(connection, pending):
        # Empty lines before a request line are ignored, as servers do.
        while True:
            stripped = pending.lstrip(b"\r\n")
            end = stripped.find(HEADER_END)
            if end >= 0:
                break
            data = connection.recv(65536)
            if not data:
                return None, b""
            pending += data
        header = stripped[:end].decode("latin-1")
        length = 0
        for line in header.split("\r\n")[1:]:
            name, _, value = line.partition(":")
            if name.strip().lower() == "content-length":
                length = int(value.strip())
        whole = end + len(HEADER_END) + length
        while len(stripped) < whole:
            data = connection.recv(65536)
            if not data:
                return None, b""
            stripped += data
        # What arrived together with the request belongs to its record.
        return {"header": header, "raw": stripped, "length": whole}, b""

    def answer(self, connection, request, number):
        target = request["header"].split(" ")[1] if " " in request["header"] else "/"
        name = record_name(target)
        write_atomically(os.path.join(self.records, name + ".req"), request["raw"])
        write_atomically(os.path.join(self.records, name + ".conn"), str(number).encode())
        script = self.find_script(target.split("?")[0])
        if script is None:
            connection.sendall(b"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nno script")
            return True
        for action in script["actions"]:
            if "send" in action:
                text = action["send"]
                for key, port in self.ports.items():
                    text = text.replace("{" + key + "}", str(port))
                text = text.replace("{query}", urllib.parse.unquote(target.partition("?")[2]))
                connection.sendall(text.encode("utf-8"))
            elif "body" in action:
                self.send_pattern(connection, action["body"])
            elif "delay_ms" in action:
                time.sleep(action["delay_ms"] / 1000.0)
            elif action.get("close"):
                return False
        return True

    @staticmethod
    def send_pattern(connection, count):
        # Byte i of every generated body is '0' + i % 10, so tests can check it.
        block = b"0123456789" * 6554
        sent = 0
        while sent < count:
            piece = block[: min(len(block), count - sent)]
            connection.sendall(piece)
            sent += len(piece)

    def find_script(self, path):
        for file_name in sorted(os.listdir(self.scripts)):
            if not file_name.endswith(".json"):
                continue
            with open(os.path.join(self.scripts, file_name), encoding="utf-8") as f:
                script = json.load(f)
            if script.get("path") == path:
                return script
        return None

    def collect(self, connection, request):
        method = request["header"].split(" ")[0]
        if method != "POST":
            connection.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            return True
        with self.lock:
            self.posts += 1
            number = self.posts
        write_atomically(os.path.join(self.records, "collect-%d.req" % number), request["raw"])
        write_atomically(os.path.join(self.records, "collect.req"), request["raw"])
        connection.sendall(b"HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n")
        return True


def tls_context(certificate, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=["peer", "collector"], required=True)
    parser.add_argument("--state", required=True)
    parser.add_argument("--scripts", default="")
    parser.add_argument("--ca", required=True)
    args = parser.parse_args()

    server = Server(args)
    server.listen("http", None)
    server.listen("tls", tls_context(os.path.join(args.ca, "server.pem"), os.path.join(args.ca, "server.key")))
    if args.mode == "peer":
        server.listen("selfsigned",
                      tls_context(os.path.join(args.ca, "selfsigned.pem"), os.path.join(args.ca, "selfsigned.key")))
        expired = os.path.join(args.ca, "expired.pem")
        if os.path.exists(expired):
            server.listen("expired", tls_context(expired, os.path.join(args.ca, "expired.key")))

    lines = ["[ports]"] + ["%s=%d" % item for item in sorted(server.ports.items())]
    write_atomically(os.path.join(args.state, "ports.ini"), ("\r\n".join(lines) + "\r\n").encode())
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    sys.exit(main())
