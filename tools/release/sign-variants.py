#!/usr/bin/env python3
"""Signs copies of a Windows program the ways a verifier must tell apart, with the
throwaway material of tools/release/make-test-codesign.

    sign-variants.py --codesign build/codesign --input SampleSetup.exe --output DIR [NAME...]

Any signature the input carries is removed first. Without NAMEs every variant is
written as DIR/<name>.exe:

    signed                 the publisher's key under the trusted root
    unsigned               no signature at all
    flipped-code-byte      signed, then one byte of the code section changed
    other-key              signed by another publisher under the same root
    expired                the publisher's certificate that ran out in 2022, no timestamp
    expired-timestamped    the same with a timestamp from 2021, inside its validity
    expired-late-timestamp the same with a timestamp from today, after it ran out
    untrusted-root         the publisher's key under a root nobody trusts
    copied-signature       the signed copy's signature on another program, its image
                           digest swapped for that program's (the rest left as signed)
    data-after-signature   signed, then bytes appended after the certificate table
    broken-signature       signed, then one byte of the signature value changed

Timestamps come from a timestamp authority this script runs on 127.0.0.1 for the
time it needs one: `openssl ts -reply` under faketime, so the token's time can lie
in the past.
"""
import argparse
import hashlib
import http.server
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading

ALL = ["signed", "unsigned", "flipped-code-byte", "other-key", "expired", "expired-timestamped",
       "expired-late-timestamp", "untrusted-root", "copied-signature", "data-after-signature",
       "broken-signature"]
# Inside the expired certificate's validity (2021).
TIMESTAMP_IN_VALIDITY = "2021-06-01 12:00:00"


class Pe:
    """Offsets of the fields Authenticode leaves out of the image digest."""

    def __init__(self, data):
        if data[:2] != b"MZ":
            raise ValueError("not a PE file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        coff = pe + 4
        self.sections = struct.unpack_from("<H", data, coff + 2)[0]
        optional_size = struct.unpack_from("<H", data, coff + 16)[0]
        optional = coff + 20
        magic = struct.unpack_from("<H", data, optional)[0]
        self.checksum = optional + 64
        self.security = optional + (96 if magic == 0x10B else 112) + 4 * 8
        self.section_table = optional + optional_size
        self.table_offset, self.table_size = struct.unpack_from("<II", data, self.security)

    def code_section(self, data):
        for i in range(self.sections):
            header = self.section_table + 40 * i
            name = data[header:header + 8].rstrip(b"\0")
            size, offset = struct.unpack_from("<II", data, header + 16)
            if name == b".text":
                return offset, size
        raise ValueError("no .text section")


def strip_signature(data):
    data = bytearray(data)
    pe = Pe(data)
    if pe.table_offset:
        del data[pe.table_offset:]
        struct.pack_into("<II", data, pe.security, 0, 0)
    return bytes(data)


def image_digest(data):
    pe = Pe(data)
    end = pe.table_offset or len(data)
    digest = hashlib.sha256()
    digest.update(data[:pe.checksum])
    digest.update(data[pe.checksum + 4:pe.security])
    digest.update(data[pe.security + 8:end])
    return digest.digest()


def signature_blob(data):
    pe = Pe(data)
    length = struct.unpack_from("<I", data, pe.table_offset)[0]
    return data[pe.table_offset + 8:pe.table_offset + length]


def attach_signature(data, blob):
    """DATA (unsigned) with BLOB as its only certificate, ending the file."""
    data = bytearray(data)
    data += b"\0" * (-len(data) % 8)
    entry = struct.pack("<IHH", 8 + len(blob), 0x0200, 0x0002) + blob
    entry += b"\0" * (-len(entry) % 8)
    struct.pack_into("<II", data, Pe(data).security, len(data), len(entry))
    return bytes(data + entry)


class TimestampAuthority:
    """RFC 3161 over HTTP on 127.0.0.1, answering with `openssl ts -reply` at a set time."""

    def __init__(self, codesign, scratch):
        self.codesign = codesign
        self.scratch = scratch
        self.time = None
        config = os.path.join(scratch, "tsa.cnf")
        with open(config, "w") as f:
            f.write("[tsa]\ndefault_tsa = test_tsa\n[test_tsa]\n"
                    "serial = %s\ndigests = sha256\ndefault_policy = 1.3.6.1.4.1.55555.1\n"
                    "signer_digest = sha256\ness_cert_id_alg = sha256\naccuracy = secs:1\n"
                    "ess_cert_id_chain = no\n" % os.path.join(scratch, "tsa.serial"))
        with open(os.path.join(scratch, "tsa.serial"), "w") as f:
            f.write("01\n")
        self.config = config
        authority = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def do_POST(self):
                query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                reply = authority.reply(query)
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

        self.server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()
        self.url = "http://127.0.0.1:%d/" % self.server.server_address[1]

    def reply(self, query):
        request = os.path.join(self.scratch, "request.tsq")
        answer = os.path.join(self.scratch, "reply.tsr")
        with open(request, "wb") as f:
            f.write(query)
        command = ["openssl", "ts", "-reply", "-config", self.config, "-queryfile", request,
                   "-inkey", os.path.join(self.codesign, "tsa.key"),
                   "-signer", os.path.join(self.codesign, "tsa.pem"), "-out", answer]
        if self.time:
            command = ["faketime", self.time] + command
        subprocess.run(command, check=True, capture_output=True)
        with open(answer, "rb") as f:
            return f.read()

    def close(self):
        self.server.shutdown()
        self.server.server_close()


def sign(unsigned, certificate, key, scratch, timestamp_url=None, extra_certificates=()):
    source = os.path.join(scratch, "in.exe")
    target = os.path.join(scratch, "out.exe")
    chain = os.path.join(scratch, "chain.pem")
    with open(chain, "wb") as out:
        for name in (certificate,) + tuple(extra_certificates):
            with open(name, "rb") as f:
                out.write(f.read())
    with open(source, "wb") as f:
        f.write(unsigned)
    if os.path.exists(target):
        os.remove(target)
    command = ["osslsigncode", "sign", "-certs", chain, "-key", key, "-h", "sha256",
               "-n", "Vantelo test program", "-in", source, "-out", target]
    if timestamp_url:
        command += ["-ts", timestamp_url]
    subprocess.run(command, check=True, capture_output=True)
    with open(target, "rb") as f:
        return f.read()


def make_variants(codesign, data, output, names):
    unsigned = strip_signature(data)
    os.makedirs(output, exist_ok=True)
    scratch = tempfile.mkdtemp(prefix="sign-variants-")
    authority = None
    try:
        def material(name):
            return os.path.join(codesign, name)

        def publisher(timestamp_url=None, certificate="signer.pem", key="signer.key", extra=()):
            return sign(unsigned, material(certificate), material(key), scratch, timestamp_url,
                        [material(e) for e in extra])

        def timestamped(time):
            nonlocal authority
            if authority is None:
                authority = TimestampAuthority(codesign, scratch)
            authority.time = time
            return publisher(authority.url, "expired.pem")

        def flipped(signed):
            changed = bytearray(signed)
            offset, size = Pe(signed).code_section(signed)
            changed[offset + size // 2] ^= 0xFF
            return bytes(changed)

        def copied(signed):
            other = bytearray(unsigned)
            offset, size = Pe(other).code_section(bytes(other))
            other[offset + size // 3] ^= 0x5A
            other = bytes(other)
            blob = signature_blob(signed)
            own = image_digest(signed)
            if blob.count(own) != 1:
                raise ValueError("the signed image digest is not found once in the signature")
            return attach_signature(other, blob.replace(own, image_digest(other)))

        def broken(signed):
            # Without unsigned attributes the signature value ends the PKCS#7 blob.
            changed = bytearray(signed)
            pe = Pe(signed)
            length = struct.unpack_from("<I", signed, pe.table_offset)[0]
            changed[pe.table_offset + length - 16] ^= 0x01
            return bytes(changed)

        makers = {
            "signed": lambda: publisher(),
            "unsigned": lambda: unsigned,
            "flipped-code-byte": lambda: flipped(publisher()),
            "other-key": lambda: publisher(certificate="other.pem", key="other.key"),
            "expired": lambda: publisher(certificate="expired.pem"),
            "expired-timestamped": lambda: timestamped(TIMESTAMP_IN_VALIDITY),
            "expired-late-timestamp": lambda: timestamped(None),
            "untrusted-root": lambda: publisher(certificate="untrusted.pem", extra=["untrusted-root.pem"]),
            "copied-signature": lambda: copied(publisher()),
            "data-after-signature": lambda: publisher() + b"appended after the signature\0\0\0\0",
            "broken-signature": lambda: broken(publisher()),
        }
        for name in names:
            with open(os.path.join(output, name + ".exe.tmp"), "wb") as f:
                f.write(makers[name]())
            os.replace(os.path.join(output, name + ".exe.tmp"), os.path.join(output, name + ".exe"))
    finally:
        if authority:
            authority.close()
        shutil.rmtree(scratch, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--codesign", required=True, help="folder made by make-test-codesign")
    parser.add_argument("--input", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("names", nargs="*", metavar="NAME")
    args = parser.parse_args()
    unknown = [n for n in args.names if n not in ALL]
    if unknown:
        parser.error("unknown variant %s (known: %s)" % (", ".join(unknown), ", ".join(ALL)))
    with open(args.input, "rb") as f:
        data = f.read()
    make_variants(args.codesign, data, args.output, args.names or ALL)
    return 0


if __name__ == "__main__":
    sys.exit(main())
