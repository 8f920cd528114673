#!/usr/bin/python3
"""Builds hostile picture files and measures `dotwright convert` on each.

Each file is built in a scratch folder (zeros left as holes of a sparse file, so the disk holds
little), converted to a 320 x 240 array three times, and removed. For every run the script prints
the outcome (loaded, or refused with the program's message), the wall time and the peak resident
memory of the process (ru_maxrss); for every file, the medians against the targets: at most 1 s,
and at most the raster the file decodes to plus 100 MB. Standard library only.

  /usr/bin/python3 bench/hostile_files.py [--dotwright build/app/dotwright] [--runs 3]
      [--timeout 120] [--only SUBSTRING] [--dir FOLDER] [--keep]

The exit status is 1 when a file missed a target.
"""

import argparse
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

MB = 1000 * 1000
MIB = 1 << 20
TIME_TARGET = 1.0  # seconds, load plus drawing into 320 x 240
MEMORY_HEADROOM = 100 * MB  # over the decoded raster
# What a metafile decodes to: the drawing at 320 x 240. Its file is not counted: a metafile
# loaded from a file plays from the file, which it keeps open, not from its bytes held in memory.
VIEW_RASTER = 320 * 240 * 4


# --- Enhanced metafiles ------------------------------------------------------------------------

EMR_HEADER, EMR_EOF, EMR_SELECTOBJECT = 1, 14, 37
EMR_EXTCREATEFONTINDIRECTW, EMR_EXTTEXTOUTW, EMR_POLYPOLYGON16 = 82, 84, 91


def emf_header(total_bytes, records, handles=1):
    """The 88-byte header of an EMF whose frame is 320 x 240 reference pixels."""
    device, millimetres = (1024, 768), (270, 203)
    frame = (0, 0, 320 * 27000 // 1024, 240 * 20300 // 768)  # hundredths of a millimetre
    return struct.pack("<II4i4iIIIIHHIIIiiii", EMR_HEADER, 88, 0, 0, 319, 239, *frame,
                       0x464D4520, 0x10000, total_bytes, records, handles, 0, 0, 0, 0,
                       *device, *millimetres)


def emf_eof():
    return struct.pack("<IIIII", EMR_EOF, 20, 0, 16, 20)


def build_emf_polypolygon(path):
    """One EMR_POLYPOLYGON16 of 64 million polygons of no points: 256 MB of zero counts."""
    polys = 64 << 20
    record = 8 + 16 + 8 + 4 * polys
    total = 88 + record + 20
    with open(path, "wb") as f:
        f.write(emf_header(total, 3))
        f.write(struct.pack("<II4iII", EMR_POLYPOLYGON16, record, 0, 0, 319, 239, polys, 0))
        f.seek(4 * polys, os.SEEK_CUR)  # the counts, all 0: a hole
        f.write(emf_eof())
    return VIEW_RASTER


def build_emf_text(path):
    """A font 2,500 units wide selected, then one million EMR_EXTTEXTOUTW records."""
    face = "Arial".encode("utf-16-le").ljust(64, b"\0")
    logfont = struct.pack("<iiiiiBBBBBBBB", -2500, 2500, 0, 0, 400, 0, 0, 0, 1, 0, 0, 0, 0) + face
    font = struct.pack("<III", EMR_EXTCREATEFONTINDIRECTW, 12 + len(logfont), 1) + logfont
    select = struct.pack("<III", EMR_SELECTOBJECT, 12, 1)
    text = "Wide".encode("utf-16-le")
    size = 8 + 68 + len(text)
    record = struct.pack("<II4iIff2iIII4iI", EMR_EXTTEXTOUTW, size, 0, 0, -1, -1, 1, 0.0, 0.0,
                         10, 10, len(text) // 2, 76, 0, 0, 0, 0, 0, 0) + text
    count = 1000 * 1000
    total = 88 + len(font) + len(select) + count * size + 20
    with open(path, "wb") as f:
        f.write(emf_header(total, count + 4, 2))
        f.write(font + select)
        block = record * 10000
        for _ in range(count // 10000):
            f.write(block)
        f.write(emf_eof())
    return VIEW_RASTER


# --- Windows metafiles -------------------------------------------------------------------------

META_EOF, META_SETBKMODE, META_CREATEREGION = 0x0000, 0x0102, 0x06FF


def wmf_headers(total_words, max_record_words, placeable):
    """The placeable header (a 320 x 240 frame at 96 units an inch) when asked, then the WMF
    header."""
    out = b""
    if placeable:
        words = struct.pack("<IHhhhhHI", 0x9AC6CDD7, 0, 0, 0, 320, 240, 96, 0)
        checksum = 0
        for (w,) in struct.iter_unpack("<H", words):
            checksum ^= w
        out = words + struct.pack("<H", checksum)
    return out + struct.pack("<HHHIHIH", 1, 9, 0x0300, total_words, 1, max_record_words, 0)


def build_wmf_region(path, placeable):
    """One META_CREATEREGION of 2048 scans of 32,767 rectangles each: 67 million rectangles."""
    scans, pairs = 2048, 32767
    scan = struct.pack("<Hhh", 2 * pairs, 0, 1) + struct.pack("<hh", 0, 1) * pairs + \
        struct.pack("<H", 2 * pairs)
    record_bytes = 6 + 22 + scans * len(scan)
    total_words = (18 + record_bytes + 6) // 2
    with open(path, "wb") as f:
        f.write(wmf_headers(total_words, record_bytes // 2, placeable))
        f.write(struct.pack("<IH", record_bytes // 2, META_CREATEREGION))
        f.write(struct.pack("<HhIhhh4h", 0, 6, 0, 0, scans, pairs, 0, 0, 1, 1))
        for _ in range(scans):
            f.write(scan)
        f.write(struct.pack("<IH", 3, META_EOF))
    return VIEW_RASTER


def build_wmf_window_walk(path):
    """No placeable header and no window extent: 80 million records of three words each (a
    META_SETBKMODE without its parameter) for the window search to walk."""
    count = 80 * 1000 * 1000
    record = struct.pack("<IH", 3, META_SETBKMODE)
    with open(path, "wb") as f:
        f.write(wmf_headers((18 + 6 * count + 6) // 2, 3, False))
        block = record * 1000000
        for _ in range(count // 1000000):
            f.write(block)
        f.write(struct.pack("<IH", 3, META_EOF))
    return VIEW_RASTER


# --- Icons -------------------------------------------------------------------------------------

def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def zero_stream(mebibytes, good_checksum=True):
    """A zlib stream of `mebibytes` MiB of zeros, about 1 KB a MiB: one MiB deflated and flushed
    to stand on its own, repeated, then an empty last block and the checksum."""
    deflater = zlib.compressobj(9, zlib.DEFLATED, -15)
    segment = deflater.compress(bytes(MIB)) + deflater.flush(zlib.Z_FULL_FLUSH)
    n = mebibytes * MIB
    adler = ((n % 65521) << 16) | 1  # of n zero bytes
    if not good_checksum:
        adler ^= 1
    return b"\x78\xda" + segment * mebibytes + b"\x03\x00" + struct.pack(">I", adler)


def png_1024_rgba(stream):
    """A 1024 x 1024 RGBA PNG (4 MiB of rows) whose image data is `stream`."""
    header = struct.pack(">IIBBBBB", 1024, 1024, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", stream) +
            png_chunk(b"IEND", b""))


def icon_naming(png, entries):
    """An icon whose directory names the one PNG `entries` times."""
    at = 6 + 16 * entries
    entry = struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, len(png), at)
    return struct.pack("<HHH", 0, 1, entries) + entry * entries + png


def build_icon_8gib(path):
    with open(path, "wb") as f:
        f.write(icon_naming(png_1024_rgba(zero_stream(8192)), 1))
    return 1024 * 1024 * 4


def build_icon_bad_checksum(path):
    with open(path, "wb") as f:
        f.write(icon_naming(png_1024_rgba(zero_stream(1024, good_checksum=False)), 65535))
    return 1024 * 1024 * 4


def build_icon_cut_short(path):
    png = png_1024_rgba(zero_stream(1024))
    with open(path, "wb") as f:
        f.write(icon_naming(png[:len(png) // 2], 65535))
    return 1024 * 1024 * 4


# --- Bitmaps -----------------------------------------------------------------------------------

def bmp_header(width, height, bits, file_size):
    stride = (width * bits + 31) // 32 * 4
    return (b"BM" + struct.pack("<IHHI", file_size, 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, stride * abs(height),
                        2835, 2835, 0, 0))


def build_bmp_100mp(path):
    """10,000 x 10,000 at 32 bits (400 MB of zero pixels), the file padded to 512 MiB."""
    size = 512 * MIB
    with open(path, "wb") as f:
        f.write(bmp_header(10000, 10000, 32, size))
        f.truncate(size)
    return 10000 * 10000 * 4


def build_bmp_wide_header(path):
    """100,000,000 x 1 at 32 bits: the header alone, 54 bytes."""
    with open(path, "wb") as f:
        f.write(bmp_header(100 * 1000 * 1000, 1, 32, 54))
    return 100 * 1000 * 1000 * 4


# --- Pictures Qt's readers read ----------------------------------------------------------------

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def png_1x1_parts():
    """The header, image data and end of a 1 x 1 grey PNG."""
    header = png_chunk(b"IHDR", struct.pack(">IIBBBBB", 1, 1, 8, 0, 0, 0, 0))
    data = png_chunk(b"IDAT", zlib.compress(b"\0\0"))
    return header, data, png_chunk(b"IEND", b"")


def write_zero_chunk(f, kind, prefix, length):
    """A chunk of `length` bytes, `prefix` then zeros left as a hole, with its right CRC."""
    crc = zlib.crc32(kind + prefix)
    block = bytes(MIB)
    left = length - len(prefix)
    while left > 0:
        n = min(left, MIB)
        crc = zlib.crc32(block[:n], crc)
        left -= n
    f.write(struct.pack(">I", length) + kind + prefix)
    f.seek(length - len(prefix), os.SEEK_CUR)
    f.write(struct.pack(">I", crc))


def write_repeated(path, head, block, times, tail):
    """Writes `head`, `block` `times` times, then `tail`: a file of hundreds of megabytes built
    without holding them."""
    with open(path, "wb") as f:
        f.write(head)
        for _ in range(times):
            f.write(block)
        f.write(tail)


def build_png_text(path):
    """A 1 x 1 PNG carrying 30 tEXt chunks of 16 MiB before its image data (503 MB)."""
    header, data, end = png_1x1_parts()
    with open(path, "wb") as f:
        f.write(PNG_SIGNATURE + header)
        for _ in range(30):
            write_zero_chunk(f, b"tEXt", b"Comment\0", 16 * MIB)
        f.write(data + end)
    return 4


def build_png_private(path):
    """A 1 x 1 PNG with one private chunk of 500 MiB before its image data."""
    header, data, end = png_1x1_parts()
    with open(path, "wb") as f:
        f.write(PNG_SIGNATURE + header)
        write_zero_chunk(f, b"prVt", b"", 500 * MIB)
        f.write(data + end)
    return 4


def build_png_many_chunks(path):
    """A 1 x 1 PNG with 40 million empty private chunks (480 MB) before its image data."""
    header, data, end = png_1x1_parts()
    chunk = png_chunk(b"prVt", b"")
    write_repeated(path, PNG_SIGNATURE + header, chunk * 1000000, 40, data + end)
    return 4


def build_png_extra_data(path):
    """A 1 x 1 PNG whose image data goes on in a second IDAT chunk of 500 MiB."""
    header, data, end = png_1x1_parts()
    with open(path, "wb") as f:
        f.write(PNG_SIGNATURE + header + data)
        write_zero_chunk(f, b"IDAT", b"", 500 * MIB)
        f.write(end)
    return 4


def svg(body, size=(320, 240)):
    return ('<svg xmlns="http://www.w3.org/2000/svg" '
            'xmlns:xlink="http://www.w3.org/1999/xlink" width="%d" height="%d">\n%s</svg>\n'
            % (size[0], size[1], body)).encode()


def build_svg_rects(path):
    """One million <rect> elements (44 MB)."""
    rect = '<rect x="1" y="1" width="300" height="200" fill="#123456"/>\n'
    with open(path, "wb") as f:
        f.write(svg(rect * 1000000))
    return VIEW_RASTER


def build_svg_use_chain(path):
    """Ten rectangles in a group, and eight groups each using the one before ten times: 10^9
    rectangles drawn from 90 elements."""
    parts = ['<defs><g id="g0">%s</g>' %
             ('<rect x="1" y="1" width="300" height="200" fill="#123456"/>' * 10)]
    for level in range(1, 9):
        parts.append('<g id="g%d">%s</g>' % (level,
                     ('<use xlink:href="#g%d"/>' % (level - 1)) * 10))
    parts.append('</defs><use xlink:href="#g8"/>')
    with open(path, "wb") as f:
        f.write(svg("\n".join(parts)))
    return VIEW_RASTER


def build_svg_path(path):
    """One path of 4 million points (about 40 MB of numbers)."""
    with open(path, "wb") as f:
        f.write(svg('<path d="M 0 0 ' + "L 300 200 L 0 0 " * 2000000 + '" stroke="black"/>'))
    return VIEW_RASTER


def build_svg_text(path):
    """One <text> of 15 million characters (15 MB)."""
    with open(path, "wb") as f:
        f.write(svg('<text x="0" y="100" font-size="20">' + "W" * (15 << 20) + "</text>"))
    return VIEW_RASTER


def build_svg_dashes(path):
    """500 rectangles with a wide pen dashed a tenth of a unit at a time."""
    rect = ('<rect x="1" y="1" width="300" height="200" fill="#123456" stroke="red" '
            'stroke-width="7" stroke-dasharray="0.1 0.1"/>\n')
    with open(path, "wb") as f:
        f.write(svg(rect * 500))
    return VIEW_RASTER


def build_pgm_text(path):
    """10,000 x 10,000 greys written as text, "255 " each (400 MB)."""
    write_repeated(path, b"P2\n10000 10000\n255\n", b"255 " * 10000 + b"\n", 10000, b"")
    return 10000 * 10000 * 4


def build_ppm_text(path):
    """9,000 x 9,000 colours written as text, "0 0 0 " each (486 MB): the most numbers a file of
    this size holds."""
    write_repeated(path, b"P3\n9000 9000\n255\n", b"0 0 0 " * 9000 + b"\n", 9000, b"")
    return 9000 * 9000 * 4


def build_pgm_comment(path):
    """A 1 x 1 PGM whose header holds a comment of 500 MiB."""
    write_repeated(path, b"P2\n#", b"x" * MIB, 500, b"\n1 1\n255\n0\n")
    return 4


def build_pbm_space(path):
    """A 1 x 1 PBM whose one pixel comes after 500 MiB of spaces."""
    write_repeated(path, b"P1\n1 1\n", b" " * MIB, 500, b"1\n")
    return 4


def build_xbm_junk(path):
    """An 8 x 1 XBM whose one byte comes after 480 MB of lines that hold none."""
    write_repeated(path, b"#define a_width 8\n#define a_height 1\n", (b"y" * 99 + b"\n") * 10000,
                   480, b"0xff,\n")
    return 8 * 4


def build_jpeg_comments(path):
    """A small JPEG whose header holds 8,000 comments of 64 KB (524 MB)."""
    comment = b"\xff\xfe\xff\xff" + b"c" * 65533
    write_repeated(path, b"\xff\xd8", comment * 100, 80, tiny_jpeg()[2:])
    return 8 * 8 * 4


def tiny_jpeg():
    """An 8 x 8 grey baseline JPEG, all mid-grey: one block whose DC difference is 0."""
    dqt = b"\xff\xdb\x00\x43\x00" + bytes([1] * 64)
    sof = b"\xff\xc0\x00\x0b\x08\x00\x08\x00\x08\x01\x01\x11\x00"
    # DC table: one code of length 1 for category 0; AC table: one code of length 1 for EOB.
    dht = (b"\xff\xc4\x00\x14\x00" + bytes([1] + [0] * 15) + b"\x00" +
           b"\xff\xc4\x00\x14\x10" + bytes([1] + [0] * 15) + b"\x00")
    sos = b"\xff\xda\x00\x08\x01\x01\x00\x00\x3f\x00"
    return b"\xff\xd8" + dqt + sof + dht + sos + b"\x00" + b"\xff\xd9"


def gif_1x1():
    """A 1 x 1 GIF: header, two colours, the picture."""
    return (b"GIF89a" + struct.pack("<HHBBB", 1, 1, 0x80, 0, 0) + b"\0\0\0\xff\xff\xff",
            b"\x2c" + struct.pack("<HHHHB", 0, 0, 1, 1, 0) + b"\x02\x02\x44\x01\x00\x3b")


def build_gif_comment(path):
    """A 1 x 1 GIF whose picture comes after a comment of 500 MiB in 255-byte blocks."""
    head, picture = gif_1x1()
    block = (b"\xff" + b"c" * 255) * 4096
    write_repeated(path, head + b"\x21\xfe", block, 500 * MIB // len(block), b"\0" + picture)
    return 4


def build_tiff_strips(path):
    """1 x 50,000,000 greys in one-row strips: two tables of 50 million entries (400 MB)."""
    n = 50 * 1000 * 1000
    entries = [(256, 4, 1, 1), (257, 4, 1, n), (258, 3, 1, 8), (259, 3, 1, 1), (262, 3, 1, 1),
               (273, 4, n, 0), (277, 3, 1, 1), (278, 4, 1, 1), (279, 4, n, 0)]
    offsets = 8 + 2 + 12 * len(entries) + 4
    sizes = offsets + 4 * n
    directory = struct.pack("<H", len(entries))
    for tag, kind, count, value in entries:
        value = {273: offsets, 279: sizes}.get(tag, value)
        directory += struct.pack("<HHII", tag, kind, count, value)
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", 8) + directory + struct.pack("<I", 0))
        f.truncate(sizes + 4 * n)
    return n * 4


def tiny_webp():
    """A 24 x 16 lossless WebP (tests/data/formats/magick.webp): RIFF header, one VP8L chunk."""
    return bytes.fromhex(
        "5249464684000000574542505650384c770000002f17c003104740906d9b2aca108e72826c9ba20ce5fe"
        "144721c8b629d2d08e745432018bb5d0dea588326a0880ef01a130d69e37c0a8912437ebf837854d6f47"
        "0289c7e9482c85e3edf3984244ff27a01402ffcccf797c39338f111144899939d7e4c535831462482183"
        "044aaf5c2367e691aa13d8100c00")


def build_webp_chunk(path):
    """A small extended WebP whose RIFF holds an unknown chunk of 500 MiB after the picture."""
    image = tiny_webp()[12:]
    vp8x = b"VP8X" + struct.pack("<I", 10) + bytes([0x10, 0, 0, 0, 23, 0, 0, 15, 0, 0])
    huge = 500 * MIB
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + len(vp8x) + len(image) + 8 + huge) + b"WEBP" +
                vp8x + image + b"ABCD" + struct.pack("<I", huge))
        f.truncate(12 + len(vp8x) + len(image) + 8 + huge)
    return 24 * 16 * 4


def build_webp_tail(path):
    """A small WebP followed by 500 MiB past its RIFF's end."""
    webp = tiny_webp()
    with open(path, "wb") as f:
        f.write(webp)
        f.truncate(len(webp) + 500 * MIB)
    return 24 * 16 * 4


def build_tga_64mp(path):
    """8,000 x 8,000 at 32 bits, uncompressed, without footer (256 MB of zero pixels)."""
    with open(path, "wb") as f:
        f.write(struct.pack("<BBBHHBHHHHBB", 0, 0, 2, 0, 0, 0, 0, 0, 8000, 8000, 32, 0))
        f.truncate(18 + 8000 * 8000 * 4)
    return 8000 * 8000 * 4


def build_png_grey_100mp(path):
    """10,000 x 10,000 greys, all 0 (about 100 KB): decoded as greys, then made 32-bit."""
    deflater = zlib.compressobj(9)
    row = bytes(10001)
    data = b"".join(deflater.compress(row) for _ in range(10000)) + deflater.flush()
    header = png_chunk(b"IHDR", struct.pack(">IIBBBBB", 10000, 10000, 8, 0, 0, 0, 0))
    with open(path, "wb") as f:
        f.write(PNG_SIGNATURE + header + png_chunk(b"IDAT", data) + png_chunk(b"IEND", b""))
    return 10000 * 10000 * 4


# --- Files that are not files ------------------------------------------------------------------

def build_proc(path):
    os.symlink("/proc/self/status", path)
    return 0


def build_fifo(path):
    os.mkfifo(path)
    return 0


def build_directory(path):
    os.mkdir(path)
    return 0


def build_dev_zero(path):
    os.symlink("/dev/zero", path)
    return 0


# name, builder, the outcome required ("refused", or None for either)
FILES = [
    ("polypolygon-64M.emf", build_emf_polypolygon, None),
    ("region-67M-placeable.wmf", lambda p: build_wmf_region(p, True), None),
    ("region-67M.wmf", lambda p: build_wmf_region(p, False), None),
    ("window-walk-80M.wmf", build_wmf_window_walk, None),
    ("png-8GiB.ico", build_icon_8gib, None),
    ("png-1GiB-bad-checksum-x65535.ico", build_icon_bad_checksum, None),
    ("png-1GiB-cut-short-x65535.ico", build_icon_cut_short, None),
    ("text-1M-wide-font.emf", build_emf_text, None),
    ("bmp-100MP-512MB.bmp", build_bmp_100mp, None),
    ("bmp-100000000x1-54B.bmp", build_bmp_wide_header, None),
    ("png-text-30x16MiB.png", build_png_text, None),
    ("png-private-500MiB.png", build_png_private, None),
    ("png-40M-chunks.png", build_png_many_chunks, None),
    ("png-idat-500MiB-extra.png", build_png_extra_data, None),
    ("svg-1M-rects.svg", build_svg_rects, None),
    ("svg-use-chain-1e9.svg", build_svg_use_chain, None),
    ("svg-path-4M-points.svg", build_svg_path, None),
    ("svg-text-15M-chars.svg", build_svg_text, None),
    ("svg-dashes-500.svg", build_svg_dashes, None),
    ("pgm-text-100MP-400MB.pgm", build_pgm_text, None),
    ("ppm-text-81MP-486MB.ppm", build_ppm_text, None),
    ("pgm-comment-500MiB.pgm", build_pgm_comment, None),
    ("pbm-space-500MiB.pbm", build_pbm_space, None),
    ("xbm-junk-480MB.xbm", build_xbm_junk, None),
    ("jpeg-comments-524MB.jpg", build_jpeg_comments, None),
    ("gif-comment-500MiB.gif", build_gif_comment, None),
    ("tiff-50M-strips.tif", build_tiff_strips, None),
    ("webp-chunk-500MiB.webp", build_webp_chunk, None),
    ("webp-tail-500MiB.webp", build_webp_tail, None),
    ("tga-64MP.tga", build_tga_64mp, None),
    ("png-grey-100MP.png", build_png_grey_100mp, None),
    ("proc/x.bmp", build_proc, "refused"),
    ("fifo.bmp", build_fifo, "refused"),
    ("directory.bmp", build_directory, "refused"),
    ("dev-zero.bmp", build_dev_zero, "refused"),
]


def remove(path):
    if os.path.isdir(path) and not os.path.islink(path):
        os.rmdir(path)
    elif os.path.lexists(path):
        os.unlink(path)


def convert(dotwright, path, output, timeout):
    """One `dotwright convert` of `path` at 320 x 240: (outcome, seconds, peak bytes)."""
    start = time.monotonic()
    child = subprocess.Popen([dotwright, "convert", "-s", "320x240", "-o", output, path],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                             stderr=subprocess.PIPE)
    killed = []

    def kill():
        killed.append(True)
        child.kill()

    timer = threading.Timer(timeout, kill)
    timer.start()
    # Read the messages while waiting, then reap the child with its resource usage.
    message = child.stderr.read().decode("utf-8", "replace").strip()
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.monotonic() - start
    timer.cancel()
    child.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
    child.stderr.close()
    if killed:
        outcome = "stopped after %d s" % timeout
    elif child.returncode == 0:
        outcome = "loaded"
    else:
        # The program's own line, "dotwright: FILE: MESSAGE", among what libraries print.
        lines = [l for l in message.splitlines() if l.startswith("dotwright: ")] or \
            message.splitlines() or ["(no message)"]
        text = lines[-1].split(": ", 2)[-1].replace(os.path.dirname(path) + os.sep, "")
        outcome = "refused: " + text
    return outcome, seconds, usage.ru_maxrss * 1024


def build_apart(build, path):
    """Runs `build(path)` in a child process, so that the memory the building takes is never part
    of this one, whose resident size each run of the program starts from (ru_maxrss counts the
    pages the forked process held before it ran the program). The decoded raster's size."""
    read, write = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(read)
        status = 1
        try:
            os.write(write, str(build(path)).encode())
            status = 0
        finally:
            os._exit(status)
    os.close(write)
    with os.fdopen(read) as answer:
        raster = answer.read()
    _, status = os.waitpid(pid, 0)
    if status != 0:
        sys.exit("building %s failed" % path)
    return int(raster)


def size_of(path):
    try:
        st = os.stat(path)
    except OSError:
        return "-"
    if not os.path.isfile(path):
        return "-"
    return "%.1f MB" % (st.st_size / MB) if st.st_size >= 100 * 1000 else "%d B" % st.st_size


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--dotwright", default=os.path.join(root, "build", "app", "dotwright"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--timeout", type=int, default=120, help="seconds before a run is stopped")
    parser.add_argument("--only", default="", help="measure the files whose names hold this")
    parser.add_argument("--dir", help="scratch folder (default: a new one under the temp folder)")
    parser.add_argument("--keep", action="store_true", help="keep the files built")
    args = parser.parse_args()
    if not os.access(args.dotwright, os.X_OK):
        sys.exit("no program at %s: build it first (cmake --build build --target dotwright)"
                 % args.dotwright)

    scratch = args.dir or tempfile.mkdtemp(prefix="dotwright-hostile-")
    os.makedirs(os.path.join(scratch, "proc"), exist_ok=True)
    output = os.path.join(scratch, "array.h")
    missed = 0
    floor = convert("/bin/true", "", output, args.timeout)[2]
    print("(each peak includes about %.1f MB of this script's own pages: /bin/true run the same "
          "way peaks at that)" % (floor / MB))
    print("%-34s %9s  %-3s %-56s %8s %10s" % ("file", "size", "run", "outcome", "wall", "peak"))
    for name, build, required in FILES:
        if args.only not in name:
            continue
        path = os.path.join(scratch, name)
        remove(path)
        raster = build_apart(build, path)
        if os.path.isfile(path) and not os.path.islink(path):
            # On disk before the first run, so that no run waits for the write-back.
            with open(path, "rb") as f:
                os.fsync(f.fileno())
        size = size_of(path)
        times, peaks, outcomes = [], [], []
        for run in range(1, args.runs + 1):
            outcome, seconds, peak = convert(args.dotwright, path, output, args.timeout)
            times.append(seconds)
            peaks.append(peak)
            outcomes.append(outcome)
            print("%-34s %9s  %-3d %-56s %6.2f s %7.1f MB" %
                  (name, size, run, outcome[:56], seconds, peak / MB), flush=True)
        wall, peak = statistics.median(times), statistics.median(peaks)
        limit = raster + MEMORY_HEADROOM
        outcome_ok = required is None or all(o.startswith(required) for o in outcomes)
        ok = wall <= TIME_TARGET and peak <= limit and outcome_ok and \
            not any(o.startswith("stopped") for o in outcomes)
        missed += not ok
        print("  median %.2f s (target <= %.0f s), peak %.1f MB (target <= %.1f MB: raster %.1f MB "
              "+ %d MB)%s: %s" %
              (wall, TIME_TARGET, peak / MB, limit / MB, raster / MB, MEMORY_HEADROOM // MB,
               "" if outcome_ok else ", required: " + required, "PASS" if ok else "MISSED"),
              flush=True)
        if not args.keep:
            remove(path)
    if not args.keep:
        remove(output)
        if not args.dir:
            os.rmdir(os.path.join(scratch, "proc"))
            os.rmdir(scratch)
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
