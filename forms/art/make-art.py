#!/usr/bin/env python3
"""Draws the installer's artwork: the window icon (32 x 32, 16 colours), the
side picture of the Welcome and Success pages (80 x 245, 256 colours) and the
header picture of the inner pages (49 x 49, 51 colours). Both pictures are
stored run-length encoded (BI_RLE8), which every Windows draws as it stands:
Setup.exe carries the side picture twice and the header four times, so each
byte saved here counts several times. Deterministic: the committed files are
its output, and running it again reproduces them."""
import math
import struct
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent

# The 16-colour palette of the icon (the standard VGA colours), as (r, g, b).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def shield(x, y, size):
    """True inside a shield outline of the given size, centred in the square."""
    cx = (size - 1) / 2
    nx = (x - cx) / (size / 2)
    ny = y / size
    if ny < 0.08 or ny > 0.95:
        return False
    if ny < 0.55:
        return abs(nx) < 0.82
    return abs(nx) < 0.82 * (1 - (ny - 0.55) / 0.42)


def check_mark(x, y, size):
    """A check mark stroke inside the shield."""
    u, v = x / size, y / size
    d1 = abs((v - 0.55) - (u - 0.32)) if 0.30 <= u <= 0.46 else 9
    d2 = abs((v - 0.70) + (u - 0.46) * 1.25) if 0.45 <= u <= 0.72 else 9
    return min(d1, d2) < 0.065


def icon_16():
    size = 32
    # Indices into VGA: navy shield, white check, transparent outside.
    rows = []
    mask_rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        pixels = []
        mask_bits = []
        for x in range(size):
            inside = shield(x, y, size)
            if not inside:
                pixels.append(0)
                mask_bits.append(1)
            elif check_mark(x, y, size):
                pixels.append(15)
                mask_bits.append(0)
            elif shield(x - 1, y, size) and shield(x + 1, y, size) and y > 3:
                pixels.append(12 if y < 16 else 4)
                mask_bits.append(0)
            else:
                pixels.append(14)
                mask_bits.append(0)
        row = bytearray()
        for i in range(0, size, 2):
            row.append((pixels[i] << 4) | pixels[i + 1])
        rows.append(bytes(row))
        mask = bytearray()
        for i in range(0, size, 8):
            b = 0
            for bit in range(8):
                b = (b << 1) | mask_bits[i + bit]
            mask.append(b)
        mask_rows.append(bytes(mask) + b"\0" * (4 - len(mask) % 4 if len(mask) % 4 else 0))
    xor = b"".join(rows)
    andmask = b"".join(mask_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(xor) + len(andmask),
                         0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in VGA)
    image = header + palette + xor + andmask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4,
                                                          len(image), 22)
    return directory + image


def rle8_row(row):
    """One row in BI_RLE8: runs of equal pixels as (count, index), stretches
    of three or more differing pixels in absolute mode, then end of line."""
    out = bytearray()
    i = 0
    literal = bytearray()

    def flush():
        # Absolute mode needs at least three pixels; fewer go as runs of one.
        if len(literal) >= 3:
            out.extend((0, len(literal)))
            out.extend(literal)
            if len(literal) % 2:
                out.append(0)
        else:
            for p in literal:
                out.extend((1, p))
        literal.clear()

    while i < len(row):
        run = 1
        while i + run < len(row) and row[i + run] == row[i] and run < 255:
            run += 1
        if run >= 2:
            flush()
            out.extend((run, row[i]))
        else:
            literal.append(row[i])
            if len(literal) == 255:
                flush()
        i += run
    flush()
    out.extend((0, 0))
    return bytes(out)


def bmp_file(width, height, palette, pixel_rows):
    """A 256-colour run-length encoded bitmap file from bottom-up rows of
    palette indices."""
    data = b"".join(rle8_row(r) for r in pixel_rows)[:-2] + b"\0\1"  # last EOL -> end
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data), 2835, 2835,
                       len(palette), 0)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + pal + data


def side_picture():
    width, height = 80, 245
    # 256 colours: a blue-to-black ramp, then a white-to-cyan ramp for waves.
    palette = [(0, 0, min(255, 64 + i)) if i < 192 else (0, 0, 0) for i in range(192)]
    palette += [(min(255, 128 + 2 * i), min(255, 180 + i), 255) for i in range(64)]
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            top = y
            index = int(191 * (1 - top / height))
            wave = 40 + 18 * math.sin(top / 19.0) + 10 * math.sin(top / 7.0 + 1.3)
            if abs(x - wave) < 2.5 or abs(x - (wave + 14)) < 1.2:
                index = 192 + min(63, int(63 * top / height))
            if shield(x - 16, top - 170, 48) and 170 <= top < 218:
                index = 255 if check_mark(x - 16, top - 170, 48) else 200
            row.append(index)
        rows.append(bytes(row))
    return bmp_file(width, height, palette, rows)


def header_picture():
    size = 49
    palette = [(255, 255, 255)]
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        top = y
        for x in range(size):
            if shield(x, top, size):
                if check_mark(x, top, size):
                    r, g, b = 255, 255, 255
                else:
                    t = top / size
                    r, g, b = 0, int(60 + 80 * (1 - t)), int(255 - 120 * t)
            else:
                r, g, b = 255, 255, 255
            if (r, g, b) not in palette:
                palette.append((r, g, b))
            row.append(palette.index((r, g, b)))
        rows.append(bytes(row))
    return bmp_file(size, size, palette, rows)


def main():
    outputs = {
        "quolvex.ico": icon_16(),
        "side.bmp": side_picture(),
        "header.bmp": header_picture(),
    }
    for name, data in outputs.items():
        (HERE / name).write_bytes(data)
        print(f"{name}: {len(data)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
