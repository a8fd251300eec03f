// The coverage path's grid geometry: which pixels a segment passes through,
// whether a segment keeps to the robot's safe pixels, the band a segment
// sweeps, and shortest routes between safe pixels. Plain images and points
// in; nothing of the public toolkit.
#ifndef QUORVANE_NAV2_MAPS__COVERAGE_PATH_ROUTE_HPP_
#define QUORVANE_NAV2_MAPS__COVERAGE_PATH_ROUTE_HPP_

#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace coverage_path
{

/**
 * @brief True when every pixel whose closed square (centre +- 0.5) meets the
 *        closed segment @p a - @p b is inside @p safe and non-zero there.
 *
 * Pixel (c, r) is the square [c - 0.5, c + 0.5] x [r - 0.5, r + 0.5]; a
 * segment touching a square's edge or corner counts as passing through it, so
 * every point of a clear segment lies within 0.71 px of a safe pixel centre.
 * The pixels are visited column by column (row by row for a steep segment):
 * O(length) reads.
 *
 * @param safe `CV_8UC1`, non-zero where the robot's centre may be.
 */
bool segmentClear(const cv::Mat & safe, const cv::Point2d & a, const cv::Point2d & b);

/**
 * @brief Sets to 255 every pixel of @p swept whose centre lies within
 *        @p halfWidth of the closed segment @p a - @p b (a band with round
 *        ends). Pixels outside the image are skipped. O(area of the band).
 */
void sweepSegment(cv::Mat & swept, const cv::Point2d & a, const cv::Point2d & b, double halfWidth);

/**
 * @brief Shortest routes on the safe pixels of an image: 8-neighbour moves
 *        (1 and sqrt(2) long), a diagonal move only when both pixels beside
 *        it are safe too, so the straight step between two pixel centres
 *        passes only through safe pixels. A* with the octile distance, which
 *        never overestimates, so a route is a shortest one on that graph.
 *
 * The image must be zero on its border rows and columns (moves never leave
 * it). Keeps its scratch arrays between calls (allocated on the first call,
 * the image's size); not for concurrent use.
 */
class GridRouter
{
public:
  explicit GridRouter(const cv::Mat & safe);

  /// The pixels of a shortest route from @p from to @p to, both included and
  /// both safe; false (and @p route empty) when none exists or more than
  /// @p limit pixels (when >= 0) were settled without reaching @p to.
  bool route(
    const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route,
    std::int64_t limit = -1);

  /// route() over the pixels whose block (of @p block x @p block pixels) is
  /// non-zero in @p corridor (`CV_8UC1`; pixel (x, y) is in block
  /// (x / block + 1, y / block + 1)).
  bool routeWithin(
    const cv::Point & from, const cv::Point & to, const cv::Mat & corridor, int block,
    std::vector<cv::Point> & route);

  /// Pixels settled by the calls so far.
  std::int64_t expanded() const { return expanded_; }

private:
  bool search(
    const cv::Point & from, const cv::Point & to, const cv::Mat * corridor, int block,
    std::vector<cv::Point> & route, std::int64_t limit);

  struct Open
  {
    float f;
    float g;
    std::int32_t index;
  };

  const cv::Mat & safe_;
  std::vector<float> g_;
  std::vector<std::uint32_t> stamp_;
  std::vector<std::uint8_t> from_;
  std::vector<Open> heap_;
  std::uint32_t search_ = 0;
  std::int64_t expanded_ = 0;
};

/**
 * @brief Routes over safe pixels in two levels, for long routes on large
 *        maps. A short route is searched on the pixels directly (up to a
 *        bound on the pixels settled). A longer one is first found on the
 *        grid of blocks of block x block pixels that hold a safe pixel
 *        (GridRouter on the blocks), then on the pixels again, but only
 *        those of the blocks along that route and their neighbours; when
 *        that corridor does not join the ends, on all the pixels.
 *
 * Every step between neighbouring pixels of a route it gives passes only
 * through safe pixels, and the route is a shortest one within the pixels it
 * searched. Not for concurrent use.
 */
class TwoLevelRouter
{
public:
  /// @p safe as for GridRouter; @p block >= 1 pixels (1: pixels only).
  TwoLevelRouter(const cv::Mat & safe, int block);

  bool route(const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route);

  /// Pixels and blocks settled by the calls so far.
  std::int64_t expanded() const;

private:
  const cv::Mat & safe_;
  int block_;
  GridRouter fine_;
  cv::Mat blocks_;    ///< one pixel per block, 255 when it holds a safe pixel; zero frame
  cv::Mat corridor_;  ///< blocks' size: non-zero on the current corridor
  GridRouter coarse_;
  std::vector<cv::Point> blockRoute_;
};

/**
 * @brief A route through safe pixels made short: Douglas-Peucker (the core's
 *        worker, @p epsilon pixels) on the pixel route, then every kept
 *        segment checked with segmentClear(); a segment that fails is split
 *        at the pixel in the middle of its span until all pass (a step
 *        between neighbouring route pixels always does).
 *
 * @param from  a point whose segment to route.front() is clear.
 * @param route pixel route as GridRouter gives it (at least one pixel).
 * @param to    a point whose segment from route.back() is clear.
 * @return from, the kept pixels, to (the pixels that coincide with @p from or
 *         @p to left out).
 */
std::vector<cv::Point2d> simplifiedRoute(
  const cv::Mat & safe, const cv::Point2d & from, const std::vector<cv::Point> & route,
  const cv::Point2d & to, double epsilon);

}  // namespace coverage_path
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__COVERAGE_PATH_ROUTE_HPP_
