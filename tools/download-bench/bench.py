#!/usr/bin/env python3
"""Runs the download benchmark; tools/download-bench/run prepares and calls it."""

import argparse
import hashlib
import os
import shutil
import socket
import statistics
import subprocess
import sys
import threading
import time

FILE_SIZE = 256 * 1024 * 1024
SEGMENTS = 5

NGINX_CONF = """
daemon off;
worker_processes 2;
user root;
pid {work}/nginx.pid;
error_log {work}/nginx-error.log warn;
events {{ worker_connections 256; }}
http {{
    access_log off;
    log_format sent '$body_bytes_sent';
    # The skewed link: the range from byte 0 goes at a tenth of the others' rate.
    map $http_range $skew_rate {{
        "~^bytes=0-" 800k;
        default 8m;
    }}
    client_body_temp_path {work}/tmp-body;
    proxy_temp_path {work}/tmp-proxy;
    fastcgi_temp_path {work}/tmp-fastcgi;
    uwsgi_temp_path {work}/tmp-uwsgi;
    scgi_temp_path {work}/tmp-scgi;
    types {{ application/octet-stream bin; }}
    ssl_certificate {ca}/server.pem;
    ssl_certificate_key {ca}/server.key;
    ssl_protocols TLSv1.2 TLSv1.3;
    server {{
        listen 127.0.0.1:{capped} ssl;
        server_name localhost;
        root {served};
        limit_rate 8m;
    }}
    server {{
        listen 127.0.0.1:{open} ssl;
        server_name localhost;
        root {served};
    }}
    server {{
        listen 127.0.0.1:{skewed} ssl;
        server_name localhost;
        root {served};
        limit_rate $skew_rate;
    }}
    server {{
        listen 127.0.0.1:{behind_cutter} ssl;
        server_name localhost;
        root {served};
        limit_rate 8m;
        access_log {work}/cut-sent.log sent;
    }}
}}
"""
# Every connection through the cutter is cut once it carried this many bytes
# towards the client: the middle of one of five ranges.
CUT_AFTER = FILE_SIZE // SEGMENTS // 2
# The first five connections of each run are cut, once each.
CUTS_PER_RUN = SEGMENTS


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Cutter:
    """A TCP relay in front of an nginx port that cuts the first CUTS_PER_RUN
    connections after each reset once CUT_AFTER bytes went through towards the
    client, as a network that drops connections would (TLS passes through)."""

    def __init__(self, target_port):
        self.target_port = target_port
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(64)
        self.port = self.listener.getsockname()[1]
        self.lock = threading.Lock()
        self.connections = 0
        threading.Thread(target=self.accept, daemon=True).start()

    def reset(self):
        with self.lock:
            self.connections = 0

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.connections += 1
                cut = self.connections <= CUTS_PER_RUN
            server = socket.create_connection(("127.0.0.1", self.target_port))
            for sock in (client, server):
                sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            threading.Thread(target=self.pipe, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self.pipe, args=(server, client, CUT_AFTER if cut else None), daemon=True).start()

    @staticmethod
    def pipe(source, sink, limit):
        carried = 0
        try:
            while True:
                data = source.recv(1 << 16)
                if not data:
                    break
                if limit is not None and carried + len(data) >= limit:
                    sink.sendall(data[:limit - carried])
                    break
                sink.sendall(data)
                carried += len(data)
        except OSError:
            pass
        for sock in (source, sink):
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()


def sent_since(path, offset):
    """The body bytes nginx logged after offset, and the new offset."""
    try:
        with open(path) as f:
            f.seek(offset)
            text = f.read()
            return sum(int(line) for line in text.split() if line.isdigit()), f.tell()
    except FileNotFoundError:
        return 0, offset


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def make_file(path):
    if os.path.exists(path) and os.path.getsize(path) == FILE_SIZE:
        return
    with open(path + ".tmp", "wb") as f:
        for _ in range(FILE_SIZE // (1 << 20)):
            f.write(os.urandom(1 << 20))
    os.replace(path + ".tmp", path)


class Runner:
    def __init__(self, root, work, expected):
        self.root = root
        self.work = work
        self.expected = expected
        self.env = dict(os.environ, WINEPREFIX=os.path.join(root, "build", "wineprefix"), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env.pop("DISPLAY", None)
        self.exe = self.exe_for("i686")

    def exe_for(self, target):
        return os.path.join(self.root, "build", target, "tools", "download-bench", "download_bench.exe")

    def timed(self, command, output):
        """Runs one download; answers (wall seconds, own seconds or None, peak RSS in KiB, stdout)."""
        if os.path.exists(output):
            os.remove(output)
        log = os.path.join(self.work, "last-run.out")
        with open(log, "wb") as out:
            begin = time.monotonic()
            process = subprocess.Popen(command, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                       env=self.env, cwd=self.work)
            _, status, usage = os.wait4(process.pid, 0)
            wall = time.monotonic() - begin
            process.returncode = os.waitstatus_to_exitcode(status)
        text = open(log, "rb").read().decode(errors="replace")
        if process.returncode != 0:
            raise SystemExit(f"bench: {command[0]} failed ({process.returncode}):\n{text}")
        if sha256_of(output) != self.expected:
            raise SystemExit(f"bench: {output} differs from the served file")
        own = None
        fields = dict(f.split("=", 1) for f in text.split() if "=" in f)
        if "elapsed_ms" in fields:
            own = float(fields["elapsed_ms"]) / 1000
        return wall, own, usage.ru_maxrss, fields

    def ours(self, url, exe=None):
        output = os.path.join(self.work, "ours.bin")
        windows_path = "Z:" + output.replace("/", "\\")
        # No state file of an earlier run may shorten this one.
        if os.path.exists(output + ".state"):
            os.remove(output + ".state")
        wall, own, rss, fields = self.timed(["wine", exe or self.exe, url, windows_path, str(SEGMENTS)], output)
        return own, wall, rss, int(fields.get("peak_working_set", 0))

    def floor(self, url):
        output = os.path.join(self.work, "floor.bin")
        windows_path = "Z:" + output.replace("/", "\\")
        exe = os.path.join(self.root, "build", "i686", "tools", "download-bench", "download_floor.exe")
        return self.timed(["wine", exe, url, windows_path, str(SEGMENTS)], output)[1]

    def aria2c(self, url):
        output = os.path.join(self.work, "aria2c.bin")
        command = ["aria2c", "-x5", "-s5", "-k1M", "--ca-certificate=" + os.path.join(self.root, "build/ca/ca.pem"),
                   "--allow-overwrite=true", "--auto-file-renaming=false", "--summary-interval=0",
                   "--console-log-level=warn", "--download-result=hide", "-d", self.work, "-o", "aria2c.bin", url]
        return self.timed(command, output)[0]

    def curl(self, url):
        output = os.path.join(self.work, "curl.bin")
        command = ["curl", "-sS", "--cacert", os.path.join(self.root, "build/ca/ca.pem"), "-o", output, url]
        return self.timed(command, output)[0]


def median_of(runs, measure):
    values = [measure() for _ in range(runs)]
    return statistics.median(values), values


def show(name, values):
    print(f"  {name:<8} median {statistics.median(values):7.2f} s   runs " + " ".join(f"{v:.2f}" for v in values))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    root = args.root
    work = os.path.join(root, "build", "bench-download")
    served = os.path.join(work, "served")
    os.makedirs(served, exist_ok=True)
    for sub in ("tmp-body", "tmp-proxy", "tmp-fastcgi", "tmp-uwsgi", "tmp-scgi"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
    big = os.path.join(served, "big.bin")
    print("bench: preparing the 256 MiB file; load average %.1f %.1f %.1f on %d cores"
          % (*os.getloadavg(), os.cpu_count()))
    make_file(big)
    expected = sha256_of(big)

    capped, uncapped, skewed, behind_cutter = free_port(), free_port(), free_port(), free_port()
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write(NGINX_CONF.format(work=work, ca=os.path.join(root, "build", "ca"), served=served, capped=capped,
                                  open=uncapped, skewed=skewed, behind_cutter=behind_cutter))
    cut_log = os.path.join(work, "cut-sent.log")
    if os.path.exists(cut_log):
        os.remove(cut_log)
    nginx = subprocess.Popen(["nginx", "-e", os.path.join(work, "nginx-error.log"), "-p", work, "-c", conf],
                             stdin=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", uncapped), timeout=1).close()
                break
            except OSError:
                time.sleep(0.1)
        runner = Runner(root, work, expected)
        capped_url = f"https://localhost:{capped}/big.bin"
        open_url = f"https://localhost:{uncapped}/big.bin"
        runner.ours(open_url)  # warms the Wine prefix and the page cache

        print(f"\nWith limit_rate 8m per connection ({args.runs} runs each, every result's SHA-256 checked):")
        ours = [runner.ours(capped_url) for _ in range(args.runs)]
        ours_own = [o[0] for o in ours]
        aria = [runner.aria2c(capped_url) for _ in range(args.runs)]
        curl = [runner.curl(capped_url) for _ in range(args.runs)]
        show("ours", ours_own)
        show("ours+wine", [o[1] for o in ours])
        show("aria2c", aria)
        show("curl", curl)
        ratio_aria = statistics.median(ours_own) / statistics.median(aria)
        ratio_curl = statistics.median(curl) / statistics.median(ours_own)
        print(f"  ours/aria2c = {ratio_aria:.3f}   (goal <= 1.0; with Wine's start "
              f"{statistics.median([o[1] for o in ours]) / statistics.median(aria):.3f})")
        print(f"  curl/ours   = {ratio_curl:.3f}   (goal >= 4.5)")

        print(f"\nWithout a rate limit ({args.runs} runs each):")
        ours_open = [runner.ours(open_url) for _ in range(args.runs)]
        ours_open_own = [o[0] for o in ours_open]
        curl_open = [runner.curl(open_url) for _ in range(args.runs)]
        show("ours", ours_open_own)
        show("ours+wine", [o[1] for o in ours_open])
        show("curl", curl_open)
        mib = FILE_SIZE / (1 << 20)
        ours_rate = mib / statistics.median(ours_open_own)
        curl_rate = mib / statistics.median(curl_open)
        print(f"  ours {ours_rate:.1f} MiB/s, curl {curl_rate:.1f} MiB/s: ours/curl throughput = "
              f"{ours_rate / curl_rate:.3f}   (goal >= 0.95)")
        wide = runner.exe_for("x86_64")
        if os.path.exists(wide):
            # The same code built for 64 bits runs on 64-bit Wine and its TLS libraries.
            wide_own = [runner.ours(open_url, wide)[0] for _ in range(args.runs)]
            show("ours x64", wide_own)
            print(f"  the x86_64 build: {mib / statistics.median(wide_own):.1f} MiB/s, "
                  f"{mib / statistics.median(wide_own) / curl_rate:.3f} of curl's throughput")

        print(f"\nSkewed link: the range from byte 0 at 800 KiB/s, every other request at 8 MiB/s "
              f"({args.runs} runs each):")
        skewed_url = f"https://localhost:{skewed}/big.bin"
        ours_skew = [runner.ours(skewed_url)[0] for _ in range(args.runs)]
        aria_skew = [runner.aria2c(skewed_url) for _ in range(args.runs)]
        show("ours", ours_skew)
        show("aria2c", aria_skew)
        # Ideal: five connections busy to the end, one of them at a tenth of the rate.
        ideal = mib / (4 * 8 + 0.8)
        print(f"  ours/aria2c = {statistics.median(ours_skew) / statistics.median(aria_skew):.3f}   (goal <= 1.0)")
        print(f"  ours/ideal  = {statistics.median(ours_skew) / ideal:.3f}   (goal <= 1.3; ideal {ideal:.2f} s: four "
              f"connections at 8 MiB/s and one at 0.8 MiB/s, all busy to the end)")

        print(f"\nEvery connection cut once mid-body, 8 MiB/s per connection ({args.runs} runs each; the first "
              f"{CUTS_PER_RUN} connections of a run break off after {CUT_AFTER / (1 << 20):.1f} MiB):")
        cutter = Cutter(behind_cutter)
        cut_url = f"https://localhost:{cutter.port}/big.bin"
        offset = 0
        measured = {"ours": ([], []), "aria2c": ([], [])}
        clients = (("ours", lambda: runner.ours(cut_url)[0]), ("aria2c", lambda: runner.aria2c(cut_url)))
        for _ in range(args.runs):
            for name, run in clients:
                cutter.reset()
                seconds = run()
                time.sleep(1)  # nginx logs a cut request once it notices
                sent, offset = sent_since(cut_log, offset)
                measured[name][0].append(seconds)
                measured[name][1].append(sent / FILE_SIZE)
        for name, (seconds, fetched) in measured.items():
            show(name, seconds)
            print(f"  {'':<8} bytes fetched / file size: median {statistics.median(fetched):.4f}   runs "
                  + " ".join(f"{v:.4f}" for v in fetched))
        print(f"  ours: bytes fetched = {statistics.median(measured['ours'][1]):.4f} x file size   (goal <= 1.01)")
        print(f"  ours/aria2c = {statistics.median(measured['ours'][0]) / statistics.median(measured['aria2c'][0]):.3f}"
              "   (time)")

        print(f"\nThe platform's floor: bare WinHTTP calls for the same five ranges under the same Wine, no rate "
              f"limit ({args.runs} runs each):")
        floor = [runner.floor(open_url) for _ in range(args.runs)]
        ours_again = [runner.ours(open_url)[0] for _ in range(args.runs)]
        show("floor", floor)
        show("ours", ours_again)
        print(f"  ours/floor throughput = {statistics.median(floor) / statistics.median(ours_again):.3f}   "
              "(goal >= 0.95)")

        all_ours = ours + ours_open
        print(f"\nPeak memory of our process: working set {max(o[3] for o in all_ours) / (1 << 20):.1f} MiB "
              f"(Wine's report), resident {max(o[2] for o in all_ours) / 1024:.1f} MiB (Linux's maximum RSS)")
        print("load average at the end: %.1f %.1f %.1f" % os.getloadavg())
        print("(ours and floor: the download itself, timed inside the program after the install "
              "flow's size query, which carries the process's first TLS handshake; ours+wine: the whole Wine process, "
              "wall clock; aria2c and curl: wall clock)")
    finally:
        nginx.terminate()
        nginx.wait(timeout=10)
        for name in ("ours.bin", "ours.bin.state", "aria2c.bin", "curl.bin", "floor.bin"):
            path = os.path.join(work, name)
            if os.path.exists(path):
                os.remove(path)
    return 0


if __name__ == "__main__":
    sys.exit(main())
