"""Builds a 16-colour .ico or .cur file from a text picture.

A picture source holds one or more images, each one character per pixel
(see pictures/palette.txt):

    # comment
    base tray2.txt      optional: start from that file's images and paint over them
    hotspot 1 1         cursors only: the hotspot of the following images
    image 32            a 32 x 32 image follows, one text row per pixel row
    ...

In an image painted over a base, "." keeps the base pixel.
Usage: make_pictures.py PALETTE SOURCE OUTPUT(.ico|.cur)
"""
import os
import struct
import sys


def read_palette(path):
    letters, colours = {}, []
    with open(path, encoding="ascii") as f:
        lines = f.readlines()
    for line in lines:
        if line.startswith("#") or not line.strip():
            continue
        fields = line.split()
        if fields[0] == ".":
            continue
        letters[fields[0]] = len(colours)
        colours.append(tuple(int(v) for v in fields[1:4]))
    if len(colours) != 16:
        sys.exit(f"{path}: expected 16 colours, found {len(colours)}")
    return letters, colours


def read_source(path, letters):
    """Returns ({size: rows}, hotspot). Rows are lists of palette indexes or None."""
    images, hotspot, size, rows = {}, (0, 0), None, []

    def finish():
        if size is None:
            return
        if len(rows) != size:
            sys.exit(f"{path}: image {size} has {len(rows)} rows")
        base = images.get(size)
        images[size] = [[b if p is None else p for p, b in zip(row, brow)]
                        for row, brow in zip(rows, base)] if base else rows

    with open(path, encoding="ascii") as f:
        lines = f.readlines()
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\n")
        if line.startswith("#") or not line.strip():
            continue
        word = line.split()
        if word[0] == "base":
            images, hotspot = read_source(os.path.join(os.path.dirname(path), word[1]), letters)
        elif word[0] == "hotspot":
            hotspot = (int(word[1]), int(word[2]))
        elif word[0] == "image":
            finish()
            size, rows = int(word[1]), []
        else:
            if size is None or len(line) != size:
                sys.exit(f"{path}:{number}: expected a row of {size} pixels")
            try:
                rows.append([None if ch == "." else letters[ch] for ch in line])
            except KeyError as err:
                sys.exit(f"{path}:{number}: unknown colour {err}")
    finish()
    return images, hotspot


def pack_rows(rows, bits, value):
    """Bottom-up rows of `bits` per pixel, each padded to 4 bytes."""
    out = b""
    for row in reversed(rows):
        acc = 0
        for pixel in row:
            acc = (acc << bits) | value(pixel)
        width_bits = len(row) * bits
        pad = (-width_bits) % 32
        out += (acc << pad).to_bytes((width_bits + pad) // 8, "big")
    return out


def dib(rows, colours):
    size = len(rows)
    xor = pack_rows(rows, 4, lambda p: 0 if p is None else p)
    mask = pack_rows(rows, 1, lambda p: 1 if p is None else 0)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(xor) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    return header + palette + xor + mask


def build(images, hotspot, colours, cursor):
    sizes = sorted(images, reverse=True)
    blobs = [dib(images[s], colours) for s in sizes]
    out = struct.pack("<HHH", 0, 2 if cursor else 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for s, blob in zip(sizes, blobs):
        planes, bits = hotspot if cursor else (1, 4)
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 16, 0, planes, bits, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    palette, source, output = sys.argv[1:]
    letters, colours = read_palette(palette)
    images, hotspot = read_source(source, letters)
    data = build(images, hotspot, colours, output.lower().endswith(".cur"))
    with open(output + ".tmp", "wb") as f:
        f.write(data)
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
