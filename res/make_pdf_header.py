#!/usr/bin/env python3
"""Writes pdf_header.png, the plain default header of PDF pages: a white band as wide as an
A4 page in points (595) with a thin grey rule above where the text begins."""
import struct
import sys
import zlib

WIDTH, HEIGHT = 595, 64
RULE_TOP, RULE_ROWS = 56, 2          # rows of the rule
RULE_LEFT, RULE_RIGHT = 40, 555      # columns of the rule
WHITE, GREY = (255, 255, 255), (128, 128, 128)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def row(y):
    on_rule = RULE_TOP <= y < RULE_TOP + RULE_ROWS
    pixels = bytearray()
    for x in range(WIDTH):
        pixels += bytes(GREY if on_rule and RULE_LEFT <= x < RULE_RIGHT else WHITE)
    return b"\x00" + bytes(pixels)  # filter type 0 for every row


def main(path):
    raw = b"".join(row(y) for y in range(HEIGHT))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "pdf_header.png")
