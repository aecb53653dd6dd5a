#!/usr/bin/env python3
"""Draws the two bundle pictures into resources/ (run once; the PNGs are committed)."""
import math, struct, zlib, os

def png(path, w, h, pixel):
    rows = b''
    for y in range(h):
        rows += b'\x00' + b''.join(bytes(pixel(x, y)) for x in range(w))
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0))
    data += chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b'')
    open(path, 'wb').write(data)

def supersample(inside, x, y, n=4):
    hits = sum(inside(x + (i + .5) / n, y + (j + .5) / n) for i in range(n) for j in range(n))
    return hits / (n * n)

def gear(px, py):
    cx = cy = 12.0
    dx, dy = px - cx, py - cy
    r = math.hypot(dx, dy)
    a = math.atan2(dy, dx)
    teeth = 8
    tooth = (math.cos(a * teeth) > 0.25)
    outer = 10.5 if tooth else 8.2
    return r <= outer and r >= 3.4

def gear_pixel(x, y):
    c = supersample(gear, x, y)
    return (60, 60, 66, int(255 * c))

def icon_pixel(x, y):
    # a rounded square with a dark-to-teal gradient and a white swirl of a waveform
    def square(px, py):
        m, rad = 4, 18
        qx = min(max(px, m + rad), 100 - m - rad)
        qy = min(max(py, m + rad), 100 - m - rad)
        return math.hypot(px - qx, py - qy) <= rad
    cover = supersample(square, x, y, 3)
    if cover == 0:
        return (0, 0, 0, 0)
    t = y / 100
    bg = (int(30 + 20 * t), int(40 + 110 * t), int(70 + 90 * t))
    def wave(px, py):
        yy = 50 + 22 * math.sin((px - 14) / 72 * 2.5 * math.pi) * math.exp(-((px - 50) / 40) ** 2)
        return 14 <= px <= 86 and abs(py - yy) <= 3.2
    def ring(px, py):
        return 4 <= math.hypot(px - 74, py - 74) <= 7.5
    w = supersample(lambda a, b: wave(a, b) or ring(a, b), x, y, 3)
    col = tuple(int(bg[i] * (1 - w) + 250 * w) for i in range(3))
    return col + (int(255 * cover),)

here = os.path.join(os.path.dirname(__file__), '..', 'resources')
png(os.path.join(here, 'monotone_cog_settings_gear.png'), 24, 24, gear_pixel)
png(os.path.join(here, 'Quirlomatic Icon klein.png'), 100, 100, icon_pixel)
