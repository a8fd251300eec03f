#include "simplify.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvane
{
namespace simplify
{
namespace
{

/// A polyline seen by the index-range worker, with its minimum chord length.
struct PolylineSource
{
  static constexpr bool kIntegerCoordinates = true;

  const cv::Point * points;
  std::size_t count;
  double minChordLength;

  std::size_t size() const { return count; }

  QUORVANE_ALWAYS_INLINE XY xy(std::size_t i) const
  {
    return {static_cast<double>(points[i].x), static_cast<double>(points[i].y)};
  }

  /// True when the chord first-last is no longer than minChordLength (never
  /// for a NaN minChordLength). The differences are taken in 64 bits, so no
  /// coordinates overflow.
  bool endsSpan(std::size_t first, std::size_t last) const
  {
    if (minChordLength < 0.0) {
      return false;  // the test is off: a chord length is never negative
    }
    const std::int64_t dx = std::int64_t{points[first].x} - points[last].x;
    const std::int64_t dy = std::int64_t{points[first].y} - points[last].y;
    const double chord =
      std::hypot(std::fabs(static_cast<double>(dx)), std::fabs(static_cast<double>(dy)));
    return minChordLength >= chord;
  }
};

/// A path message seen by the index-range worker: only the positions' x and y
/// are read, and there is no chord test.
struct PathSource
{
  static constexpr bool kIntegerCoordinates = false;

  const geometry_msgs::msg::PoseStamped * poses;
  std::size_t count;

  std::size_t size() const { return count; }

  QUORVANE_ALWAYS_INLINE XY xy(std::size_t i) const
  {
    return {poses[i].pose.position.x, poses[i].pose.position.y};
  }

  bool endsSpan(std::size_t /*first*/, std::size_t /*last*/) const { return false; }
};

}  // namespace

std::vector<std::size_t> keptPolylineIndices(
  const std::vector<cv::Point> & points, double epsilon, double minChordLength)
{
  return keptIndices(PolylineSource{points.data(), points.size(), minChordLength}, epsilon);
}

std::vector<std::size_t> keptPoseIndices(
  const std::vector<geometry_msgs::msg::PoseStamped> & poses, double epsilon)
{
  return keptIndices(PathSource{poses.data(), poses.size()}, epsilon);
}

}  // namespace simplify
}  // namespace quorvane
