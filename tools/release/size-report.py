#!/usr/bin/env python3
"""Prints an installer's size split into code and each resource, against budgets.

Usage: tools/release/size-report.py build/i686/src/Window/VanteloSetup.exe
Exit status 1 when a budget is exceeded and --strict is given.
"""
import argparse
import struct
import sys

BURN_ENGINE_CODE = 558 * 1024   # the WiX Burn engine's code, the peer we hold ourselves to
CODE_BUDGET = BURN_ENGINE_CODE
EXE_BUDGET = 2 * 1024 * 1024

RESOURCE_TYPES = {3: "ICON", 10: "RCDATA", 14: "GROUP_ICON", 16: "VERSION", 24: "MANIFEST"}
NAMED = {("ZIPRES", 104): "skin archive", ("RCDATA", 105): "language archive",
         ("RCDATA", 106): "domain text", ("ICON", None): "icon", ("GROUP_ICON", None): "icon",
         ("VERSION", None): "version", ("MANIFEST", None): "manifest"}


def read_pe(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections_count, = struct.unpack_from("<H", data, pe + 6)
    optional_size, = struct.unpack_from("<H", data, pe + 20)
    magic, = struct.unpack_from("<H", data, pe + 24)
    directories = pe + 24 + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    sections = []
    table = pe + 24 + optional_size
    for i in range(sections_count):
        raw = data[table + 40 * i: table + 40 * (i + 1)]
        name = raw[:8].rstrip(b"\0").decode("ascii", "replace")
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", raw, 8)
        sections.append((name, vaddr, vsize, rawsize, rawptr))
    return sections, rsrc_rva, rsrc_size


def rva_to_offset(sections, rva):
    for name, vaddr, vsize, rawsize, rawptr in sections:
        if vaddr <= rva < vaddr + max(vsize, rawsize):
            return rawptr + rva - vaddr
    raise ValueError("rva outside sections")


def resources(data, sections, rsrc_rva):
    base = rva_to_offset(sections, rsrc_rva)

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + offset + 16 + 8 * i)
            if name & 0x80000000:
                length, = struct.unpack_from("<H", data, base + (name & 0x7FFFFFFF))
                start = base + (name & 0x7FFFFFFF) + 2
                key = data[start:start + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, target

    for type_key, type_target in entries(0):
        type_name = RESOURCE_TYPES.get(type_key, type_key) if isinstance(type_key, int) else type_key
        for name_key, name_target in entries(type_target & 0x7FFFFFFF):
            for _lang, lang_target in entries(name_target & 0x7FFFFFFF):
                _rva, size = struct.unpack_from("<II", data, base + lang_target)
                yield str(type_name), name_key, size


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("exe")
    parser.add_argument("--strict", action="store_true", help="fail when a budget is exceeded")
    args = parser.parse_args()
    data = open(args.exe, "rb").read()
    sections, rsrc_rva, _ = read_pe(data)
    total = len(data)
    rsrc_raw = sum(s[3] for s in sections if s[0] == ".rsrc")
    code = total - rsrc_raw
    groups = {}
    for type_name, name, size in resources(data, sections, rsrc_rva):
        label = NAMED.get((type_name, name)) or NAMED.get((type_name, None)) or f"{type_name} {name}"
        groups[label] = groups.get(label, 0) + size
    print(f"{args.exe}")
    print(f"  whole exe          {total:>10,} bytes  (budget {EXE_BUDGET:,}: {'ok' if total <= EXE_BUDGET else 'OVER'})")
    print(f"  code and headers   {code:>10,} bytes  (budget {CODE_BUDGET:,}: {'ok' if code <= CODE_BUDGET else 'OVER'})")
    for name, vaddr, vsize, rawsize, rawptr in sections:
        if name != ".rsrc":
            print(f"    {name:<16} {rawsize:>10,}")
    print(f"  resources          {rsrc_raw:>10,} bytes")
    for label, size in sorted(groups.items(), key=lambda item: -item[1]):
        print(f"    {label:<16} {size:>10,}")
    print(f"  code / WiX Burn engine's {BURN_ENGINE_CODE // 1024} KB: {code / BURN_ENGINE_CODE:.2f}")
    over = total > EXE_BUDGET or code > CODE_BUDGET
    return 1 if over and args.strict else 0


if __name__ == "__main__":
    sys.exit(main())
