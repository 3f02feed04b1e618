"""The add-in's button pictures, drawn from simple shapes.

Each picture is a list of layers painted in order on a transparent 32 by 32
canvas: a shape (in picture coordinates, 0..32 with y growing downwards) and
its colour. Edit a glyph function below and rebuild; make_ui_modules.py turns
the pictures into the command bar's 16-bit bitmaps and the ribbon's PNGs.

Pictures with a direction (a person with a badge at one side, lists whose
bullets lead the lines) are mirrored for right-to-left layouts; the others
are the same in both.
"""

import math

SIZE = 32
SAMPLES = 4  # per axis and pixel: edges are anti-aliased

# ---- shapes: functions of a point, true inside ----


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                hit = not hit
        return hit
    return inside


def stroke(points, width):
    """A polyline drawn with a round pen."""
    half = width / 2.0

    def near(x, y, a, b):
        (xa, ya), (xb, yb) = a, b
        dx, dy = xb - xa, yb - ya
        t = ((x - xa) * dx + (y - ya) * dy) / (dx * dx + dy * dy)
        t = min(max(t, 0.0), 1.0)
        return (x - xa - t * dx) ** 2 + (y - ya - t * dy) ** 2 <= half * half
    return lambda x, y: any(near(x, y, points[i], points[i + 1]) for i in range(len(points) - 1))


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(shape, *holes):
    return lambda x, y: shape(x, y) and not any(h(x, y) for h in holes)


# ---- colours (r, g, b, a) ----

OUTLINE = (52, 64, 84, 255)
STEEL = (96, 114, 138, 255)
PAPER = (250, 250, 246, 255)
SPAM_RED = (200, 44, 36, 255)
SPAM_DARK = (128, 24, 20, 255)
FRIEND_GREEN = (40, 150, 60, 255)
FRIEND_DARK = (22, 96, 36, 255)
WHITE = (255, 255, 255, 255)
PERSON = (70, 110, 170, 255)
PERSON_DARK = (40, 66, 110, 255)

# ---- glyphs ----


def spam_bin():
    """Is spam: a red bin with its lid, ribs and handle."""
    body = polygon([(7, 10), (25, 10), (23, 30), (9, 30)])
    ribs = union(rect(11.2, 13, 12.8, 27), rect(15.2, 13, 16.8, 27), rect(19.2, 13, 20.8, 27))
    return [
        (polygon([(6, 9), (26, 9), (24, 31), (8, 31)]), SPAM_DARK),
        (body, SPAM_RED),
        (ribs, SPAM_DARK),
        (rounded(4, 5, 28, 9.5, 1.5), SPAM_DARK),
        (rounded(5, 6, 27, 8.5, 1), SPAM_RED),
        (minus(rounded(12, 1.5, 20, 6, 1.5), rect(14, 3.5, 18, 6.5)), SPAM_DARK),
    ]


def envelope_layers():
    return [
        (rounded(2, 7, 30, 27, 2), OUTLINE),
        (rect(3.5, 8.5, 28.5, 25.5), PAPER),
        (stroke([(4, 9.5), (16, 18.5), (28, 9.5)], 1.6), OUTLINE),
    ]


def not_spam():
    """Not spam: a letter with a green check mark over it."""
    check = [(8, 17), (14, 23), (25, 9)]
    return envelope_layers() + [
        (stroke(check, 7.0), WHITE),
        (stroke(check, 4.2), FRIEND_GREEN),
    ]


def person_layers():
    return [
        (circle(13, 10, 6.5), PERSON_DARK),
        (circle(13, 10, 5.2), PERSON),
        (minus(ellipse(13, 29, 11, 10.5), rect(0, 29.5, 32, 32)), PERSON_DARK),
        (minus(ellipse(13, 29, 9.7, 9.2), rect(0, 28.5, 32, 32)), PERSON),
    ]


def badge(sign, fill, dark):
    cx, cy = 24, 23
    bar = rect(cx - 4.5, cy - 1.2, cx + 4.5, cy + 1.2)
    mark = bar if sign == "-" else union(bar, rect(cx - 1.2, cy - 4.5, cx + 1.2, cy + 4.5))
    return [
        (circle(cx, cy, 7.8), WHITE),
        (circle(cx, cy, 6.8), dark),
        (circle(cx, cy, 5.8), fill),
        (mark, WHITE),
    ]


def add_spammer():
    """Add spammer: a person with a red minus."""
    return person_layers() + badge("-", SPAM_RED, SPAM_DARK)


def add_friend():
    """Add friend: a person with a green plus."""
    return person_layers() + badge("+", FRIEND_GREEN, FRIEND_DARK)


def sender_list(bullet, dark):
    layers = [
        (rounded(4, 2, 28, 30, 2), OUTLINE),
        (rect(5.5, 3.5, 26.5, 28.5), PAPER),
    ]
    for row in range(4):
        y = 8 + row * 6
        layers.append((circle(10, y, 2.4), dark))
        layers.append((circle(10, y, 1.7), bullet))
        layers.append((rect(14, y - 1, 24 - (row % 2) * 4, y + 1), STEEL))
    return layers


def spammers():
    """The list of spammers: red bullets."""
    return sender_list(SPAM_RED, SPAM_DARK)


def friends():
    """The list of friends: green bullets."""
    return sender_list(FRIEND_GREEN, FRIEND_DARK)


def gear():
    """Settings: a gear with eight teeth."""
    points = []
    teeth = 8
    for i in range(teeth * 4):
        angle = 2 * math.pi * i / (teeth * 4) - math.pi / 2
        r = 14.5 if i % 4 in (1, 2) else 10.5
        points.append((16 + r * math.cos(angle), 16 + r * math.sin(angle)))
    wheel = polygon(points)
    return [
        (minus(wheel, circle(16, 16, 4.5)), OUTLINE),
        (minus(polygon([(16 + (x - 16) * 0.88, 16 + (y - 16) * 0.88) for x, y in points]), circle(16, 16, 5.5)),
         STEEL),
    ]


# Resource ids: the ribbon's PNG and the command bar's bitmap of each button,
# the glyph, and whether the picture has a direction.
BUTTONS = [
    # key         png  bitmap glyph        directional
    ("IsSpam",     208, 200, spam_bin,    False),
    ("NotSpam",    209, 201, not_spam,    False),
    ("AddSpammer", 210, 202, add_spammer, True),
    ("AddFriend",  211, 203, add_friend,  True),
    ("Spammers",   212, 204, spammers,    True),
    ("Friends",    213, 205, friends,     True),
    ("Settings",   214, 206, gear,        False),
]

# ---- painting ----


def paint(layers, mirrored=False):
    """RGBA rows (lists of (r, g, b, a)), the layers composited in order."""
    rows = []
    n = SAMPLES * SAMPLES
    offsets = [((i + 0.5) / SAMPLES, (j + 0.5) / SAMPLES) for i in range(SAMPLES) for j in range(SAMPLES)]
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            r = g = b = a = 0.0  # premultiplied
            for shape, (cr, cg, cb, ca) in layers:
                hits = 0
                for ox, oy in offsets:
                    x = px + ox
                    if mirrored:
                        x = SIZE - x
                    if shape(x, py + oy):
                        hits += 1
                if hits == 0:
                    continue
                alpha = ca / 255.0 * hits / n
                r = cr * alpha + r * (1 - alpha)
                g = cg * alpha + g * (1 - alpha)
                b = cb * alpha + b * (1 - alpha)
                a = alpha + a * (1 - alpha)
            if a > 0:
                row.append((round(r / a), round(g / a), round(b / a), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows
