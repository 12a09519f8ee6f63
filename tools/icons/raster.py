"""A tiny supersampling rasteriser for flat vector artwork.

Pictures are lists of shapes in a 48 x 48 unit square, painted in order;
each shape is filled with one RGBA colour. Rendering at any pixel size
samples every pixel on a grid and averages the samples, so edges come out
smooth at 16, 32 and 48 pixels alike.
"""

import math

CANVAS = 48.0


class Shape:
    """A filled region with a bounding box (x0, y0, x1, y1) in canvas units."""

    def __init__(self, colour, box, contains):
        self.colour = colour
        self.box = box
        self.contains = contains


def circle(cx, cy, r, colour):
    return Shape(colour, (cx - r, cy - r, cx + r, cy + r),
                 lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r)


def ellipse(cx, cy, rx, ry, colour, angle=0.0):
    """An ellipse with radii rx, ry, turned by `angle` degrees."""
    cos_a, sin_a = math.cos(math.radians(angle)), math.sin(math.radians(angle))
    reach = max(rx, ry)

    def contains(x, y):
        dx, dy = x - cx, y - cy
        u = dx * cos_a + dy * sin_a
        v = -dx * sin_a + dy * cos_a
        return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0

    return Shape(colour, (cx - reach, cy - reach, cx + reach, cy + reach), contains)


def ring(cx, cy, r, width, colour):
    """The band of a circle between radius r - width and r."""
    inner = (r - width) ** 2
    return Shape(colour, (cx - r, cy - r, cx + r, cy + r),
                 lambda x, y: inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r)


def polygon(points, colour):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    edges = list(zip(points, points[1:] + points[:1]))

    def contains(x, y):
        inside = False
        for (x0, y0), (x1, y1) in edges:
            if (y0 > y) != (y1 > y):
                if x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
                    inside = not inside
        return inside

    return Shape(colour, (min(xs), min(ys), max(xs), max(ys)), contains)


def _segment_distance_sq(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length_sq = dx * dx + dy * dy
    t = 0.0 if length_sq == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length_sq))
    px, py = ax + t * dx - x, ay + t * dy - y
    return px * px + py * py


def stroke(points, width, colour):
    """A polyline drawn with a round pen of the given width."""
    half = width / 2.0
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    segments = list(zip(points, points[1:])) or [(points[0], points[0])]

    def contains(x, y):
        return any(_segment_distance_sq(x, y, ax, ay, bx, by) <= half * half
                   for (ax, ay), (bx, by) in segments)

    return Shape(colour, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half),
                 contains)


def arc_points(cx, cy, rx, ry, start, end, steps=24):
    """Points along an elliptic arc from `start` to `end` degrees (0 = right,
    90 = down, as on screen)."""
    return [(cx + rx * math.cos(math.radians(start + (end - start) * i / steps)),
             cy + ry * math.sin(math.radians(start + (end - start) * i / steps)))
            for i in range(steps + 1)]


def clipped(shape, clip):
    """The part of `shape` that lies inside `clip`."""
    x0, y0, x1, y1 = shape.box
    c0, d0, c1, d1 = clip.box
    box = (max(x0, c0), max(y0, d0), min(x1, c1), min(y1, d1))
    return Shape(shape.colour, box, lambda x, y: shape.contains(x, y) and clip.contains(x, y))


def _over(dst, colour):
    r, g, b, a = (c / 255.0 for c in colour)
    dr, dg, db, da = dst
    # Premultiplied "source over".
    return (r * a + dr * (1 - a), g * a + dg * (1 - a), b * a + db * (1 - a), a + da * (1 - a))


def render(shapes, size, samples=None):
    """The picture as `size` rows of `size` (r, g, b, a) tuples, top row first."""
    grid = samples or (8 if size <= 16 else 6 if size <= 32 else 4)
    scale = CANVAS / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            pixel_box = (px * scale, py * scale, (px + 1) * scale, (py + 1) * scale)
            active = [s for s in shapes
                      if s.box[0] <= pixel_box[2] and s.box[2] >= pixel_box[0]
                      and s.box[1] <= pixel_box[3] and s.box[3] >= pixel_box[1]]
            total = [0.0, 0.0, 0.0, 0.0]
            for sy in range(grid):
                y = (py + (sy + 0.5) / grid) * scale
                for sx in range(grid):
                    x = (px + (sx + 0.5) / grid) * scale
                    value = (0.0, 0.0, 0.0, 0.0)
                    for shape in active:
                        if shape.contains(x, y):
                            value = _over(value, shape.colour)
                    for i in range(4):
                        total[i] += value[i]
            count = grid * grid
            alpha = total[3] / count
            if alpha <= 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(min(1.0, total[i] / count / alpha) * 255))
                                 for i in range(3)) + (int(round(alpha * 255)),))
        rows.append(row)
    return rows
