#!/usr/bin/env python3
"""Draws the control's toolbox bitmap and icon: a small Go board with a black and a white stone.

Writes resources/tavrin.bmp (16 x 15, 4 bpp) and resources/tavrin.ico (32 x 32 and 16 x 16,
4 bpp). The output is committed; run this again only to change the artwork:

    python3 tools/gen-resources/gen_artwork.py [OUTPUT_FOLDER]
"""
import math
import struct
import sys
from pathlib import Path

# Our 16 colours. The toolbox treats the bitmap's silver as transparent.
PALETTE = [
    (0, 0, 0),        # 0 black: stones, icon background under the mask
    (255, 255, 255),  # 1 white stone
    (192, 192, 192),  # 2 silver: toolbox background
    (222, 184, 110),  # 3 board
    (110, 76, 30),    # 4 grid lines and board edge
    (128, 128, 128),  # 5 white stone outline
    (80, 80, 80),     # 6 black stone highlight
    (232, 232, 232),  # 7 white stone shade
] + [(0, 0, 0)] * 8
BLACK, WHITE, SILVER, BOARD, LINE, OUTLINE, HIGHLIGHT, SHADE = range(8)


def stone_pixel(colour, dx, dy, radius):
    """The colour at (dx, dy) from a stone's centre; stones big enough get some shading."""
    shaded = radius > 3
    if colour == BLACK:
        glint = (dx + radius / 2.5) ** 2 + (dy + radius / 2.5) ** 2 < 1.0
        return HIGHLIGHT if shaded and glint else BLACK
    if math.hypot(dx, dy) > radius - (1.0 if shaded else 0.75):
        return OUTLINE
    return SHADE if shaded and dx + dy > radius * 0.8 else WHITE


def draw(width, height, board, lines, stones, background):
    """Pixels (rows top to bottom) and the transparency of each pixel.

    board: (left, top, right, bottom), inclusive; lines: grid positions from the board's
    top-left; stones: (column, row, radius, colour) on grid intersections.
    """
    left, top, right, bottom = board
    pixels = [[background] * width for _ in range(height)]
    clear = [[True] * width for _ in range(height)]
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            corner = x in (left, right) and y in (top, bottom)
            if corner:
                continue  # rounded corners
            edge = x in (left, right) or y in (top, bottom)
            pixels[y][x] = LINE if edge else BOARD
            clear[y][x] = False
    first, last = lines[0], lines[-1]
    for p in lines:
        for q in range(first, last + 1):
            pixels[top + q][left + p] = LINE
            pixels[top + p][left + q] = LINE
    for column, row, radius, colour in stones:
        cx, cy = left + lines[column] + 0.5, top + lines[row] + 0.5
        for y in range(height):
            for x in range(width):
                dx, dy = x + 0.5 - cx, y + 0.5 - cy
                if math.hypot(dx, dy) <= radius:
                    pixels[y][x] = stone_pixel(colour, dx, dy, radius)
                    clear[y][x] = False
    return pixels, clear


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def pixel_rows_4bpp(pixels):
    """Bottom-up rows, two pixels a byte, each row padded to 4 bytes."""
    out = b""
    for row in reversed(pixels):
        data = bytearray()
        for i in range(0, len(row), 2):
            hi = row[i]
            lo = row[i + 1] if i + 1 < len(row) else 0
            data.append(hi << 4 | lo)
        data += b"\0" * (-len(data) % 4)
        out += bytes(data)
    return out


def mask_rows(clear):
    """The AND mask: bottom-up, one bit a pixel (1 = transparent), rows padded to 4 bytes."""
    out = b""
    for row in reversed(clear):
        data = bytearray((len(row) + 7) // 8)
        for x, transparent in enumerate(row):
            if transparent:
                data[x // 8] |= 0x80 >> (x % 8)
        data += b"\0" * (-len(data) % 4)
        out += bytes(data)
    return out


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def bitmap_file(pixels):
    height, width = len(pixels), len(pixels[0])
    bits = pixel_rows_4bpp(pixels)
    offset = 14 + 40 + 16 * 4
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return header + info_header(width, height, len(bits)) + palette_bytes() + bits


def icon_file(images):
    """images: (pixels, clear) pairs, largest first."""
    entries, bodies = b"", b""
    offset = 6 + 16 * len(images)
    for pixels, clear in images:
        height, width = len(pixels), len(pixels[0])
        xor, and_ = pixel_rows_4bpp(pixels), mask_rows(clear)
        # The icon's header counts the XOR and the AND image together: twice the height.
        body = info_header(width, 2 * height, len(xor) + len(and_)) + palette_bytes() + xor + and_
        entries += struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4, len(body), offset)
        bodies += body
        offset += len(body)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + bodies


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2] / "resources"
    toolbox, _ = draw(16, 15, (0, 0, 14, 14), [3, 7, 11],
                      [(1, 1, 2.4, BLACK), (2, 2, 2.4, WHITE)], SILVER)
    big = draw(32, 32, (0, 0, 31, 31), [5, 12, 19, 26],
               [(1, 1, 3.6, BLACK), (2, 2, 3.6, WHITE), (2, 1, 3.6, WHITE)], BLACK)
    small = draw(16, 16, (0, 0, 15, 15), [3, 7, 11],
                 [(1, 1, 2.4, BLACK), (2, 2, 2.4, WHITE)], BLACK)
    (out / "tavrin.bmp").write_bytes(bitmap_file(toolbox))
    (out / "tavrin.ico").write_bytes(icon_file([big, small]))


if __name__ == "__main__":
    main()
