// The map toolkit for Python: the Map class, load_map, thin,
// coverage_rectangles and coverage_path. Built only with the toolkit.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "bindings.hpp"
#include "numpy_convert.hpp"
#include "quorvane_nav2_maps/aligned_map.hpp"
#include "quorvane_nav2_maps/coverage.hpp"
#include "quorvane_nav2_maps/coverage_path.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"
#include "quorvane_nav2_maps/thinning.hpp"

namespace quorvane
{
namespace python
{

namespace
{

// A loaded map: its images as numpy arrays (made once, so `free` is the same
// array on every access) and its frame.
struct PyMap
{
  py::array_t<std::uint8_t> free;
  py::array_t<std::uint8_t> unknown;
  maps::MapFrame frame;
};

struct PathType
{
  static constexpr auto name = py::detail::const_name("Union[str, bytes, os.PathLike]");
};
struct ImageOrMapType
{
  static constexpr auto name =
    py::detail::const_name("Union[numpy.ndarray[numpy.uint8], quorvane_nav2.Map]");
};
/// A file name: str, bytes or a path-like object.
using PathArg = Documented<PathType>;
/// A uint8 free-space image, or a Map whose free cells are used.
using ImageOrMapArg = Documented<ImageOrMapType>;

// A frame id as str. A MapFrame holds bytes, whatever made it; those that
// are not UTF-8 are kept as surrogates, as Python keeps undecodable file
// names: frame_id.encode("utf-8", "surrogateescape") gives the bytes back,
// and repr() shows them escaped.
py::str frameIdOf(const PyMap & map)
{
  const std::string & id = map.frame.frameId;
  PyObject * text =
    PyUnicode_DecodeUTF8(id.data(), static_cast<Py_ssize_t>(id.size()), "surrogateescape");
  if (text == nullptr) {
    throw py::error_already_set();
  }
  return py::reinterpret_steal<py::str>(text);
}

PyMap loadMap(const PathArg & pathLike)
{
  // os.fsencode takes str (undecodable bytes kept as surrogates), bytes and
  // path-like objects, and refuses anything else with TypeError.
  const std::string path =
    py::module_::import("os").attr("fsencode")(pathLike.object).cast<std::string>();
  if (path.find('\0') != std::string::npos) {
    throw py::value_error("load_map: embedded null byte in path");
  }
  std::error_code ec;
  if (std::filesystem::status(path, ec).type() == std::filesystem::file_type::not_found) {
    throw MissingFile(path);
  }
  maps::Map map = released([&] { return maps::loadMap(path); });
  return {byteImage(std::move(map.free)), byteImage(std::move(map.unknown)), map.frame};
}

py::array_t<double> mapPoints(
  const PyMap & map, const RealPointsArg & points,
  std::vector<cv::Point2d> (*convert)(const maps::MapFrame &, const std::vector<cv::Point2d> &))
{
  const std::vector<cv::Point2d> input = realPoints(points, "points");
  const std::vector<cv::Point2d> output = released([&] { return convert(map.frame, input); });
  return pointArray<double>(output);
}

py::array_t<std::uint8_t> thin(const ImageArg & image)
{
  const MatInput in = toMat(image, "free");
  cv::Mat skeleton = released([&] {
    cv::Mat out;
    maps::thinZhangSuen(in.mat, out);
    return out;
  });
  return byteImage(std::move(skeleton));
}

// The Map an image-or-Map argument holds, or null for an image.
const PyMap * mapOf(const ImageOrMapArg & mapOrImage)
{
  return py::isinstance<PyMap>(mapOrImage.object) ? &mapOrImage.object.cast<const PyMap &>()
                                                  : nullptr;
}

// The free-space image of an image-or-Map argument.
MatInput freeOf(const ImageOrMapArg & mapOrImage, const PyMap * map)
{
  return map != nullptr ? toMat(map->free, "image") : toMat(mapOrImage, "image");
}

// Pixel points of a map's image in metres of its frame.
py::array_t<double> metres(const PyMap & map, const std::vector<cv::Point2f> & pixels)
{
  return pointArray<double>(
    maps::pixelsToWorld(map.frame, std::vector<cv::Point2d>(pixels.begin(), pixels.end())));
}

// The blocks of a coverage as dicts of numpy arrays; with a Map, the
// outlines in metres too.
std::vector<py::dict> coverageRectangles(
  const ImageOrMapArg & mapOrImage, double cellSize, int minCells, std::optional<int> maxRectangles)
{
  if (maxRectangles && *maxRectangles < 0) {
    throw py::value_error(
      "coverage_rectangles: max_rectangles must be >= 0, or None for no limit; got " +
      std::to_string(*maxRectangles));
  }
  const PyMap * map = mapOf(mapOrImage);
  const MatInput in = freeOf(mapOrImage, map);
  const maps::Coverage coverage = released([&] {
    return maps::coverageRectangles(in.mat, cellSize, minCells, maxRectangles.value_or(-1));
  });
  std::vector<py::dict> out;
  for (const maps::CoverageRectangle & rect : coverage.rectangles) {
    py::dict item;
    item["outline_px"] = pointArray<float>(rect.outline);
    item["extent_px"] = pointArray<float>(rect.extent);
    if (map != nullptr) {
      item["outline_m"] = metres(*map, rect.outline);
      item["extent_m"] = metres(*map, rect.extent);
    }
    item["cells"] = py::make_tuple(rect.cells.width, rect.cells.height);
    out.push_back(std::move(item));
  }
  return out;
}

// The coverage path as a dict. A Map plans in metres of its frame; a bare
// image in pixels: its frame is then one unit per pixel, and the poses, the
// start, the lengths and the areas come back in pixels (y down, angles in
// the image convention).
py::dict coveragePath(
  const ImageOrMapArg & mapOrImage, double swathWidth, double robotRadius, double overlap,
  std::optional<std::pair<double, double>> start)
{
  const PyMap * map = mapOf(mapOrImage);
  const MatInput in = freeOf(mapOrImage, map);
  maps::MapFrame frame;
  if (map != nullptr) {
    frame = map->frame;
  } else {
    frame.resolution = 1.0;
  }
  frame.width = in.mat.cols;
  frame.height = in.mat.rows;
  maps::CoveragePathOptions options;
  options.swathWidth = swathWidth;
  options.robotRadius = robotRadius;
  options.overlap = overlap;
  if (start) {
    const cv::Point2d asked(start->first, start->second);
    options.start = map != nullptr ? asked : maps::pixelToWorld(frame, asked);
  }
  maps::CoveragePath path =
    released([&] { return maps::planCoveragePath(maps::alignMap(in.mat), frame, options); });

  const auto count = static_cast<py::ssize_t>(path.poses.size());
  py::array_t<double> poses(std::vector<py::ssize_t>{count, 3});
  auto view = poses.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < count; ++i) {
    const maps::CoveragePose & pose = path.poses[static_cast<std::size_t>(i)];
    const cv::Point2d p = map != nullptr ? pose.position : pose.pixel;
    view(i, 0) = p.x;
    view(i, 1) = p.y;
    view(i, 2) = map != nullptr ? pose.yaw : maps::yawToImageAngle(frame, pose.yaw);
  }
  std::vector<std::string> kinds;
  kinds.reserve(path.segments.size());
  for (const maps::CoverageSegmentKind kind : path.segments) {
    kinds.emplace_back(kind == maps::CoverageSegmentKind::Lane ? "lane" : "transit");
  }
  const cv::Point2d first =
    map != nullptr || path.poses.empty() ? path.start : path.poses.front().pixel;
  py::dict out;
  out["poses"] = std::move(poses);
  out["kinds"] = std::move(kinds);
  out["start"] = py::make_tuple(first.x, first.y);
  out["length"] = path.pathLength;
  out["lane_length"] = path.laneLength;
  out["transit_length"] = path.transitLength;
  out["lanes"] = path.lanes;
  out["wall_passes"] = path.wallPasses;
  out["turns"] = path.turns;
  out["coverable_area"] = path.coverableArea;
  out["unreachable_free_area"] = path.unreachableArea;
  out["covered_share"] = path.coveredShare;
  out["stretch"] = path.stretch;
  out["unreachable"] = byteImage(std::move(path.unreachable));
  return out;
}

}  // namespace

void bindMaps(py::module_ & m)
{
  py::class_<PyMap>(
    m, "Map",
    "An occupancy map from load_map(). free and unknown are (height, width) uint8 arrays,\n"
    "255 for a free (unknown) cell and 0 otherwise, row 0 at the top of the map. Pixel\n"
    "(x, y) = (column, row), integers at pixel centres; with H the height,\n"
    "world = origin + R(yaw) * resolution * (x + 0.5, H - y - 0.5).")
    .def_readonly("free", &PyMap::free, "(height, width) uint8: 255 where the cell is free.")
    .def_readonly("unknown", &PyMap::unknown, "(height, width) uint8: 255 where it is unknown.")
    .def_property_readonly(
      "resolution", [](const PyMap & self) { return self.frame.resolution; }, "Metres per pixel.")
    .def_property_readonly(
      "origin",
      [](const PyMap & self) {
        return py::make_tuple(self.frame.originX, self.frame.originY, self.frame.originYaw);
      },
      "(x, y, yaw) of the image's bottom-left corner in the map frame: metres, radians.")
    .def_property_readonly(
      "frame_id", &frameIdOf,
      "Frame the origin is given in (\"map\" for map_server YAMLs). Bytes that are not\n"
      "UTF-8 are kept as surrogates: frame_id.encode('utf-8', 'surrogateescape') gives\n"
      "them back.")
    .def(
      "pixel_to_world",
      [](const PyMap & self, const RealPointsArg & points) {
        return mapPoints(self, points, &maps::pixelsToWorld);
      },
      py::arg("points"),
      "(N, 2) image positions (x = column, y = row; any integer or float dtype) as a new\n"
      "(N, 2) float64 array of map-frame metres. Raises ValueError for NaN or infinity.")
    .def(
      "world_to_pixel",
      [](const PyMap & self, const RealPointsArg & points) {
        return mapPoints(self, points, &maps::worldToPixels);
      },
      py::arg("points"),
      "(N, 2) map-frame points in metres as a new (N, 2) float64 array of image\n"
      "positions (inverse of pixel_to_world; not rounded). Raises ValueError for NaN or\n"
      "infinity.")
    .def("__repr__", [](const PyMap & self) {
      return py::str("<quorvane_nav2.Map {}x{} px, {} m/px, frame {!r}>")
        .format(self.frame.width, self.frame.height, self.frame.resolution, frameIdOf(self));
    });

  m.def(
    "load_map", &loadMap, py::arg("path"),
    "Reads a map: a map_server YAML with its image (free and unknown cells by its\n"
    "thresholds and negate), a YAML holding a nav_msgs/OccupancyGrid (free: 0, unknown:\n"
    "-1), or a bare image. Raises FileNotFoundError for a missing file and ValueError\n"
    "for one that cannot be used, with the reason.");

  m.def(
    "thin", &thin, py::arg("free"),
    "Zhang-Suen thinning of a uint8 image (a pixel is set from 128 up): a new image of\n"
    "the same size, 255 on the skeleton. Pixels of the outermost rows and columns are\n"
    "never removed: pad the image with a clear border when free space touches it.");

  m.def(
    "coverage_rectangles", &coverageRectangles, py::arg("image"), py::arg("cell_size"),
    py::arg("min_cells") = 4, py::arg("max_rectangles") = py::none(),
    "The free (255) area covered by wall-aligned blocks of cells, largest first, on the grid\n"
    "inner_rectangle uses (the first block is its rectangle). Blocks are taken until the\n"
    "largest remaining one has fewer than min_cells cells or max_rectangles were taken\n"
    "(None: no limit). Each dict has outline_px (5, 2) float32, the centres of the corner\n"
    "cells as inner_rectangle gives them; extent_px (5, 2) float32, the outer edges of the\n"
    "cells; cells (columns, rows). When image is a Map, its free cells are used and\n"
    "outline_m and extent_m (5, 2) float64 give the same points in metres. Raises ValueError\n"
    "for a bad cell_size, min_cells < 1 or max_rectangles < 0. No block found is an empty\n"
    "list.");

  m.def(
    "coverage_path", &coveragePath, py::arg("map_or_image"), py::arg("swath_width"),
    py::arg("robot_radius") = 0.0, py::arg("overlap") = 0.1, py::arg("start") = py::none(),
    "A path that sweeps every part of the floor a robot of radius robot_radius can reach,\n"
    "in lanes along the map's main direction spaced swath_width * (1 - overlap) apart,\n"
    "with shortest transits between them and passes along the walls for what the lanes\n"
    "leave. Every point of the path keeps robot_radius from every cell that is not free.\n"
    "Given a Map, lengths, the start (x, y) and the results are in metres of its frame;\n"
    "given a uint8 image (255 free), in pixels (y down, angles from +x toward +y).\n"
    "Returns a dict: poses (N, 3) float64 rows (x, y, yaw facing the direction of travel);\n"
    "kinds, 'lane' or 'transit' for each of the N - 1 segments; start; length,\n"
    "lane_length, transit_length; lanes, wall_passes, turns; coverable_area (the free\n"
    "cells within half a swath of where the robot's centre can be), unreachable_free_area\n"
    "and the unreachable mask (uint8, 255 at free cells the path cannot sweep);\n"
    "covered_share (of the coverable area, swept by the whole path) and stretch (length\n"
    "over coverable_area / swath_width). Raises ValueError for a swath_width <= 0, a\n"
    "negative robot_radius, an overlap outside [0, 1), a value that is not finite, or a\n"
    "start outside the map or where the robot does not fit (naming the nearest point\n"
    "where it does).");
}

}  // namespace python
}  // namespace quorvane
