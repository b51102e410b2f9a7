#!/usr/bin/env python3
"""Draws the program's icon (a small scope screen with a trace on a phone
line) and writes it as Linoscope3.ico with 16, 32 and 48 pixel images.
Run it again only to change the picture; the .ico is kept in the tree."""
import math
import struct
import sys


def draw(size):
    """Returns rows of (r, g, b, a), top row first."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 32.0
    radius = 5 * s

    def inside_rounded(x, y, x0, y0, x1, y1, r):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    for y in range(size):
        for x in range(size):
            fx, fy = x + 0.5, y + 0.5
            if inside_rounded(fx, fy, 0.5 * s, 0.5 * s, size - 0.5 * s, size - 0.5 * s, radius):
                px[y][x] = (52, 58, 64, 255)  # case
                if inside_rounded(fx, fy, 3 * s, 3 * s, size - 3 * s, size - 3 * s, radius * 0.6):
                    px[y][x] = (12, 40, 24, 255)  # screen
                    # grid every quarter of the screen
                    gx = (fx - 3 * s) / ((size - 6 * s) / 4)
                    gy = (fy - 3 * s) / ((size - 6 * s) / 4)
                    if size >= 32 and (abs(gx - round(gx)) < 0.06 or abs(gy - round(gy)) < 0.06):
                        px[y][x] = (24, 72, 44, 255)
    # the trace: a burst of ringing in the middle of a quiet line
    x0, x1 = 4 * s, size - 4 * s
    mid = size / 2.0
    steps = size * 8
    prev = None
    for i in range(steps + 1):
        fx = x0 + (x1 - x0) * i / steps
        t = (fx - x0) / (x1 - x0)
        env = math.exp(-((t - 0.5) ** 2) / 0.03)
        fy = mid - env * 8.5 * s * math.sin(t * math.pi * 10)
        pts = [(fx, fy)]
        if prev is not None:
            pts.append(((fx + prev[0]) / 2, (fy + prev[1]) / 2))
        prev = (fx, fy)
        for (ax, ay) in pts:
            w = max(0.7, 1.1 * s)
            for y in range(int(ay - 2 * w), int(ay + 2 * w) + 1):
                for x in range(int(ax - 2 * w), int(ax + 2 * w) + 1):
                    if 0 <= x < size and 0 <= y < size and px[y][x][3]:
                        d = math.hypot(x + 0.5 - ax, y + 0.5 - ay)
                        if d <= w:
                            px[y][x] = (120, 255, 140, 255)
    return px


def dib(size, px):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    and_mask = b''
    for row in reversed(px):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bytes(bits)
    return header + xor + and_mask


def main(path):
    sizes = [16, 32, 48]
    images = [dib(n, draw(n)) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'Linoscope3.ico')
