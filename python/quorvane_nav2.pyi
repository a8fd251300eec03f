"""Map-processing and path-geometry algorithms of quorvane_nav2_algo_core, with numpy.

Images are 2-D uint8 arrays (free space is 255); points are (N, 2) arrays of
(x, y) = (column, row). Wrong dtypes, shapes or channel counts raise TypeError,
bad values raise ValueError.
"""

from typing import Optional, Tuple

import numpy as np
import numpy.typing as npt

Image = npt.NDArray[np.uint8]
Bounds = Tuple[int, int, int, int]
Pixel = Tuple[int, int]

def main_direction(image: Image) -> float:
    """Dominant wall direction in radians in [0, pi] (image convention, y down)."""

def rotation(
    image: Image, pivot: Optional[Pixel] = None, extra_angle: float = 0.0
) -> Tuple[npt.NDArray[np.float64], Bounds]:
    """(2, 3) float64 source-to-rotated matrix and (x, y, width, height) of the rotated image."""

def rotate(image: Image, matrix: npt.NDArray[np.floating], bounds: Bounds) -> Image:
    """The image warped into bounds' width x height, every pixel 0 or 255."""

def to_original(
    points: npt.NDArray[np.floating], matrix: npt.NDArray[np.floating]
) -> npt.NDArray[np.float32]:
    """(N, 2) points of the rotated frame mapped back into the source frame."""

def inner_rectangle(image: Image, cell_size: float) -> Optional[npt.NDArray[np.float32]]:
    """(5, 2) closed outline through the corner cells' centres, or None."""

def cell_test(image: Image, center: Pixel, side: int) -> Tuple[bool, Optional[Image]]:
    """Whether the window around center holds a 255 pixel, and the window's mask
    (None when the centre pixel is 255)."""

def junction_pair(skeleton: Image) -> npt.NDArray[np.int32]:
    """(2, 2) int32: the two farthest-apart junction pixels, or zeros."""

def simplify(
    points: npt.NDArray[np.int32] | npt.NDArray[np.float64],
    epsilon: float,
    min_chord: float = -1.0,
) -> npt.NDArray[np.int32] | npt.NDArray[np.float64]:
    """Douglas-Peucker: int32 pixel polyline (with the chord test) or float64 path."""

def curvature(a: Pixel, b: Pixel, c: Pixel) -> float:
    """Turning angle at b divided by the shorter leg, radians per pixel."""

def sharpest_vertex(points: npt.NDArray[np.int32]) -> Pixel:
    """Interior vertex of greatest curvature, or (0, 0)."""
