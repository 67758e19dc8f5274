#!/usr/bin/env python3
"""Packs the skin package: the zip archive built into the updater as resource ZIPRES 108.

Every entry lies at the root of the archive (no directories) and the archive has no comment.
The markup documents are deflated, the pictures stored (they are compressed already), except
the drop shadow, which is mostly empty and shrinks well. A picture's image data is deflated
again at zlib's best setting on the way in: the same filtered rows, so the same pixels, in
fewer bytes than the renderer wrote. Every entry gets the same fixed timestamp and
attributes, and the entries are written in a fixed order, so the same inputs always give the
same bytes.

The larger renderings of the pictures (NAME@1.5x.png, NAME@2x.png, which the build renders
from the SVG sources into a folder of its own) follow the entries, in name order, each
compressed like its picture.

Usage: pack_skin.py SKIN_DIR OUTPUT_ZIP [--variants DIR]
       pack_skin.py --list      (the entry names, one a line: the build's input list)
"""

import argparse
import os
import struct
import sys
import zipfile
import zlib

# (entry name, compression method), in archive order. The message box documents include
# "font_zh_CN.xml", which is deliberately not part of the package.
ENTRIES = (
    ("wnd_main.xml", zipfile.ZIP_DEFLATED),
    ("font.xml", zipfile.ZIP_DEFLATED),
    ("messagebox.xml", zipfile.ZIP_DEFLATED),
    ("messageboxwithlink.xml", zipfile.ZIP_DEFLATED),
    ("install_img_02@2x.png", zipfile.ZIP_STORED),
    ("install_img_03@2x.png", zipfile.ZIP_STORED),
    ("Head_btnsys_20x20.png", zipfile.ZIP_STORED),
    ("messagebox_icon_22x22.png", zipfile.ZIP_STORED),
    ("progress_fore.png", zipfile.ZIP_STORED),
    ("Window_shadow.png", zipfile.ZIP_DEFLATED),
    ("icon_title_20x20.png", zipfile.ZIP_STORED),
)

# 1 January 2020, 00:00: any fixed date the zip format can hold (1980 or later).
FIXED_TIME = (2020, 1, 1, 0, 0, 0)


def variant_entries(variants_dir):
    """(path, entry name, method) of each rendering in VARIANTS_DIR, in name order."""
    if variants_dir is None:
        return []
    methods = dict(ENTRIES)
    found = []
    for name in sorted(os.listdir(variants_dir)):
        stem, at, scale = name.rpartition("@")
        if not at or scale not in ("1.5x.png", "2x.png") or stem + ".png" not in methods:
            continue
        found.append((os.path.join(variants_dir, name), name, methods[stem + ".png"]))
    return found


def _chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def check_png(name, data):
    """Raises ValueError unless DATA is a PNG the engine reads: 8-bit RGB or RGBA, not
    interlaced, without a palette or a transparent colour (rsvg-convert and most tools save
    pictures so)."""
    chunks, pos = set(), 33
    while pos + 12 <= len(data):
        chunks.add(data[pos + 4:pos + 8])
        pos += 12 + struct.unpack(">I", data[pos:pos + 4])[0]
    header = data[8:33]
    if (data[:8] != b"\x89PNG\r\n\x1a\n" or header[4:8] != b"IHDR" or header[16] != 8
            or header[17] not in (2, 6) or header[20] != 0 or chunks & {b"PLTE", b"tRNS"}):
        raise ValueError(name + ": the skin's pictures must be PNGs of 8-bit RGB or RGBA, not "
                         "interlaced, without a palette or a transparent colour")


def recompress_png(data):
    """The PNG with its image data (every IDAT chunk, joined) deflated again at the best
    setting, other chunks kept in order; the original when that is not smaller or when the
    bytes are no PNG this reads."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return data
    chunks, pos = [], 8
    while pos + 12 <= len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        chunks.append((data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]))
        pos += 12 + length
    rows = zlib.decompress(b"".join(body for kind, body in chunks if kind == b"IDAT"))
    best = None
    for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED):
        packer = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
        packed = packer.compress(rows) + packer.flush()
        if best is None or len(packed) < len(best):
            best = packed
    out, placed = [data[:8]], False
    for kind, body in chunks:
        if kind != b"IDAT":
            out.append(_chunk(kind, body))
        elif not placed:
            out.append(_chunk(b"IDAT", best))
            placed = True
    result = b"".join(out)
    return result if len(result) < len(data) else data


def pack(skin_dir, output, variants_dir=None):
    """Writes the package to OUTPUT through a temporary file, so that a failed run never
    leaves a half-written zip that looks up to date to the build."""
    temporary = output + ".tmp"
    entries = [(os.path.join(skin_dir, name), name, method) for name, method in ENTRIES]
    entries += variant_entries(variants_dir)
    try:
        with zipfile.ZipFile(temporary, "w") as archive:
            for path, name, method in entries:
                with open(path, "rb") as source:
                    data = source.read()
                if name.endswith(".png"):
                    check_png(name, data)
                    data = recompress_png(data)
                info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
                info.compress_type = method
                info.create_system = 0          # MS-DOS: no Unix permission bits in the archive
                info.external_attr = 0x20       # FILE_ATTRIBUTE_ARCHIVE
                archive.writestr(info, data, compress_type=method, compresslevel=9)
    except BaseException:
        if os.path.exists(temporary):
            os.remove(temporary)
        raise
    os.replace(temporary, output)


def main(argv):
    parser = argparse.ArgumentParser(description="Packs the skin package zip.")
    parser.add_argument("skin_dir", nargs="?", help="folder holding the documents and the pictures")
    parser.add_argument("output", nargs="?", help="zip file to write")
    parser.add_argument("--variants", help="folder holding the larger renderings")
    parser.add_argument("--list", action="store_true",
                        help="print the entry names, one a line, and write nothing")
    args = parser.parse_args(argv)
    if args.list:
        for name, _ in ENTRIES:
            print(name)
        return 0
    if args.skin_dir is None or args.output is None:
        parser.error("SKIN_DIR and OUTPUT_ZIP are required")
    try:
        pack(args.skin_dir, args.output, args.variants)
    except OSError as error:
        print("pack_skin.py: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
