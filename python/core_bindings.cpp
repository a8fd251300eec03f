// The core library's four classes for Python: one function per operation,
// each calling the public C++ API once with the GIL released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include <opencv2/core.hpp>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "bindings.hpp"
#include "get_special_points.hpp"
#include "nav_msgs/msg/path.hpp"
#include "numpy_convert.hpp"

namespace quorvane
{
namespace python
{

namespace
{

double mainDirection(const ImageArg & image)
{
  const MatInput in = toMat(image, "image");
  return released([&] { return Rotator().computeImageMainDirection(in.mat); });
}

// Whether a CV_8UC1 image holds a 255 pixel; stops at the first one.
bool hasFreePixel(const cv::Mat & image)
{
  for (int r = 0; r < image.rows; ++r) {
    const std::uint8_t * row = image.ptr<std::uint8_t>(r);
    if (std::find(row, row + image.cols, std::uint8_t{255}) != row + image.cols) {
      return true;
    }
  }
  return false;
}

using Bounds = std::tuple<int, int, int, int>;

std::optional<std::pair<py::array_t<double>, Bounds>> rotation(
  const ImageArg & image, std::optional<std::pair<int, int>> pivot, double extraAngle)
{
  const MatInput in = toMat(image, "image");
  cv::Mat matrix;
  cv::Rect bounds;
  const bool found = released([&] {
    cv::Point centre;
    const cv::Point * centrePtr = nullptr;
    if (pivot) {
      centre = cv::Point(pivot->first, pivot->second);
      centrePtr = &centre;
    }
    Rotator().computeImageRotationMatrix(in.mat, matrix, bounds, centrePtr, extraAngle);
    // Without a pivot the core turns about the middle of the box of the 255
    // pixels (and has checked the image is CV_8UC1); with no 255 pixel that
    // box is (INT_MAX, INT_MAX) to (0, 0) and the rotation means nothing.
    return pivot.has_value() || hasFreePixel(in.mat);
  });
  if (!found) {
    return std::nullopt;
  }
  py::array_t<double> m(std::vector<py::ssize_t>{2, 3});
  auto mv = m.mutable_unchecked<2>();
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      mv(r, c) = matrix.at<double>(r, c);
    }
  }
  return std::make_pair(m, Bounds{bounds.x, bounds.y, bounds.width, bounds.height});
}

py::array_t<std::uint8_t> rotate(
  const ImageArg & image, const FloatArrayArg & matrix, const Bounds & bounds)
{
  const MatInput in = toMat(image, "image");
  const MatInput m = toMat(matrix, "matrix");
  const cv::Rect rect(
    std::get<0>(bounds), std::get<1>(bounds), std::get<2>(bounds), std::get<3>(bounds));
  cv::Mat rotated = released([&] {
    cv::Mat out;
    Rotator().rotateImage(in.mat, out, m.mat, rect);
    return out;
  });
  return byteImage(std::move(rotated));
}

py::array_t<float> toOriginal(const FloatArrayArg & points, const FloatArrayArg & matrix)
{
  const std::vector<cv::Point2f> input = floatPoints(points, "points");
  const MatInput m = toMat(matrix, "matrix");
  std::vector<cv::Point2f> output = released([&] {
    std::vector<cv::Point2f> out;
    Rotator().transformPathBackToOriginalRotation(input, out, m.mat);
    return out;
  });
  return pointArray<float>(output);
}

std::optional<py::array_t<float>> innerRectangle(const ImageArg & image, double cellSize)
{
  const MatInput in = toMat(image, "image");
  std::vector<cv::Point2f> outline = released([&] {
    std::vector<cv::Point2f> out;
    get_special_points().getInnerRect(in.mat, out, cellSize);
    return out;
  });
  if (outline.empty()) {
    return std::nullopt;
  }
  return pointArray<float>(outline);
}

std::pair<bool, std::optional<py::array_t<std::uint8_t>>> cellTest(
  const ImageArg & image, std::pair<int, int> center, int side)
{
  const MatInput in = toMat(image, "image");
  get_special_points gsp;
  const bool inside = released([&] {
    cv::Point c(center.first, center.second);
    return gsp.completeCellTest(in.mat, c, side);
  });
  // An empty mask means the centre pixel answered on its own: no window.
  if (gsp.mask.empty()) {
    return {inside, std::nullopt};
  }
  return {inside, byteImage(gsp.mask)};
}

std::optional<py::array_t<std::int32_t>> junctionPair(const ImageArg & skeleton)
{
  const MatInput in = toMat(skeleton, "skeleton");
  std::vector<cv::Point> pair = released([&] {
    std::vector<cv::Point> out;
    get_special_points().SkeletonGetJunctionPt(in.mat, out);
    return out;
  });
  // The core answers (0, 0), (0, 0) when there are fewer than two junctions;
  // a pair found is two distinct pixels.
  if (pair.size() != 2 || pair[0] == pair[1]) {
    return std::nullopt;
  }
  return pointArray<std::int32_t>(pair);
}

std::variant<py::array_t<std::int32_t>, py::array_t<double>> simplify(
  const PolylineOrPathArg & pointsArg, double epsilon, double minChord)
{
  const py::array points = requirePoints(pointsArg, "points");
  if (hasDtype(points, 'i', 4)) {
    const std::vector<cv::Point> input = readPoints<std::int32_t, cv::Point>(points);
    std::vector<cv::Point> kept = released([&] {
      std::vector<cv::Point> out;
      SimplifyPath().douglasPeucker(input, epsilon, minChord, out);
      return out;
    });
    return pointArray<std::int32_t>(kept);
  }
  if (hasDtype(points, 'f', 8)) {
    if (!(minChord < 0.0)) {
      throw py::value_error(
        "simplify: min_chord applies to int32 pixel polylines only; float64 points follow the "
        "path rule, which has no chord test");
    }
    nav_msgs::msg::Path input;
    const auto view = points.unchecked<double, 2>();
    input.poses.resize(static_cast<std::size_t>(view.shape(0)));
    for (py::ssize_t i = 0; i < view.shape(0); ++i) {
      input.poses[static_cast<std::size_t>(i)].pose.position.x = view(i, 0);
      input.poses[static_cast<std::size_t>(i)].pose.position.y = view(i, 1);
    }
    nav_msgs::msg::Path kept = released([&] {
      nav_msgs::msg::Path out;
      SimplifyPath().douglasPeucker(input, epsilon, out);
      return out;
    });
    py::array_t<double> out(
      std::vector<py::ssize_t>{static_cast<py::ssize_t>(kept.poses.size()), 2});
    auto ov = out.mutable_unchecked<2>();
    for (std::size_t i = 0; i < kept.poses.size(); ++i) {
      ov(static_cast<py::ssize_t>(i), 0) = kept.poses[i].pose.position.x;
      ov(static_cast<py::ssize_t>(i), 1) = kept.poses[i].pose.position.y;
    }
    return out;
  }
  throw py::type_error(
    "points must be int32 (a pixel polyline) or float64 (a path), got dtype " + dtypeName(points));
}

double curvature(std::pair<int, int> a, std::pair<int, int> b, std::pair<int, int> c)
{
  return released([&] {
    return CurvatureAnalyzer().curvature(
      cv::Point(a.first, a.second), cv::Point(b.first, b.second), cv::Point(c.first, c.second));
  });
}

std::optional<std::pair<int, int>> sharpestVertex(const PolylineArg & points)
{
  const std::vector<cv::Point> input = intPoints(points, "points");
  return released([&]() -> std::optional<std::pair<int, int>> {
    CurvatureAnalyzer analyzer;
    const cv::Point p = analyzer.findMaxCurvaturePoint(input);
    if (p != cv::Point()) {
      return std::make_pair(p.x, p.y);
    }
    // The core also answers (0, 0) when no interior vertex turns. When one
    // does, the answer is the sharpest of them; so (0, 0) is a vertex found
    // exactly when an interior vertex at (0, 0) turns.
    for (std::size_t i = 1; i + 1 < input.size(); ++i) {
      if (input[i] == p && analyzer.curvature(input[i - 1], input[i], input[i + 1]) > 0.0) {
        return std::make_pair(p.x, p.y);
      }
    }
    return std::nullopt;
  });
}

}  // namespace

void bindCore(py::module_ & m)
{
  m.def(
    "main_direction", &mainDirection, py::arg("image"),
    "Dominant direction of the straight edges of a map, in radians in [0, pi], measured\n"
    "from +x toward +y (image convention, y down). 0.0 also when no segment is found:\n"
    "the library gives no separate answer for that case.");

  m.def(
    "rotation", &rotation, py::arg("image"), py::arg("pivot") = py::none(),
    py::arg("extra_angle") = 0.0,
    "(matrix, bounds) of the rotation that lays the main direction (plus extra_angle,\n"
    "radians) along the x axis. matrix is a (2, 3) float64 array mapping source pixels to "
    "rotated-image pixels;\n"
    "bounds is (x, y, width, height): the rotated image's size and the integer top-left of\n"
    "the rotated outline in source pixels. The pivot is (x, y) when given, otherwise the\n"
    "middle of the bounding box of the 255 pixels; None when no pivot is given and the\n"
    "image has no 255 pixel. Raises ValueError when the rotated outline does not fit in\n"
    "32-bit pixel coordinates.");

  m.def(
    "rotate", &rotate, py::arg("image"), py::arg("matrix"), py::arg("bounds"),
    "Warps a uint8 image with a (2, 3) float64 or float32 matrix into a new image of\n"
    "bounds' width and height (x and y are not used), re-binarised at 127: every pixel of\n"
    "the result is 0 or 255. Raises TypeError for a matrix that is not (2, 3) float, and\n"
    "ValueError for a negative size.");

  m.def(
    "to_original", &toOriginal, py::arg("points"), py::arg("matrix"),
    "Maps (N, 2) points of the rotated frame back into the source frame with the inverse\n"
    "of a rotation matrix. points are float32 or float64 (computed in float32); the result\n"
    "is a new (N, 2) float32 array. A singular matrix maps every point to (0, 0). Raises\n"
    "ValueError for a float64 value beyond float32's range.");

  m.def(
    "inner_rectangle", &innerRectangle, py::arg("image"), py::arg("cell_size"),
    "Largest rectangle, aligned with the map's main direction, that square cells of side\n"
    "cell_size pixels tile inside the free (255) area. Returns a (5, 2) float32 array: the\n"
    "centres of its corner cells (top-left, top-right, bottom-right, bottom-left, top-left\n"
    "again, as seen in the rotated frame) in the map's pixels; None when there is no\n"
    "rectangle. Raises ValueError unless cell_size is finite, >= 1 and its floor <= 65535.");

  m.def(
    "cell_test", &cellTest, py::arg("image"), py::arg("center"), py::arg("side"),
    "Whether the side x side window of image centred on center = (x, y) holds a 255 pixel\n"
    "(rows y - side//2 ... y - side//2 + side - 1, the same for columns; positions outside\n"
    "the image are skipped). The mask is a side x side uint8 array, 255 at the window's\n"
    "255 pixels; it is None when the centre pixel itself is 255 (the window is not\n"
    "scanned). Raises ValueError for a side outside [0, 65535].");

  m.def(
    "junction_pair", &junctionPair, py::arg("skeleton"),
    "The two farthest-apart junction pixels of a skeleton image (any nonzero pixel is\n"
    "set; no thinning is done), as a (2, 2) int32 array of (x, y), the first before the\n"
    "second in raster order; None when there are fewer than two junctions.");

  m.def(
    "simplify", &simplify, py::arg("points"), py::arg("epsilon"), py::arg("min_chord") = -1.0,
    "Douglas-Peucker simplification of an (N, 2) array; the dtype chooses the rule.\n"
    "int32: a pixel polyline; a span whose end points lie no farther apart than min_chord is\n"
    "replaced by its end points (negative: no chord test). float64: a path in metres (the\n"
    "path rule on x and y; min_chord must stay negative). Returns the kept points as a new\n"
    "array of the same dtype (with fewer than two points, a copy). Raises ValueError for a\n"
    "negative epsilon.");

  m.def(
    "curvature", &curvature, py::arg("a"), py::arg("b"), py::arg("c"),
    "Turning angle at b between the legs a-b and b-c, divided by the shorter leg, in\n"
    "radians per pixel; points are (x, y) integer pairs. 0.0 when a leg has zero length.");

  m.def(
    "sharpest_vertex", &sharpestVertex, py::arg("points"),
    "The interior vertex of greatest curvature of an (N, 2) int32 polyline (the first one\n"
    "on ties), as (x, y); None when there are fewer than three points or none turns.");
}

}  // namespace python
}  // namespace quorvane
