"""The reference face: a smooth face-shaped height field z = f(x, y) over a
face outline, in the coordinates of the 2D layout (phone screen 380 x 672
centred on the origin, y up; the face looks towards +z, 2D stickers sit in
front of it at z = 80). Standard library only."""

import math

HALF_WIDTH = 110.0   # at the cheekbones
HALF_HEIGHT = 150.0  # chin at -150, hairline at +150
GRID = 60            # grid points per side: GRID * GRID vertices

# Feature centres (x, y), used by the generator's self-check and the tests.
LEFT_EYE = (-42.0, 35.0)
RIGHT_EYE = (42.0, 35.0)
NOSE_TIP = (0.0, -15.0)
MOUTH = (0.0, -71.0)
CHIN = (0.0, -120.0)


def _g(x, y, cx, cy, sx, sy):
    return math.exp(-(((x - cx) / sx) ** 2 + ((y - cy) / sy) ** 2))


def _smoothstep(e0, e1, v):
    t = max(0.0, min(1.0, (v - e0) / (e1 - e0)))
    return t * t * (3 - 2 * t)


def half_width_at(y):
    """Half width of the outline at height y: narrower towards the chin."""
    t = max(0.0, -y / HALF_HEIGHT)
    return HALF_WIDTH * (1.0 - 0.38 * t * t)


def depth(x, y):
    """z of the face surface at (x, y)."""
    r2 = (x / half_width_at(y)) ** 2 + (y / HALF_HEIGHT) ** 2
    z = 2.0 + 52.0 * math.sqrt(max(0.0, 1.0 - r2))
    # Nose: a ridge from the brow to the tip that widens and rises, a round
    # tip and two nostril wings.
    t = _smoothstep(48.0, -15.0, y) * (1.0 - _smoothstep(-15.0, -30.0, y))
    ridge_w = 7.0 + 7.0 * t
    z += (4.0 + 13.0 * t) * math.exp(-(x / ridge_w) ** 2) * _smoothstep(60.0, 45.0, y) * (1 - _smoothstep(-18.0, -30.0, y))
    z += 7.0 * _g(x, y, 0, -16, 11, 9)
    z += 4.5 * (_g(x, y, -15, -22, 7, 6) + _g(x, y, 15, -22, 7, 6))
    z -= 2.5 * _g(x, y, 0, -29, 14, 3)  # under the nose
    # Eye sockets with the eyeballs and lids inside.
    for ex, ey in (LEFT_EYE, RIGHT_EYE):
        z -= 10.0 * _g(x, y, ex, ey, 22, 15)
        z += 9.0 * _g(x, y, ex, ey - 1, 13, 8)
    # Brow ridges and forehead.
    z += 5.0 * (_g(x, y, -40, 62, 30, 7) + _g(x, y, 40, 62, 30, 7))
    z += 3.0 * _g(x, y, 0, 95, 60, 35)
    # Cheekbones and cheeks.
    z += 6.0 * (_g(x, y, -60, -12, 24, 22) + _g(x, y, 60, -12, 24, 22))
    # Mouth: philtrum, upper and lower lip, the line between them, corners.
    z += 1.5 * _g(x, y, 0, -45, 6, 8)
    z += 4.5 * _g(x, y, 0, -63, 24, 5)
    z += 5.0 * _g(x, y, 0, -79, 20, 6)
    z -= 3.5 * _g(x, y, 0, -71, 27, 2.2)
    z -= 2.0 * (_g(x, y, -28, -72, 4, 4) + _g(x, y, 28, -72, 4, 4))
    z -= 3.0 * _g(x, y, 0, -95, 22, 5)  # groove above the chin
    # Chin.
    z += 7.0 * _g(x, y, CHIN[0], CHIN[1] + 5, 22, 13)
    return z


def uv(x, y):
    """Planar texture coordinates: the face's bounding box onto 0..1 (v up)."""
    return (x + HALF_WIDTH) / (2 * HALF_WIDTH), (y + HALF_HEIGHT) / (2 * HALF_HEIGHT)


def grid_point(i, j):
    """Grid (i, j) in 0..GRID-1, mapped from the square onto the outline."""
    a = 2.0 * i / (GRID - 1) - 1.0
    b = 2.0 * j / (GRID - 1) - 1.0
    # Square to disc (elliptical grid mapping), then disc to face outline.
    u = a * math.sqrt(max(0.0, 1.0 - b * b / 2.0))
    v = b * math.sqrt(max(0.0, 1.0 - a * a / 2.0))
    y = v * HALF_HEIGHT
    x = u * half_width_at(y)
    return x, y


def build():
    """Returns (vertices [(x, y, z)], texcoords [(u, v)], triangles [(a, b, c)])
    with one texture coordinate per vertex; triangles run counter-clockwise
    seen from +z."""
    verts, tex = [], []
    for j in range(GRID):
        for i in range(GRID):
            x, y = grid_point(i, j)
            verts.append((x, y, depth(x, y)))
            tex.append(uv(x, y))
    tris = []
    for j in range(GRID - 1):
        for i in range(GRID - 1):
            a = j * GRID + i
            b, c, d = a + 1, a + GRID + 1, a + GRID
            # Split along the shorter diagonal for a smoother surface.
            if _dist(verts[a], verts[c]) <= _dist(verts[b], verts[d]):
                tris += [(a, b, c), (a, c, d)]
            else:
                tris += [(a, b, d), (b, c, d)]
    return verts, tex, tris


def _dist(p, q):
    return math.sqrt(sum((p[k] - q[k]) ** 2 for k in range(3)))
