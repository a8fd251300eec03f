#include "coverage_path_route.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "simplify.hpp"

namespace quorvane
{
namespace coverage_path
{
namespace
{

/// Slack with which a square counts as touched: a segment passing within
/// this of a square's edge or corner passes through it.
constexpr double kTouch = 1e-9;

bool isSafe(const cv::Mat & safe, int c, int r)
{
  return c >= 0 && r >= 0 && c < safe.cols && r < safe.rows && safe.ptr<uchar>(r)[c] != 0;
}

constexpr int kDx[8] = {1, -1, 0, 0, 1, 1, -1, -1};
constexpr int kDy[8] = {0, 0, 1, -1, 1, -1, 1, -1};
constexpr float kStep[8] = {1.0F,        1.0F,        1.0F,        1.0F,
                            1.41421356F, 1.41421356F, 1.41421356F, 1.41421356F};
constexpr std::uint8_t kNoMove = 8;

float octile(int dx, int dy)
{
  const int ax = std::abs(dx);
  const int ay = std::abs(dy);
  const int lo = std::min(ax, ay);
  const int hi = std::max(ax, ay);
  return static_cast<float>(hi - lo) + 1.41421356F * static_cast<float>(lo);
}

}  // namespace

bool segmentClear(const cv::Mat & safe, const cv::Point2d & a, const cv::Point2d & b)
{
  // Walk the slabs of the dominant axis (u); in each, the segment spans an
  // interval of the other axis (v) whose touched pixels are all checked.
  const bool alongX = std::abs(b.x - a.x) >= std::abs(b.y - a.y);
  const double au = alongX ? a.x : a.y;
  const double av = alongX ? a.y : a.x;
  const double bu = alongX ? b.x : b.y;
  const double bv = alongX ? b.y : b.x;
  const double du = bu - au;
  const double dv = bv - av;
  const double ulo = std::min(au, bu);
  const double uhi = std::max(au, bu);
  const int c0 = static_cast<int>(std::ceil(ulo - 0.5 - kTouch));
  const int c1 = static_cast<int>(std::floor(uhi + 0.5 + kTouch));
  for (int c = c0; c <= c1; ++c) {
    const double lo = std::max(ulo, c - 0.5);
    const double hi = std::max(lo, std::min(uhi, c + 0.5));
    double vlo = std::min(av, bv);
    double vhi = std::max(av, bv);
    if (du != 0.0) {
      const double v1 = av + (lo - au) * dv / du;
      const double v2 = av + (hi - au) * dv / du;
      vlo = std::min(v1, v2);
      vhi = std::max(v1, v2);
    }
    const int r0 = static_cast<int>(std::ceil(vlo - 0.5 - kTouch));
    const int r1 = static_cast<int>(std::floor(vhi + 0.5 + kTouch));
    for (int r = r0; r <= r1; ++r) {
      if (!(alongX ? isSafe(safe, c, r) : isSafe(safe, r, c))) {
        return false;
      }
    }
  }
  return true;
}

void sweepSegment(cv::Mat & swept, const cv::Point2d & a, const cv::Point2d & b, double halfWidth)
{
  const double r2 = halfWidth * halfWidth;
  const int row0 = std::max(0, static_cast<int>(std::ceil(std::min(a.y, b.y) - halfWidth)));
  const int row1 =
    std::min(swept.rows - 1, static_cast<int>(std::floor(std::max(a.y, b.y) + halfWidth)));
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length = std::hypot(dx, dy);
  const double inf = std::numeric_limits<double>::infinity();
  for (int r = row0; r <= row1; ++r) {
    double lo = inf;
    double hi = -inf;
    // The round ends: the discs about a and b cut by the row.
    for (const cv::Point2d & p : {a, b}) {
      const double e = r - p.y;
      const double w2 = r2 - e * e;
      if (w2 >= 0.0) {
        const double w = std::sqrt(w2);
        lo = std::min(lo, p.x - w);
        hi = std::max(hi, p.x + w);
      }
    }
    // The middle: points whose foot lies on the segment, within halfWidth of
    // it. Both conditions are linear in x along the row.
    if (length > 0.0) {
      const double ux = dx / length;
      const double uy = dy / length;
      double xlo = -inf;
      double xhi = inf;
      const auto clip = [&](double coef, double constant, double mn, double mx) {
        // mn <= coef * (x - a.x) + constant <= mx
        if (std::abs(coef) < 1e-12) {
          if (constant < mn || constant > mx) {
            xlo = inf;
          }
          return;
        }
        double x1 = (mn - constant) / coef + a.x;
        double x2 = (mx - constant) / coef + a.x;
        if (x1 > x2) {
          std::swap(x1, x2);
        }
        xlo = std::max(xlo, x1);
        xhi = std::min(xhi, x2);
      };
      clip(ux, (r - a.y) * uy, 0.0, length);
      clip(-uy, (r - a.y) * ux, -halfWidth, halfWidth);
      if (xlo <= xhi) {
        lo = std::min(lo, xlo);
        hi = std::max(hi, xhi);
      }
    }
    if (lo > hi) {
      continue;
    }
    const int c0 = std::max(0, static_cast<int>(std::ceil(lo)));
    const int c1 = std::min(swept.cols - 1, static_cast<int>(std::floor(hi)));
    if (c0 <= c1) {
      std::fill_n(swept.ptr<uchar>(r) + c0, c1 - c0 + 1, static_cast<uchar>(255));
    }
  }
}

GridRouter::GridRouter(const cv::Mat & safe) : safe_(safe) {}

bool GridRouter::route(
  const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route, std::int64_t limit)
{
  return search(from, to, nullptr, 1, route, limit);
}

bool GridRouter::routeWithin(
  const cv::Point & from, const cv::Point & to, const cv::Mat & corridor, int block,
  std::vector<cv::Point> & route)
{
  return search(from, to, &corridor, block, route, -1);
}

bool GridRouter::search(
  const cv::Point & from, const cv::Point & to, const cv::Mat * corridor, int block,
  std::vector<cv::Point> & route, std::int64_t limit)
{
  route.clear();
  const int width = safe_.cols;
  if (!isSafe(safe_, from.x, from.y) || !isSafe(safe_, to.x, to.y)) {
    return false;
  }
  const auto estimate = [&to](int x, int y) { return octile(to.x - x, to.y - y); };
  const auto allowed = [corridor, block](int x, int y) {
    return corridor == nullptr || corridor->ptr<uchar>(y / block + 1)[x / block + 1] != 0;
  };
  if (g_.empty()) {
    const std::size_t n = static_cast<std::size_t>(safe_.rows) * static_cast<std::size_t>(width);
    g_.resize(n);
    stamp_.assign(n, 0U);
    from_.resize(n);
  }
  if (++search_ == 0U) {
    std::fill(stamp_.begin(), stamp_.end(), 0U);
    search_ = 1U;
  }
  const auto indexOf = [width](int x, int y) {
    return static_cast<std::int32_t>(y) * width + static_cast<std::int32_t>(x);
  };
  // Lowest f first; among equal f the deeper node, which walks straight on.
  const auto later = [](const Open & p, const Open & q) {
    return p.f > q.f || (p.f == q.f && p.g < q.g);
  };
  const std::int32_t start = indexOf(from.x, from.y);
  const std::int32_t goal = indexOf(to.x, to.y);
  heap_.clear();
  g_[static_cast<std::size_t>(start)] = 0.0F;
  stamp_[static_cast<std::size_t>(start)] = search_;
  from_[static_cast<std::size_t>(start)] = kNoMove;
  heap_.push_back({estimate(from.x, from.y), 0.0F, start});
  bool found = false;
  std::int64_t settled = 0;
  while (!heap_.empty()) {
    std::pop_heap(heap_.begin(), heap_.end(), later);
    const Open top = heap_.back();
    heap_.pop_back();
    if (top.g > g_[static_cast<std::size_t>(top.index)]) {
      continue;  // reached again more cheaply since it was queued
    }
    ++expanded_;
    const int x = top.index % width;
    const int y = top.index / width;
    if (top.index == goal) {
      found = true;
      break;
    }
    if (limit >= 0 && ++settled > limit) {
      break;
    }
    const uchar * row = safe_.ptr<uchar>(y);
    for (int d = 0; d < 8; ++d) {
      const int nx = x + kDx[d];
      const int ny = y + kDy[d];
      if (safe_.ptr<uchar>(ny)[nx] == 0 || !allowed(nx, ny)) {
        continue;
      }
      if (d >= 4 && (row[nx] == 0 || safe_.ptr<uchar>(ny)[x] == 0)) {
        continue;  // a diagonal step may not cut a corner
      }
      const std::int32_t ni = indexOf(nx, ny);
      const auto n = static_cast<std::size_t>(ni);
      const float ng = top.g + kStep[d];
      if (stamp_[n] != search_ || ng < g_[n]) {
        stamp_[n] = search_;
        g_[n] = ng;
        from_[n] = static_cast<std::uint8_t>(d);
        heap_.push_back({ng + estimate(nx, ny), ng, ni});
        std::push_heap(heap_.begin(), heap_.end(), later);
      }
    }
  }
  if (!found) {
    return false;
  }
  cv::Point p(goal % width, goal / width);
  route.push_back(p);
  for (std::uint8_t d = from_[static_cast<std::size_t>(goal)]; d != kNoMove;
       d = from_[static_cast<std::size_t>(indexOf(p.x, p.y))]) {
    p.x -= kDx[d];
    p.y -= kDy[d];
    route.push_back(p);
  }
  std::reverse(route.begin(), route.end());
  return true;
}

namespace
{

/// One pixel per block of @p safe, 255 when the block holds a safe pixel,
/// with a frame of zeros.
cv::Mat blocksWithSafePixels(const cv::Mat & safe, int block)
{
  const int cols = (safe.cols + block - 1) / block;
  const int rows = (safe.rows + block - 1) / block;
  cv::Mat blocks = cv::Mat::zeros(rows + 2, cols + 2, CV_8UC1);
  for (int y = 0; y < safe.rows; ++y) {
    const uchar * row = safe.ptr<uchar>(y);
    uchar * out = blocks.ptr<uchar>(y / block + 1) + 1;
    for (int x = 0; x < safe.cols; ++x) {
      if (row[x] != 0) {
        out[x / block] = 255;
      }
    }
  }
  return blocks;
}

}  // namespace

TwoLevelRouter::TwoLevelRouter(const cv::Mat & safe, int block)
: safe_(safe),
  block_(std::max(1, block)),
  fine_(safe),
  blocks_(block_ > 1 ? blocksWithSafePixels(safe, block_) : cv::Mat()),
  corridor_(blocks_.size(), CV_8UC1, cv::Scalar(0)),
  coarse_(blocks_)
{
}

std::int64_t TwoLevelRouter::expanded() const { return fine_.expanded() + coarse_.expanded(); }

bool TwoLevelRouter::route(
  const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route)
{
  if (block_ <= 1) {
    return fine_.route(from, to, route);
  }
  // Near ends first on the pixels: a detour of a few blocks costs little.
  const std::int64_t nearLimit = 256LL * block_ * block_;
  if (fine_.route(from, to, route, nearLimit)) {
    return true;
  }
  const cv::Point a(from.x / block_ + 1, from.y / block_ + 1);
  const cv::Point b(to.x / block_ + 1, to.y / block_ + 1);
  if (coarse_.route(a, b, blockRoute_)) {
    // The corridor: the blocks of the route and their neighbours.
    for (const cv::Point & c : blockRoute_) {
      corridor_(cv::Rect(c.x - 1, c.y - 1, 3, 3)).setTo(255);
    }
    const bool found = fine_.routeWithin(from, to, corridor_, block_, route);
    for (const cv::Point & c : blockRoute_) {
      corridor_(cv::Rect(c.x - 1, c.y - 1, 3, 3)).setTo(0);
    }
    if (found) {
      return true;
    }
  }
  return fine_.route(from, to, route);
}

std::vector<cv::Point2d> simplifiedRoute(
  const cv::Mat & safe, const cv::Point2d & from, const std::vector<cv::Point> & route,
  const cv::Point2d & to, double epsilon)
{
  std::vector<std::size_t> kept{0};
  if (route.size() >= 2) {
    kept = simplify::keptIndices(simplify::polylineArrays(route), epsilon, -1.0);
  }
  const auto at = [&route](std::size_t i) { return cv::Point2d(route[i].x, route[i].y); };
  // Check each kept span; split a failing one at its middle pixel. The spans
  // waiting to be checked are a stack, last span on top, so the kept indices
  // come out in order.
  std::vector<std::size_t> checked{kept.front()};
  std::vector<std::size_t> pending;
  for (std::size_t k = 1; k < kept.size(); ++k) {
    pending.push_back(kept[k]);
    while (!pending.empty()) {
      const std::size_t a = checked.back();
      const std::size_t b = pending.back();
      if (b - a <= 1 || segmentClear(safe, at(a), at(b))) {
        checked.push_back(b);
        pending.pop_back();
      } else {
        pending.push_back(a + (b - a) / 2);
      }
    }
  }
  std::vector<cv::Point2d> out{from};
  for (const std::size_t i : checked) {
    const cv::Point2d p = at(i);
    if (p != out.back() && p != to) {
      out.push_back(p);
    }
  }
  if (out.back() != to) {
    out.push_back(to);
  }
  return out;
}

}  // namespace coverage_path
}  // namespace quorvane
