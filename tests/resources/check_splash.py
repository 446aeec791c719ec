"""Checks the splash artwork metafile: its header, its records and its layout.

Usage: check_splash.py SPLASH.emf
"""
import struct
import sys
import unittest

PATH = None
SIZE_PX = (370, 214)                  # the splash window's client area at 96 dpi
FRAME = (9790, 5662)                  # 97.90 x 56.62 mm
PALE_YELLOW = (255, 255, 192)         # the window and its upper labels
WHITE = (255, 255, 255)               # its lower labels
# The label boxes of the splash window at 96 dpi (left, top, right, bottom), all on the artwork,
# with the colour of their text.
LABELS = {"company name": ((32, 32, 101, 61), PALE_YELLOW),
          "title": ((144, 56, 352, 97), PALE_YELLOW),
          "version": ((152, 96, 349, 115), PALE_YELLOW),
          "copyright": ((200, 176, 361, 193), WHITE),
          "company": ((200, 192, 361, 209), WHITE)}

EMR_HEADER, EMR_EOF = 1, 14
EMR_SELECTOBJECT, EMR_CREATEPEN, EMR_CREATEBRUSHINDIRECT, EMR_DELETEOBJECT = 37, 38, 39, 40
EMR_ELLIPSE, EMR_RECTANGLE, EMR_ROUNDRECT = 42, 43, 44
EMR_POLYGON16, EMR_POLYLINE16 = 86, 87
NULL_BRUSH = 0x80000005


def read_metafile(path):
    with open(path, "rb") as f:
        data = f.read()
    records, at = [], 0
    while at < len(data):
        kind, size = struct.unpack("<II", data[at:at + 8])
        if size < 8 or size % 4 or at + size > len(data):
            raise ValueError(f"record {len(records)} at {at}: bad size {size}")
        records.append((kind, data[at + 8:at + size]))
        at += size
    return data, records


class Header:
    def __init__(self, payload):
        fields = struct.unpack("<4i4iIIIIHHIIIiiii", payload[:80])
        self.bounds, self.frame = fields[0:4], fields[4:8]
        (self.signature, self.version, self.bytes, self.records, self.handles, _,
         self.description_chars, self.description_offset, _) = fields[8:17]
        self.device, self.millimetres = fields[17:19], fields[19:21]


def luminance(colour):
    def channel(c):
        c /= 255
        return c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = map(channel, colour)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(a, b):
    hi, lo = sorted((luminance(a), luminance(b)), reverse=True)
    return (hi + 0.05) / (lo + 0.05)


def inside_polygon(x, y, points):
    """Even-odd rule, as GDI fills polygons by default."""
    hit = False
    for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            hit = not hit
    return hit


def inside_ellipse(x, y, box):
    left, top, right, bottom = box
    rx, ry = (right - left) / 2, (bottom - top) / 2
    return ((x - left - rx) / rx) ** 2 + ((y - top - ry) / ry) ** 2 <= 1


class Shapes:
    """Replays the records that fill areas: which colour ends up where."""

    def __init__(self, records):
        self.fills, self.outlines = [], []
        objects, brush = {}, None
        for kind, payload in records:
            if kind == EMR_CREATEBRUSHINDIRECT:
                handle, style, colour = struct.unpack("<III", payload[:12])
                objects[handle] = (colour & 255, colour >> 8 & 255, colour >> 16 & 255)
            elif kind == EMR_SELECTOBJECT:
                handle, = struct.unpack("<I", payload)
                if handle == NULL_BRUSH:
                    brush = None
                elif handle in objects:
                    brush = objects[handle]
            elif kind in (EMR_POLYGON16, EMR_POLYLINE16):
                count, = struct.unpack("<I", payload[16:20])
                points = [struct.unpack("<hh", payload[20 + 4 * i:24 + 4 * i]) for i in range(count)]
                self.outlines.append(points)
                if kind == EMR_POLYGON16 and brush:
                    self.fills.append((brush, lambda x, y, p=points: inside_polygon(x, y, p)))
            elif kind in (EMR_ELLIPSE, EMR_RECTANGLE, EMR_ROUNDRECT):
                box = struct.unpack("<4i", payload[:16])
                self.outlines.append([box[:2], box[2:4]])
                if brush:
                    test = inside_ellipse if kind == EMR_ELLIPSE else (
                        lambda x, y, b: b[0] <= x < b[2] and b[1] <= y < b[3])
                    self.fills.append((brush, lambda x, y, b=box, t=test: t(x, y, b)))

    def colour_at(self, x, y, background):
        colour = background
        for fill, covers in self.fills:
            if covers(x, y):
                colour = fill
        return colour


class SplashMetafile(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data, cls.records = read_metafile(PATH)
        kind, payload = cls.records[0]
        if kind != EMR_HEADER:
            raise AssertionError("the first record is not EMR_HEADER")
        cls.header = Header(payload)

    def test_header_describes_a_picture_of_the_whole_window(self):
        h = self.header
        self.assertEqual(h.signature, 0x464D4520)
        self.assertEqual(h.version, 0x10000)
        self.assertEqual((h.frame[2] - h.frame[0], h.frame[3] - h.frame[1]), FRAME)
        self.assertEqual(h.bounds[:2], (0, 0))
        self.assertEqual((h.bounds[2] + 1, h.bounds[3] + 1), SIZE_PX, "inclusive pixel bounds")

    def test_reference_device_maps_the_frame_to_the_pixel_size(self):
        h = self.header
        for axis in (0, 1):
            per_mm = h.device[axis] / h.millimetres[axis]
            self.assertAlmostEqual(per_mm, 96 / 25.4, delta=0.02, msg="96 dpi reference")
            pixels = FRAME[axis] / 100 * per_mm
            self.assertAlmostEqual(pixels, SIZE_PX[axis], delta=0.5)

    def test_byte_and_record_counts_match_the_records(self):
        self.assertEqual(self.header.bytes, len(self.data))
        self.assertEqual(self.header.records, len(self.records))
        self.assertEqual([k for k, _ in self.records].count(EMR_HEADER), 1)

    def test_ends_with_a_single_eof_record(self):
        kinds = [k for k, _ in self.records]
        self.assertEqual(kinds[-1], EMR_EOF)
        self.assertEqual(kinds.count(EMR_EOF), 1)
        n_pal, off_pal, size_last = struct.unpack("<III", self.records[-1][1])
        self.assertEqual(size_last, 20)

    def test_description_names_the_program(self):
        h = self.header
        text = self.data[h.description_offset:h.description_offset + 2 * h.description_chars]
        self.assertTrue(text.decode("utf-16-le").startswith("Horavane\0"))

    def test_objects_are_created_used_and_deleted_within_the_handle_table(self):
        live = set()
        for number, (kind, payload) in enumerate(self.records):
            handle = struct.unpack("<I", payload[:4])[0] if payload else None
            with self.subTest(record=number, kind=kind):
                if kind in (EMR_CREATEPEN, EMR_CREATEBRUSHINDIRECT):
                    self.assertTrue(0 < handle < self.header.handles, f"handle {handle}")
                    self.assertNotIn(handle, live, "created over a live object")
                    live.add(handle)
                elif kind == EMR_SELECTOBJECT:
                    self.assertTrue(handle & 0x80000000 or handle in live, f"select of {handle}")
                elif kind == EMR_DELETEOBJECT:
                    self.assertIn(handle, live, "delete of an object that does not exist")
                    live.discard(handle)
        self.assertEqual(live, set(), "objects left undeleted")

    def test_everything_is_drawn_inside_the_picture(self):
        shapes = Shapes(self.records)
        self.assertGreater(len(shapes.outlines), 5)
        for points in shapes.outlines:
            for x, y in points:
                self.assertTrue(0 <= x <= SIZE_PX[0] and 0 <= y <= SIZE_PX[1], f"point {x},{y}")

    def test_every_label_stays_readable_on_the_artwork(self):
        shapes = Shapes(self.records)
        for label, ((left, top, right, bottom), text) in LABELS.items():
            worst = min(contrast(text, shapes.colour_at(x + 0.5, y + 0.5, PALE_YELLOW))
                        for y in range(top, bottom, 2) for x in range(left, right, 2))
            with self.subTest(label=label):
                self.assertGreaterEqual(worst, 4.5)


if __name__ == "__main__":
    PATH = sys.argv[1]
    unittest.main(argv=sys.argv[:1], verbosity=2)
