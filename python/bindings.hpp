// The parts of the Python module: each binds its layer's functions into the
// module, and they share how C++ work runs without the GIL.
#ifndef QUORVANE_PYTHON__BINDINGS_HPP_
#define QUORVANE_PYTHON__BINDINGS_HPP_

#include <pybind11/pybind11.h>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace python
{

namespace py = pybind11;

/// The core library's functions (core_bindings.cpp).
void bindCore(py::module_ & m);

/// The map toolkit's class and functions (maps_bindings.cpp).
void bindMaps(py::module_ & m);

/// Raises @p e as TypeError (a wrong type, shape or channel count) or
/// ValueError, with the library's message.
[[noreturn]] void rethrow(const cv::Exception & e);

/// Runs @p work without the GIL and translates OpenCV's exceptions once the
/// GIL is back.
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

}  // namespace python
}  // namespace quorvane

#endif  // QUORVANE_PYTHON__BINDINGS_HPP_
