#!/usr/bin/env python3
"""Renders an OBJ mesh (triangles with per-corner texture coordinates) with a
tiny orthographic rasteriser, to look at generated meshes without the editor.

    python3 tools/render_preview.py mesh.obj out.png [texture.png] [front|left|three-quarter]

Lambert shading with one light from the upper front; the texture (straight
alpha) is laid over a skin colour. Standard library only."""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pngio import read_png, write_png  # noqa: E402


def load_obj(path):
    verts, tex, tris = [], [], []
    with open(path) as f:
        for line in f:
            p = line.split()
            if not p:
                continue
            if p[0] == "v":
                verts.append(tuple(float(c) for c in p[1:4]))
            elif p[0] == "vt":
                tex.append(tuple(float(c) for c in p[1:3]))
            elif p[0] == "f":
                corners = []
                for tok in p[1:]:
                    parts = tok.split("/")
                    vi = int(parts[0]) - 1
                    ti = int(parts[1]) - 1 if len(parts) > 1 and parts[1] else -1
                    corners.append((vi, ti))
                for k in range(1, len(corners) - 1):
                    tris.append((corners[0], corners[k], corners[k + 1]))
    return verts, tex, tris


def rotate(v, view):
    x, y, z = v
    if view == "left":
        return (-z, y, x)
    if view == "three-quarter":
        a = math.radians(35)
        return (x * math.cos(a) - z * math.sin(a), y, x * math.sin(a) + z * math.cos(a))
    return v


def render(obj, out, texture=None, view="front", size=480):
    verts, tex, tris = load_obj(obj)
    pts = [rotate(v, view) for v in verts]
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    span = max(max(xs) - min(xs), max(ys) - min(ys)) * 1.1
    cx, cy = (max(xs) + min(xs)) / 2, (max(ys) + min(ys)) / 2
    scale = size / span
    tw = th = 0
    if texture:
        tw, th, trows = read_png(texture)
    img = [[(40, 44, 52, 255)] * size for _ in range(size)]
    zbuf = [[-1e30] * size for _ in range(size)]
    light = (0.35, 0.45, 0.82)
    ln = math.sqrt(sum(c * c for c in light))
    light = tuple(c / ln for c in light)
    for tri in tris:
        P = [pts[c[0]] for c in tri]
        e1 = [P[1][k] - P[0][k] for k in range(3)]
        e2 = [P[2][k] - P[0][k] for k in range(3)]
        n = (e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0])
        nl = math.sqrt(sum(c * c for c in n)) or 1
        shade = max(0.0, sum(n[k] * light[k] for k in range(3)) / nl)
        S = [((p[0] - cx) * scale + size / 2, size / 2 - (p[1] - cy) * scale, p[2]) for p in P]
        T = [tex[c[1]] if c[1] >= 0 and tex else (0, 0) for c in tri]
        x0, x1 = max(0, int(min(s[0] for s in S))), min(size - 1, int(max(s[0] for s in S)) + 1)
        y0, y1 = max(0, int(min(s[1] for s in S))), min(size - 1, int(max(s[1] for s in S)) + 1)
        den = (S[1][1] - S[2][1]) * (S[0][0] - S[2][0]) + (S[2][0] - S[1][0]) * (S[0][1] - S[2][1])
        if abs(den) < 1e-12:
            continue
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                px, py = x + 0.5, y + 0.5
                a = ((S[1][1] - S[2][1]) * (px - S[2][0]) + (S[2][0] - S[1][0]) * (py - S[2][1])) / den
                b = ((S[2][1] - S[0][1]) * (px - S[2][0]) + (S[0][0] - S[2][0]) * (py - S[2][1])) / den
                c = 1 - a - b
                if a < 0 or b < 0 or c < 0:
                    continue
                z = a * S[0][2] + b * S[1][2] + c * S[2][2]
                if z <= zbuf[y][x]:
                    continue
                zbuf[y][x] = z
                base = [0.93, 0.78, 0.68]
                if tw:
                    u = a * T[0][0] + b * T[1][0] + c * T[2][0]
                    v = a * T[0][1] + b * T[1][1] + c * T[2][1]
                    tx = min(tw - 1, max(0, int(u * tw)))
                    ty = min(th - 1, max(0, int((1 - v) * th)))
                    r, g, bb, al = trows[ty][tx * 4:tx * 4 + 4]
                    al /= 255
                    base = [base[0] * (1 - al) + r / 255 * al, base[1] * (1 - al) + g / 255 * al,
                            base[2] * (1 - al) + bb / 255 * al]
                k = 0.25 + 0.75 * shade
                img[y][x] = tuple(int(min(1, ch * k) * 255) for ch in base) + (255,)
    write_png(out, size, size, [bytearray(b for p in row for b in p) for row in img])


if __name__ == "__main__":
    render(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] != "-" else None,
           sys.argv[4] if len(sys.argv) > 4 else "front")
