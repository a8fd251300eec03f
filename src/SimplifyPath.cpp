#include "SimplifyPath.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "douglas_peucker.hpp"

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

  [[gnu::always_inline]] quorvane::detail::XY xy(std::size_t i) const
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

  [[gnu::always_inline]] quorvane::detail::XY xy(std::size_t i) const
  {
    return {poses[i].pose.position.x, poses[i].pose.position.y};
  }

  bool endsSpan(std::size_t /*first*/, std::size_t /*last*/) const { return false; }
};

void checkEpsilon(double epsilon)
{
  // -0.0 and NaN pass: only a value below zero would divide spans forever.
  if (epsilon < 0.0) {
    CV_Error(cv::Error::StsOutOfRange, "douglasPeucker: epsilon must not be negative");
  }
}

}  // namespace

void SimplifyPath::douglasPeucker(
  const std::vector<cv::Point> & input, double epsilon, double minChordLength,
  std::vector<cv::Point> & output)
{
  checkEpsilon(epsilon);
  // 1. Fewer than two points: the output becomes a copy of the input.
  if (input.size() < 2) {
    if (&input != &output) {
      output = input;
    }
    return;
  }
  // 2. Choose the kept points, then 3. append them (input may be output).
  const std::vector<std::size_t> kept = quorvane::detail::keptIndices(
    PolylineSource{input.data(), input.size(), minChordLength}, epsilon);
  quorvane::detail::appendCopies(input, kept, output);
}

void SimplifyPath::douglasPeucker(
  const nav_msgs::msg::Path & input, double epsilon, nav_msgs::msg::Path & output)
{
  checkEpsilon(epsilon);
  // 1. Fewer than two poses: the output becomes a copy of the input, header
  //    included.
  if (input.poses.size() < 2) {
    if (&input != &output) {
      output = input;
    }
    return;
  }
  // 2. Choose the kept poses, then 3. append whole copies of them; the
  //    output's header is left as it is.
  const std::vector<std::size_t> kept =
    quorvane::detail::keptIndices(PathSource{input.poses.data(), input.poses.size()}, epsilon);
  quorvane::detail::appendCopies(input.poses, kept, output.poses);
}

double SimplifyPath::pointSegmentDistance(
  const cv::Point2d & p, const cv::Point2d & a, const cv::Point2d & b)
{
  return quorvane::detail::pointSegmentDistance(p, a, b);
}
