#include "numpy_convert.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <utility>

namespace quorvane
{
namespace python
{

namespace
{

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
  if (kind == 'u' && size == 1) {
    return CV_8U;
  }
  if (kind == 'i' && size == 1) {
    return CV_8S;
  }
  if (kind == 'u' && size == 2) {
    return CV_16U;
  }
  if (kind == 'i' && size == 2) {
    return CV_16S;
  }
  if (kind == 'i' && size == 4) {
    return CV_32S;
  }
  if (kind == 'f' && size == 4) {
    return CV_32F;
  }
  if (kind == 'f' && size == 8) {
    return CV_64F;
  }
  return -1;
}

std::string shapeName(const py::array & a)
{
  return py::str(py::getattr(a, "shape")).cast<std::string>();
}

std::string rowName(const cv::Point2d & p)
{
  return py::str(py::make_tuple(p.x, p.y)).cast<std::string>();
}

}  // namespace

std::string dtypeName(const py::array & a) { return py::str(a.dtype()).cast<std::string>(); }

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
      shapeName(a));
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
    throw py::type_error(std::string(what) + " must be an (N, 2) array, got shape " + shapeName(a));
  }
  return a;
}

bool hasDtype(const py::array & a, char kind, py::ssize_t size)
{
  const py::dtype dt = a.dtype();
  return dt.kind() == kind && dt.itemsize() == size && isNative(dt);
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
    const std::vector<cv::Point2d> wide = readPoints<double, cv::Point2d>(a);
    std::vector<cv::Point2f> points;
    points.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
      // A finite value beyond float32's range would become infinite (or, in
      // C++, undefined); NaN and infinities stay what they are.
      const cv::Point2d & p = wide[i];
      if (
        (std::isfinite(p.x) && std::abs(p.x) > FLT_MAX) ||
        (std::isfinite(p.y) && std::abs(p.y) > FLT_MAX)) {
        throw py::value_error(
          std::string(what) + " are computed in float32; row " + std::to_string(i) + " " +
          rowName(p) + " is beyond its range");
      }
      points.emplace_back(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    return points;
  }
  throw py::type_error(
    std::string(what) + " must be float32 or float64 coordinates, got dtype " + dtypeName(a));
}

std::vector<cv::Point2d> realPoints(const py::handle & obj, const char * what)
{
  const py::array a = requirePoints(obj, what);
  const char kind = a.dtype().kind();
  if (kind != 'i' && kind != 'u' && kind != 'f') {
    throw py::type_error(
      std::string(what) + " must be integer or floating coordinates, got dtype " + dtypeName(a));
  }
  const py::array asDouble = py::module_::import("numpy").attr("asarray")(a, "float64");
  std::vector<cv::Point2d> points = readPoints<double, cv::Point2d>(asDouble);
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (!std::isfinite(points[i].x) || !std::isfinite(points[i].y)) {
      throw py::value_error(
        std::string(what) + " must be finite; row " + std::to_string(i) + " is " +
        rowName(points[i]));
    }
  }
  return points;
}

py::array_t<std::uint8_t> byteImage(cv::Mat image)
{
  if (image.empty()) {
    return py::array_t<std::uint8_t>(std::vector<py::ssize_t>{image.rows, image.cols});
  }
  // Hands the matrix's buffer to numpy without copying: the array owns the Mat.
  auto * owner = new cv::Mat(std::move(image));
  py::capsule free(owner, [](void * p) { delete static_cast<cv::Mat *>(p); });
  return py::array_t<std::uint8_t>(
    {static_cast<py::ssize_t>(owner->rows), static_cast<py::ssize_t>(owner->cols)},
    {static_cast<py::ssize_t>(owner->step[0]), py::ssize_t{1}}, owner->ptr<std::uint8_t>(), free);
}

}  // namespace python
}  // namespace quorvane
