"""Checks the generated tray icons and the splash pointer as Windows reads them, and that the
drawing tools refuse bad sources.

Usage: check_pictures.py RESOURCE_BUILD_DIR RESOURCE_SOURCE_DIR
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = SOURCE = None

def dib_of(image, data, size, offset):
    """The image's DIB, with its BITMAPINFOHEADER's fields set on the image."""
    blob = data[offset:offset + size]
    if offset + size > len(data) or len(blob) < 40:
        raise ValueError("image data lies outside the file")
    (image.header_size, image.dib_width, image.dib_height, image.planes, image.bits,
     image.compression) = struct.unpack("<IiiHHI", blob[:20])
    return blob


class Image:
    """One 16-colour or two-colour image of a cursor file, decoded from its DIB."""

    def __init__(self, data, entry):
        self.width, self.height, self.colours, _, self.x, self.y, size, offset = entry
        blob = dib_of(self, data, size, offset)
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


def read_images(path, kind, image_class):
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
        images.append(image_class(data, entry))
    return data, images


class Image32:
    """One 32-bit image of an icon file: straight (not premultiplied) BGRA and its AND mask."""

    def __init__(self, data, entry):
        self.width, self.height, self.colours, _, self.planes_entry, self.bits_entry, size, offset = entry
        blob = dib_of(self, data, size, offset)
        w, h = self.width, self.height
        and_stride = (w + 31) // 32 * 4
        self.size, self.expected_size = size, 40 + 4 * w * h + and_stride * h
        if self.bits != 32 or self.expected_size > size:
            raise ValueError("not a whole 32-bit image with its mask")
        self.rgba = [[None] * w for _ in range(h)]
        self.masked = [[False] * w for _ in range(h)]
        for row in range(h):                      # DIB rows run bottom-up
            y = h - 1 - row
            for x in range(w):
                b, g, r, a = blob[40 + 4 * (row * w + x):44 + 4 * (row * w + x)]
                self.rgba[y][x] = (r, g, b, a)
                mask = blob[40 + 4 * w * h + row * and_stride + x // 8]
                self.masked[y][x] = bool(mask & (0x80 >> (x % 8)))

    def alphas(self):
        return [p[3] for row in self.rgba for p in row]


def icon(name):
    return read_images(os.path.join(BUILD, name), 1, Image32)


def by_size(name):
    return {image.width: image for image in icon(name)[1]}


ICONS = ("tray1.ico", "tray2.ico", "tray3.ico")
SIZES = [16, 20, 24, 32, 40, 48, 64]


def is_red(pixel):
    r, g, b, a = pixel
    return a == 255 and r > 180 and g < 90 and b < 90


class IconFormat(unittest.TestCase):
    def test_each_icon_holds_32_bit_images_with_alpha_at_every_size(self):
        for name in ICONS:
            with self.subTest(name=name):
                data, images = icon(name)
                self.assertEqual(sorted(i.width for i in images), SIZES)
                for image in images:
                    self.assertEqual(image.width, image.height)
                    self.assertEqual((image.header_size, image.dib_width, image.dib_height),
                                     (40, image.width, 2 * image.height), "BITMAPINFOHEADER")
                    self.assertEqual((image.planes, image.bits, image.compression), (1, 32, 0))
                    self.assertEqual((image.colours, image.planes_entry, image.bits_entry), (0, 1, 32),
                                     "directory entry")
                    self.assertEqual(image.size, image.expected_size, "bitmap plus AND mask")
                total = 6 + 16 * len(images) + sum(i.size for i in images)
                self.assertEqual(len(data), total, "no gaps or trailing bytes")

    def test_the_mask_covers_exactly_the_transparent_pixels(self):
        for name in ICONS:
            for image in icon(name)[1]:
                with self.subTest(name=name, size=image.width):
                    alphas = image.alphas()
                    opaque = sum(a == 255 for a in alphas)
                    self.assertGreater(opaque, len(alphas) // 4, "the drawing fills a good part of the icon")
                    self.assertIn(0, alphas, "something is left transparent")
                    for y, row in enumerate(image.rgba):
                        for x, pixel in enumerate(row):
                            # programs that ignore alpha draw through the mask
                            self.assertEqual(image.masked[y][x], pixel[3] == 0, f"pixel {x},{y}")
                            if pixel[3] == 0:
                                self.assertEqual(pixel, (0, 0, 0, 0), f"pixel {x},{y} under the mask")

    def test_every_size_is_sharp_with_smoothed_curves(self):
        # An image enlarged from a smaller one is rimmed with half-covered pixels (a 32-pixel
        # drawing enlarged to 64 has about 30 % of them); a drawing made for its size has them
        # along its curves and slants only, a share that falls as the size grows.
        for name in ICONS:
            for image in icon(name)[1]:
                with self.subTest(name=name, size=image.width):
                    drawn = [a for a in image.alphas() if a]
                    partial = sum(a < 255 for a in drawn)
                    self.assertGreater(partial, 0, "curves are smoothed")
                    self.assertLess(partial / len(drawn), 6 / image.width, "edges are sharp")

    def test_the_three_pictures_differ_at_every_size(self):
        pictures = [by_size(name) for name in ICONS]
        for size in SIZES:
            drawn = [p[size].rgba for p in pictures]
            with self.subTest(size=size):
                self.assertNotEqual(drawn[0], drawn[1])
                self.assertNotEqual(drawn[0], drawn[2])
                self.assertNotEqual(drawn[1], drawn[2])


class CrossedOutPicture(unittest.TestCase):
    def test_image_3_adds_a_red_x_along_both_diagonals(self):
        active, inactive = by_size("tray2.ico"), by_size("tray3.ico")
        for size in SIZES:
            a, b = active[size].rgba, inactive[size].rgba
            new_red = {(x, y) for y in range(size) for x in range(size)
                       if is_red(b[y][x]) and not is_red(a[y][x])}
            with self.subTest(size=size):
                for name, on_line in (("main", lambda x, y: abs(x - y) <= 1),
                                      ("anti", lambda x, y: abs(x + y - (size - 1)) <= 1)):
                    rows = {y for x, y in new_red if on_line(x, y)}
                    # the stroke crosses most of the picture, not a corner of it
                    self.assertGreater(len(rows), size // 2, f"{name} diagonal")

    def test_image_3_keeps_image_2_away_from_the_cross(self):
        active, inactive = by_size("tray2.ico"), by_size("tray3.ico")
        for size in SIZES:
            a, b = active[size].rgba, inactive[size].rgba
            reach = 2.5 * size / 32 + 1.5    # half the stroke, and its smoothed rim
            changed = [(x, y) for y in range(size) for x in range(size)
                       if min(abs(x - y), abs(x + y - (size - 1))) / 2 ** 0.5 > reach
                       and a[y][x] != b[y][x]]
            with self.subTest(size=size):
                self.assertEqual(changed, [])


class Pointer(unittest.TestCase):
    def test_pointer_is_a_32_pixel_cursor_with_its_hotspot_on_the_drawing(self):
        data, images = read_images(os.path.join(BUILD, "pointer.cur"), 2, Image)
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

    def run_tool(self, text, shapes=False):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "bad.icon" if shapes else "bad.txt")
            output = os.path.join(folder, "bad.ico")
            with open(source, "w") as f:
                f.write(text)
            if shapes:
                command = [os.path.join(SOURCE, "scripts", "draw_icons.py"), source, output]
            else:
                command = [os.path.join(SOURCE, "scripts", "make_pictures.py"),
                           os.path.join(SOURCE, "pictures", "palette.txt"), source, output]
            run = subprocess.run([sys.executable] + command,
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
            return run.returncode, run.stdout, os.path.exists(output)

    def test_malformed_sources_are_refused(self):
        shapes = "colour k 0 0 0\n"
        cases = {
            "short row": ("image 16\n" + "k" * 15 + "\n" + ("k" * 16 + "\n") * 15, "bad.txt:2", False),
            "missing rows": ("image 16\n" + ("k" * 16 + "\n") * 15, "15 rows", False),
            "unknown colour": ("image 16\n" + "kkkkkkkkkkkkkkkZ\n" + ("k" * 16 + "\n") * 15, "'Z'", False),
            "row before image": ("k" * 16 + "\n", "bad.txt:1", False),
            "unknown shape": (shapes + "star 1 1 5 k\n", "bad.icon:2: unknown shape 'star'", True),
            "undefined colour": (shapes + "rect 0 0 4 4 q\n", "unknown colour 'q'", True),
            "missing value": (shapes + "line 0 0 4 4 k\n", "line needs 6 values", True),
            "not a number": (shapes + "circle 8 8 x k\n", "'x' is not a number", True),
            "size range": (shapes + "rect 0 0 4 4 k sizes=16\n", "sizes=16 is not a range", True),
        }
        for name, (text, message, shapes_source) in cases.items():
            with self.subTest(case=name):
                code, output, written = self.run_tool(text, shapes_source)
                self.assertNotEqual(code, 0)
                self.assertIn(message, output)
                self.assertFalse(written, "no output file is left behind")


if __name__ == "__main__":
    BUILD, SOURCE = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
