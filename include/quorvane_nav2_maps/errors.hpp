#ifndef QUORVANE_NAV2_MAPS__ERRORS_HPP_
#define QUORVANE_NAV2_MAPS__ERRORS_HPP_

// How the map toolkit reports bad input. One rule for every function:
//
// - The algorithms (alignment, inner rectangle, coverage, coverage path,
//   thinning, cleaning) throw cv::Exception when their image or parameter
//   contract is violated: an image of the wrong type or size, a cell size,
//   area, width, radius or share out of range or not finite. The codes are
//   OpenCV's (StsUnsupportedFormat for a type, StsOutOfRange for a value,
//   StsBadArg for a malformed argument), as in the core's four classes, so a
//   caller catching cv::Exception around the image functions is never
//   surprised.
// - The readers and writers of map data (map_server YAML and images,
//   OccupancyGrid messages and their YAML, map frames) throw MapError for
//   data they cannot use: a file that is missing, not a regular file,
//   unreadable or undecodable; malformed YAML; a missing, unknown, duplicated
//   or mistyped key; message fields that contradict each other; an image that
//   is not a map; a frame that is not finite.
//
// Either is thrown before anything is returned or written: arguments passed
// by reference are left untouched.

#include <stdexcept>

#include "quorvane_nav2_maps/export.hpp"

namespace quorvane
{
namespace maps
{

/// Map data the toolkit cannot use. what() is one line naming the file or
/// field and the reason.
class QUORVANE_NAV2_MAPS_EXPORT MapError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__ERRORS_HPP_
