#!/usr/bin/env python3
"""Draws the download window's busy clip: Go stones flowing along an arc into a wooden bowl.

Writes resources/bowl.avi: 31 frames of 272 x 60 pixels, 8 bits per pixel compressed with
RLE8 (every frame a key frame), 66,667 microseconds per frame, one video stream and no sound,
as the common animation control plays it. The top-left pixel is background: with
ACS_TRANSPARENT the control shows the dialog through that colour. The output is committed;
run this again only to change the artwork:

    python3 tools/gen-resources/gen_bowl_avi.py [OUTPUT_FOLDER]
"""
import math
import struct
import sys
from pathlib import Path

WIDTH, HEIGHT, FRAMES = 272, 60, 31
MICROSECONDS_PER_FRAME = 66667
PALETTE = [
    (236, 233, 216),  # 0 background (transparent in the control)
    (0, 0, 0),        # 1 black stone
    (95, 95, 95),     # 2 black stone highlight
    (255, 255, 255),  # 3 white stone
    (196, 196, 196),  # 4 white stone shade
    (118, 118, 118),  # 5 white stone outline
    (150, 96, 40),    # 6 bowl
    (110, 66, 24),    # 7 bowl shadow
    (190, 132, 64),   # 8 bowl rim
    (60, 36, 12),     # 9 bowl opening
]
BG, BLACK, GLINT, WHITE, SHADE, OUTLINE, BOWL, BOWL_DARK, RIM, INSIDE = range(10)

BOWL_CX, BOWL_TOP, BOWL_RX, BOWL_DEPTH = 226, 30, 34, 26
START = (18, 50)
STONES_IN_FLIGHT = 5
RADIUS = 5.5


def bowl(pixels):
    for y in range(BOWL_TOP, min(HEIGHT, BOWL_TOP + BOWL_DEPTH + 1)):
        t = (y - BOWL_TOP) / BOWL_DEPTH
        half = BOWL_RX * math.sqrt(max(0.0, 1 - t * t))
        for x in range(int(BOWL_CX - half), int(BOWL_CX + half) + 1):
            shade = x > BOWL_CX + half * 0.35
            pixels[y][x] = BOWL_DARK if shade else BOWL
    # The opening: a flat ellipse with a light rim.
    for y in range(BOWL_TOP - 5, BOWL_TOP + 6):
        for x in range(BOWL_CX - BOWL_RX - 1, BOWL_CX + BOWL_RX + 2):
            e = ((x - BOWL_CX) / (BOWL_RX + 1)) ** 2 + ((y - BOWL_TOP) / 5.5) ** 2
            if e <= 1.0:
                pixels[y][x] = INSIDE if e < 0.62 else RIM


def stone(pixels, cx, cy, black, clip_top=None):
    for y in range(int(cy - RADIUS) - 1, int(cy + RADIUS) + 2):
        for x in range(int(cx - RADIUS) - 1, int(cx + RADIUS) + 2):
            if not (0 <= x < WIDTH and 0 <= y < HEIGHT):
                continue
            if clip_top is not None and y > clip_top:
                continue  # hidden by the bowl's near rim
            dx, dy = x + 0.5 - cx, y + 0.5 - cy
            d = math.hypot(dx, dy)
            if d > RADIUS:
                continue
            if black:
                glint = math.hypot(dx + 2.2, dy + 2.2) < 1.5
                pixels[y][x] = GLINT if glint else BLACK
            elif d > RADIUS - 1.0:
                pixels[y][x] = OUTLINE
            else:
                pixels[y][x] = SHADE if dx + dy > 3.0 else WHITE


def path(t):
    """From the start on the left along a high arc down into the bowl's opening."""
    x0, y0 = START
    x1, y1 = BOWL_CX - 6, BOWL_TOP + 2
    x = x0 + (x1 - x0) * t
    y = y0 + (y1 - y0) * t - 44 * t * (1 - t)
    return x, y


def frame(n):
    pixels = [[BG] * WIDTH for _ in range(HEIGHT)]
    bowl(pixels)
    # A few stones resting in the bowl, peeking over the rim.
    for i, (dx, black) in enumerate(((-14, True), (-2, False), (10, True), (20, False))):
        stone(pixels, BOWL_CX + dx, BOWL_TOP - 1 + (i % 2), black, clip_top=BOWL_TOP - 1)
    for k in range(STONES_IN_FLIGHT):
        t = (n / FRAMES + k / STONES_IN_FLIGHT) % 1.0
        x, y = path(t)
        # Stones sink into the opening over the last part of the way.
        clip = BOWL_TOP if t > 0.85 else None
        stone(pixels, x, y, black=k % 2 == 0, clip_top=clip)
    return pixels


def rle8(pixels):
    """Encoded runs only; rows bottom-up, each closed by end-of-line, the last by end-of-bitmap."""
    out = bytearray()
    for row in reversed(pixels):
        x = 0
        while x < WIDTH:
            run = 1
            while x + run < WIDTH and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes((run, row[x]))
            x += run
        out += b"\x00\x00"
    out[-2:] = b"\x00\x01"
    return bytes(out)


def unrle8(data):
    """The decoder, to check the encoder against."""
    rows, row, pos = [], [], 0
    while True:
        count, value = data[pos], data[pos + 1]
        pos += 2
        if count:
            row += [value] * count
        elif value in (0, 1):
            rows.append(row)
            row = []
            if value == 1:
                break
        else:
            raise ValueError("escape not used by the encoder")
    return list(reversed(rows))


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, body):
    return kind + struct.pack("<I", len(body) + 4) + fourcc + body


def build():
    frames = []
    for n in range(FRAMES):
        pixels = frame(n)
        data = rle8(pixels)
        assert unrle8(data) == pixels
        frames.append(data)
    largest = max(len(f) for f in frames)
    # Each frame's chunk padded to an even size: a buffer of this size holds any of them.
    buffer_size = largest + largest % 2

    avih = struct.pack("<10I4I", MICROSECONDS_PER_FRAME,
                       buffer_size * 1000000 // MICROSECONDS_PER_FRAME, 0,
                       0x10,  # AVIF_HASINDEX
                       FRAMES, 0, 1, buffer_size, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = (b"vids" + b"RLE " +
            struct.pack("<IHHIIIIIIiI", 0, 0, 0, 0, MICROSECONDS_PER_FRAME, 1000000, 0,
                        FRAMES, buffer_size, -1, 0) +
            struct.pack("<4h", 0, 0, WIDTH, HEIGHT))
    strf = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1,  # BI_RLE8
                       buffer_size, 0, 0, len(PALETTE), len(PALETTE))
    strf += b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) +
                     riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))

    movi_body, index, offset = bytearray(), bytearray(), 4  # offsets from the 'movi' fourcc
    for data in frames:
        index += b"00dc" + struct.pack("<III", 0x10, offset, len(data))  # AVIIF_KEYFRAME
        piece = chunk(b"00dc", data)
        movi_body += piece
        offset += len(piece)
    movi = riff_list(b"LIST", b"movi", bytes(movi_body))
    return riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", bytes(index)))


def main():
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else \
        Path(__file__).resolve().parents[2] / "resources"
    data = build()
    (folder / "bowl.avi").write_bytes(data)
    print(f"bowl.avi: {len(data)} bytes, {FRAMES} frames")


if __name__ == "__main__":
    main()
