#!/usr/bin/env python3
"""Draw a black-and-white text picture into a 4-bit Windows bitmap.

    make_glyph_bitmap.py [--size WxH] PICTURE OUTPUT

PICTURE holds one line per pixel row, top row first: '#' is a black pixel,
'.' a white one. Lines starting with ';' and empty lines are skipped. All
rows must be equally long. With --size the picture must have exactly that
width and height, so that a changed picture cannot silently break the code
that cuts the bitmap into images of a fixed size.

OUTPUT is a .bmp file as the resource compiler expects it: BITMAPFILEHEADER,
a 40-byte BITMAPINFOHEADER, 4 bits per pixel with the 16-colour VGA palette,
rows bottom-up, each padded to a multiple of 4 bytes.
"""

import argparse
import struct
import sys

BLACK_PIXEL = "#"
WHITE_PIXEL = "."
COMMENT = ";"

# The standard 16-colour palette in the order Windows uses for 4-bit
# bitmaps, as (red, green, blue).
VGA_PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK_INDEX = 0
WHITE_INDEX = 15

FILE_HEADER_SIZE = 14
INFO_HEADER_SIZE = 40
BITS_PER_PIXEL = 4


class PictureError(Exception):
    pass


def read_picture(path):
    """Return the picture's rows as lists of palette indices, top row first."""
    rows = []
    with open(path, encoding="utf-8") as picture:
        for number, line in enumerate(picture, start=1):
            line = line.rstrip("\r\n")
            if not line or line.startswith(COMMENT):
                continue
            row = []
            for column, pixel in enumerate(line, start=1):
                if pixel == BLACK_PIXEL:
                    row.append(BLACK_INDEX)
                elif pixel == WHITE_PIXEL:
                    row.append(WHITE_INDEX)
                else:
                    raise PictureError(f"{path}:{number}:{column}: {pixel!r} is neither "
                                       f"'{BLACK_PIXEL}' nor '{WHITE_PIXEL}'")
            if rows and len(row) != len(rows[0]):
                raise PictureError(f"{path}:{number}: row is {len(row)} pixels wide, "
                                   f"the first row {len(rows[0])}")
            rows.append(row)
    if not rows:
        raise PictureError(f"{path}: no pixel rows")
    return rows


def encode_bmp(rows):
    """Return the bytes of a 4-bit bottom-up BMP file showing rows."""
    width = len(rows[0])
    height = len(rows)
    stride = (width * BITS_PER_PIXEL + 31) // 32 * 4
    pixels = bytearray()
    for row in reversed(rows):
        packed = bytearray(stride)
        for x, index in enumerate(row):
            # The left pixel of each pair goes into the high nibble.
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
        pixels += packed
    palette = b"".join(struct.pack("<BBBB", blue, green, red, 0)
                       for red, green, blue in VGA_PALETTE)
    bits_offset = FILE_HEADER_SIZE + INFO_HEADER_SIZE + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", bits_offset + len(pixels), 0, 0, bits_offset)
    info_header = struct.pack(
        "<IiiHHIIiiII",
        INFO_HEADER_SIZE,
        width,
        height,             # positive: rows are stored bottom-up
        1,                  # planes
        BITS_PER_PIXEL,
        0,                  # BI_RGB, no compression
        len(pixels),
        0, 0,               # no preferred resolution
        len(VGA_PALETTE),   # colours used
        0)                  # all colours important
    return file_header + info_header + palette + bytes(pixels)


def parse_size(text):
    try:
        width, height = (int(part) for part in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not WIDTHxHEIGHT")
    return width, height


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=parse_size, help="required size as WIDTHxHEIGHT")
    parser.add_argument("picture")
    parser.add_argument("output")
    arguments = parser.parse_args()
    try:
        rows = read_picture(arguments.picture)
    except (OSError, PictureError) as error:
        print(f"make_glyph_bitmap: {error}", file=sys.stderr)
        return 1
    size = (len(rows[0]), len(rows))
    if arguments.size and size != arguments.size:
        print(f"make_glyph_bitmap: {arguments.picture} is {size[0]}x{size[1]} pixels, "
              f"expected {arguments.size[0]}x{arguments.size[1]}", file=sys.stderr)
        return 1
    with open(arguments.output, "wb") as output:
        output.write(encode_bmp(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
