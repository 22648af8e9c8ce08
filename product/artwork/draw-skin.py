#!/usr/bin/env python3
"""Draws the images of the installer's skin (product/skin/img) with ImageMagick.

Shapes are drawn at four times their size and scaled down, so small edges and
round corners come out smooth. Every image is drawn for three display densities:
name.png for 96 DPI, name@1.5x.png for 144 DPI and name@2x.png for 192 DPI (the
window picks the one for its scale). The images are committed; rerun this after
changing a colour or a shape here.

Usage: product/artwork/draw-skin.py
"""
import os
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(os.path.dirname(HERE), 'skin', 'img')
CONVERT = '/usr/bin/convert'
SCALE = 4
# Display densities (scale against 96 DPI) and the suffix of their file names.
FACTORS = ((1, ''), (1.5, '@1.5x'), (2, '@2x'))

BRAND = '#337BDD'
BRAND_HOT = '#4489E6'
BRAND_PUSHED = '#2A68BF'
BRAND_DISABLED = '#B5CDEE'
LINE = '#C9D2DE'


def variant(name, suffix):
    stem, extension = os.path.splitext(name)
    return stem + suffix + extension


def pixels(length, factor):
    """A length at a density, rounded as the window rounds the skin's lengths."""
    return int(length * factor + 0.5)


def number(value):
    """A number for ImageMagick: 3 rather than 3.0."""
    return ('%.4f' % value).rstrip('0').rstrip('.')


def render(name, width, height, draws, background='none', extra=lambda factor: []):
    """Draws `draws` (ImageMagick -draw strings in 1x image pixels) into img/<name> and
    its denser variants; extra(factor) adds further arguments before the resize."""
    for factor, suffix in FACTORS:
        scale = SCALE * factor
        args = [CONVERT, '-size', '%dx%d' % (pixels(width, scale), pixels(height, scale)), 'xc:' + background]
        for settings, primitive in draws:
            # The scale applies to stroke widths as well: they are 1x pixels too.
            args += settings + ['-draw', 'scale %s,%s %s' % (number(scale), number(scale), primitive)]
        args += extra(factor)
        args += ['-filter', 'Box', '-resize', '%dx%d!' % (pixels(width, factor), pixels(height, factor)), '-strip',
                 '-define', 'png:exclude-chunks=date,time', 'PNG32:' + os.path.join(OUT, variant(name, suffix))]
        subprocess.run(args, check=True)


def fill(colour, stroke='none', width=1):
    return ['-fill', colour, '-stroke', stroke, '-strokewidth', str(width)]


def button(name, width, height, radius, face, border=None):
    """A nine-patch button face: corners of `radius`, stretched between them."""
    draws = []
    if border:
        draws.append((fill(border), 'roundrectangle 0,0 %g,%g %g,%g' % (width, height, radius, radius)))
        draws.append((fill(face), 'roundrectangle 1,1 %g,%g %g,%g' % (width - 1, height - 1, radius - 1, radius - 1)))
    else:
        draws.append((fill(face), 'roundrectangle 0,0 %g,%g %g,%g' % (width, height, radius, radius)))
    render(name, width, height, draws)


def check_box(name, face, border, tick=None):
    draws = [(fill(border), 'roundrectangle 0,0 14,14 3,3'),
             (fill(face), 'roundrectangle 1,1 13,13 2.2,2.2')]
    if tick:
        draws.append((fill('none', tick, 1.8), 'polyline 3.4,7.2 6,9.8 10.8,4.4'))
    render(name, 14, 14, draws)


def caption_button(name, glyph, background):
    """40 x 32 minimise and close buttons for the blue header."""
    draws = []
    if background:
        draws.append((fill(background), 'rectangle 0,0 40,32'))
    if glyph == 'min':
        draws.append((fill('white'), 'rectangle 15,15.5 25,16.5'))
    else:
        draws.append((fill('none', 'white', 1.1), 'line 15,11 25,21'))
        draws.append((fill('none', 'white', 1.1), 'line 25,11 15,21'))
    render(name, 40, 32, draws)


def logo():
    """The product mark (a photo in a rounded tile) and its name, for the blue header."""
    tile = [
        (fill('white'), 'roundrectangle 0,2 60,62 15,15'),
        (fill(BRAND), 'roundrectangle 13,16 47,48 4,4'),
        (fill('white'), 'circle 38,24.5 38,28.5'),
        (fill('#9CC3F2'), 'polygon 13,48 25,31 33,41 37,36 47,48'),
        (fill('#D6E6FA'), 'polygon 13,48 25,31 30,48'),
    ]
    def name(factor):
        scale = SCALE * factor
        return ['-fill', 'white', '-stroke', 'none', '-font', 'Noto-Sans-Bold', '-pointsize', number(31 * scale),
                '-gravity', 'West', '-annotate', '+%s+%s' % (number(76 * scale), number(-1 * scale)), 'Vantelo Pexar']

    render('logo.png', 312, 64, tile, extra=name)


def header(name, mirrored):
    """The brand area behind the logo: the banner pictures' blue with fainter circles."""
    width, height = 648, 190
    for factor, suffix in FACTORS:
        scale = '' if factor == 1 else 'scale %s,%s ' % (number(factor), number(factor))
        args = [CONVERT, '-size', '%dx%d' % (pixels(width, factor), pixels(height, factor)), 'xc:#1D4E89',
                '-fill', '#2F6DB5A0', '-draw', scale + 'circle 548,24 548,174',
                '-fill', '#2F6DB570', '-draw', scale + 'circle 86,212 86,132']
        if mirrored:
            args.append('-flop')
        args += ['-strip', '-dither', 'None', '-colors', '64', '-define', 'png:exclude-chunks=date,time',
                 'PNG8:' + os.path.join(OUT, variant(name, suffix))]
        subprocess.run(args, check=True)


def progress(name, left, right):
    for factor, suffix in FACTORS:
        size = '%dx%d' % (pixels(64, factor), pixels(6, factor))
        subprocess.run([CONVERT, '-size', size, 'gradient:%s-%s' % (left, right), '-rotate', '-90',
                        '-resize', size + '!', '-strip', '-define', 'png:exclude-chunks=date,time',
                        'PNG32:' + os.path.join(OUT, variant(name, suffix))], check=True)


def main():
    os.makedirs(OUT, exist_ok=True)
    for state, face in (('normal', BRAND), ('hot', BRAND_HOT), ('pushed', BRAND_PUSHED),
                        ('disabled', BRAND_DISABLED)):
        button('btn_primary_%s.png' % state, 24, 46, 6, face)
    button('btn_secondary_normal.png', 16, 30, 4, 'white', LINE)
    button('btn_secondary_hot.png', 16, 30, 4, '#F2F7FE', BRAND)
    button('btn_secondary_pushed.png', 16, 30, 4, '#E3EEFC', BRAND_PUSHED)
    check_box('unchecked.png', 'white', '#A3AFBF')
    check_box('unchecked_hot.png', '#F2F7FE', BRAND)
    check_box('checked.png', BRAND, BRAND, 'white')
    check_box('checked_hot.png', BRAND_HOT, BRAND_HOT, 'white')
    caption_button('min.png', 'min', None)
    caption_button('min_hot.png', 'min', '#FFFFFF26')
    caption_button('close.png', 'close', None)
    caption_button('close_hot.png', 'close', '#E81123')
    logo()
    header('header.png', False)
    header('header_rtl.png', True)
    # Left to right the bar fills with blue over a light track; the right-to-left skin
    # draws the light part as the fore image over a blue track (the value is mirrored).
    progress('progress.png', '#5AA2F2', BRAND)
    progress('progress_rtl.png', '#E4E9F0', '#E4E9F0')


if __name__ == '__main__':
    main()
