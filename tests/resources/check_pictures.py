"""Checks the generated tray icons and the splash pointer as Windows reads them.

Usage: check_pictures.py RESOURCE_BUILD_DIR RESOURCE_SOURCE_DIR
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = SOURCE = None

# The standard 16-colour VGA palette, in the order Windows uses it.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
MASK_COLOUR = (192, 192, 192)
RED = (255, 0, 0)


class Image:
    """One image of an icon or cursor file, decoded from its DIB."""

    def __init__(self, data, entry):
        self.width, self.height, self.colours, _, self.x, self.y, size, offset = entry
        blob = data[offset:offset + size]
        if offset + size > len(data) or len(blob) < 40:
            raise ValueError("image data lies outside the file")
        (self.header_size, self.dib_width, self.dib_height, self.planes, self.bits,
         self.compression) = struct.unpack("<IiiHHI", blob[:20])
        self.palette = [tuple(blob[40 + 4 * i + k] for k in (2, 1, 0)) for i in range(16)]
        w, h = self.width, self.height
        xor_stride, and_stride = (w * 4 + 31) // 32 * 4, (w + 31) // 32 * 4
        xor_at = 40 + 16 * 4
        and_at = xor_at + xor_stride * h
        self.expected_size = and_at + and_stride * h
        self.size = size
        if self.expected_size > size:
            raise ValueError("image data is shorter than its bitmap and mask")
        self.pixels = [[0] * w for _ in range(h)]
        self.transparent = [[False] * w for _ in range(h)]
        for row in range(h):                      # DIB rows run bottom-up
            y = h - 1 - row
            for x in range(w):
                byte = blob[xor_at + row * xor_stride + x // 2]
                self.pixels[y][x] = byte >> 4 if x % 2 == 0 else byte & 15
                mask = blob[and_at + row * and_stride + x // 8]
                self.transparent[y][x] = bool(mask & (0x80 >> (x % 8)))

    def colour(self, x, y):
        return None if self.transparent[y][x] else self.palette[self.pixels[y][x]]

    def opaque_count(self):
        return sum(not t for row in self.transparent for t in row)


def read_images(path, kind):
    with open(path, "rb") as f:
        data = f.read()
    reserved, file_kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or file_kind != kind:
        raise ValueError(f"{path}: not a {'cursor' if kind == 2 else 'icon'} file")
    images = []
    for i in range(count):
        entry = list(struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i]))
        entry[0] = entry[0] or 256
        entry[1] = entry[1] or 256
        images.append(Image(data, entry))
    return data, images


def icon(name):
    return read_images(os.path.join(BUILD, name), 1)[1]


def by_size(images):
    return {image.width: image for image in images}


class IconFormat(unittest.TestCase):
    def test_each_icon_holds_32_and_16_pixel_16_colour_images(self):
        for name in ("tray1.ico", "tray2.ico", "tray3.ico"):
            with self.subTest(name=name):
                data, images = read_images(os.path.join(BUILD, name), 1)
                self.assertEqual(sorted(i.width for i in images), [16, 32])
                for image in images:
                    self.assertEqual(image.width, image.height)
                    self.assertEqual((image.header_size, image.dib_width, image.dib_height),
                                     (40, image.width, 2 * image.height), "BITMAPINFOHEADER")
                    self.assertEqual((image.planes, image.bits, image.compression), (1, 4, 0))
                    self.assertEqual(image.colours, 16)
                    self.assertEqual((image.x, image.y), (1, 4), "directory planes and bit count")
                    self.assertEqual(image.size, image.expected_size, "bitmap plus AND mask")
                    self.assertEqual(image.palette, VGA)
                total = 6 + 16 * len(images) + sum(i.size for i in images)
                self.assertEqual(len(data), total, "no gaps or trailing bytes")

    def test_masks_are_transparent_outside_the_drawing_only(self):
        for name in ("tray1.ico", "tray2.ico", "tray3.ico"):
            for image in icon(name):
                with self.subTest(name=name, size=image.width):
                    area = image.width * image.height
                    opaque = image.opaque_count()
                    self.assertGreater(opaque, area // 4, "the drawing fills a good part of the icon")
                    self.assertLess(opaque, area, "the mask leaves something transparent")
                    for y in range(image.height):
                        for x in range(image.width):
                            if image.transparent[y][x]:
                                # anything but black here would invert the desktop behind the icon
                                self.assertEqual(image.pixels[y][x], 0, f"pixel {x},{y} under the mask")
                            else:
                                self.assertNotEqual(image.colour(x, y), MASK_COLOUR,
                                                    f"pixel {x},{y} uses the mask colour")

    def test_the_three_pictures_differ_at_both_sizes(self):
        pictures = [by_size(icon(f"tray{n}.ico")) for n in (1, 2, 3)]
        for size in (16, 32):
            drawn = [[[p[size].colour(x, y) for x in range(size)] for y in range(size)] for p in pictures]
            with self.subTest(size=size):
                self.assertNotEqual(drawn[0], drawn[1])
                self.assertNotEqual(drawn[0], drawn[2])
                self.assertNotEqual(drawn[1], drawn[2])

    def test_the_small_images_are_drawn_for_their_size(self):
        # A 16-pixel image made by dropping every other pixel of the 32-pixel one
        # would match it exactly at those pixels.
        for name in ("tray1.ico", "tray2.ico", "tray3.ico"):
            images = by_size(icon(name))
            big, small = images[32], images[16]
            own = [[small.colour(x, y) for x in range(16)] for y in range(16)]
            for dx in (0, 1):
                for dy in (0, 1):
                    sampled = [[big.colour(2 * x + dx, 2 * y + dy) for x in range(16)] for y in range(16)]
                    with self.subTest(name=name, offset=(dx, dy)):
                        self.assertNotEqual(sampled, own)


class CrossedOutPicture(unittest.TestCase):
    def test_image_3_adds_a_red_x_along_both_diagonals(self):
        active, inactive = by_size(icon("tray2.ico")), by_size(icon("tray3.ico"))
        for size in (16, 32):
            a, b = active[size], inactive[size]
            new_red = {(x, y) for y in range(size) for x in range(size)
                       if b.colour(x, y) == RED and a.colour(x, y) != RED}
            with self.subTest(size=size):
                for name, on_line in (("main", lambda x, y: abs(x - y) <= 1),
                                      ("anti", lambda x, y: abs(x + y - (size - 1)) <= 1)):
                    rows = {y for x, y in new_red if on_line(x, y)}
                    # the stroke crosses most of the picture, not a corner of it
                    self.assertGreater(len(rows), size // 2, f"{name} diagonal")

    def test_image_3_keeps_image_2_away_from_the_cross(self):
        active, inactive = by_size(icon("tray2.ico")), by_size(icon("tray3.ico"))
        for size, reach in ((16, 2), (32, 2)):
            a, b = active[size], inactive[size]
            changed = [(x, y) for y in range(size) for x in range(size)
                       if min(abs(x - y), abs(x + y - (size - 1))) > reach
                       and a.colour(x, y) != b.colour(x, y)]
            with self.subTest(size=size):
                self.assertEqual(changed, [])


class Pointer(unittest.TestCase):
    def test_pointer_is_a_32_pixel_cursor_with_its_hotspot_on_the_drawing(self):
        data, images = read_images(os.path.join(BUILD, "pointer.cur"), 2)
        self.assertEqual(len(images), 1)
        cursor = images[0]
        self.assertEqual((cursor.width, cursor.height), (32, 32))
        self.assertEqual((cursor.dib_width, cursor.dib_height), (32, 64))
        self.assertIn(cursor.bits, (1, 4))
        self.assertEqual(cursor.size, cursor.expected_size)
        hx, hy = cursor.x, cursor.y
        self.assertTrue(0 <= hx < 32 and 0 <= hy < 32, f"hotspot {hx},{hy}")
        self.assertFalse(cursor.transparent[hy][hx], "the hotspot lies on a visible pixel")
        self.assertTrue(any(cursor.transparent[y][x] for y in range(32) for x in range(32)))


class PictureTool(unittest.TestCase):
    """Bad picture sources stop the build with a message instead of a broken icon."""

    def run_tool(self, text):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "bad.txt")
            output = os.path.join(folder, "bad.ico")
            with open(source, "w") as f:
                f.write(text)
            run = subprocess.run([sys.executable, os.path.join(SOURCE, "scripts", "make_pictures.py"),
                                  os.path.join(SOURCE, "pictures", "palette.txt"), source, output],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            return run.returncode, run.stdout, os.path.exists(output)

    def test_malformed_sources_are_refused(self):
        cases = {
            "short row": ("image 16\n" + "k" * 15 + "\n" + ("k" * 16 + "\n") * 15, "bad.txt:2"),
            "missing rows": ("image 16\n" + ("k" * 16 + "\n") * 15, "15 rows"),
            "unknown colour": ("image 16\n" + "kkkkkkkkkkkkkkkZ\n" + ("k" * 16 + "\n") * 15, "'Z'"),
            "row before image": ("k" * 16 + "\n", "bad.txt:1"),
        }
        for name, (text, message) in cases.items():
            with self.subTest(case=name):
                code, output, written = self.run_tool(text)
                self.assertNotEqual(code, 0)
                self.assertIn(message, output)
                self.assertFalse(written, "no output file is left behind")


if __name__ == "__main__":
    BUILD, SOURCE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
