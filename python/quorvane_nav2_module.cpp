// quorvane_nav2: the library (and the map toolkit, when it is built) for
// Python. numpy arrays in and out (numpy_convert.hpp); the core's functions
// (core_bindings.cpp) and the toolkit's (maps_bindings.cpp) each call the
// public C++ API once with the GIL released and let its exceptions through;
// the translators registered here raise them in Python: cv::Exception as
// TypeError (wrong dtype, shape or channels) or ValueError (a bad value), the
// toolkit's MapError as ValueError, with the library's message. Inputs are
// never written.
#include <pybind11/pybind11.h>

#include <cerrno>
#include <exception>
#include <string>
#include <utility>

#include <opencv2/core.hpp>

#include "bindings.hpp"

#ifdef QUORVANE_PYTHON_WITH_MAPS
#include "quorvane_nav2_maps/errors.hpp"
#endif

namespace py = pybind11;

namespace quorvane
{
namespace python
{

namespace
{

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

// Raises the C++ exceptions the module lets through as Python's: an OpenCV
// error as TypeError or ValueError by its code, the toolkit's map errors as
// ValueError, a missing file as FileNotFoundError; each with its message.
// Registered for this module only, so other modules keep their own mapping.
void translate(std::exception_ptr thrown)
{
  try {
    std::rethrow_exception(std::move(thrown));
  } catch (const cv::Exception & e) {
    // The library's own messages name the operation; OpenCV's assertions are
    // a bare expression, so they get the function that failed.
    const bool bare = e.code == cv::Error::StsAssert && !e.func.empty();
    const std::string message = bare ? e.func + ": " + e.err : e.err;
    PyErr_SetString(isTypeError(e.code) ? PyExc_TypeError : PyExc_ValueError, message.c_str());
  } catch (const MissingFile & e) {
    // As open() reports it: errno ENOENT, the path as the filename.
    errno = ENOENT;
    PyErr_SetFromErrnoWithFilename(PyExc_FileNotFoundError, e.what());
#ifdef QUORVANE_PYTHON_WITH_MAPS
  } catch (const maps::MapError & e) {
    PyErr_SetString(PyExc_ValueError, e.what());
#endif
  }
}

}  // namespace

}  // namespace python
}  // namespace quorvane

PYBIND11_MODULE(quorvane_nav2, m)
{
  m.doc() =
    "Map-processing and path-geometry algorithms of quorvane_nav2_algo_core, with numpy.\n\n"
    "Images are 2-D uint8 arrays (free space is 255), read in place when C-contiguous and\n"
    "copied otherwise; points are (N, 2) arrays of (x, y) = (column, row). Inputs are never\n"
    "modified. Wrong dtypes, shapes or channel counts raise TypeError, bad values raise\n"
    "ValueError, both with the library's message; a missing map file raises\n"
    "FileNotFoundError. A function that finds nothing (no\n"
    "rectangle, junction pair, turning vertex or rotation pivot) returns None. The GIL is\n"
    "released while the library runs, so threads run calls in parallel.";
  py::register_local_exception_translator(&quorvane::python::translate);
  quorvane::python::bindCore(m);
#ifdef QUORVANE_PYTHON_WITH_MAPS
  quorvane::python::bindMaps(m);
#endif
}
