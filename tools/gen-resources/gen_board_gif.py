#!/usr/bin/env python3
"""Draws the download windows' animated picture: stones placed one by one on a small Go board.

Writes resources/board.gif, a GIF89a of 145 x 43 pixels with 21 frames: the empty board, then
one small frame per stone (disposal 1, so each stone stays), with delays of 50, 20 and 0
hundredths and a looping application extension. The output is committed; run this again only
to change the artwork:

    python3 tools/gen-resources/gen_board_gif.py [OUTPUT_FOLDER]
"""
import math
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT = 145, 43
PALETTE = [
    (222, 184, 110),  # 0 board
    (110, 76, 30),    # 1 grid lines
    (150, 108, 52),   # 2 board edge
    (0, 0, 0),        # 3 black stone
    (90, 90, 90),     # 4 black stone highlight
    (255, 255, 255),  # 5 white stone
    (200, 200, 200),  # 6 white stone shade
    (120, 120, 120),  # 7 white stone outline
    (140, 100, 45),   # 8 star point
] + [(0, 0, 0)] * 7
BOARD, LINE, EDGE, BLACK, GLINT, WHITE, SHADE, OUTLINE, STAR = range(9)

SPACING = 9
COLUMNS, ROWS = 15, 4
LEFT, TOP = (WIDTH - (COLUMNS - 1) * SPACING) // 2, (HEIGHT - (ROWS - 1) * SPACING) // 2
RADIUS = 4.5
# (column, row) of the stones in the order they are played; black moves first.
MOVES = [(3, 1), (11, 2), (7, 2), (7, 1), (8, 1), (6, 2), (6, 1), (8, 2), (9, 2), (5, 1),
         (2, 2), (12, 1), (4, 2), (10, 1), (9, 1), (10, 2), (13, 2), (1, 1), (5, 2), (11, 1)]
FRAME0_DELAY, STONE_DELAY, QUICK_DELAY, LAST_DELAY = 50, 20, 0, 50


def centre(column, row):
    return LEFT + column * SPACING, TOP + row * SPACING


def empty_board():
    pixels = [[BOARD] * WIDTH for _ in range(HEIGHT)]
    for x in range(WIDTH):
        pixels[0][x] = pixels[HEIGHT - 1][x] = EDGE
    for y in range(HEIGHT):
        pixels[y][0] = pixels[y][WIDTH - 1] = EDGE
    first_x, last_x = centre(0, 0)[0], centre(COLUMNS - 1, 0)[0]
    first_y, last_y = centre(0, 0)[1], centre(0, ROWS - 1)[1]
    for c in range(COLUMNS):
        x = centre(c, 0)[0]
        for y in range(first_y, last_y + 1):
            pixels[y][x] = LINE
    for r in range(ROWS):
        y = centre(0, r)[1]
        for x in range(first_x, last_x + 1):
            pixels[y][x] = LINE
    for c in (3, 7, 11):  # star points
        x, y = centre(c, 1)
        for dx, dy in ((-1, -1), (1, -1), (-1, 1), (1, 1)):
            pixels[y + dy][x + dx] = STAR
    return pixels


def place_stone(pixels, column, row, black):
    cx, cy = centre(column, row)
    for y in range(cy - 4, cy + 5):
        for x in range(cx - 4, cx + 5):
            dx, dy = x - cx, y - cy
            d = math.hypot(dx, dy)
            if d > RADIUS:
                continue
            if black:
                glint = math.hypot(dx + 1.8, dy + 1.8) < 1.3
                pixels[y][x] = GLINT if glint else BLACK
            elif d > RADIUS - 0.8:
                pixels[y][x] = OUTLINE
            else:
                pixels[y][x] = SHADE if dx + dy > 2.5 else WHITE


def lzw(indices, min_size):
    """GIF LZW: variable code width, a clear code first and whenever the table is full."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code, width):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    def fresh():
        return {(i,): i for i in range(clear)}, end + 1, min_size + 1

    table, next_code, width = fresh()
    emit(clear, width)
    word = (indices[0],)
    for k in indices[1:]:
        longer = word + (k,)
        if longer in table:
            word = longer
            continue
        emit(table[word], width)
        if next_code == 4096:
            emit(clear, width)
            table, next_code, width = fresh()
        else:
            table[longer] = next_code
            # The decoder learns this entry one code later: widen once it needs the bit.
            if next_code == (1 << width) and width < 12:
                width += 1
            next_code += 1
        word = (k,)
    emit(table[word], width)
    emit(end, width)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def unlzw(data, min_size, count):
    """The decoder, to check the encoder against."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    pos, bits, nbits = 0, 0, 0
    table, width, prev, out = None, 0, None, []

    def reset():
        return [(i,) for i in range(clear)] + [None, None], min_size + 1

    table, width = reset()
    while True:
        while nbits < width:
            bits |= data[pos] << nbits
            pos += 1
            nbits += 8
        code = bits & ((1 << width) - 1)
        bits >>= width
        nbits -= width
        if code == clear:
            table, width = reset()
            prev = None
            continue
        if code == end:
            break
        if prev is None:
            entry = table[code]
        else:
            entry = table[code] if code < len(table) else prev + prev[:1]
            table.append(prev + entry[:1])
            if len(table) == (1 << width) and width < 12:
                width += 1
        out.extend(entry)
        prev = entry
    assert len(out) == count, (len(out), count)
    return out


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        out += bytes([len(chunk)]) + chunk
    return bytes(out + b"\0")


def image(pixels, x, y, w, h, delay):
    indices = [pixels[row][col] for row in range(y, y + h) for col in range(x, x + w)]
    min_size = 4
    data = lzw(indices, min_size)
    assert unlzw(data, min_size, len(indices)) == indices
    control = b"\x21\xF9\x04" + struct.pack("<BHBB", 1 << 2, delay, 0, 0)  # disposal 1
    descriptor = b"\x2C" + struct.pack("<HHHHB", x, y, w, h, 0)
    return control + descriptor + bytes([min_size]) + sub_blocks(data)


def build():
    out = bytearray(b"GIF89a")
    # Global colour table of 16 entries, 8 bits per primary.
    out += struct.pack("<HHBBB", WIDTH, HEIGHT, 0x80 | 0x70 | 3, BOARD, 0)
    for r, g, b in PALETTE:
        out += bytes((r, g, b))
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"  # loop for ever
    pixels = empty_board()
    out += image(pixels, 0, 0, WIDTH, HEIGHT, FRAME0_DELAY)
    for n, (column, row) in enumerate(MOVES):
        place_stone(pixels, column, row, black=n % 2 == 0)
        cx, cy = centre(column, row)
        if n == len(MOVES) - 1:
            delay = LAST_DELAY
        elif n % 3 == 2:
            delay = QUICK_DELAY
        else:
            delay = STONE_DELAY
        out += image(pixels, cx - 4, cy - 4, 9, 9, delay)
    out += b"\x3B"
    return bytes(out)


def main():
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else \
        Path(__file__).resolve().parents[2] / "resources"
    assert len(set(MOVES)) == len(MOVES)
    data = build()
    (folder / "board.gif").write_bytes(data)
    print(f"board.gif: {len(data)} bytes, {1 + len(MOVES)} frames")


if __name__ == "__main__":
    main()
