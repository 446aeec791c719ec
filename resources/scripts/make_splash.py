"""Writes the splash artwork as an enhanced metafile, record by record.

The picture is 370 x 214 pixels at 96 dpi (97.90 x 56.62 mm), the splash
window's whole client area, so that every label the window draws lies on it
whole at any DPI: a dark blue rounded panel with a soft vertical shading, a
thin inner border, a clock face at the right between the version and the
copyright, an envelope at the bottom left and a dotted path between them.
The window draws its pale-yellow labels over the upper half, the logo icon at
the left and its white labels at the bottom right, so those areas stay calm.

Usage: make_splash.py OUTPUT.emf
"""
import math
import os
import struct
import sys

WIDTH, HEIGHT = 370, 214             # logical units = reference pixels
FRAME = (9790, 5662)                 # picture size in 0.01 mm
DEVICE_PX = (1920, 1440)             # reference device: 96 dpi exactly
DEVICE_MM = (508, 381)

EMR_HEADER, EMR_EOF = 1, 14
EMR_SETBKMODE, EMR_SELECTOBJECT, EMR_CREATEPEN = 18, 37, 38
EMR_CREATEBRUSHINDIRECT, EMR_DELETEOBJECT = 39, 40
EMR_ELLIPSE, EMR_ROUNDRECT = 42, 44
EMR_POLYGON16, EMR_POLYLINE16 = 86, 87
TRANSPARENT = 1
NULL_BRUSH, NULL_PEN = 0x80000005, 0x80000008   # stock objects
PEN, BRUSH = 1, 2                                # our two handle slots

PANEL_TOP, PANEL_BOTTOM = (24, 62, 104), (8, 30, 62)
BORDER = (58, 104, 150)
MOTIF = (66, 116, 160)
MOTIF_FAINT = (38, 80, 122)


def rgb(colour):
    r, g, b = colour
    return r | g << 8 | b << 16


def record(kind, payload):
    return struct.pack("<II", kind, 8 + len(payload)) + payload


def bounds(points):
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return struct.pack("<4i", min(xs), min(ys), max(xs), max(ys))


class Picture:
    def __init__(self):
        self.records = [record(EMR_SETBKMODE, struct.pack("<I", TRANSPARENT))]
        self.created = set()

    def _replace(self, slot, stock, create):
        """Deselects and deletes the object in `slot`, then creates and selects a new one."""
        if slot in self.created:
            self.records += [record(EMR_SELECTOBJECT, struct.pack("<I", stock)),
                             record(EMR_DELETEOBJECT, struct.pack("<I", slot))]
        self.created.add(slot)
        self.records += [create, record(EMR_SELECTOBJECT, struct.pack("<I", slot))]

    def pen(self, colour, width=1):
        self._replace(PEN, NULL_PEN, record(EMR_CREATEPEN, struct.pack("<IIiiI", PEN, 0, width, 0, rgb(colour))))

    def brush(self, colour):
        self._replace(BRUSH, NULL_BRUSH,
                      record(EMR_CREATEBRUSHINDIRECT, struct.pack("<IIII", BRUSH, 0, rgb(colour), 0)))

    def no_pen(self):
        self.records.append(record(EMR_SELECTOBJECT, struct.pack("<I", NULL_PEN)))

    def no_brush(self):
        self.records.append(record(EMR_SELECTOBJECT, struct.pack("<I", NULL_BRUSH)))

    def _poly(self, kind, points):
        points = [(round(x), round(y)) for x, y in points]
        data = b"".join(struct.pack("<hh", x, y) for x, y in points)
        self.records.append(record(kind, bounds(points) + struct.pack("<I", len(points)) + data))

    def polygon(self, points):
        self._poly(EMR_POLYGON16, points)

    def polyline(self, points):
        self._poly(EMR_POLYLINE16, points)

    def ellipse(self, cx, cy, r):
        box = (round(cx - r), round(cy - r), round(cx + r), round(cy + r))
        self.records.append(record(EMR_ELLIPSE, struct.pack("<4i", *box)))

    def dot(self, x, y):
        """A 4 x 4 pixel round dot centred on the pixel at x, y."""
        self.records.append(record(EMR_ELLIPSE, struct.pack("<4i", x - 2, y - 2, x + 2, y + 2)))

    def roundrect(self, left, top, right, bottom, corner):
        self.records.append(record(EMR_ROUNDRECT, struct.pack("<6i", left, top, right, bottom, corner, corner)))

    def finish(self):
        """The header, the records and EMR_EOF as one metafile."""
        self.records += [record(EMR_SELECTOBJECT, struct.pack("<I", NULL_PEN)),
                         record(EMR_SELECTOBJECT, struct.pack("<I", NULL_BRUSH))]
        self.records += [record(EMR_DELETEOBJECT, struct.pack("<I", slot)) for slot in sorted(self.created)]
        eof = record(EMR_EOF, struct.pack("<III", 0, 16, 20))
        text = "Horavane\0Splash\0\0"
        description = text.encode("utf-16-le").ljust(4 * ((len(text) + 1) // 2), b"\0")
        header_size = 108
        size = header_size + len(description) + sum(map(len, self.records)) + len(eof)
        header = struct.pack(
            "<4i4iIIIIHHIIIiiiiIIIii",
            0, 0, WIDTH - 1, HEIGHT - 1,                 # rclBounds, inclusive, in pixels
            0, 0, FRAME[0], FRAME[1],                    # rclFrame in 0.01 mm
            0x464D4520, 0x10000, size, len(self.records) + 2,
            3, 0,                                        # handles: slot 0 plus PEN and BRUSH
            len(text), header_size, 0,
            *DEVICE_PX, *DEVICE_MM,
            0, 0, 0,                                     # no pixel format, no OpenGL
            DEVICE_MM[0] * 1000, DEVICE_MM[1] * 1000)    # szlMicrometers
        return record(EMR_HEADER, header + description) + b"".join(self.records) + eof


def panel_edge(y, radius):
    """Left edge of the rounded panel at height y (the right edge mirrors it)."""
    d = max(radius - y, y - (HEIGHT - radius), 0)
    return radius - math.sqrt(max(radius * radius - d * d, 0))


def draw_panel(pic, radius=14, bands=30):
    """Rounded panel, shaded from top to bottom by horizontal bands."""
    pic.no_pen()
    for i in range(bands):
        y0, y1 = HEIGHT * i / bands, HEIGHT * (i + 1) / bands
        t = i / (bands - 1)
        pic.brush(tuple(round(a + (b - a) * t) for a, b in zip(PANEL_TOP, PANEL_BOTTOM)))
        ys = [y0 + (y1 - y0) * k / 4 for k in range(5)]
        left = [(panel_edge(y, radius), y) for y in ys]
        right = [(WIDTH - x, y) for x, y in reversed(left)]
        pic.polygon(left + right)
    pic.pen(BORDER)
    pic.no_brush()
    pic.roundrect(5, 5, WIDTH - 5, HEIGHT - 5, 20)


def draw_clock(pic, cx=310, cy=146, r=22):
    """An alarm clock face showing ten past ten, with two bells."""
    for side in (-1, 1):
        a = side * 40
        bx, by = cx + (r + 3) * math.sin(math.radians(a)), cy - (r + 3) * math.cos(math.radians(a))
        pic.pen(MOTIF)
        pic.brush(MOTIF_FAINT)
        pic.polygon(arc(bx, by, 7, a - 90, a + 90))
    pic.pen(MOTIF, 2)
    pic.brush(PANEL_BOTTOM)
    pic.ellipse(cx, cy, r)
    pic.pen(MOTIF)
    for hour in range(12):
        a = math.radians(hour * 30)
        inner = r - (7 if hour % 3 == 0 else 5)
        pic.polyline([(cx + inner * math.sin(a), cy - inner * math.cos(a)),
                      (cx + (r - 3) * math.sin(a), cy - (r - 3) * math.cos(a))])
    pic.pen(MOTIF, 2)
    pic.polyline([(cx - 9, cy - 6), (cx, cy), (cx + 6, cy - 13)])
    pic.brush(MOTIF)
    pic.ellipse(cx, cy, 2)


def arc(cx, cy, r, start, end, steps=10):
    """Points on a circle; angles in degrees, clockwise from 12 o'clock."""
    angles = [math.radians(start + (end - start) * k / steps) for k in range(steps + 1)]
    return [(cx + r * math.sin(a), cy - r * math.cos(a)) for a in angles]


def draw_envelope(pic, left=24, top=152, w=36, h=22):
    pic.pen(MOTIF)
    pic.brush(MOTIF_FAINT)
    pic.polygon([(left, top), (left + w, top), (left + w, top + h), (left, top + h)])
    pic.no_brush()
    pic.polyline([(left, top), (left + w / 2, top + h * 0.6), (left + w, top)])
    pic.polyline([(left, top + h), (left + w * 0.38, top + h * 0.45)])
    pic.polyline([(left + w, top + h), (left + w * 0.62, top + h * 0.45)])


def draw_path(pic, start=(66, 160), control=(170, 128), end=(276, 150), dots=16):
    """A dotted curve from the envelope towards the clock."""
    pic.no_pen()
    pic.brush(MOTIF)
    for k in range(dots):
        t = k / (dots - 1)
        x = (1 - t) ** 2 * start[0] + 2 * (1 - t) * t * control[0] + t * t * end[0]
        y = (1 - t) ** 2 * start[1] + 2 * (1 - t) * t * control[1] + t * t * end[1]
        pic.dot(round(x), round(y))


def draw_waves(pic):
    """Two gentle lines along the bottom edge."""
    for offset, colour in ((0, MOTIF_FAINT), (6, MOTIF_FAINT)):
        pic.pen(colour)
        pic.polyline([(x, 200 - offset + 2.5 * math.sin((x + offset * 5) / 17))
                      for x in range(12, 188, 4)])


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    pic = Picture()
    draw_panel(pic)
    draw_waves(pic)
    draw_envelope(pic)
    draw_path(pic)
    draw_clock(pic)
    output = sys.argv[1]
    with open(output + ".tmp", "wb") as f:
        f.write(pic.finish())
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
