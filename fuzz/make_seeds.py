#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is a small hand-made input in the byte layout that the target's
header comment describes (see fuzz_input.hpp for the value pickers): the
worked examples of each operation, their edge cases and the kinds of bad
input the library must reject. Run it again after changing a layout; inputs
added by hand (regressions) live beside the generated ones under names that
start with "regression-" and are left alone.
"""
import math
import os
import shutil
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Tags of pickDouble (index into specialDoubles) and pickInt (specialInts).
D = {"0": 0, "-0": 1, "0.5": 2, "0.999999": 3, "1": 4, "1.5": 5, "2": 6, "3": 7, "5": 8,
     "7.9": 9, "10": 10, "-1": 11, "-1e-300": 12, "nan": 13, "inf": 14, "-inf": 15,
     "65535": 16, "65535.999": 17, "65536": 18, "1e18": 19, "-1e18": 20, "max": 21,
     "denorm": 22, "4": 23}
I_MIN, I_MAX, I_M1 = 5, 6, 2


def u8(v):
    return struct.pack("<B", v)


def u16(v):
    return struct.pack("<H", v)


def i32(v):
    return struct.pack("<i", v)


def f32(v):
    return struct.pack("<f", v)


def raw_double(v):
    return u8(255) + struct.pack("<d", v)


def dbl(name):
    return u8(D[name])


def small_int(v):
    """pickInt tag for 0 <= v < 128."""
    assert 0 <= v < 128
    return u8(128 + v)


def any_int(v):
    """pickInt: raw four bytes behind tag 16."""
    return u8(16) + i32(v)


def image_header(rows, cols, type_tag=0, view=False, margin=0, left=0, top=0):
    return bytes([rows, cols, type_tag, 1 if view else 0, margin, left, top])


def strokes(*items):
    """Fill mode 2: (x0, y0, dir, len); dir 0..7 = E, SE, S, SW, W, NW, N, NE."""
    out = u8(2) + u8(len(items))
    for x0, y0, d, n in items:
        out += bytes([x0, y0, d, n])
    return out


def boxes(*items):
    """Fill mode 3: (x0, y0, w, h[, value]); value 0 carves a hole."""
    out = u8(3) + u8(len(items))
    for item in items:
        x0, y0, w, h = item[:4]
        value = item[4] if len(item) > 4 else 255
        out += bytes([x0, y0, w - 1, h - 1, 1 if value else 0])
    return out


def bits(rows, cols, pattern):
    """Fill mode 1: one bit per pixel, row-major, from pattern(x, y)."""
    out = bytearray(u8(1))
    acc, used = 0, 0
    for y in range(rows):
        for x in range(cols):
            acc |= (1 if pattern(x, y) else 0) << used
            used += 1
            if used == 8:
                out.append(acc)
                acc, used = 0, 0
    if used:
        out.append(acc)
    return bytes(out)


E, SE, S, SW, W, NW, N, NE = range(8)
BAD_TYPE_8UC3 = 225  # pickImageType: 225 % 9 == 0 -> CV_8UC3
BAD_TYPE_16U = 226  # -> CV_16UC1
BAD_TYPE_32F = 227  # -> CV_32FC1

SKELETON_10x8 = strokes((2, 2, S, 3), (2, 2, NW, 2), (2, 2, NE, 2), (2, 5, SW, 2), (2, 5, SE, 2))
PLUS_5x5 = strokes((0, 2, E, 4), (2, 0, S, 4))


def junctions():
    return {
        "two-junctions": image_header(8, 10) + SKELETON_10x8,
        "two-junctions-view": image_header(8, 10, view=True, margin=255, left=3, top=2)
        + SKELETON_10x8,
        "plus": image_header(5, 5) + PLUS_5x5,
        "bar-over-stem": image_header(4, 5) + strokes((0, 0, E, 4), (2, 1, S, 2)),
        "full-5x5": image_header(5, 5) + boxes((0, 0, 5, 5)),
        "full-view": image_header(6, 7, view=True, margin=1, left=1, top=1) + boxes((0, 0, 7, 6)),
        "checker": image_header(16, 16) + bits(16, 16, lambda x, y: (x + y) % 2 == 0),
        "empty": image_header(0, 0),
        "empty-rows": image_header(0, 9),
        "type-8uc3": image_header(4, 4, BAD_TYPE_8UC3) + bytes(range(48)),
        "type-16u": image_header(3, 3, BAD_TYPE_16U) + bytes(18),
        "raw-values": image_header(3, 3) + u8(0) + bytes([1, 200, 255, 0, 1, 0, 7, 0, 9]),
    }


IMAGE, MASK, MASK_VIEW = 7, 0, 1  # source of a cell test call


def cell_call_inside(x, y, side, source=IMAGE):
    return u8(source) + u8(0) + u8(x) + u8(y) + u8(side)


def cell_call_any(x, y, side_bytes):
    return u8(IMAGE) + u8(2) + x + y + side_bytes


def cell_test():
    img = image_header(5, 5) + boxes((2, 2, 1, 1))  # a single 255 pixel at (2, 2)
    edge = image_header(6, 6) + boxes((0, 0, 1, 1), (5, 5, 1, 1))
    return {
        "shortcut-then-scan": img + u8(0) + u8(0) + u8(3)
        + cell_call_inside(2, 2, 3) + cell_call_inside(0, 0, 3) + cell_call_inside(0, 1, 3),
        "even-sides": img + u8(0) + u8(0) + u8(3)
        + cell_call_inside(3, 3, 2) + cell_call_inside(3, 3, 4) + cell_call_inside(3, 3, 0),
        "edge-windows": edge + u8(0) + u8(0) + u8(2)
        + cell_call_inside(1, 1, 5) + cell_call_inside(4, 4, 5),
        "centre-extremes": img + u8(0) + u8(0) + u8(3)
        + cell_call_any(u8(I_MAX), u8(I_MIN), u8(3))
        + cell_call_any(u8(I_MIN), u8(I_MAX), u8(65))
        + cell_call_any(u8(I_M1), u8(I_M1), u8(5)),
        "side-negative": img + u8(0) + u8(0) + u8(2)
        + cell_call_inside(0, 0, 3) + cell_call_inside(0, 0, 192) + u8(I_M1),
        "side-too-large": img + u8(0) + u8(0) + u8(2)
        + cell_call_inside(0, 0, 3) + cell_call_inside(0, 0, 192) + u8(10),
        "side-int-min": img + u8(0) + u8(0) + u8(1) + cell_call_inside(0, 0, 192) + u8(I_MIN),
        "side-65535": img + u8(0) + u8(0) + u8(1) + cell_call_inside(0, 0, 192) + u8(9),
        "mask-preset-garbage": img + u8(1) + u8(3) + u8(2)
        + cell_call_inside(0, 0, 3) + cell_call_inside(4, 4, 3),
        "mask-preset-view": img + u8(2) + u8(3) + u8(1) + cell_call_inside(1, 1, 3),
        "mask-preset-8uc3": img + u8(3) + u8(3) + u8(1) + cell_call_inside(0, 0, 3),
        "empty-image": image_header(0, 0) + u8(0) + u8(0) + u8(0)
        + u8(IMAGE) + u8(1) + u8(3) + u8(3) + u8(4),
        "image-is-mask": img + u8(0) + u8(0) + u8(2) + cell_call_inside(0, 0, 5)
        + cell_call_inside(2, 2, 3, MASK) + cell_call_inside(1, 1, 3, MASK),
        "image-is-mask-same-side": img + u8(0) + u8(0) + u8(1) + cell_call_inside(1, 1, 5)
        + cell_call_inside(2, 2, 5, MASK),
        "image-is-mask-view": img + u8(0) + u8(0) + u8(1) + cell_call_inside(0, 0, 7)
        + cell_call_inside(1, 1, 3, MASK_VIEW),
        "type-32f": image_header(2, 2, BAD_TYPE_32F) + bytes(16) + u8(0) + u8(0) + u8(1)
        + cell_call_inside(0, 0, 3),
    }


def rect_path(points):
    out = u8(len(points))
    for x, y in points:
        out += f32(x) + f32(y)
    return out


def inner_rect():
    block = image_header(50, 60) + boxes((10, 20, 40, 20))
    rotated = image_header(64, 64) + strokes(
        (5, 10, SE, 40), (5, 30, SE, 30), (20, 5, SE, 50), (30, 5, SE, 40))
    stale = rect_path([(1.0, 2.0), (float("nan"), 3.0)])
    return {
        "block-cell-10": block + dbl("10") + stale,
        "block-cell-7.9": block + dbl("7.9") + rect_path([]),
        "block-cell-1": image_header(12, 14) + boxes((2, 3, 9, 6)) + dbl("1") + stale,
        "block-with-hole": image_header(40, 40) + boxes((2, 2, 36, 30), (15, 10, 4, 4, 0))
        + dbl("3") + stale,
        "diagonal-walls": rotated + dbl("4") + stale,
        "block-view": image_header(30, 30, view=True, margin=255, left=2, top=3)
        + boxes((4, 4, 20, 15)) + dbl("5") + stale,
        "no-free-pixel": image_header(20, 20) + boxes((0, 0, 20, 20, 0)) + dbl("2") + stale,
        "single-pixel": image_header(9, 9) + boxes((4, 4, 1, 1)) + dbl("1") + stale,
        "cell-huge": block + dbl("65535.999") + stale,
        "cell-nan": block + dbl("nan") + stale,
        "cell-inf": block + dbl("inf") + stale,
        "cell-below-one": block + dbl("0.999999") + stale,
        "cell-zero": block + dbl("0") + stale,
        "cell-negative": block + dbl("-1") + stale,
        "cell-too-large": block + dbl("65536") + stale,
        "cell-max": block + dbl("max") + stale,
        "empty-map": image_header(0, 0) + dbl("10") + stale,
        "type-8uc3": image_header(4, 4, BAD_TYPE_8UC3) + bytes(48) + dbl("2") + stale,
        "type-16u-bad-cell": image_header(4, 4, BAD_TYPE_16U) + bytes(32) + dbl("nan") + stale,
    }


def polyline(points):
    out = u8(0) + u8(len(points))
    for x, y in points:
        out += (small_int(x) if 0 <= x < 128 else any_int(x))
        out += (small_int(y) if 0 <= y < 128 else any_int(y))
    return out


def simplify_polyline():
    def case(eps, chord, points, alias=0, stale=1):
        return eps + chord + u8(alias) + u8(stale) + polyline(points)

    zigzag = [(0, 0), (2, 3), (5, 0), (8, 3), (10, 0)]
    return {
        "segment-not-line": case(dbl("5"), dbl("0"), [(0, 0), (20, 0), (10, 0)]),
        "equal-does-not-divide": case(dbl("1"), dbl("0"), [(0, 0), (5, 1), (10, 0)]),
        "half-divides": case(dbl("0.5"), dbl("0"), [(0, 0), (5, 1), (10, 0)]),
        "chord-equal": case(dbl("1"), dbl("5"), [(0, 0), (0, 4), (3, 4)]),
        "ties-lowest-index": case(dbl("1"), raw_double(9.9), zigzag),
        "closed-loop": case(dbl("0"), dbl("-1"), [(0, 0), (4, 0), (4, 3), (0, 0)]),
        "aliased": case(dbl("0.5"), dbl("0"), zigzag, alias=1),
        "aliased-one-point": case(dbl("0"), dbl("0"), [(3, 4)], alias=1),
        "one-point": case(dbl("0"), dbl("0"), [(3, 4)], stale=3),
        "empty": case(dbl("0"), dbl("0"), [], stale=2),
        "eps-negative": case(dbl("-1"), dbl("0"), zigzag),
        "eps-negative-tiny": case(dbl("-1e-300"), dbl("0"), [(1, 1)]),
        "eps-minus-zero": case(dbl("-0"), dbl("0"), zigzag),
        "eps-nan": case(dbl("nan"), dbl("-1"), zigzag),
        "chord-nan": case(dbl("0"), dbl("nan"), zigzag),
        "eps-inf": case(dbl("inf"), dbl("-inf"), zigzag),
        "int-extremes": dbl("0") + dbl("-1") + u8(0) + u8(0) + u8(0) + u8(5)
        + u8(I_MIN) + u8(I_MIN) + u8(I_MAX) + u8(I_MAX) + u8(I_MIN) + u8(I_MAX)
        + u8(I_MAX) + u8(I_MIN) + u8(I_MIN) + u8(I_MIN),
        "walk": dbl("2") + dbl("-1") + u8(0) + u8(0) + u8(1) + u8(0) + u8(0) + u8(1)
        + bytes((i * 37) % 256 for i in range(400)),
        "walk-huge-steps": dbl("1e18") + dbl("-1") + u8(0) + u8(0) + u8(1)
        + u8(I_MAX) + u8(I_MIN) + u8(3) + bytes((i * 91) % 256 for i in range(200)),
        "spiral-long": dbl("0") + dbl("-1") + u8(0) + u8(0) + u8(2) + u16(2500) + u8(0) + u8(0),
        "zigzag-long": dbl("1") + dbl("-1") + u8(1) + u8(0) + u8(2) + u16(2999) + u8(1)
        + small_int(7),
        "circle-near-max": dbl("0.5") + dbl("2") + u8(0) + u8(0) + u8(2) + u16(1200) + u8(2)
        + any_int(2**31 - 600),
    }


def path_poses(mode, coords):
    out = u8(mode) + u16(len(coords))
    for x, y in coords:
        if mode == 0:
            out += x + y
        elif mode == 1:
            out += struct.pack("<bb", x, y)
        else:
            out += struct.pack("<dd", x, y)
        out += u8(1)  # frame name length
    return out


def simplify_path():
    def case(eps, mode, coords, alias=0, stale=1):
        return eps + u8(alias) + u8(stale) + path_poses(mode, coords)

    nan = float("nan")
    inf = float("inf")
    return {
        "closed-loop": case(dbl("1"), 1, [(0, 0), (16, 0), (16, 12), (0, 0)]),
        "segment-not-line": case(dbl("5"), 1, [(0, 0), (80, 0), (40, 0)]),
        "zigzag-ties": case(raw_double(2.9), 1, [(0, 0), (8, 12), (20, 0), (32, 12), (40, 0)]),
        "aliased": case(dbl("0.5"), 1, [(0, 0), (8, 12), (20, 0)], alias=1),
        "aliased-one": case(dbl("0"), 1, [(1, 1)], alias=1),
        "one-pose": case(dbl("0"), 1, [(1, 1)], stale=2),
        "no-pose": case(dbl("0"), 1, [], stale=2),
        "eps-negative": case(dbl("-1"), 1, [(0, 0), (8, 12), (20, 0)]),
        "eps-negative-no-pose": case(dbl("-1e-300"), 1, []),
        "eps-minus-zero": case(dbl("-0"), 1, [(0, 0), (8, 12), (20, 0)]),
        "eps-nan": case(dbl("nan"), 1, [(0, 0), (8, 12), (20, 0), (3, 3)]),
        "nan-positions": case(dbl("0"), 2, [(0.0, 0.0), (nan, 1.0), (5.0, nan), (10.0, 0.0)]),
        "nan-end": case(dbl("0"), 2, [(nan, 0.0), (1.0, 1.0), (2.0, 0.0), (3.0, nan)]),
        "infinite-positions": case(dbl("1"), 2, [(0.0, 0.0), (inf, 1.0), (-inf, inf), (1.0, 0.0)]),
        "huge-positions": case(dbl("0"), 2, [(-1e308, 0.0), (0.0, 1e308), (1e308, 0.0), (5e307, -1e308)]),
        "specials": case(dbl("0"), 0, [(dbl("max"), dbl("denorm")), (dbl("1e18"), dbl("-1e18")),
                                       (dbl("nan"), dbl("inf")), (dbl("0"), dbl("-0"))]),
    }


def curvature():
    def pts(points):
        out = u8(0)
        for x, y in points:
            out += (small_int(x) if 0 <= x < 128 else any_int(x))
            out += (small_int(y) if 0 <= y < 128 else any_int(y))
        return out

    return {
        "right-angle": pts([(0, 0), (10, 0), (10, 10)]),
        "short-leg": pts([(0, 0), (10, 0), (10, 2)]),
        "double-back": pts([(0, 0), (4, 0), (0, 0)]),
        "repeated": pts([(3, 3), (3, 3), (7, 1), (7, 1)]),
        "diagonal": pts([(0, 0), (1, 1), (2, 2), (3, 3)]),
        "pythagorean": pts([(0, 0), (3, 4), (6, 8)]),
        "ties": pts([(0, 0), (10, 0), (10, 10), (20, 10), (20, 20)]),
        "int-extremes": u8(0) + u8(I_MIN) + u8(I_MIN) + u8(I_MAX) + u8(I_MAX) + u8(I_MIN)
        + u8(I_MAX) + u8(I_MAX) + u8(I_MIN) + u8(I_MIN) + u8(I_MIN),
        "walk": u8(1) + u8(I_MAX) + u8(I_MIN) + bytes((i * 53) % 256 for i in range(300)),
        "two-points": pts([(1, 2), (3, 4)]),
        "empty": u8(0),
    }


def matrix(entries, rows=2, cols=3, type_tag=0, view=False, shape=None):
    out = u8(0 if shape is None else 200)
    if shape is not None:
        out += u8(rows) + u8(cols)
    out += u8(type_tag) + u8(1 if view else 0)
    for e in entries:
        out += dbl(e) if isinstance(e, str) else raw_double(e)
    return out


def back_transform():
    def path(points, stale=2, aliased=0):
        out = u8(len(points))
        for x, y in points:
            out += f32(x) + f32(y)
        return out + u8(stale) + u8(aliased)

    pts = [(0.0, 0.0), (10.0, 5.0), (-3.5, 7.25)]
    c, s = math.cos(0.3), math.sin(0.3)
    return {
        "identity": matrix(["1", "0", "0", "0", "1", "0"]) + path(pts),
        "translation": matrix(["1", "0", 7.0, "0", "1", -2.0]) + path(pts),
        "rotation": matrix([c, s, 3.0, -s, c, 4.0]) + path(pts),
        "rotation-view": matrix([c, s, 3.0, -s, c, 4.0], view=True) + path(pts),
        "rotation-aliased": matrix([c, s, 3.0, -s, c, 4.0]) + path(pts, aliased=1),
        "shape-3x2-aliased": matrix(["1"] * 6, 3, 2, shape=True) + path(pts, aliased=1),
        "rotation-32f": matrix([c, s, 3.0, -s, c, 4.0], type_tag=129) + path(pts),
        "singular": matrix(["0", "0", "0", "0", "0", "0"]) + path(pts),
        "nan-entries": matrix(["nan", "0", "1", "0", "1", "inf"]) + path(pts),
        "huge-entries": matrix(["max", "1e18", "-1e18", "denorm", "max", "0"]) + path(pts),
        "empty-input": matrix(["1", "0", "0", "0", "1", "0"]) + path([]),
        "empty-input-bad-matrix": matrix([], 0, 0, shape=True) + path([]),
        "shape-3x2": matrix(["1"] * 6, 3, 2, shape=True) + path(pts),
        "shape-2x2": matrix(["1", "0", "0", "1"], 2, 2, shape=True) + path(pts),
        "shape-empty": matrix([], 0, 0, shape=True) + path(pts),
        "type-8u": matrix(["1", "0", "0", "0", "1", "0"], type_tag=130) + path(pts),
        "type-64fc2": matrix(["1"] * 12, type_tag=133) + path(pts),
        "nan-points": matrix(["1", "0", "0", "0", "1", "0"])
        + path([(float("nan"), 1.0), (float("inf"), -float("inf"))]),
    }


def map_readers():
    """Mode byte 0: grid YAML; 1: map_server YAML; 2: binary grid; 3: image file."""
    head = ("header:\n  stamp:\n    sec: 0\n    nanosec: 0\n  frame_id: map\ninfo:\n"
            "  map_load_time:\n    sec: 0\n    nanosec: 0\n  resolution: 0.05000000074505806\n"
            "  width: 3\n  height: 2\n  origin:\n    position:\n      x: -1.0\n      y: 2.0\n"
            "      z: 0.0\n    orientation:\n      x: 0.0\n      y: 0.0\n"
            "      z: 0.25881904510252074\n      w: 0.9659258262890683\n")
    block = head + "data:\n- 0\n- 100\n- -1\n- 50\n- 0\n- 0\n---\n"
    flow = ("{header: {stamp: {sec: 0, nanosec: 0}, frame_id: \"map\"}, info: {map_load_time: "
            "{sec: 0, nanosec: 0}, resolution: 0.500000, width: 3, height: 2, origin: {position: "
            "{x: -1.00000, y: 2.00000, z: 0.00000}, orientation: {x: 0.00000, y: 0.00000, "
            "z: 0.00000, w: 1.00000}}}, data: [0, 100, -1, 50, 0, 0]}")

    def text(mode, t):
        return u8(mode) + t.encode()

    def grid(w, h, res, x, y, q, free_max, cells, wide=False):
        out = u8(1 if wide else 0)
        out += (struct.pack("<I", w) + struct.pack("<I", h)) if wide else (u8(w) + u8(h))
        out += f32(res) + raw(x) + raw(y) + b"".join(raw(v) for v in q) + u8(free_max)
        return u8(2) + out + bytes(c & 0xFF for c in cells)

    def raw(v):
        return u8(255) + struct.pack("<d", v)

    def png(w, h, pixels=b""):
        """A grey 8-bit PNG; without pixels, only its signature and IHDR."""
        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body)))
        out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 0, 0, 0, 0))
        if not pixels:
            return out
        rows = b"".join(b"\0" + pixels[r * w:(r + 1) * w] for r in range(h))
        return out + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b"")

    def bmp(w, h):
        """Grey as 24-bit BMP, rows padded to four bytes, bottom row first."""
        row = bytes([200] * (3 * w)) + bytes((4 - 3 * w % 4) % 4)
        data = row * abs(h)
        return (b"BM" + struct.pack("<IHHI", 54 + len(data), 0, 0, 54)
                + struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 0, 0, 0, 0) + data)

    return {
        "grid-echoed": text(0, block),
        "grid-flow": text(0, flow),
        "grid-short-data": text(0, head + "data:\n- 0\n- 1\n"),
        "grid-bad-value": text(0, head + "data:\n- 0\n- 300\n- 1\n- 1\n- 1\n- 1\n"),
        "grid-missing-info": text(0, "data: [0]\n"),
        "grid-unknown-key": text(0, "info: {resolution: 1, width: 1, height: 1}\ndata: [0]\nx: 1\n"),
        "map-server": text(1, "image: m.pgm\nresolution: 0.05\norigin: [-1, 2, 0.5]\nnegate: 0\n"
                              "occupied_thresh: 0.65\nfree_thresh: 0.196\nmode: trinary\n"),
        "map-server-negate": text(1, "image: m.pgm\nresolution: 1\nnegate: true\nfree_thresh: 0.5\n"),
        "map-server-bad": text(1, "image: [a]\nresolution: -1\n"),
        "binary-3x2": grid(3, 2, 0.5, -1.0, 2.0, (0, 0, 0, 1), 0, [0, 100, -1, 50, 0, 0]),
        "binary-bad-length": grid(3, 2, 0.5, 0.0, 0.0, (0, 0, 0, 1), 50, [0, 0, 0]),
        "binary-zero-quaternion": grid(1, 1, 0.5, 0.0, 0.0, (0, 0, 0, 0), 0, [0]),
        "binary-nan-origin": grid(1, 1, 0.5, float("nan"), 0.0, (0, 0, 0, 1), 0, [0]),
        "binary-overflow": grid(65536, 65536, 0.5, 0.0, 0.0, (0, 0, 0, 1), 0, [0], wide=True),
        "binary-value-101": grid(2, 1, 0.5, 0.0, 0.0, (0, 0, 0, 1), 200, [101, -1]),
        # Two messages: the shortcut would see the second one's list.
        "grid-two-documents": text(0, block + head + "data:\n- 0\n- 1\n"),
        "grid-nul": text(0, head + "data:\n- 0\n- 100\n- -1\n- 50\n- 0\n- 0\n\0---\ndata:\n- 1\n"),
        "grid-crlf": text(0, block.replace("\n", "\r\n")),
        "grid-bom": u8(0) + b"\xef\xbb\xbf" + block.encode(),
        "grid-nan": text(0, "info: {resolution: .nan, width: 1, height: 1}\ndata: [0]\n"),
        "grid-not-utf8": u8(0) + b"header: {frame_id: caf\xe9}\ninfo: {resolution: 1, width: 1, "
                                 b"height: 1}\ndata: [0]\n",
        "map-server-duplicate": text(1, "image: m.pgm\nresolution: 0.05\nresolution: 0.1\n"),
        "map-server-two-documents": text(1, "image: m.pgm\nresolution: 1\n---\nimage: n.pgm\n"),
        "map-server-tiny-resolution": text(1, "image: m.pgm\nresolution: 1e-300\n"),
        "image-png": u8(3) + png(3, 2, bytes([255, 205, 0, 0, 205, 255])),
        "image-png-huge-header": u8(3) + png(60000, 60000),
        "image-pgm": u8(3) + b"P5\n# map\n3 2\n255\n" + bytes([255, 205, 0, 0, 205, 255]),
        "image-pgm-huge-header": u8(3) + b"P5\n60000 60000\n255\n",
        "image-ppm-ascii": u8(3) + b"P3\n2 1\n255\n255 255 255 205 205 205\n",
        "image-bmp": u8(3) + bmp(3, -2),
        "image-not-an-image": text(3, "this is not a picture"),
    }


def main():
    corpus = os.path.join(HERE, "corpus")
    for name, make in [("junctions", junctions), ("cell_test", cell_test),
                       ("inner_rect", inner_rect), ("simplify_polyline", simplify_polyline),
                       ("simplify_path", simplify_path), ("curvature", curvature),
                       ("back_transform", back_transform), ("map_readers", map_readers)]:
        folder = os.path.join(corpus, name)
        os.makedirs(folder, exist_ok=True)
        for old in os.listdir(folder):
            if not old.startswith("regression-"):
                os.remove(os.path.join(folder, old))
        for seed, data in make().items():
            with open(os.path.join(folder, seed), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
