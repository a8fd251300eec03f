#include "SimplifyPath.hpp"

#include <cstddef>
#include <limits>
#include <vector>

#include "simplify.hpp"

namespace
{

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
  // Fewer than two points: the output becomes a copy of the input.
  if (input.size() < 2) {
    if (&input != &output) {
      output = input;
    }
    return;
  }
  // The kept points are chosen first, then appended (input may be output).
  const std::vector<std::size_t> kept = quorvane::simplify::keptIndices(
    quorvane::simplify::polylineArrays(input), epsilon, minChordLength);
  quorvane::simplify::appendCopies(input, kept, output);
}

void SimplifyPath::douglasPeucker(
  const nav_msgs::msg::Path & input, double epsilon, nav_msgs::msg::Path & output)
{
  checkEpsilon(epsilon);
  // Fewer than two poses: the output becomes a copy of the input, header
  // included.
  if (input.poses.size() < 2) {
    if (&input != &output) {
      output = input;
    }
    return;
  }
  // Whole copies of the kept poses are appended; the output's header is left
  // as it is.
  // (A NaN minimum chord never ends a span: there is no chord test.)
  const std::vector<std::size_t> kept = quorvane::simplify::keptIndices(
    quorvane::simplify::poseArrays(input.poses), epsilon, std::numeric_limits<double>::quiet_NaN());
  quorvane::simplify::appendCopies(input.poses, kept, output.poses);
}

double SimplifyPath::pointSegmentDistance(
  const cv::Point2d & p, const cv::Point2d & a, const cv::Point2d & b)
{
  return quorvane::simplify::pointSegmentDistance(p, a, b);
}
