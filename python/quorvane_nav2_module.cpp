// quorvane_nav2: the library (and the map toolkit, when it is built) for
// Python. numpy arrays in and out; every function calls the public C++ API
// once with the GIL released and turns cv::Exception into TypeError (wrong
// dtype, shape or channels) or ValueError (a bad value) with the library's
// message. Inputs are never written.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core.hpp>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"
#include "nav_msgs/msg/path.hpp"

#ifdef QUORVANE_PYTHON_WITH_MAPS
#include <filesystem>

#include "quorvane_nav2_maps/coverage.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"
#include "quorvane_nav2_maps/thinning.hpp"
#endif

namespace py = pybind11;

namespace
{

// ------------------------------------------------------------ errors

// OpenCV codes that say "this kind of argument is not accepted" rather than
// "this value is not accepted". Assertions are in the first group: at the
// calls made here OpenCV asserts only on types and shapes (Canny's depth,
// an affine matrix that is not 2x3).
bool isTypeError(int code)
{
  switch (code) {
    case cv::Error::StsUnsupportedFormat:
    case cv::Error::StsUnmatchedFormats:
    case cv::Error::StsUnmatchedSizes:
    case cv::Error::BadDepth:
    case cv::Error::BadNumChannels:
    case cv::Error::StsBadArg:
    case cv::Error::StsAssert:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void rethrow(const cv::Exception & e)
{
  // The library's own messages name the operation; OpenCV's assertions are a
  // bare expression, so they get the function that failed.
  const bool bare = e.code == cv::Error::StsAssert && !e.func.empty();
  const std::string message = bare ? e.func + ": " + e.err : e.err;
  if (isTypeError(e.code)) {
    throw py::type_error(message);
  }
  throw py::value_error(message);
}

// Runs @p work without the GIL and translates OpenCV's exceptions once the
// GIL is back.
template <typename Work>
auto released(Work && work) -> decltype(work())
{
  try {
    py::gil_scoped_release release;
    return work();
  } catch (const cv::Exception & e) {
    rethrow(e);
  }
}

// ------------------------------------------------------------ numpy -> C++

// Whether the elements are in this machine's byte order (numpy writes '='
// for native, '|' when order does not matter).
bool isNative(const py::dtype & dt)
{
  const char order = dt.byteorder();
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const char machine = '>';
#else
  const char machine = '<';
#endif
  return order == '=' || order == '|' || order == machine;
}

std::string dtypeName(const py::array & a) { return py::str(a.dtype()).cast<std::string>(); }

py::array requireArray(const py::handle & obj, const char * what)
{
  if (!py::isinstance<py::array>(obj)) {
    throw py::type_error(
      std::string(what) + " must be a numpy array, got " +
      py::str(py::type::of(obj).attr("__name__")).cast<std::string>());
  }
  return py::reinterpret_borrow<py::array>(obj);
}

// OpenCV depth of a numpy dtype, or -1 when OpenCV has none.
int cvDepth(const py::array & a)
{
  const py::dtype dt = a.dtype();
  const char kind = dt.kind();
  const auto size = dt.itemsize();
  if (kind == 'u' && size == 1) return CV_8U;
  if (kind == 'i' && size == 1) return CV_8S;
  if (kind == 'u' && size == 2) return CV_16U;
  if (kind == 'i' && size == 2) return CV_16S;
  if (kind == 'i' && size == 4) return CV_32S;
  if (kind == 'f' && size == 4) return CV_32F;
  if (kind == 'f' && size == 8) return CV_64F;
  return -1;
}

// A numpy array seen as a cv::Mat. A C-contiguous array is read in place; any
// other layout (a strided view, Fortran order, a foreign byte order) is copied
// first. `keep` holds the memory `mat` points into.
struct MatInput
{
  py::array keep;
  cv::Mat mat;
};

// 2-D arrays become one-channel matrices, (rows, cols, channels) arrays
// multi-channel ones. Whether the dtype and channels suit the operation is
// left to the library, so the error carries its message.
MatInput toMat(const py::handle & obj, const char * what)
{
  py::array a = requireArray(obj, what);
  if (a.ndim() != 2 && a.ndim() != 3) {
    throw py::type_error(
      std::string(what) + " must be a 2-D array (rows, cols), got " + std::to_string(a.ndim()) +
      " dimensions");
  }
  const int depth = cvDepth(a);
  const auto channels = a.ndim() == 3 ? a.shape(2) : py::ssize_t{1};
  if (depth < 0 || channels < 1 || channels > CV_CN_MAX) {
    throw py::type_error(
      std::string(what) + " must be a 2-D uint8 array, got dtype " + dtypeName(a) + " with shape " +
      py::str(py::getattr(a, "shape")).cast<std::string>());
  }
  if (a.shape(0) > INT_MAX || a.shape(1) > INT_MAX) {
    throw py::value_error(std::string(what) + " has more rows or columns than OpenCV can index");
  }
  const bool native = isNative(a.dtype());
  const int flags = a.flags();
  if (
    !native || !(flags & py::array::c_style) ||
    !(flags & py::detail::npy_api::NPY_ARRAY_ALIGNED_)) {
    a = py::module_::import("numpy").attr("ascontiguousarray")(
      a, py::getattr(a.dtype(), "newbyteorder")("="));
  }
  const int rows = static_cast<int>(a.shape(0));
  const int cols = static_cast<int>(a.shape(1));
  // The library only reads its inputs; cv::Mat has no read-only header.
  void * data = const_cast<void *>(a.data());
  cv::Mat mat(rows, cols, CV_MAKETYPE(depth, static_cast<int>(channels)), data);
  return {std::move(a), std::move(mat)};
}

py::array requirePoints(const py::handle & obj, const char * what)
{
  py::array a = requireArray(obj, what);
  if (a.ndim() != 2 || a.shape(1) != 2) {
    throw py::type_error(
      std::string(what) + " must be an (N, 2) array, got shape " +
      py::str(py::getattr(a, "shape")).cast<std::string>());
  }
  return a;
}

bool hasDtype(const py::array & a, char kind, py::ssize_t size)
{
  const py::dtype dt = a.dtype();
  return dt.kind() == kind && dt.itemsize() == size && isNative(dt);
}

// Copies an (N, 2) array of T (any strides) into points of T.
template <typename T, typename Point>
std::vector<Point> readPoints(const py::array & a)
{
  const auto view = py::reinterpret_borrow<py::array_t<T>>(a).template unchecked<2>();
  std::vector<Point> points;
  points.reserve(static_cast<std::size_t>(view.shape(0)));
  for (py::ssize_t i = 0; i < view.shape(0); ++i) {
    points.emplace_back(view(i, 0), view(i, 1));
  }
  return points;
}

std::vector<cv::Point> intPoints(const py::handle & obj, const char * what)
{
  py::array a = requirePoints(obj, what);
  if (!hasDtype(a, 'i', 4)) {
    throw py::type_error(
      std::string(what) + " must be int32 pixel coordinates, got dtype " + dtypeName(a) +
      " (convert with .astype(numpy.int32))");
  }
  return readPoints<std::int32_t, cv::Point>(a);
}

std::vector<cv::Point2f> floatPoints(const py::handle & obj, const char * what)
{
  py::array a = requirePoints(obj, what);
  if (hasDtype(a, 'f', 4)) {
    return readPoints<float, cv::Point2f>(a);
  }
  if (hasDtype(a, 'f', 8)) {
    std::vector<cv::Point2f> points;
    for (const cv::Point2d & p : readPoints<double, cv::Point2d>(a)) {
      points.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    return points;
  }
  throw py::type_error(
    std::string(what) + " must be float32 or float64 coordinates, got dtype " + dtypeName(a));
}

// ------------------------------------------------------------ C++ -> numpy

// Hands a matrix's buffer to numpy without copying: the array owns the Mat.
py::array byteImage(cv::Mat image)
{
  if (image.empty()) {
    return py::array_t<std::uint8_t>(std::vector<py::ssize_t>{image.rows, image.cols});
  }
  auto * owner = new cv::Mat(std::move(image));
  py::capsule free(owner, [](void * p) { delete static_cast<cv::Mat *>(p); });
  return py::array_t<std::uint8_t>(
    {static_cast<py::ssize_t>(owner->rows), static_cast<py::ssize_t>(owner->cols)},
    {static_cast<py::ssize_t>(owner->step[0]), py::ssize_t{1}}, owner->ptr<std::uint8_t>(), free);
}

template <typename T, typename Point>
py::array_t<T> pointArray(const std::vector<Point> & points)
{
  py::array_t<T> out(std::vector<py::ssize_t>{static_cast<py::ssize_t>(points.size()), 2});
  auto view = out.template mutable_unchecked<2>();
  for (std::size_t i = 0; i < points.size(); ++i) {
    view(static_cast<py::ssize_t>(i), 0) = static_cast<T>(points[i].x);
    view(static_cast<py::ssize_t>(i), 1) = static_cast<T>(points[i].y);
  }
  return out;
}

// ------------------------------------------------------------ core

double mainDirection(const py::handle & image)
{
  const MatInput in = toMat(image, "image");
  return released([&] { return Rotator().computeImageMainDirection(in.mat); });
}

py::tuple rotation(
  const py::handle & image, std::optional<std::pair<int, int>> pivot, double extraAngle)
{
  const MatInput in = toMat(image, "image");
  cv::Mat matrix;
  cv::Rect bounds;
  released([&] {
    cv::Point centre;
    const cv::Point * centrePtr = nullptr;
    if (pivot) {
      centre = cv::Point(pivot->first, pivot->second);
      centrePtr = &centre;
    }
    Rotator().computeImageRotationMatrix(in.mat, matrix, bounds, centrePtr, extraAngle);
  });
  py::array_t<double> m(std::vector<py::ssize_t>{2, 3});
  auto mv = m.mutable_unchecked<2>();
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) {
      mv(r, c) = matrix.at<double>(r, c);
    }
  }
  return py::make_tuple(m, py::make_tuple(bounds.x, bounds.y, bounds.width, bounds.height));
}

py::array rotate(
  const py::handle & image, const py::handle & matrix, std::tuple<int, int, int, int> bounds)
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

py::array toOriginal(const py::handle & points, const py::handle & matrix)
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

py::object innerRectangle(const py::handle & image, double cellSize)
{
  const MatInput in = toMat(image, "image");
  std::vector<cv::Point2f> outline = released([&] {
    std::vector<cv::Point2f> out;
    get_special_points().getInnerRect(in.mat, out, cellSize);
    return out;
  });
  if (outline.empty()) {
    return py::none();
  }
  return pointArray<float>(outline);
}

py::tuple cellTest(const py::handle & image, std::pair<int, int> center, int side)
{
  const MatInput in = toMat(image, "image");
  get_special_points gsp;
  const bool inside = released([&] {
    cv::Point c(center.first, center.second);
    return gsp.completeCellTest(in.mat, c, side);
  });
  // An empty mask means the centre pixel answered on its own: no window.
  py::object mask = gsp.mask.empty() ? py::object(py::none()) : byteImage(gsp.mask);
  return py::make_tuple(inside, mask);
}

py::array junctionPair(const py::handle & skeleton)
{
  const MatInput in = toMat(skeleton, "skeleton");
  std::vector<cv::Point> pair = released([&] {
    std::vector<cv::Point> out;
    get_special_points().SkeletonGetJunctionPt(in.mat, out);
    return out;
  });
  return pointArray<std::int32_t>(pair);
}

py::array simplify(const py::handle & pointsObj, double epsilon, double minChord)
{
  const py::array points = requirePoints(pointsObj, "points");
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

std::pair<int, int> sharpestVertex(const py::handle & points)
{
  const std::vector<cv::Point> input = intPoints(points, "points");
  const cv::Point p = released([&] { return CurvatureAnalyzer().findMaxCurvaturePoint(input); });
  return {p.x, p.y};
}

#ifdef QUORVANE_PYTHON_WITH_MAPS
// ------------------------------------------------------------ map toolkit

namespace maps = quorvane::maps;

// A loaded map: its images as numpy arrays (made once, so `free` is the same
// array on every access) and its frame.
struct PyMap
{
  py::array free;
  py::array unknown;
  maps::MapFrame frame;
};

PyMap loadMap(const py::object & pathLike)
{
  const std::string path = py::module_::import("os").attr("fspath")(pathLike).cast<std::string>();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    PyErr_SetString(PyExc_FileNotFoundError, ("load_map: no such file: " + path).c_str());
    throw py::error_already_set();
  }
  maps::Map map;
  try {
    map = released([&] { return maps::loadMap(path); });
  } catch (const maps::MapError & e) {
    throw py::value_error(e.what());
  }
  return {byteImage(std::move(map.free)), byteImage(std::move(map.unknown)), map.frame};
}

// (N, 2) points of any integer or floating dtype as doubles.
std::vector<cv::Point2d> realPoints(const py::handle & obj)
{
  const py::array a = requirePoints(obj, "points");
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u' && kind != 'f') {
    throw py::type_error(
      "points must be integer or floating coordinates, got dtype " + dtypeName(a));
  }
  const py::array asDouble = py::module_::import("numpy").attr("asarray")(a, "float64");
  return readPoints<double, cv::Point2d>(asDouble);
}

py::array mapPoints(
  const PyMap & map, const py::handle & points,
  std::vector<cv::Point2d> (*convert)(const maps::MapFrame &, const std::vector<cv::Point2d> &))
{
  const std::vector<cv::Point2d> input = realPoints(points);
  const std::vector<cv::Point2d> output = released([&] { return convert(map.frame, input); });
  return pointArray<double>(output);
}

py::array thin(const py::handle & image)
{
  const MatInput in = toMat(image, "free");
  cv::Mat skeleton = released([&] {
    cv::Mat out;
    maps::thinZhangSuen(in.mat, out);
    return out;
  });
  return byteImage(std::move(skeleton));
}

// The blocks of a coverage as dicts of numpy arrays; with a Map, the
// outlines in metres too.
py::list coverageRectangles(
  const py::handle & mapOrImage, double cellSize, int minCells, std::optional<int> maxRectangles)
{
  const bool isMap = py::isinstance<PyMap>(mapOrImage);
  const PyMap * map = isMap ? &mapOrImage.cast<const PyMap &>() : nullptr;
  const MatInput in = toMat(isMap ? py::handle(map->free) : mapOrImage, "image");
  const maps::Coverage coverage = released([&] {
    return maps::coverageRectangles(in.mat, cellSize, minCells, maxRectangles.value_or(-1));
  });
  py::list out;
  for (const maps::CoverageRectangle & rect : coverage.rectangles) {
    py::dict item;
    item["outline_px"] = pointArray<float>(rect.outline);
    item["extent_px"] = pointArray<float>(rect.extent);
    if (map != nullptr) {
      const auto metres = [map](const std::vector<cv::Point2f> & outline) {
        return pointArray<double>(maps::pixelsToWorld(
          map->frame, std::vector<cv::Point2d>(outline.begin(), outline.end())));
      };
      item["outline_m"] = metres(rect.outline);
      item["extent_m"] = metres(rect.extent);
    }
    item["cells"] = py::make_tuple(rect.cells.width, rect.cells.height);
    out.append(item);
  }
  return out;
}
#endif  // QUORVANE_PYTHON_WITH_MAPS

}  // namespace

PYBIND11_MODULE(quorvane_nav2, m)
{
  // Each docstring starts with the Python signature (the stub gives the
  // types); pybind11's own would show arrays as "handle".
  py::options options;
  options.disable_function_signatures();
  m.doc() =
    "Map-processing and path-geometry algorithms of quorvane_nav2_algo_core, with numpy.\n\n"
    "Images are 2-D uint8 arrays (free space is 255), read in place when C-contiguous and\n"
    "copied otherwise; points are (N, 2) arrays of (x, y) = (column, row). Inputs are never\n"
    "modified. Wrong dtypes, shapes or channel counts raise TypeError, bad values raise\n"
    "ValueError, both with the library's message. The GIL is released while the library\n"
    "runs, so threads run calls in parallel.";

  m.def(
    "main_direction", &mainDirection, py::arg("image"),
    "main_direction(image) -> float\n\n"
    "Dominant direction of the straight edges of a map, in radians in [0, pi], measured\n"
    "from +x toward +y (image convention, y down). 0.0 when no segment is found.");

  m.def(
    "rotation", &rotation, py::arg("image"), py::arg("pivot") = py::none(),
    py::arg("extra_angle") = 0.0,
    "rotation(image, pivot=None, extra_angle=0.0) -> (matrix, bounds)\n\n"
    "Rotation that lays the main direction (plus extra_angle, radians) along the x axis.\n"
    "matrix is a (2, 3) float64 array mapping source pixels to rotated-image pixels;\n"
    "bounds is (x, y, width, height): the rotated image's size and the integer top-left of\n"
    "the rotated outline in source pixels. The pivot is (x, y) when given, otherwise the\n"
    "middle of the bounding box of the 255 pixels. Raises ValueError when the rotated\n"
    "outline does not fit in 32-bit pixel coordinates.");

  m.def(
    "rotate", &rotate, py::arg("image"), py::arg("matrix"), py::arg("bounds"),
    "rotate(image, matrix, bounds) -> numpy.ndarray\n\n"
    "Warps a uint8 image with a (2, 3) float64 or float32 matrix into a new image of\n"
    "bounds' width and height (x and y are not used), re-binarised at 127: every pixel of\n"
    "the result is 0 or 255. Raises TypeError for a matrix that is not (2, 3) float, and\n"
    "ValueError for a negative size.");

  m.def(
    "to_original", &toOriginal, py::arg("points"), py::arg("matrix"),
    "to_original(points, matrix) -> numpy.ndarray\n\n"
    "Maps (N, 2) points of the rotated frame back into the source frame with the inverse\n"
    "of a rotation matrix. points are float32 or float64 (computed in float32); the result\n"
    "is a new (N, 2) float32 array. A singular matrix maps every point to (0, 0).");

  m.def(
    "inner_rectangle", &innerRectangle, py::arg("image"), py::arg("cell_size"),
    "inner_rectangle(image, cell_size) -> numpy.ndarray | None\n\n"
    "Largest rectangle, aligned with the map's main direction, that square cells of side\n"
    "cell_size pixels tile inside the free (255) area. Returns a (5, 2) float32 array: the\n"
    "centres of its corner cells (top-left, top-right, bottom-right, bottom-left, top-left\n"
    "again, as seen in the rotated frame) in the map's pixels; None when there is no\n"
    "rectangle. Raises ValueError unless cell_size is finite, >= 1 and its floor <= 65535.");

  m.def(
    "cell_test", &cellTest, py::arg("image"), py::arg("center"), py::arg("side"),
    "cell_test(image, center, side) -> (bool, numpy.ndarray | None)\n\n"
    "Whether the side x side window of image centred on center = (x, y) holds a 255 pixel\n"
    "(rows y - side//2 ... y - side//2 + side - 1, the same for columns; positions outside\n"
    "the image are skipped). The mask is a side x side uint8 array, 255 at the window's\n"
    "255 pixels; it is None when the centre pixel itself is 255 (the window is not\n"
    "scanned). Raises ValueError for a side outside [0, 65535].");

  m.def(
    "junction_pair", &junctionPair, py::arg("skeleton"),
    "junction_pair(skeleton) -> numpy.ndarray\n\n"
    "The two farthest-apart junction pixels of a skeleton image (any nonzero pixel is\n"
    "set; no thinning is done), as a (2, 2) int32 array of (x, y), the first before the\n"
    "second in raster order. Both rows are (0, 0) when there are fewer than two junctions.");

  m.def(
    "simplify", &simplify, py::arg("points"), py::arg("epsilon"), py::arg("min_chord") = -1.0,
    "simplify(points, epsilon, min_chord=-1.0) -> numpy.ndarray\n\n"
    "Douglas-Peucker simplification of an (N, 2) array; the dtype chooses the rule.\n"
    "int32: a pixel polyline; a span whose end points lie no farther apart than min_chord is\n"
    "replaced by its end points (negative: no chord test). float64: a path in metres (the\n"
    "path rule on x and y; min_chord must stay negative). Returns the kept points as a new\n"
    "array of the same dtype (with fewer than two points, a copy). Raises ValueError for a\n"
    "negative epsilon.");

  m.def(
    "curvature", &curvature, py::arg("a"), py::arg("b"), py::arg("c"),
    "curvature(a, b, c) -> float\n\n"
    "Turning angle at b between the legs a-b and b-c, divided by the shorter leg, in\n"
    "radians per pixel; points are (x, y) integer pairs. 0.0 when a leg has zero length.");

  m.def(
    "sharpest_vertex", &sharpestVertex, py::arg("points"),
    "sharpest_vertex(points) -> (int, int)\n\n"
    "The interior vertex of greatest curvature of an (N, 2) int32 polyline (the first one\n"
    "on ties), or (0, 0) when there are fewer than three points or none turns.");
#ifdef QUORVANE_PYTHON_WITH_MAPS
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
      "frame_id", [](const PyMap & self) { return self.frame.frameId; },
      "Frame the origin is given in (\"map\" for map_server YAMLs).")
    .def(
      "pixel_to_world",
      [](const PyMap & self, const py::handle & points) {
        return mapPoints(self, points, &maps::pixelsToWorld);
      },
      py::arg("points"),
      "pixel_to_world(points) -> numpy.ndarray\n\n"
      "(N, 2) image positions (x = column, y = row; any integer or float dtype) as a new\n"
      "(N, 2) float64 array of map-frame metres.")
    .def(
      "world_to_pixel",
      [](const PyMap & self, const py::handle & points) {
        return mapPoints(self, points, &maps::worldToPixels);
      },
      py::arg("points"),
      "world_to_pixel(points) -> numpy.ndarray\n\n"
      "(N, 2) map-frame points in metres as a new (N, 2) float64 array of image\n"
      "positions (inverse of pixel_to_world; not rounded).")
    .def("__repr__", [](const PyMap & self) {
      return py::str("<quorvane_nav2.Map {}x{} px, {} m/px, frame {!r}>")
        .format(self.frame.width, self.frame.height, self.frame.resolution, self.frame.frameId);
    });

  m.def(
    "load_map", &loadMap, py::arg("path"),
    "load_map(path) -> Map\n\n"
    "Reads a map: a map_server YAML with its image (free and unknown cells by its\n"
    "thresholds and negate), a YAML holding a nav_msgs/OccupancyGrid (free: 0, unknown:\n"
    "-1), or a bare image. Raises FileNotFoundError for a missing file and ValueError\n"
    "for one that cannot be used, with the reason.");

  m.def(
    "thin", &thin, py::arg("free"),
    "thin(free) -> numpy.ndarray\n\n"
    "Zhang-Suen thinning of a uint8 image (a pixel is set from 128 up): a new image of\n"
    "the same size, 255 on the skeleton. Pixels of the outermost rows and columns are\n"
    "never removed: pad the image with a clear border when free space touches it.");

  m.def(
    "coverage_rectangles", &coverageRectangles, py::arg("image"), py::arg("cell_size"),
    py::arg("min_cells") = 4, py::arg("max_rectangles") = py::none(),
    "coverage_rectangles(image, cell_size, min_cells=4, max_rectangles=None) -> list[dict]\n\n"
    "The free (255) area covered by wall-aligned blocks of cells, largest first, on the grid\n"
    "inner_rectangle uses (the first block is its rectangle). Blocks are taken until the\n"
    "largest remaining one has fewer than min_cells cells or max_rectangles were taken\n"
    "(None: no limit). Each dict has outline_px (5, 2) float32, the centres of the corner\n"
    "cells as inner_rectangle gives them; extent_px (5, 2) float32, the outer edges of the\n"
    "cells; cells (columns, rows). When image is a Map, its free cells are used and\n"
    "outline_m and extent_m (5, 2) float64 give the same points in metres. Raises ValueError\n"
    "for a bad cell_size or min_cells < 1.");
#endif
}
