#!/usr/bin/env python3
"""bmp2png.py IN.bmp OUT.png: converts a 24-bit bottom-up BMP to PNG (standard library only)."""
import struct
import sys
import zlib


def main(src, dst):
    data = open(src, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24:
        sys.exit("only 24-bit bitmaps")
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src_row = height - 1 - y if height > 0 else y
        row = data[offset + src_row * stride: offset + src_row * stride + width * 3]
        # BMP rows are BGR; PNG rows start with a filter byte (0: none) and are RGB.
        rows.append(b"\0" + b"".join(row[i:i + 3][::-1] for i in range(0, width * 3, 3)))
    raw = b"".join(rows)

    def chunk(kind, payload):
        body = kind + payload
        return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    open(dst, "wb").write(png)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
