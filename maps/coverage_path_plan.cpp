// The coverage path: safe positions from a distance transform of the free
// cells, lanes along the aligned frame's x axis cut into intervals where the
// robot fits, intervals chained into regions swept back and forth, regions
// visited neighbour after neighbour with shortest routes between them, and
// passes along the walls for the coverable cells the lanes left.
#include "coverage_path_plan.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include <opencv2/imgproc.hpp>

#include "coverage_path_route.hpp"
#include "image_scan.hpp"

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

/// Interval ends are pulled this far (pixels along the lane) inside the slabs
/// that were checked, so an end never touches the unchecked next slab.
constexpr double kEndInset = 1e-3;
/// Douglas-Peucker tolerance for routes, in pixels.
constexpr double kRouteEpsilon = 1.0;
/// And for wall passes, which must stay where their pixels sweep the cells
/// they were made for.
constexpr double kPassEpsilon = 0.25;

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

/// A stretch of one lane where the robot fits, from s0 to s1 (s0 <= s1).
struct Interval
{
  int lane;
  double s0;
  double s1;
  cv::Point2d p0;  ///< work point at s0
  cv::Point2d p1;  ///< work point at s1
  int region = -1;
};

/// Maximal runs of a lane (work point @p q at s = 0, unit direction @p d
/// per unit of @p perS pixels of s) over s in [sLo, sHi] whose slabs pass
/// only through safe pixels, as s intervals.
std::vector<std::pair<double, double>> laneRuns(
  const cv::Mat & safe, const cv::Point2d & q, const cv::Point2d & d, double perS, double sLo,
  double sHi)
{
  std::vector<std::pair<double, double>> runs;
  const bool alongX = std::abs(d.x) >= std::abs(d.y);
  const double du = (alongX ? d.x : d.y) * perS;  // u per unit of s
  const double dv = (alongX ? d.y : d.x) * perS;
  const double qu = alongX ? q.x : q.y;
  const double qv = alongX ? q.y : q.x;
  const int limitU = alongX ? safe.cols : safe.rows;
  const int limitV = alongX ? safe.rows : safe.cols;
  const double u1 = qu + sLo * du;
  const double u2 = qu + sHi * du;
  const int cLo = std::max(0, static_cast<int>(std::ceil(std::min(u1, u2) - 0.5)));
  const int cHi = std::min(limitU - 1, static_cast<int>(std::floor(std::max(u1, u2) + 0.5)));
  if (cLo > cHi) {
    return runs;
  }
  const int step = du > 0.0 ? 1 : -1;
  const int first = du > 0.0 ? cLo : cHi;
  const int count = cHi - cLo + 1;
  bool open = false;
  double runStart = 0.0;
  double runEnd = 0.0;
  const auto close = [&]() {
    if (open && runEnd - runStart > 2.0 * kEndInset) {
      runs.emplace_back(runStart + kEndInset, runEnd - kEndInset);
    }
    open = false;
  };
  for (int k = 0; k < count; ++k) {
    const int c = first + k * step;
    double sA = (c - 0.5 - qu) / du;
    double sB = (c + 0.5 - qu) / du;
    if (sA > sB) {
      std::swap(sA, sB);
    }
    sA = std::max(sA, sLo);
    sB = std::min(sB, sHi);
    if (sA > sB) {
      continue;
    }
    const double v1 = qv + sA * dv;
    const double v2 = qv + sB * dv;
    const int r0 = static_cast<int>(std::ceil(std::min(v1, v2) - 0.5 - 1e-9));
    const int r1 = static_cast<int>(std::floor(std::max(v1, v2) + 0.5 + 1e-9));
    bool valid = r0 >= 0 && r1 < limitV;
    for (int r = r0; valid && r <= r1; ++r) {
      valid = (alongX ? safe.ptr<uchar>(r)[c] : safe.ptr<uchar>(c)[r]) != 0;
    }
    if (valid) {
      if (!open) {
        open = true;
        runStart = sA;
      }
      runEnd = sB;
    } else {
      close();
    }
  }
  close();
  return runs;
}

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

/// A region: intervals on consecutive lanes, each overlapping only its
/// neighbours in the chain, listed top lane first.
struct Region
{
  std::vector<int> members;
};

/// How a region is entered: from its first or last lane, at the lane's low
/// or high s end.
struct Entry
{
  bool fromTop;
  bool lowFirst;
};

constexpr Entry kEntries[4] = {{true, true}, {true, false}, {false, true}, {false, false}};

/// The path being built, in work pixels.
class PathBuilder
{
public:
  PathBuilder(const cv::Mat & safe, int block, Timings & timings)
  : safe_(safe), router_(safe, block), timings_(timings)
  {
  }

  bool empty() const { return points_.empty(); }
  const cv::Point2d & last() const { return points_.back(); }
  const std::vector<cv::Point2d> & points() const { return points_; }
  const std::vector<SegmentKind> & kinds() const { return kinds_; }

  void begin(const cv::Point2d & p) { points_.push_back(p); }

  void add(const cv::Point2d & p, SegmentKind kind)
  {
    if (p == points_.back()) {
      return;
    }
    points_.push_back(p);
    kinds_.push_back(kind);
  }

  /// Appends a shortest route from the last point to @p q; false (nothing
  /// added) when there is none.
  bool routeTo(const cv::Point2d & q)
  {
    const Clock::time_point start = Clock::now();
    const bool ok = routeWithoutTiming(q);
    timings_.transits += secondsSince(start);
    return ok;
  }

  /// Moves from the end of one lane (@p from, the last point) to the start
  /// of the next (@p to) of the same region: straight when clear, else back
  /// along the swept lane or ahead along the next one and across, else a
  /// shortest route.
  void connectLanes(const Interval & done, const Interval & next, const LaneFrame & frame)
  {
    const Clock::time_point start = Clock::now();
    connect(done, next, frame);
    timings_.transits += secondsSince(start);
  }

  std::int64_t routedPixels() const { return router_.expanded(); }

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
      if (segmentClear(safe_, points[i - 1], points[i])) {
        add(points[i], kinds[i - 1]);
      } else {
        ++repaired;
        routeWithoutTiming(points[i]);
      }
    }
    return repaired;
  }

private:
  bool routeWithoutTiming(const cv::Point2d & q)
  {
    const cv::Point2d p = last();
    if (segmentClear(safe_, p, q)) {
      add(q, SegmentKind::Transit);
      return true;
    }
    const cv::Point from(cvRound(p.x), cvRound(p.y));
    const cv::Point to(cvRound(q.x), cvRound(q.y));
    if (!router_.route(from, to, pixels_)) {
      return false;
    }
    const std::vector<cv::Point2d> route = simplifiedRoute(safe_, p, pixels_, q, kRouteEpsilon);
    for (std::size_t i = 1; i < route.size(); ++i) {
      add(route[i], SegmentKind::Transit);
    }
    return true;
  }

  void connect(const Interval & done, const Interval & next, const LaneFrame & frame)
  {
    const cv::Point2d from = last();
    // The next lane is entered at the end on the side where this one ended.
    const double sFrom = frame.sOf(from);
    const bool atHigh = std::abs(sFrom - done.s1) <= std::abs(sFrom - done.s0);
    const cv::Point2d to = atHigh ? next.p1 : next.p0;
    const double sTo = atHigh ? next.s1 : next.s0;
    if (segmentClear(safe_, from, to)) {
      add(to, SegmentKind::Transit);
      return;
    }
    const auto onLane = [&frame](const Interval & iv, double s) {
      const double u = (s - iv.s0) / (iv.s1 - iv.s0);
      return iv.s1 > iv.s0 ? iv.p0 + (iv.p1 - iv.p0) * u : iv.p0;
    };
    // Back along the lane just swept, then across.
    if (sTo >= done.s0 && sTo <= done.s1) {
      const cv::Point2d corner = onLane(done, sTo);
      if (segmentClear(safe_, corner, to)) {
        add(corner, SegmentKind::Transit);
        add(to, SegmentKind::Transit);
        return;
      }
    }
    // Across, then along the next lane to its end.
    if (sFrom >= next.s0 && sFrom <= next.s1) {
      const cv::Point2d corner = onLane(next, sFrom);
      if (segmentClear(safe_, from, corner)) {
        add(corner, SegmentKind::Transit);
        add(to, SegmentKind::Transit);
        return;
      }
    }
    routeWithoutTiming(to);
  }

  const cv::Mat & safe_;
  TwoLevelRouter router_;
  Timings & timings_;
  std::vector<cv::Point2d> points_;
  std::vector<SegmentKind> kinds_;
  std::vector<cv::Point> pixels_;
};

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

/// The intervals of every lane, in lane order and, within a lane, by s.
std::vector<Interval> laneIntervals(
  const cv::Mat & safe, const cv::Rect & box, const LaneFrame & frame, double spacing,
  double halfSwath, double clearance)
{
  const auto [tLo, tHi] = tExtent(safe, box, frame);
  // The extreme lanes through the extreme safe pixel centres, the others
  // spread evenly between them; one lane in the middle when, from there, it
  // reaches as far toward both walls as lanes at the extremes would
  // (half a swath beyond the safe pixels, which keep @p clearance from them).
  std::vector<double> ts;
  const double extent = tHi - tLo;
  const int gaps = static_cast<int>(std::ceil(extent / spacing));
  if (gaps <= 0 || extent <= 2.0 * (halfSwath - clearance)) {
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
    for (const auto & [s0, s1] : laneRuns(safe, q, frame.alongS, frame.stretchS, sLo, sHi)) {
      Interval iv;
      iv.lane = static_cast<int>(k);
      iv.s0 = s0;
      iv.s1 = s1;
      iv.p0 = frame.toWork(s0, ts[k]);
      iv.p1 = frame.toWork(s1, ts[k]);
      intervals.push_back(iv);
    }
  }
  return intervals;
}

/// Chains the intervals into regions (an interval continues into the next
/// lane's when each is the other's only overlap) and lists which regions
/// touch (overlapping intervals on neighbouring lanes).
std::vector<Region> chainRegions(
  std::vector<Interval> & intervals, std::vector<std::vector<int>> & neighbours)
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
  neighbours.assign(regions.size(), {});
  for (const auto & [a, b] : overlaps) {
    const int ra = intervals[static_cast<std::size_t>(a)].region;
    const int rb = intervals[static_cast<std::size_t>(b)].region;
    if (ra != rb) {
      neighbours[static_cast<std::size_t>(ra)].push_back(rb);
      neighbours[static_cast<std::size_t>(rb)].push_back(ra);
    }
  }
  for (auto & list : neighbours) {
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
  }
  return regions;
}

const Interval & entryLane(
  const Region & r, const std::vector<Interval> & intervals, const Entry & e)
{
  return intervals[static_cast<std::size_t>(e.fromTop ? r.members.front() : r.members.back())];
}

cv::Point2d entryPoint(const Region & r, const std::vector<Interval> & intervals, const Entry & e)
{
  const Interval & iv = entryLane(r, intervals, e);
  return e.lowFirst ? iv.p0 : iv.p1;
}

/// Sweeps region @p r entered by @p e: its lanes in turn, alternating
/// direction, joined at their ends. The builder is at the entry point.
void sweepRegion(
  PathBuilder & path, const Region & r, const std::vector<Interval> & intervals, const Entry & e,
  const LaneFrame & frame, int & lanes)
{
  const std::size_t m = r.members.size();
  for (std::size_t j = 0; j < m; ++j) {
    const std::size_t k = e.fromTop ? j : m - 1 - j;
    const Interval & iv = intervals[static_cast<std::size_t>(r.members[k])];
    const bool low = e.lowFirst == (j % 2 == 0);
    if (j > 0) {
      const std::size_t kPrev = e.fromTop ? j - 1 : m - j;
      path.connectLanes(intervals[static_cast<std::size_t>(r.members[kPrev])], iv, frame);
    }
    path.add(low ? iv.p1 : iv.p0, SegmentKind::Lane);
    ++lanes;
  }
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

/// Passes along the safe boundary where its pixels would sweep uncovered
/// coverable cells: runs of such boundary pixels, gaps of up to @p gap
/// pixels bridged, each as a pixel chain.
std::vector<std::vector<cv::Point>> cleanupRuns(
  const cv::Mat & safe, const cv::Mat & uncovered, double halfSwath, int gap)
{
  std::vector<cv::Point> disc;
  const int reach = static_cast<int>(std::floor(halfSwath));
  for (int dy = -reach; dy <= reach; ++dy) {
    for (int dx = -reach; dx <= reach; ++dx) {
      if (dx * dx + dy * dy <= halfSwath * halfSwath) {
        disc.emplace_back(dx, dy);
      }
    }
  }
  // Nearest offsets first: an uncovered cell is usually close to the wall.
  std::stable_sort(disc.begin(), disc.end(), [](const cv::Point & p, const cv::Point & q) {
    return p.x * p.x + p.y * p.y < q.x * q.x + q.y * q.y;
  });
  const auto useful = [&](const cv::Point & p) {
    for (const cv::Point & o : disc) {
      const int x = p.x + o.x;
      const int y = p.y + o.y;
      if (
        x >= 0 && y >= 0 && x < uncovered.cols && y < uncovered.rows &&
        uncovered.ptr<uchar>(y)[x] != 0) {
        return true;
      }
    }
    return false;
  };
  std::vector<std::vector<cv::Point>> runs;
  for (const auto & chain : boundaryChains(safe)) {
    const std::size_t n = chain.size();
    std::vector<char> flag(n);
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
      flag[i] = useful(chain[i]) ? 1 : 0;
      any = any || flag[i] != 0;
    }
    if (!any) {
      continue;
    }
    std::vector<cv::Point> run;
    std::size_t lastUseful = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (flag[i] == 0) {
        continue;
      }
      if (!run.empty() && i - lastUseful > static_cast<std::size_t>(gap) + 1) {
        runs.push_back(std::move(run));
        run.clear();
      }
      const std::size_t from = run.empty() ? i : lastUseful + 1;
      for (std::size_t k = from; k <= i; ++k) {
        run.push_back(chain[k]);
      }
      lastUseful = i;
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

/// Nearest pixel centre of @p safe (non-zero) to @p p; nothing when none.
std::optional<cv::Point> nearestSafePixel(const cv::Mat & safe, const cv::Point2d & p)
{
  std::optional<cv::Point> best;
  double bestD = std::numeric_limits<double>::infinity();
  for (int y = 0; y < safe.rows; ++y) {
    const uchar * row = safe.ptr<uchar>(y);
    const double dy = y - p.y;
    if (dy * dy >= bestD) {
      continue;
    }
    for (int x = 0; x < safe.cols; ++x) {
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
  cv::Mat clearance;
  cv::distanceTransform(work, clearance, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
  cv::Mat fits;
  cv::compare(clearance, settings.radiusPx + kClearanceMargin, fits, cv::CMP_GE);
  cv::Mat labels;
  cv::Mat stats;
  cv::Mat centroids;
  const int count = cv::connectedComponentsWithStats(fits, labels, stats, centroids, 4, CV_32S);

  // The reachable part: the start's component, or the largest one.
  int label = 0;
  const cv::Point2d startWork = settings.start - cv::Point2d(offset.x, offset.y);
  if (settings.hasStart) {
    // Every pixel whose square holds the start must be a fitting pixel of
    // one component.
    const int c0 = static_cast<int>(std::ceil(startWork.x - 0.5 - 1e-9));
    const int c1 = static_cast<int>(std::floor(startWork.x + 0.5 + 1e-9));
    const int r0 = static_cast<int>(std::ceil(startWork.y - 0.5 - 1e-9));
    const int r1 = static_cast<int>(std::floor(startWork.y + 0.5 + 1e-9));
    for (int r = r0; r <= r1 && label >= 0; ++r) {
      for (int c = c0; c <= c1 && label >= 0; ++c) {
        const int l =
          (c >= 0 && r >= 0 && c < labels.cols && r < labels.rows) ? labels.at<int>(r, c) : 0;
        label = (l == 0 || (label > 0 && l != label)) ? -1 : l;
      }
    }
    if (label <= 0) {
      out.startRejected = true;
      const std::optional<cv::Point> nearest = nearestSafePixel(fits, startWork);
      if (nearest) {
        out.hasNearestStart = true;
        out.nearestStart = cv::Point2d(nearest->x + offset.x, nearest->y + offset.y);
      }
      return out;
    }
  } else {
    int bestArea = 0;
    for (int l = 1; l < count; ++l) {
      if (stats.at<int>(l, cv::CC_STAT_AREA) > bestArea) {
        bestArea = stats.at<int>(l, cv::CC_STAT_AREA);
        label = l;
      }
    }
  }
  if (label == 0) {
    cv::compare(free, 255, out.unreachable, cv::CMP_EQ);
    out.unreachableCells = cv::countNonZero(out.unreachable);
    time.total = secondsSince(start);
    return out;
  }
  cv::Mat safe;
  cv::compare(labels, label, safe, cv::CMP_EQ);
  const cv::Rect safeBox(
    stats.at<int>(label, cv::CC_STAT_LEFT), stats.at<int>(label, cv::CC_STAT_TOP),
    stats.at<int>(label, cv::CC_STAT_WIDTH), stats.at<int>(label, cv::CC_STAT_HEIGHT));

  // The coverable floor: free cells within half a swath of a safe pixel.
  const double halfSwath = settings.swathPx / 2.0;
  const int pad = static_cast<int>(std::ceil(halfSwath)) + 1;
  const cv::Rect near =
    cv::Rect(safeBox.x - pad, safeBox.y - pad, safeBox.width + 2 * pad, safeBox.height + 2 * pad) &
    cv::Rect(0, 0, work.cols, work.rows);
  cv::Mat coverable = cv::Mat::zeros(work.size(), CV_8UC1);
  {
    cv::Mat outside;
    cv::compare(safe(near), 0, outside, cv::CMP_EQ);
    cv::Mat toSafe;
    cv::distanceTransform(outside, toSafe, cv::DIST_L2, cv::DIST_MASK_PRECISE, CV_32F);
    cv::Mat within;
    cv::compare(toSafe, halfSwath, within, cv::CMP_LE);
    cv::bitwise_and(within, work(near), coverable(near));
  }

  // Lanes, regions and the sweep.
  const LaneFrame frame(rotation, offset);
  std::vector<Interval> intervals = laneIntervals(
    safe, safeBox, frame, settings.spacingPx, halfSwath, settings.radiusPx + kClearanceMargin);
  std::vector<std::vector<int>> neighbours;
  const std::vector<Region> regions = chainRegions(intervals, neighbours);

  // Blocks of about a third of the swath for long routes.
  PathBuilder path(safe, static_cast<int>(std::floor(settings.swathPx / 2.5)), time);
  int lanes = 0;
  if (settings.hasStart) {
    path.begin(startWork);
  }
  std::vector<char> visited(regions.size(), 0);
  std::vector<char> inFrontier(regions.size(), 0);
  std::vector<int> frontier;
  int current = -1;
  for (std::size_t done = 0; done < regions.size(); ++done) {
    // Candidates: the unvisited neighbours of the region just swept, else
    // those of any swept region, else all.
    std::vector<int> candidates;
    if (current >= 0) {
      for (const int r : neighbours[static_cast<std::size_t>(current)]) {
        if (visited[static_cast<std::size_t>(r)] == 0) {
          candidates.push_back(r);
        }
      }
    }
    if (candidates.empty()) {
      for (const int r : frontier) {
        if (visited[static_cast<std::size_t>(r)] == 0) {
          candidates.push_back(r);
        }
      }
    }
    if (candidates.empty()) {
      for (std::size_t r = 0; r < regions.size(); ++r) {
        if (visited[r] == 0) {
          candidates.push_back(static_cast<int>(r));
        }
      }
    }
    int best = candidates.front();
    Entry bestEntry = kEntries[0];
    if (!path.empty()) {
      double bestD = std::numeric_limits<double>::infinity();
      for (const int r : candidates) {
        for (const Entry & e : kEntries) {
          const cv::Point2d d =
            entryPoint(regions[static_cast<std::size_t>(r)], intervals, e) - path.last();
          const double d2 = d.dot(d);
          if (d2 < bestD) {
            bestD = d2;
            best = r;
            bestEntry = e;
          }
        }
      }
    }
    const Region & region = regions[static_cast<std::size_t>(best)];
    visited[static_cast<std::size_t>(best)] = 1;
    current = best;
    for (const int r : neighbours[static_cast<std::size_t>(best)]) {
      if (inFrontier[static_cast<std::size_t>(r)] == 0) {
        inFrontier[static_cast<std::size_t>(r)] = 1;
        frontier.push_back(r);
      }
    }
    const cv::Point2d entry = entryPoint(region, intervals, bestEntry);
    if (path.empty()) {
      path.begin(entry);
    } else if (!path.routeTo(entry)) {
      continue;
    }
    sweepRegion(path, region, intervals, bestEntry, frame, lanes);
  }
  if (path.empty()) {
    // No lane crosses the reachable part: start at its first pixel.
    const std::optional<cv::Point> first = nearestSafePixel(safe, cv::Point2d(0.0, 0.0));
    path.begin(cv::Point2d(first->x, first->y));
  }

  // Passes along the walls for the coverable cells the lanes missed.
  const Clock::time_point cleanupStart = Clock::now();
  cv::Mat swept = cv::Mat::zeros(work.size(), CV_8UC1);
  {
    const std::vector<cv::Point2d> & pts = path.points();
    if (pts.size() == 1) {
      sweepSegment(swept, pts[0], pts[0], halfSwath);
    }
    for (std::size_t i = 1; i < pts.size(); ++i) {
      sweepSegment(swept, pts[i - 1], pts[i], halfSwath);
    }
  }
  cv::Mat uncovered;
  cv::bitwise_and(coverable, ~swept, uncovered);
  std::vector<std::vector<cv::Point>> runs =
    cleanupRuns(safe, uncovered, halfSwath, static_cast<int>(std::ceil(settings.spacingPx)));
  std::vector<std::vector<cv::Point2d>> passes;
  for (const auto & run : runs) {
    const cv::Point2d a(run.front().x, run.front().y);
    const cv::Point2d b(run.back().x, run.back().y);
    passes.push_back(simplifiedRoute(safe, a, run, b, kPassEpsilon));
  }
  std::vector<char> used(passes.size(), 0);
  int cleanupPasses = 0;
  for (std::size_t k = 0; k < passes.size(); ++k) {
    std::size_t best = 0;
    bool reversed = false;
    double bestD = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < passes.size(); ++i) {
      if (used[i] != 0) {
        continue;
      }
      const cv::Point2d d0 = passes[i].front() - path.last();
      const cv::Point2d d1 = passes[i].back() - path.last();
      if (d0.dot(d0) < bestD) {
        bestD = d0.dot(d0);
        best = i;
        reversed = false;
      }
      if (d1.dot(d1) < bestD) {
        bestD = d1.dot(d1);
        best = i;
        reversed = true;
      }
    }
    used[best] = 1;
    std::vector<cv::Point2d> pass = passes[best];
    if (reversed) {
      std::reverse(pass.begin(), pass.end());
    }
    if (!path.routeTo(pass.front())) {
      continue;
    }
    for (std::size_t i = 1; i < pass.size(); ++i) {
      path.add(pass[i], SegmentKind::Lane);
    }
    ++cleanupPasses;
  }
  time.cleanup = secondsSince(cleanupStart);
  path.repairSegments();

  // The figures, from the band the whole path sweeps.
  swept.setTo(0);
  const std::vector<cv::Point2d> & pts = path.points();
  if (pts.size() == 1) {
    sweepSegment(swept, pts[0], pts[0], halfSwath);
  }
  for (std::size_t i = 1; i < pts.size(); ++i) {
    sweepSegment(swept, pts[i - 1], pts[i], halfSwath);
  }
  cv::Mat covered;
  cv::bitwise_and(swept, coverable, covered);
  out.coverableCells = cv::countNonZero(coverable);
  out.coveredCells = cv::countNonZero(covered);
  coverable(cv::Rect(1, 1, crop.width, crop.height)).copyTo(out.coverable(crop));
  cv::compare(free, 255, out.unreachable, cv::CMP_EQ);
  out.unreachable.setTo(0, out.coverable);
  out.unreachableCells = cv::countNonZero(out.unreachable);
  out.points.reserve(pts.size());
  for (const cv::Point2d & p : pts) {
    out.points.emplace_back(p.x + offset.x, p.y + offset.y);
  }
  out.kinds = path.kinds();
  out.lanes = lanes;
  out.cleanupPasses = cleanupPasses;
  time.routedPixels = path.routedPixels();
  time.total = secondsSince(start);
  return out;
}

}  // namespace coverage_path
}  // namespace quorvane
