"""The map toolkit from Python: load_map with its metres checked by hand, thin, and both
against the C++ toolkit."""

import errno
import math
import os

import numpy as np
import pytest

import quorvane_nav2 as q
from conftest import write_raw

needs_maps = pytest.mark.skipif(not hasattr(q, "load_map"), reason="built without the map toolkit")

# 4 x 3 map_server image, top row first: 254 is free, 0 occupied, 205 unknown.
GREYS = np.array([[254, 254, 0, 205], [254, 254, 254, 205], [0, 254, 254, 254]], np.uint8)


def write_map_server(folder, yaw):
    with open(folder / "tiny.pgm", "wb") as f:
        f.write(b"P5\n4 3\n255\n" + GREYS.tobytes())
    path = folder / "tiny.yaml"
    path.write_text(
        f"image: tiny.pgm\nresolution: 0.5\norigin: [1.0, -2.0, {yaw!r}]\nnegate: 0\n"
        "occupied_thresh: 0.65\nfree_thresh: 0.196\n"
    )
    return path


# Pixel centres in metres: origin + R(yaw) * 0.5 * (x + 0.5, 3 - y - 0.5).
@needs_maps
@pytest.mark.parametrize(
    "yaw, pixels, metres",
    [
        (0.0, [[0, 2], [3, 0]], [[1.25, -1.75], [2.75, -0.75]]),
        (math.pi / 2, [[0, 2], [3, 0]], [[0.75, -1.75], [-0.25, -0.25]]),
    ],
)
def test_map_server_yaml_in_metres(tmp_path, yaw, pixels, metres):
    m = q.load_map(write_map_server(tmp_path, yaw))
    assert np.array_equal(m.free, np.where(GREYS == 254, 255, 0))
    assert np.array_equal(m.unknown, np.where(GREYS == 205, 255, 0))
    assert m.free.dtype == np.uint8 and m.free is m.free
    assert (m.resolution, m.origin, m.frame_id) == (0.5, (1.0, -2.0, yaw), "map")
    world = m.pixel_to_world(np.array(pixels, np.int32))
    assert world.dtype == np.float64
    assert np.allclose(world, metres, atol=1e-12)
    assert np.allclose(m.world_to_pixel(world), pixels, atol=1e-12)


@needs_maps
def test_occupancy_grid_yaml(tmp_path):
    path = tmp_path / "grid.yaml"
    path.write_text(
        "header:\n  frame_id: odom\ninfo:\n  resolution: 0.25\n  width: 2\n  height: 2\n"
        "  origin:\n    position: {x: 0.5, y: 0.0, z: 0.0}\ndata: [0, 100, -1, 0]\n"
    )
    m = q.load_map(str(path))
    # Grid row 0 is the bottom image row.
    assert m.free.tolist() == [[0, 255], [255, 0]]
    assert m.unknown.tolist() == [[255, 0], [0, 0]]
    assert (m.resolution, m.origin, m.frame_id) == (0.25, (0.5, 0.0, 0.0), "odom")
    assert m.pixel_to_world(np.array([[0.0, 1.0]])).tolist() == [[0.625, 0.125]]


@needs_maps
def test_map_errors(tmp_path):
    # A missing file as open() reports it; the toolkit's MapError as ValueError.
    with pytest.raises(FileNotFoundError) as missing:
        q.load_map(tmp_path / "missing.yaml")
    assert missing.value.errno == errno.ENOENT
    assert missing.value.filename == str(tmp_path / "missing.yaml")
    bad = tmp_path / "bad.yaml"
    bad.write_text("image: tiny.pgm\n")  # no resolution
    with pytest.raises(ValueError, match="resolution"):
        q.load_map(bad)
    with pytest.raises(ValueError, match="null byte"):
        q.load_map(str(bad) + "\0.png")
    m = q.load_map(write_map_server(tmp_path, 0.0))
    with pytest.raises(TypeError):
        m.pixel_to_world(np.zeros((2, 3)))
    with pytest.raises(TypeError):
        m.pixel_to_world(np.zeros((2, 2), bool))


@needs_maps
@pytest.mark.parametrize("value", [math.nan, math.inf, -math.inf])
@pytest.mark.parametrize("method", ["pixel_to_world", "world_to_pixel"])
def test_conversions_refuse_nan_and_infinity(tmp_path, method, value):
    m = q.load_map(write_map_server(tmp_path, 0.0))
    with pytest.raises(ValueError, match=r"finite; row 1 is"):
        getattr(m, method)(np.array([[1.0, 2.0], [3.0, value]]))


@needs_maps
def test_frame_id_that_is_not_utf8(tmp_path):
    path = tmp_path / "grid.yaml"
    path.write_bytes(
        b"header:\n  frame_id: od\xffom\ninfo:\n  resolution: 0.25\n  width: 1\n  height: 1\n"
        b"data: [0]\n"
    )
    try:
        m = q.load_map(path)
    except ValueError:
        pytest.skip("the reader refuses frame ids that are not UTF-8")
    assert m.frame_id.encode("utf-8", "surrogateescape") == b"od\xffom"
    assert repr(m) == "<quorvane_nav2.Map 1x1 px, 0.25 m/px, frame 'od\\udcffom'>"


@needs_maps
def test_thin_matches_cpp(cpp, plan, tmp_path):
    out = tmp_path / "skeleton.raw"
    cpp({"image": write_raw(plan, tmp_path / "plan.raw"), "thin_out": str(out)})
    want = np.fromfile(out, dtype=np.uint8).reshape(plan.shape)
    assert np.array_equal(q.thin(plan), want)
    flipped = plan[::-1]  # a view is read as its copy
    assert np.array_equal(q.thin(flipped), q.thin(np.ascontiguousarray(flipped)))
    # A pixel is set from 128 up; an isolated pixel is never removed.
    dots = np.zeros((5, 5), np.uint8)
    dots[2, 2], dots[0, 0] = 128, 127
    assert q.thin(dots).tolist() == np.where(np.arange(25).reshape(5, 5) == 12, 255, 0).tolist()
    with pytest.raises(TypeError, match="CV_8UC1"):
        q.thin(np.zeros((4, 4), np.float32))


@needs_maps
def test_real_map_matches_cpp(cpp, tmp_path):
    folder = os.environ.get("QUORVANE_TEST_MAPS_DIR", "")
    path = os.path.join(folder, "depot.yaml")
    if not folder or not os.path.exists(path):
        pytest.skip("no real maps (QUORVANE_TEST_MAPS_DIR)")
    pixels = [[0, 0], [603, 306], [100.5, 200.25]]
    want = cpp(
        {
            "load_map": {
                "path": path,
                "free_out": str(tmp_path / "free.raw"),
                "unknown_out": str(tmp_path / "unknown.raw"),
                "pixels": pixels,
            }
        }
    )["load_map"]
    m = q.load_map(path)
    width, height = want["size"]
    free = np.fromfile(tmp_path / "free.raw", np.uint8).reshape(height, width)
    assert np.array_equal(m.free, free)
    assert np.array_equal(
        m.unknown, np.fromfile(tmp_path / "unknown.raw", np.uint8).reshape(height, width)
    )
    assert (m.resolution, list(m.origin), m.frame_id) == (
        want["resolution"], want["origin"], want["frame_id"])
    assert m.pixel_to_world(np.array(pixels)).tolist() == want["world"]


@needs_maps
def test_coverage_rectangles(plan, tmp_path):
    blocks = q.coverage_rectangles(plan, 8)
    assert len(blocks) > 1
    # The first block is the inner rectangle; the others follow largest first.
    assert np.array_equal(blocks[0]["outline_px"], q.inner_rectangle(plan, 8))
    sizes = [b["cells"][0] * b["cells"][1] for b in blocks]
    assert sizes == sorted(sizes, reverse=True) and min(sizes) >= 4
    assert blocks[0]["extent_px"].shape == (5, 2) and "outline_m" not in blocks[0]
    assert len(q.coverage_rectangles(plan, 8, min_cells=1, max_rectangles=2)) == 2
    with pytest.raises(ValueError):
        q.coverage_rectangles(plan, 8, min_cells=0)
    with pytest.raises(ValueError, match="max_rectangles"):
        q.coverage_rectangles(plan, 8, max_rectangles=-1)
    # Given a Map, its free cells and its metres.
    m = q.load_map(write_map_server(tmp_path, 0.3))
    block = q.coverage_rectangles(m, 1, min_cells=1)[0]
    assert np.allclose(block["extent_m"], m.pixel_to_world(block["extent_px"]))


@needs_maps
def test_coverage_path_on_an_empty_room(tmp_path):
    # A free 80 x 180 px room (rows 10 to 89): with a radius of 5 px the robot's
    # centre keeps to rows 14 to 85, 5 px from the walls' pixel centres (9 and
    # 90); lanes at most 10 px apart (no overlap) spread evenly over those
    # 71 px take 9 rows.
    room = np.zeros((100, 200), np.uint8)
    room[10:90, 10:190] = 255
    path = q.coverage_path(room, 10.0, robot_radius=5.0, overlap=0.0)
    poses, kinds = path["poses"], path["kinds"]
    assert poses.shape[1] == 3 and len(kinds) == len(poses) - 1
    assert set(kinds) <= {"lane", "transit"} and path["lanes"] == 9
    # Every pose keeps the radius from the walls' pixel centres, less half a pixel.
    assert (poses[:, 0] >= 13.5 - 1e-9).all() and (poses[:, 0] <= 185.5 + 1e-9).all()
    assert (poses[:, 1] >= 13.5 - 1e-9).all() and (poses[:, 1] <= 85.5 + 1e-9).all()
    assert path["covered_share"] >= 0.99
    # Only the room's corners lie beyond half a swath of where the robot fits.
    ys, xs = np.nonzero(path["unreachable"])
    assert len(xs) == path["unreachable_free_area"] > 0
    assert (np.minimum(xs - 10, 189 - xs) < 5).all() and (np.minimum(ys - 10, 89 - ys) < 5).all()
    assert path["length"] == pytest.approx(path["lane_length"] + path["transit_length"])
    # Given a Map, metres of its frame.
    m = q.load_map(write_map_server(tmp_path, 0.0))
    in_metres = q.coverage_path(m, 0.5)
    assert in_metres["coverable_area"] == pytest.approx(8 * 0.25)


@needs_maps
@pytest.mark.parametrize(
    "kwargs",
    [
        dict(swath_width=0.0),
        dict(swath_width=float("nan")),
        dict(swath_width=10.0, robot_radius=-1.0),
        dict(swath_width=10.0, overlap=1.0),
        dict(swath_width=10.0, overlap=float("inf")),
        dict(swath_width=10.0, start=(500.0, 5.0)),
    ],
)
def test_coverage_path_refuses_bad_arguments(kwargs):
    room = np.zeros((20, 20), np.uint8)
    room[5:15, 5:15] = 255
    with pytest.raises(ValueError):
        q.coverage_path(room, **kwargs)
