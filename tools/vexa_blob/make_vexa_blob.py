#!/usr/bin/env python3
"""Writes data/vexa/v3.bundle, the set-up blob of the Vexa runtime.

Standard library only; running it again gives byte-identical output.
Layout (docs/vexa-data-blob.md): "VEXADATA", u32 format version 3, u32 length
of the JSON body, the UTF-8 JSON body; all integers little-endian.

Usage: python3 tools/vexa_blob/make_vexa_blob.py [repo root] [output]
"""
import base64
import json
import os
import struct
import sys

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
OUT = sys.argv[2] if len(sys.argv) > 2 else os.path.join(ROOT, "data", "vexa", "v3.bundle")

SPKI_PREFIX = bytes([0x30, 0x2a, 0x30, 0x05, 0x06, 0x03, 0x2b, 0x65, 0x70, 0x03, 0x21, 0x00])

# Points of the 68-point landmark scheme and where they sit on the reference
# head (x, y of the 2D layout; x < 0 is the image-left side of an unmirrored
# camera picture, i.e. the person's right). Each becomes the nearest vertex.
LANDMARK_TARGETS = [
    (0, -104.0, 28.0), (16, 104.0, 28.0),    # jaw at eye height
    (8, 0.0, -146.0),                        # chin
    (27, 0.0, 35.0), (30, 0.0, -15.0), (33, 0.0, -36.0),  # bridge, tip, base of the nose
    (36, -64.0, 35.0), (39, -22.0, 35.0),    # right eye corners
    (42, 22.0, 35.0), (45, 64.0, 35.0),      # left eye corners
    (48, -32.0, -71.0), (54, 32.0, -71.0),   # mouth corners
    (51, 0.0, -60.0), (57, 0.0, -84.0),      # upper and lower lip
]


def read_obj(path):
    verts, uvs, tris = [], [], []
    with open(path) as f:
        for line in f:
            p = line.split()
            if not p:
                continue
            if p[0] == "v":
                verts.append([float(p[1]), float(p[2]), float(p[3])])
            elif p[0] == "vt":
                uvs.append([float(p[1]), float(p[2])])
            elif p[0] == "f":
                idx = [int(q.split("/")[0]) - 1 for q in p[1:]]
                tex = [int(q.split("/")[1]) - 1 for q in p[1:]]
                if idx != tex:
                    raise SystemExit("reference head must have one texture coordinate per vertex")
                for k in range(1, len(idx) - 1):
                    tris.append([idx[0], idx[k], idx[k + 1]])
    if len(uvs) != len(verts):
        raise SystemExit("reference head must have one texture coordinate per vertex")
    return verts, uvs, tris


def nearest(verts, x, y):
    best, bi = None, -1
    for i, v in enumerate(verts):
        d = (v[0] - x) ** 2 + (v[1] - y) ** 2
        if best is None or d < best:
            best, bi = d, i
    return bi


def main():
    pem = open(os.path.join(ROOT, "data", "tools", "sign_key_dev.pub.pem")).read()
    body = "".join(l for l in pem.splitlines() if "-----" not in l)
    der = base64.b64decode(body)
    if len(der) != 44 or der[:12] != SPKI_PREFIX:
        raise SystemExit("development public key is not an Ed25519 SPKI key")
    verts, uvs, tris = read_obj(os.path.join(ROOT, "data", "ref", "ar_demo3.obj"))
    landmarks = [{"landmark": lm, "vertex": nearest(verts, x, y)} for lm, x, y in LANDMARK_TARGETS]
    r4 = lambda a: [round(c, 4) for c in a]
    doc = {
        "format": 3,
        "trustedKeys": [{"name": "development", "ed25519": base64.b64encode(der[12:]).decode()}],
        "faceModel": "/usr/share/dlib/shape_predictor_68_face_landmarks.dat",
        "tracker": {
            "detectMaxSide": 640,
            "redetectInterval": 10,
            "minFaceSize": 40,
            "smoothMinCutoff": 0.6,
            "smoothBeta": 0.08,
            "historySeconds": 0.8,
            "focalScale": 1.0,
        },
        "referenceHead": {
            "vertices": [r4(v) for v in verts],
            "uvs": [r4(t) for t in uvs],
            "triangles": tris,
            "landmarks": landmarks,
        },
    }
    text = json.dumps(doc, separators=(",", ":"), sort_keys=True).encode()
    os.makedirs(os.path.dirname(OUT), exist_ok=True)
    tmp = OUT + ".tmp"
    with open(tmp, "wb") as f:
        f.write(b"VEXADATA" + struct.pack("<II", 3, len(text)) + text)
    os.replace(tmp, OUT)


if __name__ == "__main__":
    main()
