"""Argument handling: dtypes, shapes, strided views, errors and untouched inputs."""

import math
import pydoc
import re
import threading

import numpy as np
import pytest

import quorvane_nav2 as q

MATRIX = np.array([[0.96, 0.28, 3.0], [-0.28, 0.96, 40.0]])
POLYLINE = np.array([[0, 0], [4, 9], [10, 2], [15, 15], [20, 3], [27, 8]], np.int32)

# name -> call on a uint8 image; each result is compared with numpy's equality.
IMAGE_CALLS = {
    "main_direction": lambda im: q.main_direction(im),
    "rotation": lambda im: q.rotation(im, (30, 20)),
    "rotate": lambda im: q.rotate(im, MATRIX, (0, 0, 90, 70)),
    "inner_rectangle": lambda im: q.inner_rectangle(im, 6.0),
    "cell_test": lambda im: q.cell_test(im, (33, 17), 7),
    "junction_pair": lambda im: q.junction_pair(im),
}


def same(a, b):
    if isinstance(a, tuple):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if a is None or b is None:
        return a is b
    return np.array_equal(a, b)


@pytest.mark.parametrize("name", IMAGE_CALLS)
@pytest.mark.parametrize(
    "view",
    [
        lambda big: big[3:63, 5:85],  # rows with a gap at their end
        lambda big: big[::2, ::2][:60, :80],  # every other pixel
        lambda big: np.asfortranarray(big[:60, :80]),  # column-major
        lambda big: big[59::-1, 79::-1],  # upside down and mirrored: negative strides
    ],
    ids=["roi", "step2", "fortran", "flipped"],
)
def test_views_give_the_copy_result(plan, name, view):
    big = np.ascontiguousarray(plan[100:230, 100:270])
    image = view(big)
    before = image.copy()
    assert same(IMAGE_CALLS[name](image), IMAGE_CALLS[name](np.ascontiguousarray(image)))
    assert np.array_equal(image, before)


def test_point_views_give_the_copy_result():
    walk = np.cumsum(np.random.default_rng(3).integers(-4, 5, (400, 2)), axis=0).astype(np.int32)
    view = walk[::3]
    copy = np.ascontiguousarray(view)
    assert np.array_equal(q.simplify(view, 1.5), q.simplify(copy, 1.5))
    assert q.sharpest_vertex(view) == q.sharpest_vertex(copy)
    floats = walk.astype(np.float64)[:, ::-1]
    assert np.array_equal(q.simplify(floats, 1.5), q.simplify(floats.copy(), 1.5))
    assert np.array_equal(q.to_original(floats, MATRIX), q.to_original(floats.copy(), MATRIX))


def test_results_are_fresh_arrays(plan):
    rotated = q.rotate(plan, MATRIX, (0, 0, 50, 40))
    rotated[:] = 7  # writable, and not the input's memory
    assert plan.max() == 255 and plan.min() == 0


IMAGE = np.zeros((20, 30), np.uint8)
IMAGE[5:15, 5:25] = 255

BAD_CALLS = [
    # wrong dtype, shape or channels: TypeError
    (TypeError, "CV_8UC1", lambda: q.inner_rectangle(IMAGE.astype(np.float32), 4)),
    (TypeError, "CV_8UC1", lambda: q.junction_pair(IMAGE.astype(np.int32))),
    (TypeError, "CV_8UC1", lambda: q.cell_test(np.dstack([IMAGE] * 3), (1, 1), 3)),
    (TypeError, "depth", lambda: q.rotation(IMAGE.astype(np.uint16))),
    (TypeError, "depth", lambda: q.main_direction(IMAGE.astype(np.float64))),
    (TypeError, "uint8", lambda: q.main_direction(IMAGE.astype(bool))),
    (TypeError, "2-D", lambda: q.junction_pair(IMAGE.ravel())),
    (TypeError, "numpy array", lambda: q.main_direction(IMAGE.tolist())),
    (TypeError, "2x3", lambda: q.rotate(IMAGE, MATRIX[:, :2], (0, 0, 5, 5))),
    (TypeError, "2x3", lambda: q.rotate(IMAGE, MATRIX.astype(np.int32), (0, 0, 5, 5))),
    (TypeError, "matM", lambda: q.to_original(np.zeros((1, 2)), MATRIX.T)),
    (TypeError, "(N, 2)", lambda: q.to_original(np.zeros((3,)), MATRIX)),
    (TypeError, "float32 or float64", lambda: q.to_original(np.zeros((1, 2), np.int32), MATRIX)),
    (TypeError, "int32", lambda: q.simplify(POLYLINE.astype(np.int64), 1.0)),
    (TypeError, "(N, 2)", lambda: q.simplify(np.zeros((4, 3), np.int32), 1.0)),
    (TypeError, "int32", lambda: q.sharpest_vertex(POLYLINE.astype(np.float64))),
    # a bad value: ValueError
    (ValueError, "cell size", lambda: q.inner_rectangle(IMAGE, 0.5)),
    (ValueError, "cell size", lambda: q.inner_rectangle(IMAGE, float("nan"))),
    (ValueError, "cell side", lambda: q.cell_test(IMAGE, (1, 1), 70000)),
    (ValueError, "cell side", lambda: q.cell_test(IMAGE, (1, 1), -1)),
    (ValueError, "negative", lambda: q.rotate(IMAGE, MATRIX, (0, 0, -1, 5))),
    (ValueError, "epsilon", lambda: q.simplify(POLYLINE, -1e-300)),
    (ValueError, "epsilon", lambda: q.simplify(POLYLINE.astype(np.float64), -1.0)),
    (ValueError, "min_chord", lambda: q.simplify(POLYLINE.astype(np.float64), 1.0, 2.0)),
    (ValueError, "", lambda: q.rotation(IMAGE, (2**31 - 1, 2**31 - 1))),
    (ValueError, "float32", lambda: q.to_original(np.array([[0.0, 1e39]]), MATRIX)),
]


@pytest.mark.parametrize("error, words, call", BAD_CALLS)
def test_bad_arguments_raise_and_leave_inputs(error, words, call):
    image, polyline, matrix = IMAGE.copy(), POLYLINE.copy(), MATRIX.copy()
    with pytest.raises(error, match=re.escape(words)):
        call()
    assert np.array_equal(IMAGE, image) and np.array_equal(POLYLINE, polyline)
    assert np.array_equal(MATRIX, matrix)


def test_help_shows_the_signature():
    text = pydoc.render_doc(q.inner_rectangle, renderer=pydoc.plaintext)
    assert (
        "inner_rectangle(image: numpy.ndarray[numpy.uint8], cell_size: float)"
        " -> Optional[numpy.ndarray[numpy.float32]]" in text
    )


def test_threads_share_read_only_inputs(plan):
    want = q.inner_rectangle(plan, 8.0)
    results = [None] * 4

    def work(i):
        results[i] = q.inner_rectangle(plan, 8.0)

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(r, want) for r in results)


def test_foreign_byte_order_is_refused_not_misread():
    with pytest.raises(TypeError, match="int32"):
        q.simplify(POLYLINE.astype(">i4"), 1.0)
    with pytest.raises(TypeError, match="float64"):
        q.to_original(POLYLINE.astype(">f8"), MATRIX)


@pytest.mark.parametrize("shape", [(100, 40000), (40000, 100)])
def test_maps_wider_than_32767_pixels_are_aligned(shape):
    # A corridor along the long side: its walls give the direction (0 or pi
    # along x, pi / 2 along y), where such a map used to crash the interpreter.
    image = np.zeros(shape, np.uint8)
    if shape[0] < shape[1]:
        image[30:70, 10:-10] = 255
        assert min(q.main_direction(image), math.pi - q.main_direction(image)) < 0.02
    else:
        image[10:-10, 30:70] = 255
        assert abs(q.main_direction(image) - math.pi / 2) < 0.02
