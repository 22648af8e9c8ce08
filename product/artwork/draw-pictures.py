#!/usr/bin/env python3
"""Draws the banner pictures (pr_1.png to pr_5.png) and install_tips.png of every
language folder from captions.txt, with ImageMagick's convert and Pango for the
text (Pango shapes Arabic and Thai and lays Arabic out right to left).

Usage: product/artwork/draw-pictures.py [LANGUAGE ...]   (default: every language)
The pictures are committed; rerun this after changing a caption or the artwork.
"""
import os
import subprocess
import sys
import tempfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
PRODUCT = os.path.dirname(HERE)
CONVERT = '/usr/bin/convert'  # the real ImageMagick; tools/setup installs it

# The banner fills the banner page of the 650 x 360 window above its progress row.
WIDTH, HEIGHT = 650, 260
TIPS_WIDTH, TIPS_HEIGHT = 420, 28
RIGHT_TO_LEFT = {'Arabic'}

# Per picture: background, accent, card colours.
THEMES = [
    ('#1D4E89', '#2F6DB5', '#F3F6FB'),
    ('#0F6E6E', '#1C8C84', '#F2FAF8'),
    ('#4B2E83', '#6A4BA8', '#F6F2FC'),
    ('#A4461D', '#C9652F', '#FDF5EF'),
    ('#2E6B30', '#47904A', '#F3FAF2'),
]


def read_captions():
    captions = {}
    with open(os.path.join(HERE, 'captions.txt'), encoding='utf-8') as f:
        for line in f:
            line = line.rstrip('\n')
            if not line or line.startswith('#'):
                continue
            fields = line.split('\t')
            if len(fields) != 7:
                sys.exit('captions.txt: %s needs 6 captions' % fields[0])
            captions[fields[0]] = fields[1:]
    return captions


def card(x, y, angle, colours, size=(150, 112)):
    """A picture card: white frame, sky, sun and two hills, turned by `angle`."""
    background, accent, paper = colours
    w, h = size
    hw, hh = w // 2, h // 2
    return [
        '-draw', 'translate %d,%d rotate %d fill %s roundrectangle %d,%d %d,%d 8,8'
        % (x, y, angle, paper, -hw, -hh, hw, hh),
        '-draw', 'translate %d,%d rotate %d fill %s rectangle %d,%d %d,%d'
        % (x, y, angle, accent, -hw + 8, -hh + 8, hw - 8, hh - 24),
        '-draw', 'translate %d,%d rotate %d fill %s circle %d,%d %d,%d'
        % (x, y, angle, paper, hw - 34, -hh + 26, hw - 24, -hh + 26),
        '-draw', 'translate %d,%d rotate %d fill %s polygon %d,%d %d,%d %d,%d'
        % (x, y, angle, background, -hw + 8, hh - 24, -hw + 52, -hh + 40, -hw + 96, hh - 24),
        '-draw', 'translate %d,%d rotate %d fill %s polygon %d,%d %d,%d %d,%d'
        % (x, y, angle, background, -hw + 60, hh - 24, -hw + 100, -hh + 56, hw - 8, hh - 24),
    ]


def text_image(text, path, width, size, colour, rtl, bold=True):
    weight = 'bold' if bold else 'normal'
    markup = '<span font_family="Noto Sans" weight="%s" size="%d" foreground="%s">%s</span>' % (
        weight, size * 1024, colour, escape(text))
    subprocess.run([CONVERT, '-background', 'none', '-size', '%dx' % width,
                    '-define', 'pango:align=%s' % ('right' if rtl else 'left'),
                    '-define', 'pango:wrap=word', 'pango:' + markup, path], check=True)


def save(command, path, colours):
    # A small palette keeps every picture at a few kilobytes; no time stamps, so
    # the files only change when the drawing does.
    subprocess.run(command + ['-strip', '-dither', 'None', '-colors', str(colours), '-define', 'png:exclude-chunks=date,time',
                              'PNG8:' + path], check=True)


def draw_banner(index, caption, path, rtl, work):
    colours = THEMES[index]
    background, accent, _ = colours
    text = os.path.join(work, 'caption.png')
    text_image(caption, text, 300, 22, '#FFFFFF', rtl)
    cards_x = 60 if rtl else 420
    text_x = 330 if rtl else 40
    command = [CONVERT, '-size', '%dx%d' % (WIDTH, HEIGHT), 'xc:' + background,
               '-fill', accent, '-draw', 'circle %d,%d %d,%d' % (cards_x + 120, 40, cards_x + 120, 190),
               '-draw', 'circle %d,%d %d,%d' % (cards_x - 60, HEIGHT + 20, cards_x - 60, HEIGHT - 60)]
    command += card(cards_x + 40, 110, -8, colours)
    command += card(cards_x + 110, 150, 6, colours)
    command += [text, '-gravity', 'NorthWest', '-geometry', '+%d+%d' % (text_x, 96), '-composite']
    save(command, path, 48)


def draw_tips(caption, path, rtl, work):
    text = os.path.join(work, 'tips.png')
    text_image(caption, text, TIPS_WIDTH, 10, '#6B7A90', rtl, bold=False)
    command = [CONVERT, '-size', '%dx%d' % (TIPS_WIDTH, TIPS_HEIGHT), 'xc:none', text,
               '-gravity', 'East' if rtl else 'West', '-composite']
    save(command, path, 32)


def main():
    captions = read_captions()
    languages = sys.argv[1:] or sorted(captions)
    with tempfile.TemporaryDirectory() as work:
        for language in languages:
            folder = os.path.join(PRODUCT, language)
            if not os.path.isdir(folder):
                sys.exit('no language folder %s' % folder)
            rtl = language in RIGHT_TO_LEFT
            for index, caption in enumerate(captions[language][:5]):
                draw_banner(index, caption, os.path.join(folder, 'pr_%d.png' % (index + 1)), rtl, work)
            draw_tips(captions[language][5], os.path.join(folder, 'install_tips.png'), rtl, work)
            print('drew', language)


if __name__ == '__main__':
    main()
