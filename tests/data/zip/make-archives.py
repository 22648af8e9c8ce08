#!/usr/bin/env python3
"""Writes the zip fixtures of the resource tests into this folder.

The archives are committed; rerun this only to change them. Every archive is
reproducible: fixed timestamps, fixed contents.
"""
import io
import os
import struct
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
STAMP = (2024, 5, 17, 10, 30, 0)

SKIN = ('<?xml version="1.0" encoding="utf-8"?>\n<Window size="650,360" caption="0,0,0,40">\n'
        + ''.join('  <Button name="btn_%d" text="Button %d" pos="%d,10,%d,40"/>\n' % (i, i, i * 10, i * 10 + 80)
                  for i in range(40))
        + '</Window>\n').encode('utf-8')
LOGO = bytes(range(256)) * 3


def add(z, name, data, method=zipfile.ZIP_DEFLATED):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = method
    info.external_attr = (0o40755 << 16) | 0x10 if name.endswith('/') else 0o100644 << 16
    z.writestr(info, data)


def write(name, data):
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(data)


def zip_bytes(members):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w') as z:
        for member in members:
            add(z, *member)
    return buffer.getvalue()


def pattern(length):
    # Compresses well but is not uniform, so a wrong offset shows in the content.
    return bytes((i * 7 + (i >> 12)) % 251 for i in range(length))


def raw_zip(entries):
    """A hand-built archive; each entry states its own sizes, method and flags."""
    local, directory = b'', b''
    for e in entries:
        name = e['name'].encode('latin-1')
        data = e['data']
        crc = zlib.crc32(e.get('plain', data))
        csize = e.get('csize', len(data))
        usize = e.get('usize', len(e.get('plain', data)))
        method = e.get('method', 0)
        extra = e.get('extra', b'')
        offset = len(local)
        local += struct.pack('<IHHHHHIIIHH', 0x04034b50, 20, 0, method, 0x5000, 0x58b1, crc, csize, usize,
                             len(name), 0) + name + data
        directory += struct.pack('<IHHHHHHIIIHHHHHII', 0x02014b50, 20, 20, 0, method, 0x5000, 0x58b1, crc,
                                 csize, usize, len(name), len(extra), 0, 0, 0, 0x20, offset) + name + extra
    end = struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, len(entries), len(entries), len(directory), len(local), 0)
    return local + directory + end


def deflate_raw(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def main():
    basic = zip_bytes([
        ('skin.xml', SKIN),
        ('Images/', b''),
        ('Images/logo.png', LOGO, zipfile.ZIP_STORED),
        ('readme.txt', b'plain stored text\r\n', zipfile.ZIP_STORED),
        ('empty.xml', b''),
    ])
    write('basic.zip', basic)
    # A self-extracting stub before the archive: its stated offsets are all too small.
    write('sfx.zip', b'MZ' + bytes(4094) + basic)
    write('comment.zip', basic[:-2] + struct.pack('<H', 60000) + b'c' * 60000)

    limit = 4194304
    write('limits.zip', zip_bytes([('exact.bin', pattern(limit)), ('over.bin', pattern(limit + 1))]))

    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w') as z:
        add(z, 'bzip2.xml', SKIN, zipfile.ZIP_BZIP2)
        add(z, 'fine.xml', b'<Fine/>')
    write('methods.zip', buffer.getvalue())

    write('language.zip', zip_bytes([
        ('language.ini', b'[Language]\r\n1033=English\r\n'),
        ('English/', b''),
        ('English/text.ini', '\ufeff[LANSTR]\r\nSTR_HIDE=Hide\r\n'.encode('utf-16-le')),
        ('English/empty.txt', b''),
    ]))

    write('escape.zip', zip_bytes([
        ('../escaped-parent.txt', b'up'),
        ('..\\escaped-back.txt', b'up'),
        ('inner/../../escaped-deep.txt', b'up'),
        ('/escaped-root.txt', b'root'),
        ('\\escaped-root2.txt', b'root'),
        ('C:escaped-drive.txt', b'drive'),
        ('.. /escaped-blank.txt', b'blank'),
        ('NUL', b'device'),
        ('good.txt', b'good'),
    ]))

    skin_deflated = deflate_raw(SKIN)
    # Stated sizes smaller than the data: a reader must stop at the stated size.
    write('oversize.zip', raw_zip([
        {'name': 'big.xml', 'data': skin_deflated, 'plain': SKIN, 'method': 8, 'usize': 100},
        {'name': 'stored.txt', 'data': b'0123456789' * 10, 'plain': b'0123456789' * 10, 'usize': 100},
    ]))
    # Stated compressed size beyond the end of the archive.
    write('cutdata.zip', raw_zip([
        {'name': 'cut.xml', 'data': skin_deflated[:40], 'plain': SKIN, 'method': 8,
         'csize': len(skin_deflated)},
    ]))
    # The data ends before the stated size.
    write('short.zip', raw_zip([
        {'name': 'short.xml', 'data': skin_deflated, 'plain': SKIN, 'method': 8, 'usize': len(SKIN) + 50},
    ]))
    # Garbage where the deflated data should be.
    write('garbage.zip', raw_zip([
        {'name': 'garbage.xml', 'data': b'\xff' * 64, 'plain': SKIN, 'method': 8, 'csize': 64},
    ]))
    # A "UT" extra field: modification time 2023-11-14 22:13:20 UTC.
    write('times.zip', raw_zip([
        {'name': 'timed.txt', 'data': b'time', 'extra': struct.pack('<HHBI', 0x5455, 5, 1, 1700000000)},
    ]))
    write('long.zip', zip_bytes([('a' * 255, b'255 characters'), ('b' * 256, b'256 characters')]))
    write('truncated.zip', basic[:len(basic) * 2 // 3])


if __name__ == '__main__':
    main()
