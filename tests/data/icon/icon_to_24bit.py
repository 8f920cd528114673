#!/usr/bin/env python3
"""Rewrites the 32-bit entries of an icon written by ImageMagick as 24-bit entries.

ImageMagick 6 writes every full-colour icon entry with 32 bits a pixel: the colour, an alpha
byte and the AND mask, with the picture's colour kept under the mask. A 24-bit entry is the same
picture without the alpha byte, so the mask alone says what is transparent. Each colour row is
re-padded to four bytes; the mask and every other entry are copied as they are.

    icon_to_24bit.py IN.ico OUT.ico
"""
import struct
import sys


def entry_to_24(dib):
    (header, width, height, planes, bits, compression) = struct.unpack_from("<IiiHHI", dib, 0)
    if header != 40 or bits != 32 or compression != 0:
        return dib
    rows = height // 2
    old_stride = width * 4
    new_stride = (width * 3 + 3) // 4 * 4
    pixels = dib[header:header + old_stride * rows]
    mask = dib[header + old_stride * rows:]
    out = bytearray(dib[:header])
    struct.pack_into("<H", out, 14, 24)
    struct.pack_into("<I", out, 20, new_stride * rows)  # image size
    for y in range(rows):
        row = pixels[y * old_stride:(y + 1) * old_stride]
        packed = b"".join(row[x * 4:x * 4 + 3] for x in range(width))
        out += packed + bytes(new_stride - len(packed))
    return bytes(out + mask)


def main(source, target):
    data = open(source, "rb").read()
    (_, kind, count) = struct.unpack_from("<HHH", data, 0)
    entries = []
    for i in range(count):
        (w, h, colours, reserved, planes, bits, size, offset) = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        dib = entry_to_24(data[offset:offset + size])
        entries.append((w, h, colours, reserved, planes, 24 if bits == 32 else bits, dib))
    out = bytearray(struct.pack("<HHH", 0, kind, count))
    offset = 6 + 16 * count
    for (w, h, colours, reserved, planes, bits, dib) in entries:
        out += struct.pack("<BBBBHHII", w, h, colours, reserved, planes, bits, len(dib), offset)
        offset += len(dib)
    for entry in entries:
        out += entry[-1]
    open(target, "wb").write(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
