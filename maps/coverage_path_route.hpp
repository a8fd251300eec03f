// The coverage path's grid geometry: whether a segment keeps the robot's
// clearance, the stretches of a line that do, the band a segment sweeps, and
// shortest routes over the reachable pixels. Plain images and points in;
// nothing of the public toolkit.
//
// The clearance rule. D(q) is the distance from pixel q's centre to the
// nearest centre of a pixel that is not free, and the slack of a reachable
// pixel is S(q) = D(q) - radius + 0.5 (-1 at every other pixel). A segment is
// clear when every pixel q whose closed square (centre +- 0.5) it meets keeps
// S(q) >= the largest distance from q's centre to a point of the segment in
// that square. As the distance to the nearest non-free centre changes by at
// most the distance moved, every point x of a clear segment then lies at
// least D(q) - |x - q| >= radius - 0.5 from every non-free centre, whichever
// pixel whose square holds x one measures from.
//
// One more move is sound: a diagonal step between the centres of two
// neighbouring pixels that both keep sqrt(0.5) of slack. Each half of it lies
// in its own pixel's square, at most sqrt(0.5) from that centre; the two
// pixels beside it are touched only at the corner, which is sqrt(0.5) from
// both ends. Routes take it where they must (between two parts of the floor
// that touch only at such a corner); every other segment of a path is clear.
#ifndef QUORVANE_NAV2_MAPS__COVERAGE_PATH_ROUTE_HPP_
#define QUORVANE_NAV2_MAPS__COVERAGE_PATH_ROUTE_HPP_

#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane
{
namespace coverage_path
{

/// At least the distance from a pixel centre to its square's corners
/// (sqrt(0.5)): a pixel with this slack passes any part of its square.
constexpr double kHalfDiagonal = 0.70711;

/// Bits of the move image GridSearch reads.
constexpr std::uint8_t kStand = 1;     ///< reachable: slack >= 0.5 (D >= radius)
constexpr std::uint8_t kDiagonal = 2;  ///< slack >= kHalfDiagonal

/// The slack of a reachable pixel at distance @p d: d - radius + 0.5,
/// rounded down to a float, so that it never claims more than there is.
inline float slackOf(float d, double radius)
{
  const double s = static_cast<double>(d) - radius + 0.5;
  const auto f = static_cast<float>(s);
  return static_cast<double>(f) > s ? std::nextafter(f, -1e30F) : f;
}

/// The move bits of a pixel with slack @p s (-1 where not reachable).
inline std::uint8_t movesOf(float s)
{
  return static_cast<std::uint8_t>(
    (s >= 0.5F ? kStand : 0) | (static_cast<double>(s) >= kHalfDiagonal ? kDiagonal : 0));
}

/**
 * @brief True when the closed segment @p a - @p b is clear (see the rule
 *        above) on @p slack (`CV_32FC1`; outside the image counts as -1).
 *
 * The segment is cut where it crosses the lines between pixels; each piece
 * lies in one square (two when it runs along a line) and is checked against
 * its farther end, and every point where it crosses a corner, and each end,
 * against every pixel whose square holds it (a point within 1e-9 px of a line
 * counts as on it). O(length) reads.
 */
bool segmentClear(const cv::Mat & slack, const cv::Point2d & a, const cv::Point2d & b);

/// A clear stretch of a segment, by parameter (0 at its start, 1 at its end),
/// and its end points.
struct ClearRun
{
  double t0;
  double t1;
  cv::Point2d p0;
  cv::Point2d p1;
};

/**
 * @brief The maximal clear stretches of the segment @p a - @p b, each pulled
 *        @p inset pixels inside the pieces that bound it; stretches not
 *        longer than 2 * inset are left out. An end within 1e-9 px of a line
 *        between pixels is put on it, so that rounding never carries it
 *        beyond. Every stretch is a clear segment.
 */
std::vector<ClearRun> clearRuns(
  const cv::Mat & slack, const cv::Point2d & a, const cv::Point2d & b, double inset);

/// True when @p a - @p b is a diagonal step between two pixel centres whose
/// pixels both keep kHalfDiagonal of slack (see above).
bool diagonalStep(const cv::Mat & slack, const cv::Point2d & a, const cv::Point2d & b);

/// A pixel whose closed square holds @p p and whose centre @p p reaches by a
/// clear segment (the first in row order); false when there is none.
bool anchorPixel(const cv::Mat & slack, const cv::Point2d & p, cv::Point & pixel);

/**
 * @brief Sets to 255 every pixel of @p swept whose centre lies within
 *        @p halfWidth of the closed segment @p a - @p b (a band with round
 *        ends). Pixels outside the image are skipped. O(area of the band).
 */
void sweepSegment(cv::Mat & swept, const cv::Point2d & a, const cv::Point2d & b, double halfWidth);

/// Pixels a search may settle: those whose block is non-zero in blocks
/// (`CV_8UC1`); column x lies in block column blockOfX[x], row y in block
/// row blockOfY[y].
struct Corridor
{
  const cv::Mat * blocks;
  const std::vector<int> * blockOfX;
  const std::vector<int> * blockOfY;
};

/**
 * @brief Shortest routes over a move image: steps to the 8 neighbours,
 *        costing 5 along an axis and 7 along a diagonal (about 5 * length).
 *        A step along an axis joins two reachable pixels (a clear segment);
 *        a diagonal one, two pixels that keep kHalfDiagonal of slack, and
 *        only when the two pixels beside it keep it too (a clear segment)
 *        or neither is reachable (the diagonal step above, between two
 *        parts that touch at that corner alone). Integer costs let the open
 *        set be a ring of buckets (O(1) per push and pop); routes are
 *        searched by A* with the octile distance (which never overestimates)
 *        or, toward the nearest of many targets, by Dijkstra. Ties are
 *        broken the same way every time.
 *
 * The move image must be zero on its border rows and columns (steps never
 * leave it). Keeps scratch arrays of the image's size between calls; not
 * for concurrent use.
 */
class GridSearch
{
public:
  explicit GridSearch(const cv::Mat & moves);

  /// The pixels of a shortest route from @p from to @p to, both included,
  /// over the pixels of @p corridor when given; false (and @p route empty)
  /// when there is none, or none of cost at most @p maxCost (when >= 0).
  bool route(
    const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route,
    const Corridor * corridor = nullptr, std::int32_t maxCost = -1);

  /// The route from @p from to the nearest pixel where @p marks is non-zero
  /// and @p accept (called with that pixel) says yes; false when there is
  /// none, or none at a cost of at most @p maxCost (when >= 0).
  /// @p marks: `CV_8UC1`, the move image's size.
  bool nearest(
    const cv::Point & from, const cv::Mat & marks,
    const std::function<bool(const cv::Point &)> & accept, std::vector<cv::Point> & route,
    std::int32_t maxCost = -1);

  /// nearest(), searched by A* toward @p toward (a pixel that stands): the
  /// first marked pixel met that @p accept takes, which need not be the
  /// nearest one but is found settling far fewer pixels.
  bool nearestToward(
    const cv::Point & from, const cv::Point & toward, const cv::Mat & marks,
    const std::function<bool(const cv::Point &)> & accept, std::vector<cv::Point> & route,
    std::int32_t maxCost = -1);

  /// Pixels settled by the calls so far.
  std::int64_t settled() const { return settled_; }

private:
  struct Node
  {
    std::int32_t g;
    std::uint32_t stamp;  ///< the search that set g
  };
  struct Open
  {
    std::int32_t index;
    std::int32_t g;
  };

  template <bool kToGoal, bool kCorridor>
  bool search(
    const cv::Point & from, const cv::Point & to, const cv::Mat * marks,
    const std::function<bool(const cv::Point &)> * accept, const Corridor * corridor,
    std::int32_t maxCost, std::vector<cv::Point> & route);

  const cv::Mat & moves_;
  std::vector<Node> nodes_;
  std::vector<std::uint8_t> step_;
  std::vector<Open> buckets_[16];
  std::uint32_t search_ = 0;
  std::int64_t settled_ = 0;
};

/**
 * @brief Routes in two levels, for long routes on large maps. A route or a
 *        nearest target within @p nearReach pixels (along the route) is
 *        searched on the pixels; a farther one on the grid of blocks (block
 *        x block pixels) that hold a reachable pixel first, then on the
 *        pixels of the blocks along that route and their neighbours (all
 *        the pixels when that corridor does not join the ends). A route is a
 *        shortest one within the pixels searched. The next target, when one
 *        lies near in a straight line, is the first met by A* on the pixels
 *        toward the one nearest in a straight line (usually that one); else
 *        the one nearest in a straight line among those of the nearest block
 *        along the blocks (the lowest id among equals).
 *
 * Targets are pixels with ids (their index in setTargets()); several may
 * share a pixel. Not for concurrent use.
 */
class Router
{
public:
  /// @p moves as for GridSearch; @p block >= 1 pixels; @p nearReach > 0.
  Router(const cv::Mat & moves, int block, double nearReach);

  bool route(const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route);

  /// Replaces the targets.
  void setTargets(const std::vector<cv::Point> & pixels);

  /// The id of the next target (see above) from @p from among those where
  /// @p active (one flag per target) is non-zero, and the route to it; -1
  /// (and @p route empty) when none is reachable.
  int nearestTarget(
    const cv::Point & from, const std::vector<char> & active, std::vector<cv::Point> & route);

  /// Pixels and blocks settled by the calls so far.
  std::int64_t settled() const { return fine_.settled() + coarse_.settled(); }

private:
  /// A route on the pixels of the corridor about blockRoute_, else on all.
  bool routeAlong(const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route);
  cv::Point blockOf(const cv::Point & p) const { return {p.x / block_ + 1, p.y / block_ + 1}; }
  void clearTargets();

  int block_;
  std::int32_t nearCost_;
  GridSearch fine_;
  cv::Mat blocks_;    ///< move image of the blocks; zero frame
  cv::Mat corridor_;  ///< blocks' size: non-zero on the current corridor
  std::vector<int> blockOfX_;
  std::vector<int> blockOfY_;
  GridSearch coarse_;
  std::vector<cv::Point> blockRoute_;
  std::vector<cv::Point> targets_;
  cv::Mat marks_;       ///< pixels holding a target
  cv::Mat blockMarks_;  ///< blocks holding a target
  std::vector<int> nextAtPixel_;
  std::vector<int> nextInBlock_;
  std::unordered_map<std::int64_t, int> firstAtPixel_;
  std::unordered_map<std::int64_t, int> firstInBlock_;
};

/**
 * @brief A pixel route made short with the core's Douglas-Peucker (within
 *        kRouteEpsilon of the route), every kept segment checked and, where
 *        one is not clear, split at its middle point until the pieces are
 *        clear or single steps of the route (sound by construction). A
 *        diagonal step that is not clear goes round a pixel beside it where
 *        that makes two clear steps.
 *
 * @param from  a point whose segment to route.front() is clear.
 * @param route pixel route as GridSearch gives it (at least one pixel).
 * @param to    a point whose segment from route.back() is clear.
 * @return from, the kept points, to (points that coincide with their
 *         predecessor left out).
 */
/// Tolerance of the routes' simplification, in pixels.
constexpr double kRouteEpsilon = 1.0;

std::vector<cv::Point2d> simplifiedRoute(
  const cv::Mat & slack, const cv::Point2d & from, const std::vector<cv::Point> & route,
  const cv::Point2d & to);

}  // namespace coverage_path
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__COVERAGE_PATH_ROUTE_HPP_
