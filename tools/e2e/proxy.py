"""The demo's --proxy: a real local proxy (Debian's squid, started by tools/squid
with its own configuration) and the user's Internet settings in the Wine prefix
pointing at it, so that every request of the installation goes through it.

The local services all listen on this machine's loopback addresses, which Windows
never sends through a proxy unless the bypass list says "<-loopback>"; the settings
say so. Squid listens on 127.0.0.2 and connects onwards from there, so the local
services' record of each request's peer address shows whether it came through squid,
also for https requests that squid only tunnels.
"""
import os
import struct
import subprocess

from session import ROOT, SessionError

CONNECTIONS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
SQUID_ADDRESS = "127.0.0.2"


def connection_settings(proxy, bypass):
    """The binary value WinHttpGetIEProxyConfigForCurrentUser reads: version, change
    counter, flags (1 direct, 2 fixed proxy), then counted texts (proxy, bypass list,
    script address) and reserved bytes."""
    def counted(text):
        data = text.encode("ascii")
        return struct.pack("<I", len(data)) + data
    return struct.pack("<III", 0x46, 1, 3) + counted(proxy) + counted(bypass) + counted("") + bytes(32)


class DemoProxy:
    def __init__(self, out, prefix, log=print):
        self.state = os.path.join(out, "squid")
        self.prefix = prefix
        self.log = log
        self.port = None
        self.settings_written = False

    def reg(self, *args):
        env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all")
        return subprocess.run([os.path.join(ROOT, "tools", "wine-run"), "reg"] + list(args), env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True)

    def start(self):
        result = subprocess.run([os.path.join(ROOT, "tools", "squid", "start"), self.state], capture_output=True,
                                text=True)
        if result.returncode != 0:
            raise SessionError("the proxy did not start: %s" % result.stderr.strip())
        with open(os.path.join(self.state, "ports.ini")) as f:
            ports = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.port = int(ports["open"])
        proxy = "%s:%d" % (SQUID_ADDRESS, self.port)
        result = self.reg("add", CONNECTIONS, "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d",
                          connection_settings(proxy, "<-loopback>").hex(), "/f")
        if result.returncode != 0:
            raise SessionError("could not write the Internet settings: %s" % result.stdout.strip())
        self.settings_written = True
        self.log("proxy: squid on %s (its log: %s); the user's Internet settings name it"
                 % (proxy, os.path.join(self.state, "access.log")))

    def stop(self):
        if self.settings_written:
            self.reg("delete", CONNECTIONS, "/v", "DefaultConnectionSettings", "/f")
            self.settings_written = False
        subprocess.run([os.path.join(ROOT, "tools", "squid", "stop"), self.state], capture_output=True)

    def squid_lines(self):
        try:
            with open(os.path.join(self.state, "access.log")) as f:
                return [line.strip() for line in f
                        if line.strip() and "error:transaction-end-before-headers" not in line]
        except FileNotFoundError:
            return []

    def summary(self, requests):
        """Summary lines, and whether every request went through squid."""
        lines = self.squid_lines()
        proxied = [r for r in requests if r.get("peer") == SQUID_ADDRESS]
        direct = [r for r in requests if r.get("peer") != SQUID_ADDRESS]
        plain = [line for line in lines if " GET http://" in line or " HEAD http://" in line]
        tunnels = [line for line in lines if " CONNECT " in line]
        out = ["proxy: squid on %s:%d, %d lines in its log (%d plain requests, %d CONNECT tunnels)"
               % (SQUID_ADDRESS, self.port, len(lines), len(plain), len(tunnels))]
        out += ["    " + line for line in lines]
        out.append("requests at the local services: %d, %d of them from squid's address, %d direct"
                   % (len(requests), len(proxied), len(direct)))
        for r in direct:
            out.append("    DIRECT %s %s %s" % (r["scheme"], r["method"], r["path"]))
        redirect_seen = any("/redirect" in line for line in plain)
        ok = bool(requests) and not direct and redirect_seen and bool(tunnels)
        out.append("every request through squid: %s" % ("yes" if ok else "NO"))
        return out, ok
