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

/// Largest side of an edge image that OpenCV's probabilistic Hough transform
/// is given at once. It walks along a line in 16.16 fixed point, so a walk
/// starting at a column (or row) of 32768 or more overflows and crashes it;
/// with sides up to 32767 even the step beyond the last pixel stays in range.
constexpr int kMaxHoughSide = 32767;

/// Tiles of at most @p maxSide x @p maxSide covering an image of @p size
/// without overlap, as even as possible: ceil(side / maxSide) tiles along
/// each axis. Row of tiles after row of tiles, each from the left.
std::vector<cv::Rect> evenTiles(cv::Size size, int maxSide);

/**
 * @brief One attempt of the segment search on an 8-bit edge image: OpenCV's
 *        probabilistic Hough transform (resolution 1 pixel and 1 degree).
 *
 * An image with both sides at most @p maxTileSide is searched at once. A
 * larger one is searched tile by tile (evenTiles()), each tile's segments
 * moved into image coordinates and appended in tile order: a segment that
 * crosses a tile border comes out as one piece per tile (pieces shorter than
 * the minimum length are dropped).
 *
 * @param maxTileSide 1 .. kMaxHoughSide; smaller values force the tiles.
 * @param segments    Replaced.
 */
void detectSegments(
  const cv::Mat & edges, const HoughAttempt & attempt, int maxTileSide,
  std::vector<cv::Vec4i> & segments);

/// The main direction of an 8-bit image in [0, pi], 0.0 when no segment is
/// found: Canny edges of the whole image, then the falling vote ladder with
/// detectSegments() (tiles of at most @p maxTileSide, see there; the ladder
/// counts the segments of all tiles together). Throws what OpenCV's Canny
/// throws for an image it does not accept, before any other work.
double mainDirection(const cv::Mat & image, int maxTileSide = kMaxHoughSide);

}  // namespace direction
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__DIRECTION_HPP_
