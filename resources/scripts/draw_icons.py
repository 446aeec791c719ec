"""Draws a 32-bit icon with alpha at every size Windows asks for, from a shape source.

A picture source describes the picture on a square design grid, back to front:

    # comment
    grid 32                         the design grid (default 32)
    colour ink 40 24 24             a named colour (red green blue)
    base tray2.icon                 draw that file's shapes first, then these over them
    rect X0 Y0 X1 Y1 FILL [edge=COLOUR] [width=W] [round=R]
    circle CX CY R FILL [edge=COLOUR] [width=W]
    line X0 Y0 X1 Y1 WIDTH COLOUR   a stroke with round ends
    polygon FILL X,Y X,Y X,Y ...

Any shape may end in sizes=A-B: it is drawn only at sizes from A to B pixels, so that the
smallest images can leave out detail that would only blur them.

Each size is drawn on its own, not scaled from another: rectangle edges and the widths of
edges and strokes are rounded to whole pixels of that size (at least one), so that straight
edges stay sharp; curves and slanted strokes are smoothed by sampling each pixel 5 x 5 times.
Usage: draw_icons.py SOURCE OUTPUT.ico
"""
import math
import os
import struct
import sys

SIZES = (64, 48, 40, 32, 24, 20, 16)
SAMPLES = 5


def snap(value):
    return math.floor(value + 0.5)


def whole_pixels(width, scale):
    return max(1, snap(width * scale))


class Rect:
    def __init__(self, x0, y0, x1, y1, fill, edge, width, radius, scale):
        self.x0, self.y0 = snap(x0 * scale), snap(y0 * scale)
        self.x1, self.y1 = max(snap(x1 * scale), self.x0 + 1), max(snap(y1 * scale), self.y0 + 1)
        self.fill, self.edge = fill, edge
        self.inset = whole_pixels(width, scale) if edge else 0
        self.radius = radius * scale
        self.box = (self.x0, self.y0, self.x1, self.y1)

    def _inside(self, x, y, inset):
        x0, y0, x1, y1 = self.x0 + inset, self.y0 + inset, self.x1 - inset, self.y1 - inset
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        r = max(self.radius - inset, 0)
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    def colour(self, x, y):
        if not self._inside(x, y, 0):
            return None
        return self.fill if not self.inset or self._inside(x, y, self.inset) else self.edge


class Circle:
    def __init__(self, cx, cy, r, fill, edge, width, scale):
        self.cx, self.cy, self.r = cx * scale, cy * scale, r * scale
        self.fill, self.edge = fill, edge
        self.inner = self.r - whole_pixels(width, scale) if edge else self.r
        self.box = (self.cx - self.r, self.cy - self.r, self.cx + self.r, self.cy + self.r)

    def colour(self, x, y):
        d = (x - self.cx) ** 2 + (y - self.cy) ** 2
        if d > self.r * self.r:
            return None
        return self.fill if d <= self.inner * self.inner else self.edge


def stroke_position(a, b, width):
    """An upright or level stroke lies on whole pixels: its centre on a pixel centre when its
    width is odd, on a pixel edge when it is even."""
    if a != b:
        return a, b
    centre = math.floor(a) + 0.5 if width % 2 else snap(a)
    return centre, centre


class Line:
    def __init__(self, x0, y0, x1, y1, width, colour, scale):
        w = whole_pixels(width, scale)
        self.x0, self.x1 = stroke_position(x0 * scale, x1 * scale, w)
        self.y0, self.y1 = stroke_position(y0 * scale, y1 * scale, w)
        self.half, self.fill = w / 2, colour
        self.box = (min(self.x0, self.x1) - self.half, min(self.y0, self.y1) - self.half,
                    max(self.x0, self.x1) + self.half, max(self.y0, self.y1) + self.half)

    def colour(self, x, y):
        dx, dy = self.x1 - self.x0, self.y1 - self.y0
        length = dx * dx + dy * dy
        t = 0 if length == 0 else min(max(((x - self.x0) * dx + (y - self.y0) * dy) / length, 0), 1)
        px, py = self.x0 + t * dx - x, self.y0 + t * dy - y
        return self.fill if px * px + py * py <= self.half * self.half else None


class Polygon:
    def __init__(self, fill, points, scale):
        self.fill = fill
        self.points = [(x * scale, y * scale) for x, y in points]
        xs, ys = [p[0] for p in self.points], [p[1] for p in self.points]
        self.box = (min(xs), min(ys), max(xs), max(ys))

    def colour(self, x, y):
        inside = False
        for (ax, ay), (bx, by) in zip(self.points, self.points[1:] + self.points[:1]):
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return self.fill if inside else None


class Source:
    """The shapes of a picture source, kept as (line number, kind, fields)."""

    def __init__(self, path):
        self.path, self.grid, self.colours, self.shapes = path, 32, {}, []
        self._read(path)

    def fail(self, number, message):
        sys.exit(f"{self.path}:{number}: {message}")

    def _read(self, path):
        with open(path, encoding="ascii") as f:
            lines = f.readlines()
        for number, line in enumerate(lines, 1):
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            kind, fields = words[0], words[1:]
            if kind == "grid":
                self.grid = self._number(number, fields[0]) if fields else self.fail(number, "grid needs a size")
            elif kind == "colour":
                if len(fields) != 4:
                    self.fail(number, "colour needs a name and three values")
                self.colours[fields[0]] = tuple(self._channel(number, v) for v in fields[1:])
            elif kind == "base":
                base = Source(os.path.join(os.path.dirname(path), fields[0]))
                self.grid, self.colours, self.shapes = base.grid, dict(base.colours), list(base.shapes)
            elif kind in ("rect", "circle", "line", "polygon"):
                self.shapes.append((number, kind, fields))
            else:
                self.fail(number, f"unknown shape '{kind}'")

    def _number(self, number, text):
        try:
            return float(text)
        except ValueError:
            self.fail(number, f"'{text}' is not a number")

    def _channel(self, number, text):
        value = self._number(number, text)
        if not 0 <= value <= 255:
            self.fail(number, f"colour value {text} lies outside 0 to 255")
        return int(value)

    def _colour(self, number, name):
        if name not in self.colours:
            self.fail(number, f"unknown colour '{name}'")
        return self.colours[name]

    def _split(self, number, fields):
        plain, named = [], {}
        for field in fields:
            if "=" in field:
                key, value = field.split("=", 1)
                named[key] = value
            else:
                plain.append(field)
        return plain, named

    def build(self, number, kind, fields, scale):
        plain, named = self._split(number, fields)
        unknown = set(named) - {"edge", "width", "round", "sizes"}
        if unknown:
            self.fail(number, f"unknown option '{sorted(unknown)[0]}'")
        edge = self._colour(number, named["edge"]) if "edge" in named else None
        width = self._number(number, named.get("width", "1"))
        counts = {"rect": 5, "circle": 4, "line": 6}
        if kind in counts and len(plain) != counts[kind]:
            self.fail(number, f"{kind} needs {counts[kind]} values")
        if kind == "rect":
            x0, y0, x1, y1 = (self._number(number, v) for v in plain[:4])
            return Rect(x0, y0, x1, y1, self._colour(number, plain[4]), edge, width,
                        self._number(number, named.get("round", "0")), scale)
        if kind == "circle":
            cx, cy, r = (self._number(number, v) for v in plain[:3])
            return Circle(cx, cy, r, self._colour(number, plain[3]), edge, width, scale)
        if kind == "line":
            x0, y0, x1, y1, w = (self._number(number, v) for v in plain[:5])
            return Line(x0, y0, x1, y1, w, self._colour(number, plain[5]), scale)
        if len(plain) < 4:
            self.fail(number, "polygon needs a colour and three points")
        points = []
        for point in plain[1:]:
            if point.count(",") != 1:
                self.fail(number, f"'{point}' is not a point X,Y")
            points.append(tuple(self._number(number, v) for v in point.split(",")))
        return Polygon(self._colour(number, plain[0]), points, scale)

    def drawn_at(self, number, fields, size):
        spans = [f.split("=", 1)[1] for f in fields if f.startswith("sizes=")]
        if not spans:
            return True
        low, _, high = spans[0].partition("-")
        if not high:
            self.fail(number, f"sizes={spans[0]} is not a range A-B")
        return self._number(number, low) <= size <= self._number(number, high)

    def shapes_at(self, size):
        scale = size / self.grid
        return [self.build(number, kind, fields, scale) for number, kind, fields in self.shapes
                if self.drawn_at(number, fields, size)]


def render(shapes, size):
    """Rows of (red, green, blue, alpha), alpha not premultiplied."""
    offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
    rows = []
    for y in range(size):
        row_shapes = [s for s in shapes if s.box[1] <= y + 1 and s.box[3] >= y]
        row = []
        for x in range(size):
            here = [s for s in reversed(row_shapes) if s.box[0] <= x + 1 and s.box[2] >= x]
            total, hits = [0, 0, 0], 0
            for oy in offsets:
                for ox in offsets:
                    for shape in here:
                        colour = shape.colour(x + ox, y + oy)
                        if colour:
                            total = [t + c for t, c in zip(total, colour)]
                            hits += 1
                            break
            alpha = snap(255 * hits / SAMPLES ** 2)
            row.append((0, 0, 0, 0) if hits == 0 else tuple(snap(t / hits) for t in total) + (alpha,))
        rows.append(row)
    return rows


def dib(rows):
    size = len(rows)
    bgra = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    stride = (size + 31) // 32 * 4
    mask = b""
    for row in reversed(rows):
        bits = 0
        for _, _, _, a in row:
            bits = (bits << 1) | (a == 0)
        mask += (bits << (stride * 8 - size)).to_bytes(stride, "big")
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, len(bgra) + len(mask), 0, 0, 0, 0)
    return header + bgra + mask


def icon_file(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, blob in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blob for _, blob in images)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    source, output = sys.argv[1:]
    picture = Source(source)
    images = [(size, dib(render(picture.shapes_at(size), size))) for size in SIZES]
    with open(output + ".tmp", "wb") as f:
        f.write(icon_file(images))
    os.replace(output + ".tmp", output)


if __name__ == "__main__":
    main()
