#!/usr/bin/env python3
"""Checks a product data folder before it is packed, and the packed archives.

Usage: check-product-data.py PRODUCT_DIR [--archive ZIP ...] [--packed-limit BYTES]

Every language that language.ini names needs a folder with text.ini and
UrlInfo.ini (UTF-16LE with byte-order mark), pr_1.png to pr_5.png and
install_tips.png. text.ini needs every key of the built-in text table that the
English file has, with the same PRODUCT, BRAND and COLOR placeholders and the same
{c ...}{/c} markup; its optional [FONT] section names the faces for the language's
texts (STR_FONT_FACE, comma-separated, each a face name GDI can take: 1 to 31
characters). UrlInfo.ini needs the download and page addresses, the pages ending
in the language's own name. When productInfo.ini names the download hosts that a
redirect service's answer may lead to (STR_DOWN_HOSTS, host names separated by
commas or blanks), every download address must be on one of them. An archive must
list every folder before the files inside it.
"""
import argparse
import os
import re
import struct
import sys
import zipfile

TEXT_KEYS = ['STR_INSTALL', 'STR_BROWSE', 'STR_LISENCE', 'STR_CUSTOMIZE_INSTALL', 'STR_INSTALL_PATH',
             'STR_SELECT_FOLDER', 'STR_STORAGE', 'STR_PATH_INVALID', 'STR_INSTALLING', 'STR_HIDE',
             'STR_MESSAGEBOX_TITLE', 'STR_NETWORK_ERROR', 'STR_OPERATE_TIP', 'STR_SOFT_RUN', 'STR_INSTALL_FAILED',
             'STR_SOFT_STOP_FAILED', 'STR_CLOSE_TIP1', 'STR_CLOSE_TIP2', 'STR_START', 'STR_PROXY_LOGIN', 'STR_MB',
             # Names screen readers say for the window's minimise and close buttons.
             'STR_MINIMIZE', 'STR_CLOSE']
PRODUCT_KEYS = ['STR_GA_TTTLE', 'STR_PRODUCT_NAME', 'STR_DIR1_NAME', 'STR_DIR2_NAME', 'STR_EXE_NAME',
                'STR_LISENCE_COLOR', 'STR_BRAND_NAME', 'STR_RUN_AS_ADMIN']
URL_KEYS = ['STR_DOWN_URL', 'STR_DOWN_URL_X64', 'STR_LICENCE_URL', 'STR_INSTALL_URL']
PICTURES = ['pr_%d.png' % n for n in range(1, 6)] + ['install_tips.png']
PLACEHOLDERS = ['PRODUCT', 'BRAND', 'COLOR', '{c ', '{/c}']
FONT_KEYS = ['STR_FONT_FACE']
LF_FACESIZE = 32  # GDI's face name buffer, terminator included

problems = []


def problem(text):
    problems.append(text)


def read_ini(path, utf16=True):
    """Sections of an INI file as {section: {key: value}}, in file order."""
    if not os.path.isfile(path):
        problem('%s: missing' % path)
        return {}
    with open(path, 'rb') as f:
        data = f.read()
    if utf16:
        if not data.startswith(b'\xff\xfe'):
            problem('%s: not UTF-16LE with a byte-order mark' % path)
            return {}
        text = data[2:].decode('utf-16-le')
    else:
        try:
            text = data.decode('ascii')
        except UnicodeDecodeError:
            problem('%s: not plain ANSI text' % path)
            return {}
    sections, current = {}, None
    for line in text.split('\r\n'):
        if line.startswith('[') and line.rstrip().endswith(']'):
            current = sections.setdefault(line.strip()[1:-1], {})
        elif line and current is not None:
            key, _, value = line.partition('=')
            current[key] = value
    if '\n' in text.replace('\r\n', ''):
        problem('%s: lines must end with CR LF' % path)
    return sections


def check_png(path):
    with open(path, 'rb') as f:
        head = f.read(24)
    if head[:8] != b'\x89PNG\r\n\x1a\n':
        problem('%s: not a PNG file' % path)
        return None
    return struct.unpack('>II', head[16:24])


HOST_NAME = re.compile(r'^(?!-)[A-Za-z0-9_-]+(\.[A-Za-z0-9_-]+)*$')


def download_hosts(root, product):
    """The allowed download hosts, lower-case; None when the product names none."""
    value = product.get('STR_DOWN_HOSTS')
    if value is None:
        return None
    hosts = value.replace(',', ' ').split()
    if not hosts:
        problem('%s/productInfo.ini: STR_DOWN_HOSTS names no host' % root)
    for host in hosts:
        if not HOST_NAME.match(host):
            problem('%s/productInfo.ini: STR_DOWN_HOSTS: "%s" is no host name' % (root, host))
    return [host.lower() for host in hosts]


def check_font(folder, font):
    if font is None:
        return
    for key in font:
        if key not in FONT_KEYS:
            problem('%s/text.ini: unknown key %s in [FONT]' % (folder, key))
    for face in font.get('STR_FONT_FACE', '').split(','):
        face = face.strip()
        if not face:
            problem('%s/text.ini: STR_FONT_FACE has an empty face name' % folder)
        elif len(face) >= LF_FACESIZE:
            problem('%s/text.ini: the face "%s" is longer than %d characters' % (folder, face, LF_FACESIZE - 1))


def check_language(root, language, english, hosts):
    folder = os.path.join(root, language)
    if not os.path.isdir(folder):
        problem('%s: language.ini names it, but the folder is missing' % folder)
        return
    for picture in PICTURES:
        path = os.path.join(folder, picture)
        if not os.path.isfile(path):
            problem('%s: missing' % path)
            continue
        size = check_png(path)
        if size and picture.startswith('pr_') and size != (650, 260):
            problem('%s: %dx%d, the banner is 650x260' % ((path,) + size))

    sections = read_ini(os.path.join(folder, 'text.ini'))
    check_font(folder, sections.get('FONT'))
    text = sections.get('LANSTR')
    if text is None:
        problem('%s/text.ini: no [LANSTR] section' % folder)
    else:
        for key in text:
            if key not in TEXT_KEYS:
                problem('%s/text.ini: unknown key %s' % (folder, key))
        # English is the reference: it has every key but STR_MB, the others what English has.
        required = [k for k in TEXT_KEYS if k != 'STR_MB'] if language == 'English' else (english or TEXT_KEYS)
        for key in required:
            if key not in text:
                problem('%s/text.ini: %s is missing' % (folder, key))
            elif english and key in english:
                for word in PLACEHOLDERS:
                    if text[key].count(word) != english[key].count(word):
                        problem('%s/text.ini: %s has %d of "%s", English %d' % (
                            folder, key, text[key].count(word), word, english[key].count(word)))
        start = text.get('STR_START', '')
        if ' ' in start:
            problem('%s/text.ini: STR_START keeps its words together with a no-break space' % folder)

    urls = read_ini(os.path.join(folder, 'UrlInfo.ini')).get('URL')
    if urls is None:
        problem('%s/UrlInfo.ini: no [URL] section' % folder)
        return
    name = 'arabic' if language == 'Arabic' else language
    for key in URL_KEYS:
        value = urls.get(key, '')
        if not re.match(r'^https?://[^/]+/', value):
            problem('%s/UrlInfo.ini: %s is no address: "%s"' % (folder, key, value))
    for key in ('STR_DOWN_URL', 'STR_DOWN_URL_X64'):
        match = re.match(r'^https?://([^/:]+)', urls.get(key, ''))
        if hosts is not None and match and match.group(1).lower() not in hosts:
            problem('%s/UrlInfo.ini: %s is on %s, which STR_DOWN_HOSTS does not name' % (
                folder, key, match.group(1)))
    for key, page in (('STR_LICENCE_URL', 'license_agreement'), ('STR_INSTALL_URL', 'installed')):
        if not urls.get(key, '').endswith('/producturl?key=%s&pid=216&lang=%s' % (page, name)):
            problem('%s/UrlInfo.ini: %s must end in "/producturl?key=%s&pid=216&lang=%s"' % (
                folder, key, page, name))


def check_archive(path, limit):
    size = os.path.getsize(path)
    print('%s: %d bytes packed' % (path, size))
    if limit and size > limit:
        problem('%s: %d bytes, more than %d' % (path, size, limit))
    with zipfile.ZipFile(path) as archive:
        seen = set()
        for name in archive.namelist():
            parent = name.rstrip('/').rpartition('/')[0]
            if parent and parent + '/' not in seen:
                problem('%s: %s comes before its folder entry' % (path, name))
            seen.add(name)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('product')
    parser.add_argument('--archive', action='append', default=[])
    parser.add_argument('--packed-limit', type=int, default=0)
    args = parser.parse_args()
    root = args.product

    languages = read_ini(os.path.join(root, 'language.ini'), utf16=False).get('Language', {})
    if not languages:
        problem('%s/language.ini: no languages' % root)
    for identifier in languages:
        if not identifier.isdigit():
            problem('%s/language.ini: "%s" is no language identifier' % (root, identifier))
    product = read_ini(os.path.join(root, 'productInfo.ini')).get('PRODUCT')
    hosts = None
    if product is None:
        problem('%s/productInfo.ini: no [PRODUCT] section' % root)
    else:
        for key in PRODUCT_KEYS:
            if key not in product:
                problem('%s/productInfo.ini: %s is missing' % (root, key))
        hosts = download_hosts(root, product)
    with open(os.path.join(root, 'domain.txt'), 'rb') as f:
        domain = f.read()
    if not domain.endswith(b'\r\n') or len(domain) >= 255 or b'\r\n' in domain[:-2]:
        problem('%s/domain.txt: one line ending in CR LF, shorter than 255 bytes' % root)

    english = None
    if 'English' in languages.values():
        english = read_ini(os.path.join(root, 'English', 'text.ini')).get('LANSTR')
    for language in sorted(set(languages.values())):
        check_language(root, language, english, hosts)
    for archive in args.archive:
        check_archive(archive, args.packed_limit)

    for text in problems:
        print(text)
    print('%s: %d languages checked, %d problems' % (root, len(set(languages.values())), len(problems)))
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
