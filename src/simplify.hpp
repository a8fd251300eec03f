// Douglas-Peucker on index ranges of an input sequence, shared by the polyline
// and the path-message overloads of SimplifyPath.
//
// The result is the plain scheme's exactly: a span is divided at the
// lowest-index interior point of strictly greatest distance as
// squaredSegmentDistance() computes it, when that distance is above epsilon.
// The workers (simplify.cpp) get there with less work:
//
// - An estimate q * D^2 (cross and dot products, no division or root) is
//   made for every point of a span, four points at a time; the greatest, its
//   index and the greatest of the others come out of one pass. The estimate
//   and the computed distance each stay within an allowance (2^-40 of the
//   coordinates' magnitude) of the exact distance, so only points whose
//   estimate comes that close to the greatest can be the farthest: usually
//   one, whose own estimate then settles whether it lies beyond epsilon.
//   Otherwise their distances are computed and compared.
// - Spans of kTreeSpan points or more are searched best-first through a tree
//   over blocks of 64 points whose nodes hold a polygon containing their
//   points: the distance from a segment is convex, so a polygon's farthest
//   vertex bounds its node. Boxes first (one pass to make); convex hulls once
//   the scans have read the input many times over, as they do when spans
//   are divided near their ends (combs, spirals).
// - On small integer coordinates, chords parallel to an axis have exact
//   integer squared distances whose rounded roots order them strictly: ties
//   there are settled by the squared distances, without a root each.
//
// The one input class that stays quadratic: many points at exactly equal
// distance from chords not parallel to an axis, in many spans; each tied
// point's rounding decides, so each must be computed.
#ifndef QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_HPP_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <opencv2/core.hpp>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "portability.hpp"

namespace quorvane
{
namespace simplify
{

/// A point as two doubles (a plain aggregate: cheap to make in any build).
struct XY
{
  double x;
  double y;
};

/// The closed segment a-b with the parts of the distance formula that do not
/// depend on the measured point.
struct ClosedSegment
{
  ClosedSegment(const XY & from, const XY & to)
  : a(from), b(to), dx(to.x - from.x), dy(to.y - from.y), q(dx * dx + dy * dy)
  {
  }

  XY a;
  XY b;
  double dx;  ///< b.x - a.x
  double dy;  ///< b.y - a.y
  double q;   ///< dx * dx + dy * dy
};

/// Squared distance of @p p from segment @p s. The offset is taken from a when
/// q is 0 or the projection parameter t is below 0, from b when t is above 1,
/// and from the foot point otherwise. Every operation is rounded on its own,
/// in this order. Inlined even in unoptimised (sanitiser) builds: scans
/// evaluate it once per point and level.
QUORVANE_ALWAYS_INLINE double squaredSegmentDistance(const XY p, const ClosedSegment & s)
{
  double ex = p.x - s.a.x;
  double ey = p.y - s.a.y;
  if (s.q != 0.0) {
    const double t = (ey * s.dy + ex * s.dx) / s.q;
    if (t < 0.0) {
      // Before a: keep the offset from a.
    } else if (t > 1.0) {
      ex = p.x - s.b.x;
      ey = p.y - s.b.y;
    } else {
      ex = p.x - (s.dx * t + s.a.x);
      ey = p.y - (t * s.dy + s.a.y);
    }
  }
  return ex * ex + ey * ey;
}

/// Distance of @p p from the closed segment @p a - @p b.
inline double pointSegmentDistance(
  const cv::Point2d & p, const cv::Point2d & a, const cv::Point2d & b)
{
  return std::sqrt(squaredSegmentDistance({p.x, p.y}, ClosedSegment({a.x, a.y}, {b.x, b.y})));
}

/// A span of the input: the indices first..last, both included.
struct IndexSpan
{
  std::size_t first;
  std::size_t last;
};

/// The interior index of a span farthest from the span's segment, and that
/// distance. index == span.first when no interior point lies farther than 0.
struct FarthestPoint
{
  /// Takes point @p i when its distance @p d is strictly greater.
  void offer(std::size_t i, double d)
  {
    if (d > distance) {
      index = i;
      distance = d;
    }
  }

  std::size_t index;
  double distance;
};

/// Points as the workers read them, two arrays of doubles (the scans load
/// four of each at a time), and what is known of their values.
struct PointArrays
{
  /// x[0 .. count) then y[0 .. count), left uninitialised when made (each is
  /// written before it is read).
  std::unique_ptr<double[]> coordinates;
  const double * x = nullptr;
  const double * y = nullptr;
  std::size_t count = 0;
  /// Bound on the absolute coordinates and coordinate differences; 0 when the
  /// values do not allow the estimates (non-finite, or beyond 2^200 or below
  /// 2^-200 in magnitude without being 0): every span is then scanned one by
  /// one.
  double magnitude = 0.0;
  /// Integer coordinates below 2^23 in magnitude: orientation tests and
  /// squared distances from chords parallel to an axis are exact in doubles.
  bool smallIntegers = false;

  QUORVANE_ALWAYS_INLINE XY at(std::size_t i) const { return {x[i], y[i]}; }
};

/// The plain scan: interior points in increasing order, each replacing
/// the best only when strictly farther, so the lowest index among the farthest
/// is chosen and a point at distance 0 (or NaN) never is.
inline FarthestPoint farthestInteriorPointOneByOne(
  const PointArrays & points, const IndexSpan & span)
{
  const ClosedSegment segment(points.at(span.first), points.at(span.last));
  FarthestPoint best{span.first, 0.0};
  for (std::size_t i = span.first + 1; i < span.last; ++i) {
    best.offer(i, std::sqrt(squaredSegmentDistance(points.at(i), segment)));
  }
  return best;
}

/// Copies a polyline's coordinates and bounds them.
PointArrays polylineArrays(const std::vector<cv::Point> & points);

/// Copies the poses' x and y and bounds them.
PointArrays poseArrays(const std::vector<geometry_msgs::msg::PoseStamped> & poses);

/// Spans of at least this many points are searched through a tree instead
/// of being scanned.
constexpr std::size_t kTreeSpan = 2048;

/// When spans are searched through a tree of bounding polygons instead of
/// being scanned.
struct TreeUse
{
  /// Spans of at least this many points go through the tree: of bounding
  /// boxes at first...
  std::size_t span = kTreeSpan;
  /// ...and of convex hulls once the scans (and the distances computed for
  /// near-ties) have cost this many times the input's length.
  std::size_t scansBefore = 96;
};

/// Indices of the points that the recursive Douglas-Peucker scheme keeps, in
/// input order, for two or more points.
///
/// The recursive scheme divides a span at its farthest interior point k when
/// that point lies strictly farther than @p epsilon, simplifies [first, k] and
/// [k, last], and joins the results sharing k once. Its result is therefore
/// the first point followed by the last point of every undivided span, taken
/// left to right. A depth-first walk over an explicit stack of spans (second
/// half pushed below the first) visits the undivided spans in that order.
///
/// A span whose chord is at most @p minChordLength (never for a NaN or
/// negative one) is kept as its two ends without looking inside. @p treeUse
/// is for tests: they lower it to exercise the tree on short inputs.
std::vector<std::size_t> keptIndices(
  const PointArrays & points, double epsilon, double minChordLength,
  const TreeUse & treeUse = TreeUse());

/// Makes room for @p extra more elements of @p v, growing geometrically so
/// that repeated appends into one output stay linear.
template <typename T>
void reserveForAppend(std::vector<T> & v, std::size_t extra)
{
  const std::size_t needed = v.size() + extra;
  if (needed > v.capacity()) {
    v.reserve(std::max(needed, 2 * v.capacity()));
  }
}

/// Appends copies of @p from's elements at @p indices to @p to, each copied
/// once. @p from and @p to may be the same vector: the room is made before the
/// first copy, so no append reallocates the elements that are being read.
template <typename T>
void appendCopies(
  const std::vector<T> & from, const std::vector<std::size_t> & indices, std::vector<T> & to)
{
  reserveForAppend(to, indices.size());
  // The kept elements lie scattered through the input: their loads are asked
  // for a few copies ahead.
  constexpr std::size_t kAhead = 16;
  for (std::size_t k = 0; k < indices.size(); ++k) {
    if (k + kAhead < indices.size()) {
      portable::prefetch(&from[indices[k + kAhead]], sizeof(T));
    }
    to.push_back(from[indices[k]]);
  }
}

}  // namespace simplify
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_HPP_
