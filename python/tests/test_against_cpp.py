"""Every function against the C++ API run on the same input by the reference helper,
plus hand-computed cases."""

import math

import numpy as np
import pytest

import quorvane_nav2 as q
from conftest import write_raw


def test_image_operations_match_cpp(cpp, plan, tmp_path):
    pivot = [150, 140]
    rotated_path = tmp_path / "rotated.raw"
    mask_path = tmp_path / "mask.raw"
    back = [[10.5, 20.25], [0.0, 0.0], [399.0, 299.0]]
    want = cpp(
        {
            "image": write_raw(plan, tmp_path / "plan.raw"),
            "main_direction": True,
            "rotation": {"pivot": pivot, "extra_angle": 0.1, "rotated_out": str(rotated_path)},
            "to_original": back,
            "inner_rectangle": 12.0,
            "cell_test": {"center": [3, 4], "side": 9, "mask_out": str(mask_path)},
            "junction_pair": True,
        }
    )
    assert q.main_direction(plan) == want["main_direction"]

    matrix, bounds = q.rotation(plan, pivot=tuple(pivot), extra_angle=0.1)
    assert matrix.dtype == np.float64 and matrix.shape == (2, 3)
    assert matrix.tolist() == want["rotation"]["matrix"]
    assert list(bounds) == want["rotation"]["bounds"]
    rotated = q.rotate(plan, matrix, bounds)
    expected = np.fromfile(rotated_path, dtype=np.uint8).reshape(bounds[3], bounds[2])
    assert rotated.dtype == np.uint8 and np.array_equal(rotated, expected)
    assert q.to_original(np.array(back, np.float32), matrix).tolist() == want["to_original"]

    outline = q.inner_rectangle(plan, 12.0)
    assert outline.dtype == np.float32 and outline.tolist() == want["inner_rectangle"]

    inside, mask = q.cell_test(plan, (3, 4), 9)
    assert inside == want["cell_test"]
    assert np.array_equal(mask, np.fromfile(mask_path, dtype=np.uint8).reshape(9, 9))

    pair = q.junction_pair(plan)
    assert pair.dtype == np.int32 and pair.tolist() == want["junction_pair"]


def test_path_geometry_matches_cpp(cpp):
    rng = np.random.default_rng(7)
    polyline = np.cumsum(rng.integers(-3, 4, size=(300, 2)), axis=0).astype(np.int32)
    path = np.cumsum(rng.normal(size=(300, 2)), axis=0)
    want = cpp(
        {
            "polyline": {"points": polyline.tolist(), "epsilon": 2.5, "min_chord": 4.0},
            "path": {"points": path.tolist(), "epsilon": 0.7},
        }
    )
    kept = q.simplify(polyline, 2.5, 4.0)
    assert kept.dtype == np.int32 and kept.tolist() == want["simplify"], "seed 7"
    kept_path = q.simplify(path, 0.7)
    assert kept_path.dtype == np.float64 and kept_path.tolist() == want["path"], "seed 7"
    assert list(q.sharpest_vertex(polyline)) == want["sharpest_vertex"]
    got = [q.curvature(*map(tuple, polyline[i - 2 : i + 1].tolist())) for i in range(2, 300)]
    assert got == want["curvatures"]


def test_hand_computed_cases():
    # A quarter turn after a 10-pixel leg.
    assert q.curvature((0, 0), (10, 0), (10, 10)) == pytest.approx(math.pi / 20)
    assert q.curvature((0, 0), (0, 0), (5, 5)) == 0.0
    zigzag = np.array([[0, 0], [10, 0], [10, 10], [11, 10]], np.int32)
    assert q.sharpest_vertex(zigzag) == (10, 10)  # the turn with the shorter leg
    # The bump at (5, 1) is 1 px from the chord: kept with epsilon 0.5, dropped with 2.
    line = np.array([[0, 0], [5, 1], [10, 0]], np.int32)
    assert q.simplify(line, 0.5).tolist() == line.tolist()
    assert q.simplify(line, 2.0).tolist() == [[0, 0], [10, 0]]
    assert q.simplify(line.astype(np.float64) * 0.1, 0.05).shape == (3, 2)
    # Two Y junctions; every other pixel has at most two neighbours.
    skeleton = np.zeros((40, 50), np.uint8)
    for x, y in [(10, 10), (30, 25)]:
        skeleton[y, x] = 255
        for k in range(1, 5):
            skeleton[y - k, x - k] = skeleton[y - k, x + k] = skeleton[y + k, x] = 255
    assert q.junction_pair(skeleton).tolist() == [[10, 10], [30, 25]]
    assert q.junction_pair(skeleton[:20]) is None  # one junction
    # A 40 x 30 free block is tiled by 4 x 3 cells of 10 px, centres 15, 25, ...
    # (the alignment's rotation by 0 may move the map by half a pixel).
    block = np.zeros((60, 80), np.uint8)
    block[10:40, 10:50] = 255
    outline = q.inner_rectangle(block, 10)
    assert outline.shape == (5, 2) and outline[0].tolist() == outline[4].tolist()
    assert (np.ptp(outline[:, 0]), np.ptp(outline[:, 1])) == (30.0, 20.0)
    assert np.abs(outline.min(axis=0) - 15.0).max() <= 0.5
    assert q.inner_rectangle(np.zeros((60, 80), np.uint8), 10) is None
    # A pure translation: the matrix is the identity plus the shift.
    matrix = np.array([[1.0, 0.0, 5.0], [0.0, 1.0, -2.0]])
    assert q.to_original(np.array([[5.0, -2.0]]), matrix).tolist() == [[0.0, 0.0]]


BLANK = np.zeros((20, 30), np.uint8)
FREE = np.full((20, 30), 255, np.uint8)


@pytest.mark.parametrize(
    "call",
    [
        lambda: q.inner_rectangle(BLANK, 4),
        lambda: q.junction_pair(BLANK),
        lambda: q.sharpest_vertex(np.array([[0, 0], [9, 4]], np.int32)),  # no interior vertex
        lambda: q.sharpest_vertex(np.array([[0, 0], [3, 3], [5, 5]], np.int32)),  # straight
        lambda: q.sharpest_vertex(np.array([[-4, 0], [0, 0], [4, 0]], np.int32)),  # at (0, 0)
        lambda: q.rotation(BLANK),  # no 255 pixel to turn about
        lambda: q.cell_test(FREE, (10, 10), 3)[1],  # the centre answered: no mask
    ],
    ids=["rectangle", "junctions", "two points", "straight", "straight at 0", "pivot", "mask"],
)
def test_nothing_found_is_none(call):
    assert call() is None


def test_answers_at_the_origin_are_not_none():
    # A quarter turn at (0, 0) is the sharpest vertex; a pivot given turns any image (no
    # wall: by 0).
    assert q.sharpest_vertex(np.array([[-4, 0], [0, 0], [0, 4], [1, 9]], np.int32)) == (0, 0)
    matrix, _ = q.rotation(BLANK, pivot=(0, 0))
    assert matrix[:, :2].tolist() == [[1.0, 0.0], [0.0, 1.0]]
