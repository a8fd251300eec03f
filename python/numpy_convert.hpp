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

/**
 * @brief An argument shown in signatures as the Python type Doc::name.
 *
 * pybind11 would show an array argument taken as py::handle as "handle", and
 * one taken as py::array_t<T> is converted or refused by pybind11 before the
 * library sees it, with pybind11's message. This takes any object, as a
 * handle does, and shows the type the function wants; the function then
 * reads it with toMat(), intPoints(), ... under the argument's name, so that
 * a wrong dtype or shape gets the message of those readers or of the library.
 */
template <typename Doc>
struct Documented
{
  py::object object;
  operator py::handle() const { return object; }  // NOLINT(google-explicit-constructor)
};

/// The Python types of the module's arguments, as help() shows them.
struct ImageType
{
  static constexpr auto name = py::detail::const_name("numpy.ndarray[numpy.uint8]");
};
struct FloatArrayType
{
  static constexpr auto name =
    py::detail::const_name("Union[numpy.ndarray[numpy.float32], numpy.ndarray[numpy.float64]]");
};
struct PolylineType
{
  static constexpr auto name = py::detail::const_name("numpy.ndarray[numpy.int32]");
};
struct PolylineOrPathType
{
  static constexpr auto name =
    py::detail::const_name("Union[numpy.ndarray[numpy.int32], numpy.ndarray[numpy.float64]]");
};
struct RealPointsType
{
  static constexpr auto name =
    py::detail::const_name("Union[numpy.ndarray[numpy.integer], numpy.ndarray[numpy.floating]]");
};

/// A uint8 image (any array is taken; toMat() reads it).
using ImageArg = Documented<ImageType>;
/// float32 or float64 points or matrix.
using FloatArrayArg = Documented<FloatArrayType>;
/// An int32 pixel polyline.
using PolylineArg = Documented<PolylineType>;
/// An int32 pixel polyline or a float64 path.
using PolylineOrPathArg = Documented<PolylineOrPathType>;
/// Points of any integer or floating dtype.
using RealPointsArg = Documented<RealPointsType>;

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

/// (N, 2) float32 or float64 coordinates, as float32. NaN and infinities are
/// kept (the library has its rule for them).
/// @throws py::type_error for another shape or dtype; py::value_error for a
///         finite float64 value beyond float32's range.
std::vector<cv::Point2f> floatPoints(const py::handle & obj, const char * what);

/// (N, 2) coordinates of any integer or floating dtype, as doubles, for the
/// module's own computations.
/// @throws py::type_error for another shape or dtype; py::value_error for a
///         value that is NaN or infinite (in float64).
std::vector<cv::Point2d> realPoints(const py::handle & obj, const char * what);

/// A uint8 image as a numpy array that owns it (no copy).
py::array_t<std::uint8_t> byteImage(cv::Mat image);

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

namespace pybind11
{
namespace detail
{

// Takes any object as it is (never fails, never converts); see Documented.
template <typename Doc>
struct type_caster<quorvane::python::Documented<Doc>>
{
  PYBIND11_TYPE_CASTER(quorvane::python::Documented<Doc>, Doc::name);

  bool load(handle src, bool /*convert*/)
  {
    value.object = reinterpret_borrow<object>(src);
    return true;
  }

  static handle cast(
    const quorvane::python::Documented<Doc> & src, return_value_policy /*policy*/,
    handle /*parent*/)
  {
    return src.object.inc_ref();
  }
};

}  // namespace detail
}  // namespace pybind11

#endif  // QUORVANE_PYTHON__NUMPY_CONVERT_HPP_
