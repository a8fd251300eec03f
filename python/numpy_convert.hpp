// numpy arrays <-> the C++ types of the library, for the Python module.
//
// Inputs are read, never written: a C-contiguous, aligned array in this
// machine's byte order is seen in place, any other layout is copied first.
// Results are new arrays the caller owns. Every function needs the GIL.
#ifndef QUORVANE_PYTHON__NUMPY_CONVERT_HPP_
#define QUORVANE_PYTHON__NUMPY_CONVERT_HPP_

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace python
{

namespace py = pybind11;

/// The numpy name of @p a's dtype ("uint8", ">i4", ...).
std::string dtypeName(const py::array & a);

/// A numpy array seen as a cv::Mat. `keep` holds the memory `mat` points into.
struct MatInput
{
  py::array keep;
  cv::Mat mat;
};

/// A 2-D array as a one-channel matrix, a (rows, cols, channels) array as a
/// multi-channel one. Whether the depth and channels suit the operation is
/// left to the library, so the error carries its message.
/// @throws py::type_error when @p obj is not a numpy array, has not 2 or 3
///         dimensions or a dtype OpenCV has no depth for; py::value_error
///         when it has more rows or columns than an int counts.
MatInput toMat(const py::handle & obj, const char * what);

/// @p obj as an (N, 2) numpy array, any dtype.
/// @throws py::type_error otherwise.
py::array requirePoints(const py::handle & obj, const char * what);

/// Whether @p a holds elements of numpy kind @p kind and @p size bytes, in
/// this machine's byte order.
bool hasDtype(const py::array & a, char kind, py::ssize_t size);

/// Copies an (N, 2) array of T (any strides) into points of T.
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

/// (N, 2) int32 pixel coordinates. @throws py::type_error for another shape or dtype.
std::vector<cv::Point> intPoints(const py::handle & obj, const char * what);

/// (N, 2) float32 or float64 coordinates, as float32.
/// @throws py::type_error for another shape or dtype.
std::vector<cv::Point2f> floatPoints(const py::handle & obj, const char * what);

/// (N, 2) coordinates of any integer or floating dtype, as doubles.
/// @throws py::type_error for another shape or dtype.
std::vector<cv::Point2d> realPoints(const py::handle & obj, const char * what);

/// A uint8 image as a numpy array that owns it (no copy).
py::array byteImage(cv::Mat image);

/// Points as a new (N, 2) array of T.
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

}  // namespace python
}  // namespace quorvane

#endif  // QUORVANE_PYTHON__NUMPY_CONVERT_HPP_
