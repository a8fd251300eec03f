// The coverage path: the reachable part from a distance transform of the free
// cells, lanes along the aligned frame's x axis cut into the stretches that
// keep the robot's clearance (pulled back from the walls where passes along
// them will sweep the rest), stretches chained into regions swept back and
// forth, passes along the walls for the coverable cells the lanes leave, and
// regions and passes visited nearest first along shortest routes.
#include "coverage_path_plan.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "coverage_path_route.hpp"
#include "image_scan.hpp"
#include "simplify.hpp"

namespace quorvane
{
namespace coverage_path
{
namespace
{

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

/// Lane ends are pulled this far (pixels along the lane) inside the pieces
/// that bound a clear stretch: at the centre of its last square for a lane
/// through pixel centres, where the turn to the next lane is clear.
constexpr double kEndInset = 0.5;
/// Douglas-Peucker tolerance for wall passes, in pixels (every kept segment
/// is checked, so it bounds the shape, not the safety).
constexpr double kPassEpsilon = 1.0;
/// Rounds of wall passes after the first for cells still unswept.
constexpr int kExtraPassRounds = 2;

/// The aligned frame: (s, t) = A * (work + offset) + b; lanes run along s.
struct LaneFrame
{
  LaneFrame(const cv::Mat & rotation, const cv::Point & workOffset)
  {
    a = cv::Matx22d(
      rotation.at<double>(0, 0), rotation.at<double>(0, 1), rotation.at<double>(1, 0),
      rotation.at<double>(1, 1));
    b = cv::Vec2d(rotation.at<double>(0, 2), rotation.at<double>(1, 2));
    inv = a.inv();
    offset = cv::Vec2d(workOffset.x, workOffset.y);
    const cv::Vec2d d = inv * cv::Vec2d(1.0, 0.0);
    const double n = std::hypot(d[0], d[1]);
    alongS = cv::Point2d(d[0] / n, d[1] / n);
    stretchS = n;
  }

  /// Work pixel of aligned point (s, t).
  cv::Point2d toWork(double s, double t) const
  {
    const cv::Vec2d p = inv * (cv::Vec2d(s, t) - b) - offset;
    return {p[0], p[1]};
  }

  double sOf(const cv::Point2d & w) const
  {
    return a(0, 0) * (w.x + offset[0]) + a(0, 1) * (w.y + offset[1]) + b[0];
  }

  double tOf(const cv::Point2d & w) const
  {
    return a(1, 0) * (w.x + offset[0]) + a(1, 1) * (w.y + offset[1]) + b[1];
  }

  cv::Matx22d a;
  cv::Matx22d inv;
  cv::Vec2d b;
  cv::Vec2d offset;
  cv::Point2d alongS;     ///< unit work direction of growing s
  double stretchS = 1.0;  ///< work pixels per unit of s (1 for a rotation)
};

/// A clear stretch of one lane, from s0 to s1 (s0 < s1).
struct Interval
{
  int lane;
  double s0;
  double s1;
  cv::Point2d p0;  ///< work point at s0
  cv::Point2d p1;  ///< work point at s1
  int region = -1;
};

/// The s range over which the line q + s * d * perS stays inside the box
/// [x0, x1] x [y0, y1]; empty (lo > hi) when it misses it.
std::pair<double, double> clipToBox(
  const cv::Point2d & q, const cv::Point2d & d, double perS, double x0, double x1, double y0,
  double y1)
{
  double lo = -std::numeric_limits<double>::infinity();
  double hi = std::numeric_limits<double>::infinity();
  const auto clip = [&](double p, double dp, double mn, double mx) {
    if (std::abs(dp) < 1e-12) {
      if (p < mn || p > mx) {
        lo = 1.0;
        hi = 0.0;
      }
      return;
    }
    double a = (mn - p) / dp;
    double b = (mx - p) / dp;
    if (a > b) {
      std::swap(a, b);
    }
    lo = std::max(lo, a);
    hi = std::min(hi, b);
  };
  clip(q.x, d.x * perS, x0, x1);
  clip(q.y, d.y * perS, y0, y1);
  return {lo, hi};
}

/// Lowest and highest t of the safe pixels in @p box.
std::pair<double, double> tExtent(const cv::Mat & safe, const cv::Rect & box, const LaneFrame & f)
{
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (int y = box.y; y < box.y + box.height; ++y) {
    const uchar * row = safe.ptr<uchar>(y);
    int first = -1;
    int last = -1;
    for (int x = box.x; x < box.x + box.width; ++x) {
      if (row[x] != 0) {
        if (first < 0) {
          first = x;
        }
        last = x;
      }
    }
    if (first < 0) {
      continue;
    }
    for (const int x : {first, last}) {
      const double t = f.tOf({static_cast<double>(x), static_cast<double>(y)});
      lo = std::min(lo, t);
      hi = std::max(hi, t);
    }
  }
  return {lo, hi};
}

/// The point of interval @p iv at s, on its lane.
cv::Point2d onLane(const Interval & iv, double s)
{
  return iv.s1 > iv.s0 ? iv.p0 + (iv.p1 - iv.p0) * ((s - iv.s0) / (iv.s1 - iv.s0)) : iv.p0;
}

/// @p v, or the line between pixels it lies on within 1e-9 px (so that
/// rounding never carries a point beyond it).
double ontoLine(double v)
{
  const double line = std::floor(v) + 0.5;
  return std::abs(v - line) <= 1e-9 ? line : v;
}

/// The clear stretches of every lane, in lane order and, within a lane, by s.
std::vector<Interval> laneIntervals(
  const cv::Mat & slack, const cv::Mat & reach, const cv::Rect & box, const LaneFrame & frame,
  double spacing, double halfSwath, double radius)
{
  const auto [tLo, tHi] = tExtent(reach, box, frame);
  // The extreme lanes through the extreme reachable pixel centres, the others
  // spread evenly between them; one lane in the middle when, from there, it
  // reaches as far toward both walls as lanes at the extremes would (half a
  // swath beyond the reachable pixels, which keep the radius from them).
  std::vector<double> ts;
  const double extent = tHi - tLo;
  const int gaps = static_cast<int>(std::ceil(extent / spacing));
  if (gaps <= 0 || extent <= 2.0 * (halfSwath - radius)) {
    ts.push_back((tLo + tHi) / 2.0);
  } else {
    for (int k = 0; k <= gaps; ++k) {
      ts.push_back(tLo + extent * k / gaps);
    }
  }
  std::vector<Interval> intervals;
  const double x0 = box.x - 0.5;
  const double x1 = box.x + box.width - 0.5;
  const double y0 = box.y - 0.5;
  const double y1 = box.y + box.height - 0.5;
  for (std::size_t k = 0; k < ts.size(); ++k) {
    const cv::Point2d q = frame.toWork(0.0, ts[k]);
    const auto [sLo, sHi] = clipToBox(q, frame.alongS, frame.stretchS, x0, x1, y0, y1);
    if (sLo > sHi) {
      continue;
    }
    const cv::Point2d a = frame.toWork(sLo, ts[k]);
    const cv::Point2d b = frame.toWork(sHi, ts[k]);
    for (const ClearRun & run : clearRuns(slack, a, b, kEndInset)) {
      Interval iv;
      iv.lane = static_cast<int>(k);
      iv.s0 = sLo + (sHi - sLo) * run.t0;
      iv.s1 = sLo + (sHi - sLo) * run.t1;
      iv.p0 = run.p0;
      iv.p1 = run.p1;
      intervals.push_back(iv);
    }
  }
  return intervals;
}

/// Pulls lane ends back by half a swath where wall passes will sweep what
/// they give up: a pass runs along the boundary wherever the lanes leave
/// coverable cells unswept near their ends (@p uncovered non-zero within
/// half a swath and a pixel), and sweeps every cell within half a swath of
/// the boundary it follows. When that is so at most lane ends, the passes
/// follow nearly all of the boundary and every end is pulled back (the
/// passes then run unbroken); else only those ends are. A lane left no
/// longer than a pixel is dropped: the passes sweep all of it. Returns
/// whether any end was pulled back.
bool shrinkLaneEnds(std::vector<Interval> & intervals, const cv::Mat & uncovered, double halfSwath)
{
  const double reach = halfSwath + 1.0;
  const int r = static_cast<int>(std::ceil(reach));
  const auto unsweptNear = [&](const cv::Point2d & end) {
    const cv::Point q(cvRound(end.x), cvRound(end.y));
    for (int dy = -r; dy <= r; ++dy) {
      for (int dx = -r; dx <= r; ++dx) {
        const cv::Point p(q.x + dx, q.y + dy);
        if (
          dx * dx + dy * dy <= reach * reach && p.x >= 0 && p.y >= 0 && p.x < uncovered.cols &&
          p.y < uncovered.rows && uncovered.at<uchar>(p) != 0) {
          return true;
        }
      }
    }
    return false;
  };
  std::vector<char> pull(2 * intervals.size());
  std::size_t pulled = 0;
  for (std::size_t i = 0; i < intervals.size(); ++i) {
    pull[2 * i] = unsweptNear(intervals[i].p0) ? 1 : 0;
    pull[2 * i + 1] = unsweptNear(intervals[i].p1) ? 1 : 0;
    pulled += static_cast<std::size_t>(pull[2 * i] + pull[2 * i + 1]);
  }
  const bool all = 2 * pulled >= pull.size();
  if (pulled == 0) {
    return false;
  }
  std::vector<Interval> kept;
  for (std::size_t i = 0; i < intervals.size(); ++i) {
    Interval iv = intervals[i];
    const double length = cv::norm(iv.p1 - iv.p0);
    const bool low = all || pull[2 * i] != 0;
    const bool high = all || pull[2 * i + 1] != 0;
    const double left = length - halfSwath * ((low ? 1.0 : 0.0) + (high ? 1.0 : 0.0));
    if (left <= 1.0) {
      if (low && high) {
        continue;
      }
      kept.push_back(iv);
      continue;
    }
    const double perPixel = length > 0.0 ? (iv.s1 - iv.s0) / length : 0.0;
    const double s0 = low ? iv.s0 + halfSwath * perPixel : iv.s0;
    const double s1 = high ? iv.s1 - halfSwath * perPixel : iv.s1;
    const cv::Point2d p0 = onLane(iv, s0);
    const cv::Point2d p1 = onLane(iv, s1);
    iv.s0 = s0;
    iv.s1 = s1;
    iv.p0 = cv::Point2d(ontoLine(p0.x), ontoLine(p0.y));
    iv.p1 = cv::Point2d(ontoLine(p1.x), ontoLine(p1.y));
    iv.region = -1;
    kept.push_back(iv);
  }
  for (Interval & iv : kept) {
    iv.region = -1;
  }
  intervals = std::move(kept);
  return true;
}

/// A region: intervals on consecutive lanes, each overlapping only its
/// neighbours in the chain, listed top lane first.
struct Region
{
  std::vector<int> members;
};

/// Chains the intervals into regions: an interval continues into the next
/// lane's when each is the other's only overlap.
std::vector<Region> chainRegions(std::vector<Interval> & intervals)
{
  const int n = static_cast<int>(intervals.size());
  std::vector<int> down(static_cast<std::size_t>(n), 0);
  std::vector<int> up(static_cast<std::size_t>(n), 0);
  std::vector<std::pair<int, int>> overlaps;
  // Lanes start where their first interval is.
  std::size_t i = 0;
  while (i < intervals.size()) {
    std::size_t laneEnd = i;
    while (laneEnd < intervals.size() && intervals[laneEnd].lane == intervals[i].lane) {
      ++laneEnd;
    }
    std::size_t nextEnd = laneEnd;
    while (nextEnd < intervals.size() && intervals[nextEnd].lane == intervals[i].lane + 1) {
      ++nextEnd;
    }
    std::size_t a = i;
    std::size_t b = laneEnd;
    while (a < laneEnd && b < nextEnd) {
      const Interval & p = intervals[a];
      const Interval & q = intervals[b];
      if (std::min(p.s1, q.s1) > std::max(p.s0, q.s0)) {
        overlaps.emplace_back(static_cast<int>(a), static_cast<int>(b));
        ++down[a];
        ++up[b];
      }
      if (p.s1 < q.s1) {
        ++a;
      } else {
        ++b;
      }
    }
    i = laneEnd;
  }
  std::vector<int> next(static_cast<std::size_t>(n), -1);
  for (const auto & [a, b] : overlaps) {
    if (down[static_cast<std::size_t>(a)] == 1 && up[static_cast<std::size_t>(b)] == 1) {
      next[static_cast<std::size_t>(a)] = b;
    }
  }
  std::vector<Region> regions;
  for (int k = 0; k < n; ++k) {
    if (intervals[static_cast<std::size_t>(k)].region >= 0) {
      continue;
    }
    Region region;
    for (int m = k; m >= 0; m = next[static_cast<std::size_t>(m)]) {
      intervals[static_cast<std::size_t>(m)].region = static_cast<int>(regions.size());
      region.members.push_back(m);
    }
    regions.push_back(std::move(region));
  }
  return regions;
}

/// A piece of the path to be swept as a whole, in either direction: a
/// region's lanes joined at their ends, or a pass along a wall.
struct Job
{
  std::vector<cv::Point2d> points;
  std::vector<SegmentKind> kinds;  ///< one per segment
  /// For a region, the other way to sweep its lanes (the first lane from
  /// high s to low, the turns at the other ends); empty when there is none.
  std::vector<cv::Point2d> otherPoints;
  std::vector<SegmentKind> otherKinds;
  int lanes = 0;
  bool pass = false;
};

/// The path being built, in work pixels, and the band it sweeps.
class PathBuilder
{
public:
  /// Draws the band of the segments it is asked to into @p swept, those of
  /// transit segments into @p transitSwept when given.
  PathBuilder(
    const cv::Mat & slack, Router & router, cv::Mat & swept, double halfSwath,
    cv::Mat * transitSwept = nullptr)
  : slack_(slack),
    router_(router),
    swept_(swept),
    transitSwept_(transitSwept != nullptr ? *transitSwept : swept),
    halfSwath_(halfSwath)
  {
  }

  bool empty() const { return points_.empty(); }
  const cv::Point2d & last() const { return points_.back(); }
  std::vector<cv::Point2d> & points() { return points_; }
  std::vector<SegmentKind> & kinds() { return kinds_; }

  void reset()
  {
    points_.clear();
    kinds_.clear();
  }

  void begin(const cv::Point2d & p, bool sweep)
  {
    points_.push_back(p);
    if (sweep) {
      sweepSegment(swept_, p, p, halfSwath_);
    }
  }

  void add(const cv::Point2d & p, SegmentKind kind, bool sweep)
  {
    if (p == points_.back()) {
      return;
    }
    if (sweep) {
      sweepSegment(
        kind == SegmentKind::Transit ? transitSwept_ : swept_, points_.back(), p, halfSwath_);
    }
    points_.push_back(p);
    kinds_.push_back(kind);
  }

  /// Appends @p route (pixels from the last point's anchor to @p to's),
  /// simplified, and @p to.
  void addRoute(const std::vector<cv::Point> & route, const cv::Point2d & to, bool sweep)
  {
    const std::vector<cv::Point2d> points = simplifiedRoute(slack_, last(), route, to);
    for (std::size_t i = 1; i < points.size(); ++i) {
      add(points[i], SegmentKind::Transit, sweep);
    }
  }

  /// Appends a shortest route from the last point to @p q; false (nothing
  /// added) when there is none.
  bool routeTo(const cv::Point2d & q, bool sweep)
  {
    if (segmentClear(slack_, last(), q)) {
      add(q, SegmentKind::Transit, sweep);
      return true;
    }
    cv::Point from;
    cv::Point to;
    if (
      !anchorPixel(slack_, last(), from) || !anchorPixel(slack_, q, to) ||
      !router_.route(from, to, pixels_)) {
      return false;
    }
    addRoute(pixels_, q, sweep);
    return true;
  }

  /// Re-routes every segment that is not clear (a safety net: none should
  /// be); returns how many were.
  int repairSegments()
  {
    int repaired = 0;
    std::vector<cv::Point2d> points{points_.front()};
    std::vector<SegmentKind> kinds;
    std::swap(points, points_);
    std::swap(kinds, kinds_);
    for (std::size_t i = 1; i < points.size(); ++i) {
      if (
        segmentClear(slack_, points[i - 1], points[i]) ||
        diagonalStep(slack_, points[i - 1], points[i])) {
        add(points[i], kinds[i - 1], false);
      } else {
        ++repaired;
        routeTo(points[i], false);
      }
    }
    return repaired;
  }

private:
  const cv::Mat & slack_;
  Router & router_;
  cv::Mat & swept_;
  cv::Mat & transitSwept_;
  double halfSwath_;
  std::vector<cv::Point2d> points_;
  std::vector<SegmentKind> kinds_;
  std::vector<cv::Point> pixels_;
};

/// Redraws @p swept as the band of the path @p points.
void sweepPath(cv::Mat & swept, const std::vector<cv::Point2d> & points, double halfSwath)
{
  swept.setTo(0);
  sweepSegment(swept, points.front(), points.front(), halfSwath);
  for (std::size_t i = 1; i < points.size(); ++i) {
    sweepSegment(swept, points[i - 1], points[i], halfSwath);
  }
}

/// Moves along @p job from the end of lane @p done (its last point) to the
/// start of @p next on the same side: straight when clear, else back along
/// the swept lane or ahead along the next one and across, else a shortest
/// route. False when there is no way (the region is cut there).
bool connectLanes(
  PathBuilder & path, const Interval & done, const Interval & next, const LaneFrame & frame,
  const cv::Mat & slack, bool sweep)
{
  const cv::Point2d from = path.last();
  const double sFrom = frame.sOf(from);
  const bool atHigh = std::abs(sFrom - done.s1) <= std::abs(sFrom - done.s0);
  const cv::Point2d to = atHigh ? next.p1 : next.p0;
  const double sTo = atHigh ? next.s1 : next.s0;
  if (segmentClear(slack, from, to)) {
    path.add(to, SegmentKind::Transit, sweep);
    return true;
  }
  if (sTo >= done.s0 && sTo <= done.s1) {
    const cv::Point2d corner = onLane(done, sTo);
    if (segmentClear(slack, corner, to)) {
      path.add(corner, SegmentKind::Transit, sweep);
      path.add(to, SegmentKind::Transit, sweep);
      return true;
    }
  }
  if (sFrom >= next.s0 && sFrom <= next.s1) {
    const cv::Point2d corner = onLane(next, sFrom);
    if (segmentClear(slack, from, corner)) {
      path.add(corner, SegmentKind::Transit, sweep);
      path.add(to, SegmentKind::Transit, sweep);
      return true;
    }
  }
  return path.routeTo(to, sweep);
}

/// The sweeps of the regions: each region's lanes top first, the first from
/// low s to high, alternating, joined at their ends; cut into two jobs where
/// two lanes cannot be joined. The bands of their lanes are drawn into
/// @p swept, those of their turns into @p turns (turns are drawn again with
/// the way a region is swept). Each job also gets the other way to sweep its
/// lanes, when its turns can be made.
std::vector<Job> regionJobs(
  const std::vector<Region> & regions, const std::vector<Interval> & intervals,
  const LaneFrame & frame, const cv::Mat & slack, Router & router, cv::Mat & swept, cv::Mat & turns,
  double halfSwath)
{
  std::vector<Job> jobs;
  PathBuilder path(slack, router, swept, halfSwath, &turns);
  // Sweeps members [from, to) of a region, the first one low s first when
  // @p lowFirst; stops before the first lane it cannot reach and returns
  // where it stopped.
  const auto sweepLanes =
    [&](const Region & region, std::size_t from, std::size_t to, bool lowFirst, bool sweep) {
      path.reset();
      std::size_t j = from;
      for (; j < to; ++j) {
        const Interval & iv = intervals[static_cast<std::size_t>(region.members[j])];
        const bool low = lowFirst == ((j - from) % 2 == 0);
        if (
          j > from && !connectLanes(
                        path, intervals[static_cast<std::size_t>(region.members[j - 1])], iv, frame,
                        slack, sweep)) {
          break;
        }
        if (j == from) {
          path.begin(low ? iv.p0 : iv.p1, sweep);
        }
        path.add(low ? iv.p1 : iv.p0, SegmentKind::Lane, sweep);
      }
      return j;
    };
  for (const Region & region : regions) {
    std::size_t from = 0;
    while (from < region.members.size()) {
      const std::size_t to = sweepLanes(region, from, region.members.size(), true, true);
      Job job;
      job.points = path.points();
      job.kinds = path.kinds();
      job.lanes = static_cast<int>(to - from);
      if (to - from > 1 && sweepLanes(region, from, to, false, false) == to) {
        job.otherPoints = path.points();
        job.otherKinds = path.kinds();
      }
      jobs.push_back(std::move(job));
      from = to;
    }
  }
  return jobs;
}

/// The safe boundary pixels of @p safe as 4-connected chains: the contours
/// (every outline and hole) with a safe corner pixel put into each diagonal
/// step; a diagonal step with neither corner safe splits the chain. Closed
/// chains repeat their first pixel at the end.
std::vector<std::vector<cv::Point>> boundaryChains(const cv::Mat & safe)
{
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(safe, contours, cv::RETR_LIST, cv::CHAIN_APPROX_NONE);
  std::vector<std::vector<cv::Point>> chains;
  const auto isSafe = [&safe](const cv::Point & p) { return safe.ptr<uchar>(p.y)[p.x] != 0; };
  for (const auto & contour : contours) {
    std::vector<cv::Point> chain{contour.front()};
    const std::size_t n = contour.size();
    for (std::size_t i = 1; i <= n; ++i) {
      const cv::Point & p = contour[i - 1];
      const cv::Point & q = contour[i % n];
      if (p == q) {
        continue;
      }
      if (p.x != q.x && p.y != q.y) {
        const cv::Point c1(q.x, p.y);
        const cv::Point c2(p.x, q.y);
        if (isSafe(c1)) {
          chain.push_back(c1);
        } else if (isSafe(c2)) {
          chain.push_back(c2);
        } else {
          chains.push_back(std::move(chain));
          chain = {q};
          continue;
        }
      }
      chain.push_back(q);
    }
    chains.push_back(std::move(chain));
  }
  return chains;
}

/// An unswept coverable cell a wall pass must sweep, with the index of the
/// pass's pixel that claimed it (within half a swath of it).
struct NeededCell
{
  int index;
  cv::Point cell;
};

/// A run of boundary pixels for a wall pass, and the cells it is for.
struct PassRun
{
  std::vector<cv::Point> chain;
  std::vector<NeededCell> cells;  ///< in order of index
};

/// Passes along the reachable part's boundary (@p chains) where its pixels
/// would sweep unswept coverable cells (@p uncovered: non-zero there): runs
/// of such pixels, gaps of up to @p gap pixels
/// bridged. Each cell goes to the first pixel along a chain that reaches it
/// (it is claimed there: @p uncovered is cleared at it), and a run is each
/// stretch of pixels that claim cells.
std::vector<PassRun> passRuns(
  const std::vector<std::vector<cv::Point>> & chains, cv::Mat & uncovered, double halfSwath,
  int gap)
{
  // The cells within half a swath of a pixel, and of those the ones that lie
  // beyond half a swath of the pixel one step back along each axis: once a
  // pixel has claimed its cells, the next one along the chain need only look
  // at those.
  const int reachPx = static_cast<int>(std::floor(halfSwath));
  const double h2 = halfSwath * halfSwath;
  std::vector<cv::Point> disc;
  for (int dy = -reachPx; dy <= reachPx; ++dy) {
    for (int dx = -reachPx; dx <= reachPx; ++dx) {
      if (dx * dx + dy * dy <= h2) {
        disc.emplace_back(dx, dy);
      }
    }
  }
  const cv::Point steps[4] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
  std::vector<cv::Point> crescents[4];
  for (int k = 0; k < 4; ++k) {
    for (const cv::Point & o : disc) {
      const cv::Point back = o + steps[k];
      if (back.x * back.x + back.y * back.y > h2) {
        crescents[k].push_back(o);
      }
    }
  }
  const auto newCells = [&](const cv::Point & step) -> const std::vector<cv::Point> & {
    for (int k = 0; k < 4; ++k) {
      if (step == steps[k]) {
        return crescents[k];
      }
    }
    return disc;
  };
  cv::Rect inside(0, 0, uncovered.cols, uncovered.rows);
  std::vector<PassRun> runs;
  std::vector<cv::Point> claimed;
  for (const auto & chain : chains) {
    PassRun run;
    std::size_t lastUseful = 0;
    for (std::size_t i = 0; i < chain.size(); ++i) {
      const cv::Point & p = chain[i];
      claimed.clear();
      if (i == 0 || p != chain[i - 1]) {
        for (const cv::Point & o : i == 0 ? disc : newCells(p - chain[i - 1])) {
          const cv::Point c = p + o;
          if (inside.contains(c)) {
            uchar & cell = uncovered.ptr<uchar>(c.y)[c.x];
            if (cell != 0) {
              cell = 0;
              claimed.push_back(c);
            }
          }
        }
      }
      if (claimed.empty()) {
        continue;
      }
      if (!run.chain.empty() && i - lastUseful > static_cast<std::size_t>(gap) + 1) {
        runs.push_back(std::move(run));
        run = PassRun();
      }
      const std::size_t from = run.chain.empty() ? i : lastUseful + 1;
      for (std::size_t k = from; k <= i; ++k) {
        run.chain.push_back(chain[k]);
      }
      const int index = static_cast<int>(run.chain.size()) - 1;
      for (const cv::Point & c : claimed) {
        run.cells.push_back({index, c});
      }
      lastUseful = i;
    }
    if (!run.chain.empty()) {
      runs.push_back(std::move(run));
    }
  }
  return runs;
}

/// Squared distance from @p p to the closed segment @p a - @p b.
double squaredDistanceToSegment(const cv::Point2d & p, const cv::Point2d & a, const cv::Point2d & b)
{
  const cv::Point2d d = b - a;
  const double q = d.dot(d);
  const double t = q > 0.0 ? std::clamp((p - a).dot(d) / q, 0.0, 1.0) : 0.0;
  const cv::Point2d e = p - (a + d * t);
  return e.dot(e);
}

/// A wall pass made straight where it may be: Douglas-Peucker on the run's
/// pixels, every kept segment checked to be clear and to stay within half a
/// swath of the cells given to the pixels it replaces (a segment that fails
/// is split at its middle pixel; a step between neighbouring pixels always
/// passes).
std::vector<cv::Point2d> smoothPass(const PassRun & run, const cv::Mat & slack, double halfSwath)
{
  const std::vector<cv::Point> & chain = run.chain;
  const auto at = [&chain](std::size_t i) { return cv::Point2d(chain[i].x, chain[i].y); };
  if (chain.size() < 3) {
    std::vector<cv::Point2d> out;
    for (std::size_t i = 0; i < chain.size(); ++i) {
      out.push_back(at(i));
    }
    return out;
  }
  const double reach2 = halfSwath * halfSwath;
  const auto covers = [&](std::size_t a, std::size_t b) {
    auto it = std::lower_bound(
      run.cells.begin(), run.cells.end(), static_cast<int>(a),
      [](const NeededCell & c, int index) { return c.index < index; });
    for (; it != run.cells.end() && it->index <= static_cast<int>(b); ++it) {
      if (squaredDistanceToSegment(cv::Point2d(it->cell.x, it->cell.y), at(a), at(b)) > reach2) {
        return false;
      }
    }
    return true;
  };
  const std::vector<std::size_t> kept = simplify::keptIndices(simplify::polylineArrays(chain), kPassEpsilon, -1.0);
  std::vector<std::size_t> checked{kept.front()};
  std::vector<std::size_t> pending;
  for (std::size_t k = 1; k < kept.size(); ++k) {
    pending.push_back(kept[k]);
    while (!pending.empty()) {
      const std::size_t a = checked.back();
      const std::size_t b = pending.back();
      if (b - a <= 1 || (covers(a, b) && segmentClear(slack, at(a), at(b)))) {
        checked.push_back(b);
        pending.pop_back();
      } else {
        pending.push_back(a + (b - a) / 2);
      }
    }
  }
  std::vector<cv::Point2d> out;
  out.reserve(checked.size());
  for (const std::size_t i : checked) {
    out.push_back(at(i));
  }
  return out;
}

/// The wall passes for the coverable cells @p swept does not hold yet (both
/// zero outside @p near), along the reachable part's boundary @p chains; the
/// pixels they follow are set in @p passPixels when given.
std::vector<Job> passJobs(
  const std::vector<std::vector<cv::Point>> & chains, const cv::Mat & coverable,
  const cv::Mat & swept, const cv::Mat & slack, const cv::Rect & near, double halfSwath, int gap,
  cv::Mat * passPixels = nullptr)
{
  cv::Mat uncovered = cv::Mat::zeros(coverable.size(), CV_8UC1);
  cv::compare(coverable(near), swept(near), uncovered(near), cv::CMP_GT);
  cv::bitwise_and(uncovered(near), cv::Scalar(1), uncovered(near));
  std::vector<Job> jobs;
  for (const PassRun & run : passRuns(chains, uncovered, halfSwath, gap)) {
    if (passPixels != nullptr) {
      for (const cv::Point & p : run.chain) {
        passPixels->at<uchar>(p) = 255;
      }
    }
    Job job;
    job.points = smoothPass(run, slack, halfSwath);
    job.kinds.assign(job.points.size() - 1, SegmentKind::Lane);
    job.pass = true;
    jobs.push_back(std::move(job));
  }
  return jobs;
}

/// Sweeps @p jobs, each whole, in either direction: from the path's last
/// point, the job with an end nearest along the reachable pixels, reached by
/// a shortest route, then the next nearest from where it ends, and so on.
/// The path must not be empty.
struct Visited
{
  int lanes = 0;
  int passes = 0;
  std::size_t jobs = 0;
  bool all = true;  ///< false when some job could not be reached
};

Visited visitJobs(
  const std::vector<Job> & jobs, PathBuilder & path, const cv::Mat & slack, Router & router)
{
  // Targets 4j and 4j + 1 are the first and last points of job j, 4j + 2
  // and 4j + 3 those of its other way, when it has one.
  const auto polyline = [&jobs](std::size_t e) -> const std::vector<cv::Point2d> & {
    const Job & job = jobs[e / 4];
    return e % 4 < 2 ? job.points : job.otherPoints;
  };
  const auto endPoint = [&](std::size_t e) {
    return e % 2 == 0 ? polyline(e).front() : polyline(e).back();
  };
  std::vector<cv::Point> anchors(4 * jobs.size());
  std::vector<char> active(anchors.size(), 0);
  for (std::size_t e = 0; e < anchors.size(); ++e) {
    // Not expected to fail: every job end lies in a clear square.
    active[e] = !polyline(e).empty() && anchorPixel(slack, endPoint(e), anchors[e]) ? 1 : 0;
  }
  router.setTargets(anchors);
  std::vector<cv::Point> route;
  Visited out;
  for (std::size_t done = 0; done < jobs.size(); ++done) {
    cv::Point from;
    if (!anchorPixel(slack, path.last(), from)) {
      break;
    }
    const int chosen = router.nearestTarget(from, active, route);
    if (chosen < 0) {
      break;
    }
    const auto e = static_cast<std::size_t>(chosen);
    const Job & job = jobs[e / 4];
    std::fill_n(active.begin() + static_cast<std::ptrdiff_t>(e - e % 4), 4, 0);
    path.addRoute(route, endPoint(e), true);
    const std::vector<cv::Point2d> & points = polyline(e);
    const std::vector<SegmentKind> & kinds = e % 4 < 2 ? job.kinds : job.otherKinds;
    const std::size_t n = points.size();
    // A region's lanes are in the band already; its turns, the ones of the
    // way it is swept, are drawn now.
    for (std::size_t i = 1; i < n; ++i) {
      const std::size_t k = e % 2 == 0 ? i : n - i;
      const SegmentKind kind = kinds[k - 1];
      path.add(points[e % 2 == 0 ? i : n - 1 - i], kind, job.pass || kind == SegmentKind::Transit);
    }
    out.lanes += job.lanes;
    out.passes += job.pass ? 1 : 0;
    ++out.jobs;
  }
  out.all = out.jobs == jobs.size();
  return out;
}

/// A run of pixel centres where the robot fits, on row y from x0 to x1.
struct Run
{
  int y;
  int x0;
  int x1;
};

/// True at a free pixel (distance > 0) whose distance is at least @p radius.
bool fits(float d, double radius) { return d > 0.0F && static_cast<double>(d) >= radius; }

/// The runs of pixels where the robot fits, row by row.
std::vector<Run> fittingRuns(const cv::Mat & distance, double radius)
{
  std::vector<Run> runs;
  for (int y = 0; y < distance.rows; ++y) {
    const float * d = distance.ptr<float>(y);
    int x = 0;
    while (x < distance.cols) {
      if (!fits(d[x], radius)) {
        ++x;
        continue;
      }
      const int x0 = x;
      while (x < distance.cols && fits(d[x], radius)) {
        ++x;
      }
      runs.push_back({y, x0, x - 1});
    }
  }
  return runs;
}

/// The parts of the floor the robot moves between: for each run, the first
/// run (in row order) of its part. Runs on neighbouring rows that overlap
/// are joined (steps along an axis), and so are two that touch only at a
/// corner when both pixels beside the corner keep kHalfDiagonal of slack
/// (the diagonal step).
std::vector<int> partsOfRuns(const std::vector<Run> & runs, const cv::Mat & distance, double radius)
{
  const std::size_t n = runs.size();
  std::vector<int> parent(n);
  for (std::size_t i = 0; i < n; ++i) {
    parent[i] = static_cast<int>(i);
  }
  const auto root = [&parent](int i) {
    while (parent[static_cast<std::size_t>(i)] != i) {
      i = parent[static_cast<std::size_t>(i)] =
        parent[static_cast<std::size_t>(parent[static_cast<std::size_t>(i)])];
    }
    return i;
  };
  const auto join = [&](std::size_t i, std::size_t j) {
    const int a = root(static_cast<int>(i));
    const int b = root(static_cast<int>(j));
    parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
  };
  const auto diagonal = [&](int x, int y) {
    return static_cast<double>(slackOf(distance.ptr<float>(y)[x], radius)) >= kHalfDiagonal;
  };
  // Two pointers over the runs of consecutive rows.
  std::size_t above = 0;
  std::size_t rowStart = 0;
  while (rowStart < n) {
    std::size_t rowEnd = rowStart;
    while (rowEnd < n && runs[rowEnd].y == runs[rowStart].y) {
      ++rowEnd;
    }
    const int y = runs[rowStart].y;
    while (above < rowStart && runs[above].y < y - 1) {
      ++above;
    }
    std::size_t a = above;
    for (std::size_t i = rowStart; i < rowEnd && a < rowStart; ++i) {
      const Run & r = runs[i];
      // Runs above that end before this one's diagonal reach are done.
      while (a < rowStart && runs[a].x1 < r.x0 - 1) {
        ++a;
      }
      for (std::size_t k = a; k < rowStart && runs[k].x0 <= r.x1 + 1; ++k) {
        const Run & q = runs[k];
        const bool overlap = q.x1 >= r.x0 && q.x0 <= r.x1;
        // Touching at a corner only: q ends where r begins, or the reverse.
        const bool corner = q.x1 + 1 == r.x0 ? diagonal(q.x1, y - 1) && diagonal(r.x0, y)
                                             : diagonal(q.x0, y - 1) && diagonal(r.x1, y);
        if (overlap || corner) {
          join(i, k);
        }
      }
    }
    rowStart = rowEnd;
  }
  for (std::size_t i = 0; i < n; ++i) {
    parent[i] = root(static_cast<int>(i));
  }
  return parent;
}

/// The index of the run that holds pixel @p p (which must fit).
std::size_t runHolding(const std::vector<Run> & runs, const cv::Point & p)
{
  const auto it = std::upper_bound(
    runs.begin(), runs.end(), p,
    [](const cv::Point & q, const Run & r) { return q.y != r.y ? q.y < r.y : q.x < r.x0; });
  return static_cast<std::size_t>(it - runs.begin()) - 1;
}

/// The pixel nearest to @p p among the runs; nothing when there is none.
std::optional<cv::Point> nearestFittingPixel(const std::vector<Run> & runs, const cv::Point2d & p)
{
  std::optional<cv::Point> best;
  double bestD = std::numeric_limits<double>::infinity();
  for (const Run & r : runs) {
    const int x = std::clamp(static_cast<int>(std::lround(p.x)), r.x0, r.x1);
    const double d = (x - p.x) * (x - p.x) + (r.y - p.y) * (r.y - p.y);
    if (d < bestD) {
      bestD = d;
      best = cv::Point(x, r.y);
    }
  }
  return best;
}

/// A fitting pixel whose closed square holds @p p and whose centre @p p
/// reaches by a clear segment; nothing when there is none.
std::optional<cv::Point> startAnchor(const cv::Mat & distance, double radius, const cv::Point2d & p)
{
  // The slack of the pixels about p, each as if reachable where it fits.
  const cv::Point corner(
    static_cast<int>(std::floor(p.x)) - 2, static_cast<int>(std::floor(p.y)) - 2);
  const cv::Rect patch =
    cv::Rect(corner, cv::Size(6, 6)) & cv::Rect(0, 0, distance.cols, distance.rows);
  cv::Mat slack(patch.size(), CV_32FC1);
  for (int y = 0; y < patch.height; ++y) {
    for (int x = 0; x < patch.width; ++x) {
      const float d = distance.at<float>(patch.y + y, patch.x + x);
      slack.at<float>(y, x) = fits(d, radius) ? slackOf(d, radius) : -1.0F;
    }
  }
  cv::Point anchor;
  if (!anchorPixel(slack, p - cv::Point2d(patch.x, patch.y), anchor)) {
    return std::nullopt;
  }
  return anchor + patch.tl();
}

/// The free cells of @p work within @p halfSwath of a reachable pixel. The
/// reachable pixel nearest to a cell outside the part lies on its boundary
/// (one step from any other toward the cell comes nearer), so the discs about
/// the boundary pixels hold every such cell.
cv::Mat coverableFloor(
  const cv::Mat & work, const cv::Mat & reach, const std::vector<Run> & reachRuns, double halfSwath)
{
  const int rows = static_cast<int>(std::floor(halfSwath));
  // halfWidth[k]: the disc's reach along the row k - rows away.
  std::vector<int> halfWidth;
  for (int dy = -rows; dy <= rows; ++dy) {
    int w = 0;
    while ((w + 1) * (w + 1) + dy * dy <= halfSwath * halfSwath) {
      ++w;
    }
    halfWidth.push_back(w);
  }
  cv::Mat coverable = reach.clone();
  // A stretch of boundary pixels of one row, painted at once.
  const auto paint = [&](int y, int xa, int xb) {
    for (std::size_t k = 0; k < halfWidth.size(); ++k) {
      const int yy = y + static_cast<int>(k) - rows;
      if (yy < 0 || yy >= work.rows) {
        continue;
      }
      const int w = halfWidth[k];
      const int x0 = std::max(0, xa - w);
      const int x1 = std::min(work.cols - 1, xb + w);
      std::fill(coverable.ptr<uchar>(yy) + x0, coverable.ptr<uchar>(yy) + x1 + 1, uchar{255});
    }
  };
  for (const Run & run : reachRuns) {
    const uchar * up = reach.ptr<uchar>(run.y - 1);
    const uchar * down = reach.ptr<uchar>(run.y + 1);
    int stretch = -1;
    for (int x = run.x0; x <= run.x1; ++x) {
      const bool boundary = x == run.x0 || x == run.x1 || up[x] == 0 || down[x] == 0;
      if (boundary && stretch < 0) {
        stretch = x;
      } else if (!boundary && stretch >= 0) {
        paint(run.y, stretch, x - 1);
        stretch = -1;
      }
    }
    if (stretch >= 0) {
      paint(run.y, stretch, run.x1);
    }
  }
  cv::bitwise_and(coverable, work, coverable);
  return coverable;
}

/// Nearest pixel centre of @p mask (non-zero) to @p p; nothing when none.
std::optional<cv::Point> nearestPixel(const cv::Mat & mask, const cv::Point2d & p)
{
  std::optional<cv::Point> best;
  double bestD = std::numeric_limits<double>::infinity();
  for (int y = 0; y < mask.rows; ++y) {
    const uchar * row = mask.ptr<uchar>(y);
    const double dy = y - p.y;
    if (dy * dy >= bestD) {
      continue;
    }
    for (int x = 0; x < mask.cols; ++x) {
      if (row[x] != 0) {
        const double dx = x - p.x;
        const double d = dx * dx + dy * dy;
        if (d < bestD) {
          bestD = d;
          best = cv::Point(x, y);
        }
      }
    }
  }
  return best;
}

}  // namespace

PixelPlan plan(
  const cv::Mat & free, const cv::Mat & rotation, const Settings & settings, Timings * timings)
{
  const Clock::time_point start = Clock::now();
  Timings local;
  Timings & time = timings != nullptr ? *timings : local;
  time = Timings{};
  PixelPlan out;
  out.unreachable = cv::Mat::zeros(free.size(), CV_8UC1);
  out.coverable = cv::Mat::zeros(free.size(), CV_8UC1);
  const std::optional<image_scan::PixelBox> box = image_scan::boxOf255Pixels(free);
  if (!box) {
    out.startRejected = settings.hasStart;
    return out;
  }
  // Work on the box of the free cells with a frame of one non-free pixel, so
  // that outside the image counts as not free.
  const cv::Rect crop(box->minX, box->minY, box->maxX - box->minX + 1, box->maxY - box->minY + 1);
  const cv::Point offset(crop.x - 1, crop.y - 1);
  cv::Mat work = cv::Mat::zeros(crop.height + 2, crop.width + 2, CV_8UC1);
  cv::Mat inner = work(cv::Rect(1, 1, crop.width, crop.height));
  cv::compare(free(crop), 255, inner, cv::CMP_EQ);
  cv::Mat distance;
  cv::distanceTransform(work, distance, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
  const double radius = settings.radiusPx;
  const std::vector<Run> runs = fittingRuns(distance, radius);
  const std::vector<int> parts = partsOfRuns(runs, distance, radius);

  // The reachable part: the start's part, or the largest one (the one met
  // first in row order among equals).
  int part = -1;
  const cv::Point2d startWork = settings.start - cv::Point2d(offset.x, offset.y);
  if (settings.hasStart) {
    const std::optional<cv::Point> anchor = startAnchor(distance, radius, startWork);
    if (!anchor) {
      out.startRejected = true;
      const std::optional<cv::Point> nearest = nearestFittingPixel(runs, startWork);
      if (nearest) {
        out.hasNearestStart = true;
        out.nearestStart = cv::Point2d(nearest->x + offset.x, nearest->y + offset.y);
      }
      return out;
    }
    part = parts[runHolding(runs, *anchor)];
  } else {
    std::vector<std::int64_t> area(runs.size(), 0);
    for (std::size_t i = 0; i < runs.size(); ++i) {
      area[static_cast<std::size_t>(parts[i])] += runs[i].x1 - runs[i].x0 + 1;
    }
    for (std::size_t i = 0; i < runs.size(); ++i) {
      if (part < 0 || area[i] > area[static_cast<std::size_t>(part)]) {
        part = static_cast<int>(i);
      }
    }
  }
  if (part < 0) {
    cv::compare(free, 255, out.unreachable, cv::CMP_EQ);
    out.unreachableCells = cv::countNonZero(out.unreachable);
    time.total = secondsSince(start);
    return out;
  }
  cv::Mat reach = cv::Mat::zeros(work.size(), CV_8UC1);
  cv::Mat slack(work.size(), CV_32FC1, cv::Scalar(-1.0));
  cv::Mat moves = cv::Mat::zeros(work.size(), CV_8UC1);
  std::vector<Run> reachRuns;
  cv::Rect reachBox;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (parts[i] != part) {
      continue;
    }
    const Run & run = runs[i];
    reachRuns.push_back(run);
    reachBox |= cv::Rect(run.x0, run.y, run.x1 - run.x0 + 1, 1);
    const float * d = distance.ptr<float>(run.y);
    float * sl = slack.ptr<float>(run.y);
    uchar * mv = moves.ptr<uchar>(run.y);
    std::fill(reach.ptr<uchar>(run.y) + run.x0, reach.ptr<uchar>(run.y) + run.x1 + 1, uchar{255});
    for (int x = run.x0; x <= run.x1; ++x) {
      sl[x] = slackOf(d[x], radius);
      mv[x] = movesOf(sl[x]);
    }
  }

  // The coverable floor: free cells within half a swath of a reachable pixel.
  const double halfSwath = settings.swathPx / 2.0;
  const cv::Mat coverable = coverableFloor(work, reach, reachRuns, halfSwath);
  const int pad = static_cast<int>(std::ceil(halfSwath)) + 1;
  const cv::Rect near =
    cv::Rect(
      reachBox.x - pad, reachBox.y - pad, reachBox.width + 2 * pad, reachBox.height + 2 * pad) &
    cv::Rect(0, 0, work.cols, work.rows);

  // Lanes, regions and their sweeps.
  Clock::time_point stage = Clock::now();
  const LaneFrame frame(rotation, offset);
  std::vector<Interval> intervals =
    laneIntervals(slack, reach, reachBox, frame, settings.spacingPx, halfSwath, radius);
  std::vector<Region> regions = chainRegions(intervals);
  // Blocks of about a third of the swath for routes longer than five
  // swaths.
  const double swath = settings.swathPx;
  Router router(moves, static_cast<int>(std::floor(swath / 2.5)), 5.0 * swath);
  cv::Mat swept = cv::Mat::zeros(work.size(), CV_8UC1);
  cv::Mat turns = cv::Mat::zeros(work.size(), CV_8UC1);
  std::vector<Job> jobs =
    regionJobs(regions, intervals, frame, slack, router, swept, turns, halfSwath);
  time.lanes = secondsSince(stage);
  const std::vector<std::vector<cv::Point>> chains = boundaryChains(reach);
  const int gap = static_cast<int>(std::ceil(settings.spacingPx));

  // Where wall passes will run anyway, the lanes end half a swath earlier.
  stage = Clock::now();
  cv::Mat uncovered;
  cv::bitwise_and(coverable, ~(swept | turns), uncovered);
  if (shrinkLaneEnds(intervals, uncovered, halfSwath)) {
    regions = chainRegions(intervals);
    swept.setTo(0);
    turns.setTo(0);
    jobs = regionJobs(regions, intervals, frame, slack, router, swept, turns, halfSwath);
  }
  time.lanes += secondsSince(stage);

  // Passes along the walls for the coverable cells the lanes leave, then
  // everything visited nearest first; then passes for what is still left.
  stage = Clock::now();
  std::vector<Job> passes = passJobs(chains, coverable, swept | turns, slack, near, halfSwath, gap);
  time.passes += secondsSince(stage);
  std::move(passes.begin(), passes.end(), std::back_inserter(jobs));
  PathBuilder path(slack, router, swept, halfSwath);
  if (settings.hasStart) {
    path.begin(startWork, true);
  } else if (!jobs.empty()) {
    path.begin(jobs.front().points.front(), true);
  } else {
    // No lane crosses the reachable part: start at its first pixel.
    const std::optional<cv::Point> first = nearestPixel(reach, cv::Point2d(0.0, 0.0));
    path.begin(cv::Point2d(first->x, first->y), true);
  }
  int lanes = 0;
  int wallPasses = 0;
  for (int round = 0; round <= kExtraPassRounds && !jobs.empty(); ++round) {
    stage = Clock::now();
    const Visited visited = visitJobs(jobs, path, slack, router);
    lanes += visited.lanes;
    wallPasses += visited.passes;
    if (!visited.all) {
      // Not expected: the lanes of a region left out were drawn.
      sweepPath(swept, path.points(), halfSwath);
    }
    time.ordering += secondsSince(stage);
    jobs.clear();
    if (round < kExtraPassRounds) {
      stage = Clock::now();
      jobs = passJobs(chains, coverable, swept, slack, near, halfSwath, gap);
      time.passes += secondsSince(stage);
    }
  }
  if (path.repairSegments() > 0) {
    sweepPath(swept, path.points(), halfSwath);
  }

  // The figures, from the band the whole path sweeps.
  cv::Mat covered;
  cv::bitwise_and(swept, coverable, covered);
  out.coverableCells = cv::countNonZero(coverable);
  out.coveredCells = cv::countNonZero(covered);
  coverable(cv::Rect(1, 1, crop.width, crop.height)).copyTo(out.coverable(crop));
  cv::compare(free, 255, out.unreachable, cv::CMP_EQ);
  out.unreachable.setTo(0, out.coverable);
  out.unreachableCells = cv::countNonZero(out.unreachable);
  out.points.reserve(path.points().size());
  for (const cv::Point2d & p : path.points()) {
    out.points.emplace_back(p.x + offset.x, p.y + offset.y);
  }
  out.kinds = path.kinds();
  out.lanes = lanes;
  out.cleanupPasses = wallPasses;
  time.routedPixels = router.settled();
  time.total = secondsSince(start);
  return out;
}

}  // namespace coverage_path
}  // namespace quorvane
