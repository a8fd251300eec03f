// Douglas-Peucker on index ranges of an input sequence, shared by the polyline
// and the path-message overloads of SimplifyPath.
#ifndef QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_HPP_
#define QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_HPP_

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <opencv2/core.hpp>

#include "geometry_msgs/msg/pose_stamped.hpp"
#include "portability.hpp"

namespace quorvane
{
namespace simplify
{

using portable::DoublePair;
using portable::Int64Pair;

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

/// The plain scan: interior points in increasing order, each replacing
/// the best only when strictly farther, so the lowest index among the farthest
/// is chosen and a point at distance 0 (or NaN) never is.
template <typename Source>
FarthestPoint farthestInteriorPointOneByOne(const Source & source, const IndexSpan & span)
{
  const ClosedSegment segment(source.xy(span.first), source.xy(span.last));
  FarthestPoint best{span.first, 0.0};
  for (std::size_t i = span.first + 1; i < span.last; ++i) {
    best.offer(i, std::sqrt(squaredSegmentDistance(source.xy(i), segment)));
  }
  return best;
}

// ---------------------------------------------------------------------------
// Integer coordinates: the same choice without a division or root per point.
//
// Measured gain: about 1.7x over the plain one-by-one scan on a noisy
// 1,000,000-point random walk (bench_path_geometry,
// BM_PolylineEstimateVersusPlainScan, which keeps the plain scan as its
// baseline and checks that both keep the same points).

/// Bound on how far the segment distance as computed (rounded step by step)
/// and the division-free estimate of scaledSquaredDistance() can each stray
/// from the exact distance, for points whose coordinates and coordinate
/// differences lie within @p magnitude: both stay within about 2^-47 of it;
/// 2^-40 leaves ample room.
inline double roundingAllowance(double magnitude) { return std::ldexp(magnitude, -40); }

/// The segment's terms, each held in both lanes.
struct SegmentPair
{
  explicit SegmentPair(const ClosedSegment & s)
  : ax{s.a.x, s.a.x}, ay{s.a.y, s.a.y}, dx{s.dx, s.dx}, dy{s.dy, s.dy}, q{s.q, s.q}
  {
  }

  DoublePair ax, ay, dx, dy, q;
};

/// q times the squared distance of (px, py) from the segment, in each lane,
/// from the cross and dot products of P - a with b - a: q * D^2 = cross^2 + s^2
/// with s the part of dot outside [0, q] (Lagrange's identity; s = 0 when the
/// foot point lies on the segment). An estimate: it is rounded differently
/// from squaredSegmentDistance(), within roundingAllowance() in distance.
QUORVANE_ALWAYS_INLINE DoublePair
scaledSquaredDistance(DoublePair px, DoublePair py, const SegmentPair & s)
{
  const DoublePair zero{0.0, 0.0};
  const DoublePair ex = px - s.ax;
  const DoublePair ey = py - s.ay;
  const DoublePair cross = ex * s.dy - ey * s.dx;
  const DoublePair dot = ex * s.dx + ey * s.dy;
  const DoublePair beyond = dot - s.q;
  const DoublePair outside = portable::selectLess(dot, zero, dot, zero) +
                             portable::selectGreater(beyond, zero, beyond, zero);
  return cross * cross + outside * outside;
}

/// Per lane of the paired scan: the greatest estimate, the first index with
/// it, and the greatest estimate of every other point of the lane.
struct LaneRecords
{
  /// Takes the estimates @p estimate of the points at @p index.
  QUORVANE_ALWAYS_INLINE void take(DoublePair estimate, Int64Pair index)
  {
    const DoublePair lower =
      portable::selectLess(estimate, best, estimate, best);  // the one not kept
    runnerUp = portable::selectGreater(runnerUp, lower, runnerUp, lower);
    bestIndex = portable::selectGreater(estimate, best, index, bestIndex);
    best = portable::selectGreater(estimate, best, estimate, best);
  }

  DoublePair best;
  DoublePair runnerUp;
  Int64Pair bestIndex;
};

/// Spans shorter than this are scanned one by one: there the estimate's set-up
/// costs more than it saves.
constexpr std::size_t kShortestEstimatedSpan = 16;

/// farthestInteriorPointOneByOne() for a source with integer coordinates, all
/// (and their differences) within @p magnitude in absolute value.
///
/// 1. One branch-free pass estimates q * D^2 for every interior point (no
///    division, no root), two points at a time, into four lanes (an odd last
///    point goes into both lanes of its pair); each lane records its greatest
///    estimate, the first index with it, and the greatest estimate among its
///    other points.
/// 2. The plain scan picks a point whose computed distance is the
///    greatest, g; the estimates stray from the computed distances by at most
///    2 * allowance, so only points whose estimate reaches (G - 4 * allowance)
///    can be at g, G being the greatest estimated distance.
/// 3. When no lane has a second point that reaches that threshold, the lanes'
///    best points are the only candidates: the greatest of their exact
///    distances, at the lowest index on ties, is the one-by-one scan's choice.
///    Otherwise (ties or near-ties, distances near 0, a span whose ends
///    coincide, a short span) the span is scanned one by one.
template <typename Source>
FarthestPoint farthestInteriorPointOfIntegers(
  const Source & source, const IndexSpan & span, double magnitude)
{
  const ClosedSegment segment(source.xy(span.first), source.xy(span.last));
  if (segment.q == 0.0 || span.last - span.first < kShortestEstimatedSpan) {
    return farthestInteriorPointOneByOne(source, span);
  }
  // 1. Estimates and lane records; two sets of lanes take alternate pairs, so
  //    that their running maxima do not wait on each other.
  const SegmentPair pair(segment);
  const auto first = static_cast<std::int64_t>(span.first);
  LaneRecords lanes[2] = {
    {{0.0, 0.0}, {0.0, 0.0}, {first, first}}, {{0.0, 0.0}, {0.0, 0.0}, {first, first}}};
  const auto estimate = [&](std::size_t at, std::size_t next) {
    const XY p = source.xy(at);
    const XY r = source.xy(next);
    return scaledSquaredDistance(DoublePair{p.x, r.x}, DoublePair{p.y, r.y}, pair);
  };
  const auto indices = [](std::size_t at, std::size_t next) {
    return Int64Pair{static_cast<std::int64_t>(at), static_cast<std::int64_t>(next)};
  };
  std::size_t i = span.first + 1;
  for (; i + 3 < span.last; i += 4) {
    lanes[0].take(estimate(i, i + 1), indices(i, i + 1));
    lanes[1].take(estimate(i + 2, i + 3), indices(i + 2, i + 3));
  }
  for (int set = 0; i < span.last; i += 2, set = 1 - set) {
    const std::size_t next = i + 1 < span.last ? i + 1 : i;  // an odd last point goes twice
    lanes[set].take(estimate(i, next), indices(i, next));
  }
  // 2. The threshold.
  double greatest = 0.0;
  for (const LaneRecords & set : lanes) {
    greatest = std::max({greatest, set.best[0], set.best[1]});
  }
  const double reach = std::sqrt(greatest / segment.q) - 4.0 * roundingAllowance(magnitude);
  if (!(reach > 0.0)) {
    return farthestInteriorPointOneByOne(source, span);
  }
  // (Lowered by a hair more, so that its own rounding cannot lift it.)
  const double threshold = segment.q * reach * reach * (1.0 - 0x1p-40);
  for (const LaneRecords & set : lanes) {
    if (set.runnerUp[0] >= threshold || set.runnerUp[1] >= threshold) {
      return farthestInteriorPointOneByOne(source, span);
    }
  }
  // 3. The candidates' exact distances; the lower index wins equal ones.
  FarthestPoint best{span.first, 0.0};
  for (const LaneRecords & set : lanes) {
    for (int lane = 0; lane < 2; ++lane) {
      if (set.best[lane] >= threshold) {
        const auto k = static_cast<std::size_t>(set.bestIndex[lane]);
        const double d = std::sqrt(squaredSegmentDistance(source.xy(k), segment));
        if (d > best.distance || (d == best.distance && k < best.index)) {
          best = {k, d};
        }
      }
    }
  }
  return best;
}

/// The farthest interior point of @p span, as the one-by-one scan chooses it.
/// @p magnitude bounds the coordinates and their differences of a source with
/// integer coordinates; it is unused otherwise.
template <typename Source>
FarthestPoint farthestInteriorPoint(const Source & source, const IndexSpan & span, double magnitude)
{
  if constexpr (Source::kIntegerCoordinates) {
    return farthestInteriorPointOfIntegers(source, span, magnitude);
  } else {
    static_cast<void>(magnitude);
    return farthestInteriorPointOneByOne(source, span);
  }
}

/// Bound on the absolute coordinates and coordinate differences of @p source.
template <typename Source>
double coordinateMagnitude(const Source & source)
{
  double largest = 0.0;
  for (std::size_t i = 0; i < source.size(); ++i) {
    const XY p = source.xy(i);
    largest = std::max({largest, std::fabs(p.x), std::fabs(p.y)});
  }
  return 2.0 * largest + 1.0;
}

/// Indices of the points that the recursive Douglas-Peucker scheme keeps, in
/// input order, for an input of two or more points.
///
/// The recursive scheme divides a span at its farthest interior point k when
/// that point lies strictly farther than @p epsilon, simplifies [first, k] and
/// [k, last], and joins the results sharing k once. Its result is therefore
/// the first point followed by the last point of every undivided span, taken
/// left to right. A depth-first walk over an explicit stack of spans (second
/// half pushed below the first) visits the undivided spans in that order.
///
/// @p source provides size(), xy(i) (the point as doubles; make it
/// QUORVANE_ALWAYS_INLINE, as the scans call it once per point and level),
/// endsSpan(first, last) (true to keep a span's end points without looking
/// inside it) and kIntegerCoordinates (true when every coordinate is an
/// integer of at most 32 bits, which allows the division-free scan).
template <typename Source>
std::vector<std::size_t> keptIndices(const Source & source, double epsilon)
{
  const double magnitude = Source::kIntegerCoordinates ? coordinateMagnitude(source) : 0.0;
  std::vector<std::size_t> kept{0};
  std::vector<IndexSpan> pending{{0, source.size() - 1}};
  while (!pending.empty()) {
    const IndexSpan span = pending.back();
    pending.pop_back();
    // 1. A short chord ends the span without looking inside.
    if (!source.endsSpan(span.first, span.last)) {
      // 2. Divide at the farthest interior point when it is beyond epsilon.
      const FarthestPoint far = farthestInteriorPoint(source, span, magnitude);
      if (far.distance > epsilon && far.index != span.first) {
        pending.push_back({far.index, span.last});
        pending.push_back({span.first, far.index});
        continue;
      }
    }
    // 3. An undivided span contributes its last point (its first one is
    //    already there as the previous span's last point).
    kept.push_back(span.last);
  }
  return kept;
}

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
  for (const std::size_t i : indices) {
    to.push_back(from[i]);
  }
}

/// Indices the Douglas-Peucker scheme keeps of a polyline of two or more
/// points; a span whose chord is at most @p minChordLength (never for a NaN
/// or negative one) is kept as its two ends.
std::vector<std::size_t> keptPolylineIndices(
  const std::vector<cv::Point> & points, double epsilon, double minChordLength);

/// Indices the Douglas-Peucker scheme keeps of two or more poses, on the
/// positions' x and y.
std::vector<std::size_t> keptPoseIndices(
  const std::vector<geometry_msgs::msg::PoseStamped> & poses, double epsilon);

}  // namespace simplify
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__SIMPLIFY_HPP_
