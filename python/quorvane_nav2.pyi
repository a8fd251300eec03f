"""Map-processing and path-geometry algorithms of quorvane_nav2_algo_core, with numpy.

Images are 2-D uint8 arrays (free space is 255); points are (N, 2) arrays of
(x, y) = (column, row). Wrong dtypes, shapes or channel counts raise TypeError,
bad values raise ValueError. A function that finds nothing returns None.
"""

import os
from typing import Any, Optional, Tuple

import numpy as np
import numpy.typing as npt

_Image = npt.NDArray[np.uint8]
_Bounds = Tuple[int, int, int, int]
_Pixel = Tuple[int, int]

def main_direction(image: _Image) -> float:
    """Dominant wall direction in radians in [0, pi] (image convention, y down); 0.0 also
    when no wall segment is found."""

def rotation(
    image: _Image, pivot: Optional[_Pixel] = None, extra_angle: float = 0.0
) -> Optional[Tuple[npt.NDArray[np.float64], _Bounds]]:
    """(2, 3) float64 source-to-rotated matrix and (x, y, width, height) of the rotated image;
    None without a pivot when the image has no 255 pixel."""

def rotate(image: _Image, matrix: npt.NDArray[np.floating], bounds: _Bounds) -> _Image:
    """The image warped into bounds' width x height, every pixel 0 or 255."""

def to_original(
    points: npt.NDArray[np.floating], matrix: npt.NDArray[np.floating]
) -> npt.NDArray[np.float32]:
    """(N, 2) points of the rotated frame mapped back into the source frame (in float32)."""

def inner_rectangle(image: _Image, cell_size: float) -> Optional[npt.NDArray[np.float32]]:
    """(5, 2) closed outline through the corner cells' centres, or None."""

def cell_test(image: _Image, center: _Pixel, side: int) -> Tuple[bool, Optional[_Image]]:
    """Whether the window around center holds a 255 pixel, and the window's mask
    (None when the centre pixel is 255)."""

def junction_pair(skeleton: _Image) -> Optional[npt.NDArray[np.int32]]:
    """(2, 2) int32: the two farthest-apart junction pixels; None with fewer than two."""

def simplify(
    points: npt.NDArray[np.int32] | npt.NDArray[np.float64],
    epsilon: float,
    min_chord: float = -1.0,
) -> npt.NDArray[np.int32] | npt.NDArray[np.float64]:
    """Douglas-Peucker: int32 pixel polyline (with the chord test) or float64 path."""

def curvature(a: _Pixel, b: _Pixel, c: _Pixel) -> float:
    """Turning angle at b divided by the shorter leg, radians per pixel."""

def sharpest_vertex(points: npt.NDArray[np.int32]) -> Optional[_Pixel]:
    """Interior vertex of greatest curvature; None when no interior vertex turns."""

# With the map toolkit (present when the module was built with it).

class Map:
    """An occupancy map; pixel (x, y) centres map to
    origin + R(yaw) * resolution * (x + 0.5, height - y - 0.5)."""

    @property
    def free(self) -> _Image:
        """(height, width) uint8: 255 where the cell is free."""
    @property
    def unknown(self) -> _Image:
        """(height, width) uint8: 255 where the cell is unknown."""
    @property
    def resolution(self) -> float:
        """Metres per pixel."""
    @property
    def origin(self) -> Tuple[float, float, float]:
        """(x, y, yaw) of the image's bottom-left corner: metres, radians."""
    @property
    def frame_id(self) -> str:
        """Frame the origin is given in; bytes that are not UTF-8 are kept as surrogates
        (frame_id.encode("utf-8", "surrogateescape") gives them back)."""
    def pixel_to_world(
        self, points: npt.NDArray[np.integer] | npt.NDArray[np.floating]
    ) -> npt.NDArray[np.float64]:
        """(N, 2) image positions as map-frame metres; ValueError for NaN or infinity."""
    def world_to_pixel(
        self, points: npt.NDArray[np.integer] | npt.NDArray[np.floating]
    ) -> npt.NDArray[np.float64]:
        """(N, 2) map-frame metres as image positions (not rounded); ValueError for NaN or
        infinity."""

def load_map(path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> Map:
    """A map_server YAML with its image, an OccupancyGrid YAML, or a bare image."""

def thin(free: _Image) -> _Image:
    """Zhang-Suen skeleton (255) of the pixels >= 128."""

def coverage_rectangles(
    image: _Image | Map,
    cell_size: float,
    min_cells: int = 4,
    max_rectangles: int | None = None,
) -> list[dict[str, Any]]:
    """The free area covered by wall-aligned blocks of cells, largest first (an empty list
    when no cell passes)."""

def coverage_path(
    map_or_image: _Image | Map,
    swath_width: float,
    robot_radius: float = 0.0,
    overlap: float = 0.1,
    start: tuple[float, float] | None = None,
) -> dict[str, Any]:
    """A collision-free path sweeping every reachable part of the floor in lanes along the
    main direction: poses (N, 3) float64 (x, y, yaw), kinds per segment ('lane' or
    'transit'), the lengths, lanes, turns, areas, covered_share and stretch. Metres for a
    Map, pixels for an image."""
