#!/usr/bin/env python3
"""Writes the draw engine's test images (small PNGs with exact pixel values).

Run from anywhere: python3 tests/data/draw/make_images.py
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def png(name, rows):
    """rows: list of rows, each a list of (r, g, b, a) tuples."""
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


RED, GREEN, BLUE, YELLOW = (255, 0, 0, 255), (0, 255, 0, 255), (0, 0, 255, 255), (255, 255, 0, 255)
CYAN, MAGENTA, WHITE, BLACK = (0, 255, 255, 255), (255, 0, 255, 255), (255, 255, 255, 255), (0, 0, 0, 255)
GREY = (128, 128, 128, 255)

# 9x9 nine-patch: 3x3 blocks of 3x3 pixels, one colour per part.
blocks = [[RED, CYAN, GREEN], [MAGENTA, GREY, WHITE], [BLUE, BLACK, YELLOW]]
png("ninepatch.png", [[blocks[y // 3][x // 3] for x in range(9)] for y in range(9)])

# 4x2 tile: left half red, right half blue.
png("tile.png", [[RED if x < 2 else BLUE for x in range(4)] for _ in range(2)])

# 2x2 with alpha: opaque white, half-transparent white, transparent, half-transparent red.
png("alpha.png", [[WHITE, (255, 255, 255, 128)], [(0, 0, 0, 0), (200, 0, 0, 51)]])

# 3x1 for masks: opaque magenta, opaque white, opaque magenta.
png("mask.png", [[MAGENTA, WHITE, MAGENTA]])

# The skin's 14x14 check mark, one opaque colour.
png("checked.png", [[(0x1A, 0x57, 0xA9, 255)] * 14 for _ in range(14)])

# 4x2 strip of two columns: green, then blue (inline image columns).
png("columns.png", [[GREEN, GREEN, BLUE, BLUE] for _ in range(2)])
