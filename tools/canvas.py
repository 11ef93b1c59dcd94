"""A small anti-aliased 2D painter for the generated pictures: shapes are
given as signed distance functions in pixel units (negative inside) and
composited "over" the canvas. Standard library only."""

import math


def clamp01(v):
    return 0.0 if v < 0 else (1.0 if v > 1 else v)


class Canvas:
    def __init__(self, width, height, rgba=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.px = [list(rgba) for _ in range(width * height)]  # floats 0..1, straight alpha

    def blend(self, x, y, colour, alpha):
        if alpha <= 0:
            return
        p = self.px[y * self.width + x]
        a_out = alpha + p[3] * (1 - alpha)
        if a_out <= 0:
            return
        for i in range(3):
            p[i] = (colour[i] * alpha + p[i] * p[3] * (1 - alpha)) / a_out
        p[3] = a_out

    def paint(self, sdf, colour, box=None, opacity=1.0):
        """colour: (r, g, b) in 0..1 or a function (x, y) -> (r, g, b).
        box: (x0, y0, x1, y1) pixel bounds to visit (whole canvas if None)."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(x0) - 1), max(0, int(y0) - 1)
        x1, y1 = min(self.width, int(x1) + 2), min(self.height, int(y1) + 2)
        for y in range(y0, y1):
            for x in range(x0, x1):
                cx, cy = x + 0.5, y + 0.5
                cover = clamp01(0.5 - sdf(cx, cy))
                if cover > 0:
                    c = colour(cx, cy) if callable(colour) else colour
                    self.blend(x, y, c, cover * opacity)

    def rows(self):
        out = []
        for y in range(self.height):
            row = bytearray()
            for x in range(self.width):
                p = self.px[y * self.width + x]
                row.extend(int(round(clamp01(v) * 255)) for v in p)
            out.append(row)
        return out


# ---- signed distance functions (pixel units, negative inside) ----

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ellipse(cx, cy, rx, ry):
    # Distance approximation good enough for anti-aliasing edges.
    def f(x, y):
        dx, dy = (x - cx) / rx, (y - cy) / ry
        k = math.hypot(dx, dy)
        if k == 0:
            return -min(rx, ry)
        grad = math.hypot(dx / rx, dy / ry)
        return (k - 1) * k / grad
    return f


def round_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0), max(qy, 0))
        return outside + min(max(qx, qy), 0) - r
    return f


def polygon(points):
    n = len(points)

    def f(x, y):
        d = float("inf")
        inside = False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            t = clamp01((wx * ex + wy * ey) / (ex * ex + ey * ey)) if (ex or ey) else 0
            d = min(d, math.hypot(wx - ex * t, wy - ey * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * ex / ey:
                inside = not inside
        return -d if inside else d
    return f


def ring(sdf, width):
    return lambda x, y: abs(sdf(x, y)) - width / 2


def subtract(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def star(cx, cy, r_out, r_in, points=5, turn=-math.pi / 2):
    pts = []
    for i in range(points * 2):
        r = r_out if i % 2 == 0 else r_in
        a = turn + i * math.pi / points
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return polygon(pts)


def heart(cx, cy, size):
    # Two circles and a triangle; size = total width.
    r = size * 0.27
    return union(circle(cx - r * 0.92, cy - r * 0.3, r), circle(cx + r * 0.92, cy - r * 0.3, r),
                 polygon([(cx - size * 0.49, cy - r * 0.05), (cx + size * 0.49, cy - r * 0.05),
                          (cx, cy + size * 0.55)]))
