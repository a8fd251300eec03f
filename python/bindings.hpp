// The parts of the Python module: each binds its layer's functions into the
// module, and they share how C++ work runs without the GIL and how its
// errors reach Python.
#ifndef QUORVANE_PYTHON__BINDINGS_HPP_
#define QUORVANE_PYTHON__BINDINGS_HPP_

#include <pybind11/pybind11.h>

#include <stdexcept>
#include <string>

namespace quorvane
{
namespace python
{

namespace py = pybind11;

/// The core library's functions (core_bindings.cpp).
void bindCore(py::module_ & m);

/// The map toolkit's class and functions (maps_bindings.cpp).
void bindMaps(py::module_ & m);

/// A file to read that does not exist; raised as FileNotFoundError with the
/// path as its filename. The toolkit's MapError names its reason only in
/// words, so the binding looks for the file itself before reading it.
class MissingFile : public std::runtime_error
{
public:
  explicit MissingFile(const std::string & path) : std::runtime_error(path) {}
};

/// Runs @p work without the GIL. What it throws reaches Python through the
/// module's exception translators (quorvane_nav2_module.cpp) once the GIL is
/// back: cv::Exception as TypeError or ValueError, maps::MapError as
/// ValueError, MissingFile as FileNotFoundError.
template <typename Work>
auto released(Work && work) -> decltype(work())
{
  py::gil_scoped_release release;
  return work();
}

}  // namespace python
}  // namespace quorvane

#endif  // QUORVANE_PYTHON__BINDINGS_HPP_
