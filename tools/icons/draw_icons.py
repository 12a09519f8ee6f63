"""The artwork of the six window icons, as shapes on a 48 x 48 canvas.

Each picture is a function returning the shapes in painting order; see
raster.py for the shapes and make_def_icon.py for turning them into icons.
The argument `px` is the width of one pixel in canvas units at the size
being drawn: outlines and thin lines are kept at least about a pixel wide,
so that the small icons stay readable.
"""

from raster import arc_points, circle, clipped, ellipse, polygon, ring, stroke


def rgb(text, alpha=255):
    text = text.lstrip("#")
    return (int(text[0:2], 16), int(text[2:4], 16), int(text[4:6], 16), alpha)


def band(x0, y0, x1, y1, colour=(0, 0, 0, 255)):
    """A rectangle, mostly for clipping."""
    return polygon([(x0, y0), (x1, y0), (x1, y1), (x0, y1)], colour)


def thin(width, px, least=0.9):
    """A line width that stays visible at small sizes."""
    return max(width, least * px)


def outlined_circle(cx, cy, r, fill, ink, edge):
    return [circle(cx, cy, r, ink), circle(cx, cy, r - edge, fill)]


def sly_face(px):
    ink = rgb("5b3a12")
    edge = thin(1.5, px, 0.8)
    shapes = outlined_circle(24, 24, 23, rgb("ffd54a"), ink, edge)
    shapes += [ellipse(11, 30, 5.5, 3.2, rgb("ff6f8e", 150)),
               ellipse(37, 30, 5.5, 3.2, rgb("ff6f8e", 150))]
    # Half-closed eyes glancing sideways: the lid hides the top of each eye.
    for cx in (15.0, 33.0):
        eye = clipped(ellipse(cx, 19.5, 6.5, 4.0, rgb("ffffff")), band(0, 18.6, 48, 48))
        shapes += [eye,
                   clipped(circle(cx + 3.6, 20.6, max(2.6, 1.1 * px), rgb("2b1a06")), eye),
                   stroke([(cx - 7, 18.2), (cx + 7, 18.9)], thin(2.4, px), ink)]
    # One brow raised higher than the other: a smug look.
    shapes += [stroke(arc_points(15, 14, 7, 3, 200, 330), thin(2.0, px, 0.7), ink),
               stroke(arc_points(33, 11.5, 7, 3.5, 210, 340), thin(2.0, px, 0.7), ink)]
    # A wide grin that rises at the corners.
    upper = arc_points(24, 23.5, 15.5, 5.5, 165, 15)
    lower = arc_points(24, 24.5, 15.5, 12.5, 15, 165)
    mouth = polygon(upper + lower, rgb("7a2410"))
    lip = thin(1.4, px, 0.6)
    shapes += [mouth,
               clipped(band(0, 0, 48, 31.2, rgb("ffffff")), mouth),
               clipped(ellipse(24, 38, 7, 4, rgb("ff7b8a")), mouth),
               stroke(upper, lip, ink), stroke([upper[0], lower[-1]], lip, ink),
               stroke(lower, lip, ink)]
    return shapes


def soap_bubbles(px):
    shapes = []
    for cx, cy, r in ((19, 28, 16), (37, 13, 9.5), (39, 37, 6.5), (7, 8, 4)):
        width = thin(r * 0.12, px, 0.85)
        shapes += [circle(cx, cy, r, rgb("b5ecff", 120)),
                   ring(cx, cy, r, width, rgb("2f86d6")),
                   # a rainbow sheen along the lower right edge
                   clipped(ring(cx, cy, r - width, r * 0.14, rgb("e070d0", 170)),
                           band(cx - r * 0.2, cy, cx + r, cy + r)),
                   stroke(arc_points(cx, cy, r * 0.66, r * 0.66, 195, 250, 10),
                          thin(r * 0.16, px, 0.7), rgb("ffffff", 235)),
                   circle(cx - r * 0.25, cy - r * 0.62, max(0.8, r * 0.09), rgb("ffffff"))]
    return shapes


def pigeon(px):
    ink = rgb("343a42")
    grey, light, dark = rgb("a9b2bc"), rgb("c9d0d7"), rgb("7b8591")
    edge = thin(1.3, px, 0.7)
    bar, foot = thin(1.8, px, 0.8), thin(1.8, px, 0.8)
    return [
        # tail, body, neck and head, each on its own dark outline
        polygon([(35, 27), (47.5, 32), (46.5, 38), (33, 35)], ink),
        polygon([(36, 28.5), (46, 32.6), (45.3, 36.6), (34, 33.6)], dark),
        ellipse(27, 30, 15 + edge, 10 + edge, ink, angle=-12),
        ellipse(27, 30, 15, 10, grey, angle=-12),
        ellipse(15.5, 23, 7.5 + edge, 8.5 + edge, ink),
        ellipse(15.5, 23, 7.5, 8.5, rgb("4f9c7d")),
        clipped(ellipse(15.5, 23, 7.5, 8.5, rgb("8d5fa8")), band(0, 25, 48, 48)),
        circle(14, 13.5, 6.6 + edge, ink), circle(14, 13.5, 6.6, rgb("8f9aa6")),
        ellipse(30.5, 28, 11.5 + edge, 6.5 + edge, ink, angle=-8),
        ellipse(30.5, 28, 11.5, 6.5, light, angle=-8),
        stroke([(33, 23.5), (36, 31.5)], bar, rgb("2d2d2d")),
        stroke([(37.5, 23.5), (40, 30)], bar, rgb("2d2d2d")),
        # eye with its orange ring, beak with its pale cere
        circle(11.5, 12, max(2.3, 1.2 * px), rgb("f08a24")), circle(11.5, 12, 1.1, rgb("111111")),
        polygon([(7.8, 13.2), (1.5, 15.8), (7.8, 16.8)], rgb("3a3a3a")),
        ellipse(8, 13.4, 1.6, 1.0, rgb("eeeeee")),
        # pink feet
        stroke([(24, 39), (23, 45), (20, 46)], foot, rgb("e8738a")),
        stroke([(23, 45), (26, 46)], foot, rgb("e8738a")),
        stroke([(30, 38.5), (30, 45), (27, 46)], foot, rgb("e8738a")),
        stroke([(30, 45), (33, 46)], foot, rgb("e8738a")),
    ]


def cat(px):
    ink = rgb("5a3410")
    fur, stripe, pink = rgb("f5a742"), rgb("d9782a"), rgb("ff8fb0")
    edge = thin(1.5, px, 0.8)
    whisker, line = thin(0.9, px, 0.5), thin(1.1, px, 0.6)
    shapes = [
        polygon([(4, 22), (8, 1.5), (22, 11)], ink),
        polygon([(44, 22), (40, 1.5), (26, 11)], ink),
        polygon([(6.5, 20), (9.3, 5), (19.5, 12)], fur),
        polygon([(41.5, 20), (38.7, 5), (28.5, 12)], fur),
        polygon([(9, 16), (10.3, 8.5), (16, 12.5)], pink),
        polygon([(39, 16), (37.7, 8.5), (32, 12.5)], pink),
        ellipse(24, 28, 19.5 + edge, 16 + edge, ink), ellipse(24, 28, 19.5, 16, fur),
        stroke([(24, 12.5), (24, 18)], 2.0, stripe),
        stroke([(19.5, 13.3), (20.5, 17.5)], 1.8, stripe),
        stroke([(28.5, 13.3), (27.5, 17.5)], 1.8, stripe),
        ellipse(20.5, 36, 5, 3.6, rgb("fff4e6")), ellipse(27.5, 36, 5, 3.6, rgb("fff4e6")),
    ]
    for cx in (15.5, 32.5):
        shapes += [ellipse(cx, 26, 4.3, 4.8, rgb("8fd14f")),
                   ellipse(cx, 26, max(1.3, 0.5 * px), 4.1, rgb("111111")),
                   circle(cx + 1.4, 24.2, 0.9, rgb("ffffff"))]
    shapes += [
        polygon([(21.3, 31.5), (26.7, 31.5), (24, 34.6)], pink),
        stroke([(24, 34.4), (24, 36.5)], line, ink),
        stroke(arc_points(21.6, 36.3, 2.4, 1.8, 0, 160, 8), line, ink),
        stroke(arc_points(26.4, 36.3, 2.4, 1.8, 20, 180, 8), line, ink),
        stroke([(13, 33.5), (0.5, 31)], whisker, ink),
        stroke([(13, 36), (0.5, 37.5)], whisker, ink),
        stroke([(35, 33.5), (47.5, 31)], whisker, ink),
        stroke([(35, 36), (47.5, 37.5)], whisker, ink),
    ]
    return shapes


def monkey_face(px):
    ink = rgb("3b2210")
    fur, skin = rgb("8b5a2b"), rgb("f2c99b")
    edge = thin(1.2, px, 0.7)
    shapes = []
    for cx in (6.5, 41.5):
        shapes += outlined_circle(cx, 25, 6.5, fur, ink, edge) + [circle(cx, 25, 3.2, skin)]
    shapes += outlined_circle(24, 24, 19, fur, ink, edge)
    shapes += [stroke([(21, 6.5), (23, 3.5)], 2.2, fur), stroke([(25, 6.5), (27.5, 3)], 2.2, fur),
               circle(18.5, 21, 7.5, skin), circle(29.5, 21, 7.5, skin),
               ellipse(24, 32, 12.5, 9, skin)]
    for cx in (18.5, 29.5):
        shapes += [circle(cx, 21, max(2.7, 1.1 * px), rgb("1a1008")),
                   circle(cx + 0.9, 20.1, 0.8, rgb("ffffff"))]
    shapes += [ellipse(22, 28.5, 1.1, 0.8, ink), ellipse(26, 28.5, 1.1, 0.8, ink),
               stroke(arc_points(24, 31, 7, 4.5, 20, 160, 16), thin(1.6, px, 0.8), ink)]
    return shapes


def monkey_with_banana(px):
    ink = rgb("2e1c0c")
    fur, skin = rgb("c08a4a"), rgb("fbe0bd")
    edge = thin(1.2, px, 0.7)
    shapes = []
    for cx in (5, 35):
        shapes += outlined_circle(cx, 20, 5.8, fur, ink, edge) + [circle(cx, 20, 2.8, skin)]
    shapes += outlined_circle(20, 20, 16.5, fur, ink, edge)
    shapes += [
        # a heart-shaped face
        circle(15.5, 17.5, 6.3, skin), circle(24.5, 17.5, 6.3, skin),
        ellipse(20, 26, 10.5, 7.5, skin),
        # happy closed eyes and an open mouth
        stroke(arc_points(15.5, 18.5, 3, 2.4, 200, 340, 8), thin(1.5, px, 0.8), ink),
        stroke(arc_points(24.5, 18.5, 3, 2.4, 200, 340, 8), thin(1.5, px, 0.8), ink),
        ellipse(20, 28, 3.3, 2.8, rgb("8a2b1a")),
        ellipse(20, 29.6, 2.1, 1.2, rgb("ff8a8a")),
    ]
    # A banana, curved like a smile, held by its stalk in one hand.
    outer = arc_points(35, 25, 12, 18, 20, 140, 20)
    inner = arc_points(35, 25, 10.5, 12.5, 140, 20, 20)
    banana = polygon(outer + inner, rgb("ffd93b"))
    shapes += [
        stroke(outer + inner + outer[:1], thin(2.0, px, 0.8), ink), banana,
        clipped(ellipse(36, 44, 13, 4.5, rgb("e8b020")), banana),
        stroke([(25.8, 36.4), (25, 35)], thin(2.0, px, 0.8), rgb("4a3010")),
        stroke([(45.8, 30), (47, 25.5)], thin(2.6, px, 0.9), rgb("6b4a1a")),
        circle(44.2, 32.5, 4.0, ink), circle(44.2, 32.5, 4.0 - edge, skin),
    ]
    return shapes


# Name in def_icon, icon number, picture.
ICONS = [
    ("huaji", 1, sly_face),
    ("qipaoyu", 2, soap_bubbles),
    ("gezi", 3, pigeon),
    ("tabbit", 4, cat),
    ("monkey", 5, monkey_face),
    ("monkey_cp", 6, monkey_with_banana),
]
