#!/usr/bin/env python3
"""Packs files into a zip archive for the installer's resources.

Every folder gets its own entry, written before the files inside it, because the
installer's unpacker creates a folder only from such an entry. Members are sorted
and carry a fixed timestamp, so the same input always gives the same archive.

Usage: pack-zip.py --output OUT.zip --root DIR [--url-hosts MAP] [ENTRY ...]
  ENTRY     a file or folder relative to DIR (default: everything in DIR)
  --url-hosts MAP
            rewrites the addresses in every UrlInfo.ini (UTF-16LE with byte-order
            mark): each line of MAP is "<shipped prefix> <replacement prefix>", or
            "+ KEY=VALUE" for a key added to every UrlInfo.ini; blank lines and
            lines starting with # are skipped. The download hosts that
            productInfo.ini allows (STR_DOWN_HOSTS) follow the same map: a host of
            a shipped prefix becomes the host of its replacement.
"""
import argparse
import os
import sys
import zipfile

STAMP = (2024, 1, 1, 0, 0, 0)
URL_FILE = 'UrlInfo.ini'
PRODUCT_FILE = 'productInfo.ini'


def read_host_map(path):
    pairs = []
    added = []
    with open(path, encoding='utf-8') as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith('#'):
                continue
            if line.startswith('+'):
                added.append(line[1:].strip())
                continue
            shipped, replacement = line.split()
            pairs.append((shipped, replacement))
    return pairs, added


def rewrite_urls(data, host_map, member):
    pairs, added = host_map
    if not data.startswith(b'\xff\xfe'):
        sys.exit('pack-zip: %s is not UTF-16LE with a byte-order mark' % member)
    text = data[2:].decode('utf-16-le')
    lines = []
    for line in text.split('\r\n'):
        key, sep, value = line.partition('=')
        for shipped, replacement in pairs:
            if sep and value.startswith(shipped):
                value = replacement + value[len(shipped):]
                break
        lines.append(key + sep + value)
    # The files hold the [URL] section alone: new keys go after its last line.
    while lines and not lines[-1]:
        lines.pop()
    lines += added + ['']
    return b'\xff\xfe' + '\r\n'.join(lines).encode('utf-16-le')


def host_of(prefix):
    return prefix.split('://', 1)[-1].split('/', 1)[0].rsplit(':', 1)[0]


def rewrite_download_hosts(data, host_map, member):
    pairs, _ = host_map
    hosts = {host_of(shipped): host_of(replacement) for shipped, replacement in pairs}
    if not data.startswith(b'\xff\xfe'):
        sys.exit('pack-zip: %s is not UTF-16LE with a byte-order mark' % member)
    lines = data[2:].decode('utf-16-le').split('\r\n')
    for i, line in enumerate(lines):
        key, sep, value = line.partition('=')
        if key == 'STR_DOWN_HOSTS' and sep:
            names = [hosts.get(name, name) for name in value.replace(',', ' ').split()]
            lines[i] = key + sep + ','.join(dict.fromkeys(names))
    return b'\xff\xfe' + '\r\n'.join(lines).encode('utf-16-le')


def collect(root, entries):
    """Relative member names: folders end with '/', parents come before children."""
    names = set()
    for entry in entries:
        path = os.path.join(root, entry)
        if not os.path.exists(path):
            sys.exit('pack-zip: %s does not exist' % path)
        if os.path.isdir(path):
            for folder, subfolders, files in os.walk(path):
                relative = os.path.relpath(folder, root).replace(os.sep, '/')
                names.add(relative + '/')
                names.update(relative + '/' + f for f in files)
        else:
            names.add(entry.replace(os.sep, '/'))
    # Every parent folder of a member gets an entry of its own.
    for name in list(names):
        parts = name.rstrip('/').split('/')[:-1]
        for i in range(1, len(parts) + 1):
            names.add('/'.join(parts[:i]) + '/')
    names.discard('./')
    # Sorting by path components puts "A/" before "A/x" and before "A-B/".
    return sorted(names, key=lambda n: (n.rstrip('/').split('/'), not n.endswith('/')))


def main():
    parser = argparse.ArgumentParser(description='Packs an installer resource archive.')
    parser.add_argument('--output', required=True)
    parser.add_argument('--root', required=True)
    parser.add_argument('--url-hosts')
    parser.add_argument('entries', nargs='*')
    args = parser.parse_args()

    host_map = read_host_map(args.url_hosts) if args.url_hosts else None
    entries = args.entries or sorted(os.listdir(args.root))
    temporary = args.output + '.tmp'
    with zipfile.ZipFile(temporary, 'w', zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name in collect(args.root, entries):
            info = zipfile.ZipInfo(name, STAMP)
            if name.endswith('/'):
                info.external_attr = (0o40755 << 16) | 0x10
                info.compress_type = zipfile.ZIP_STORED
                archive.writestr(info, b'')
                continue
            with open(os.path.join(args.root, name), 'rb') as f:
                data = f.read()
            if host_map and os.path.basename(name) == URL_FILE:
                data = rewrite_urls(data, host_map, name)
            if host_map and name == PRODUCT_FILE:
                data = rewrite_download_hosts(data, host_map, name)
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data)
    os.replace(temporary, args.output)


if __name__ == '__main__':
    main()
