// The dominant direction of the straight edges of a map: Canny edges,
// probabilistic Hough segments with a falling vote threshold, and a
// length-weighted histogram of their directions.
#ifndef QUORVANE_NAV2_ALGO_CORE__DIRECTION_HPP_
#define QUORVANE_NAV2_ALGO_CORE__DIRECTION_HPP_

#include <array>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace direction
{

/// Number of direction bins of 5 degrees covering [0, pi].
constexpr int kDirectionBins = 36;

/**
 * @brief Undirected direction of the vector (dx, dy) in [0, pi]: atan2 folded
 *        by whole turns of pi. (dx, +0.0) with dx < 0 gives pi, not 0.
 */
double foldedDirection(double dx, double dy);

/// Bin of a direction in [0, pi]: trunc(phi / pi * 36), with pi itself in the
/// last bin.
int directionBin(double phi);

/**
 * @brief Length-weighted direction histogram of line segments.
 *
 * Each bin keeps the sum of its members' lengths and the sum of
 * direction x length, both accumulated in the order the segments are added,
 * so the mean of a bin is the length-weighted mean of its members.
 */
class DirectionHistogram
{
public:
  /// Adds the segment (x1, y1, x2, y2); segments of zero length are skipped.
  void addSegment(const cv::Vec4i & segment);

  /// Adds one member of direction @p phi in [0, pi] and length @p length.
  void add(double phi, double length);

  /// Bin with the greatest total; the lowest such bin on ties, 0 when empty.
  int heaviestBin() const;

  /// Length-weighted mean direction of the heaviest bin, 0.0 when empty.
  double meanDirectionOfHeaviestBin() const;

private:
  std::array<double, kDirectionBins> totalLength_{};       ///< sum of lengths per bin
  std::array<double, kDirectionBins> weightedAngleSum_{};  ///< sum of phi * length per bin
};

/// One attempt of the segment search: vote threshold, minimum segment length
/// and maximum gap handed to the probabilistic Hough transform.
struct HoughAttempt
{
  int votes;
  double minLength;
  double maxGap;
};

/**
 * @brief Runs the falling vote ladder t = 20, 16, 12, 8, 4 (minimum length t,
 *        maximum gap 1.5 t) until an attempt yields four or more segments.
 *
 * @param detect   Called as detect(attempt, segments); replaces the segments.
 * @param segments The last attempt's segments, used as they are even when
 *                 fewer than four.
 */
template <typename DetectSegments>
void detectSegmentsWithFallingVotes(DetectSegments && detect, std::vector<cv::Vec4i> & segments)
{
  double t = 20.0;
  for (int attempt = 0; attempt < 5; ++attempt) {
    detect(HoughAttempt{static_cast<int>(t), t, 1.5 * t}, segments);
    if (segments.size() > 3) {
      return;
    }
    t -= 4.0;
  }
}

/// The main direction of an 8-bit image in [0, pi], 0.0 when no segment is
/// found. Throws what OpenCV's Canny throws for an image it does not accept.
double mainDirection(const cv::Mat & image);

}  // namespace direction
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__DIRECTION_HPP_
