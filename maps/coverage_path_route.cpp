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

/// A coordinate within this of a line between pixels counts as on it, so
/// that both pixels beside the line are checked.
constexpr double kOnLine = 1e-9;

float slackAt(const cv::Mat & slack, int c, int r)
{
  return c >= 0 && r >= 0 && c < slack.cols && r < slack.rows ? slack.ptr<float>(r)[c] : -1.0F;
}

/// The pixel indices k whose closed interval [k - 0.5, k + 0.5] holds @p v.
void indicesHolding(double v, int & lo, int & hi)
{
  lo = static_cast<int>(std::ceil(v - 0.5 - kOnLine));
  hi = static_cast<int>(std::floor(v + 0.5 + kOnLine));
}

bool onLine(double v) { return std::abs(v - std::floor(v) - 0.5) <= kOnLine; }

/// The first pixel (rows, then columns, in order) whose closed square holds
/// @p p and for which @p test is true; false when there is none.
template <typename Test>
bool anyPixelHolding(const cv::Point2d & p, Test && test)
{
  int c0 = 0;
  int c1 = 0;
  int r0 = 0;
  int r1 = 0;
  indicesHolding(p.x, c0, c1);
  indicesHolding(p.y, r0, r1);
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      if (test(c, r)) {
        return true;
      }
    }
  }
  return false;
}

/// Squared distance from @p p to the centre of pixel (@p c, @p r).
double squaredDistance(const cv::Point2d & p, int c, int r)
{
  const double dx = p.x - c;
  const double dy = p.y - r;
  return dx * dx + dy * dy;
}

/// Every pixel whose closed square holds @p p keeps slack >= its distance to @p p.
bool pointClear(const cv::Mat & slack, const cv::Point2d & p)
{
  return !anyPixelHolding(p, [&](int c, int r) {
    const double s = slackAt(slack, c, r);
    return s < kHalfDiagonal && (s < 0.0 || s * s < squaredDistance(p, c, r));
  });
}

/// The piece @p p - @p q lies in one closed square (two when it runs along a
/// line): each such pixel keeps slack >= the distance to the farther end.
bool pieceClear(const cv::Mat & slack, const cv::Point2d & p, const cv::Point2d & q)
{
  // Most pieces lie inside one square, away from its edges.
  const double mx = (p.x + q.x) / 2.0;
  const double my = (p.y + q.y) / 2.0;
  const int c = static_cast<int>(std::floor(mx + 0.5));
  const int r = static_cast<int>(std::floor(my + 0.5));
  if (std::abs(mx - c) < 0.5 - kOnLine && std::abs(my - r) < 0.5 - kOnLine) {
    const double s = slackAt(slack, c, r);
    return s >= kHalfDiagonal ||
           (s >= 0.0 && s * s >= std::max(squaredDistance(p, c, r), squaredDistance(q, c, r)));
  }
  int c0 = 0;
  int c1 = 0;
  int r0 = 0;
  int r1 = 0;
  indicesHolding(mx, c0, c1);
  indicesHolding(my, r0, r1);
  for (int row = r0; row <= r1; ++row) {
    for (int col = c0; col <= c1; ++col) {
      const double s = slackAt(slack, col, row);
      if (
        s < kHalfDiagonal &&
        (s < 0.0 || s * s < std::max(squaredDistance(p, col, row), squaredDistance(q, col, row)))) {
        return false;
      }
    }
  }
  return true;
}

/// @p v, or the line between pixels it lies on within kOnLine.
double ontoLine(double v)
{
  const double line = std::floor(v) + 0.5;
  return std::abs(v - line) <= kOnLine ? line : v;
}

/// Cuts @p a - @p b where it crosses the lines between pixels (x or y =
/// k + 0.5) and calls piece(t0, p0, t1, p1, corner) for each piece in order
/// (t the parameter along the segment, corner true when p1 lies on a line of
/// each direction, where four squares meet); stops when it returns false.
template <typename Piece>
bool forEachPiece(const cv::Point2d & a, const cv::Point2d & b, Piece && piece)
{
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double inf = std::numeric_limits<double>::infinity();
  // The next line crossed in each direction, k meaning the line at k + 0.5.
  const int sx = dx > 0.0 ? 1 : (dx < 0.0 ? -1 : 0);
  const int sy = dy > 0.0 ? 1 : (dy < 0.0 ? -1 : 0);
  int kx = sx > 0 ? static_cast<int>(std::floor(a.x - 0.5)) + 1
                  : static_cast<int>(std::ceil(a.x - 0.5)) - 1;
  int ky = sy > 0 ? static_cast<int>(std::floor(a.y - 0.5)) + 1
                  : static_cast<int>(std::ceil(a.y - 0.5)) - 1;
  double tx = sx != 0 ? (kx + 0.5 - a.x) / dx : inf;
  double ty = sy != 0 ? (ky + 0.5 - a.y) / dy : inf;
  double tPrev = 0.0;
  cv::Point2d pPrev = a;
  while (true) {
    const double t = std::min(tx, ty);
    if (!(t < 1.0)) {
      break;
    }
    const bool crossesX = tx == t;
    const bool crossesY = ty == t;
    cv::Point2d p(a.x + t * dx, a.y + t * dy);
    if (crossesX) {
      p.x = kx + 0.5;
      kx += sx;
      tx = (kx + 0.5 - a.x) / dx;
    }
    if (crossesY) {
      p.y = ky + 0.5;
      ky += sy;
      ty = (ky + 0.5 - a.y) / dy;
    }
    const bool corner = (crossesX || onLine(p.x)) && (crossesY || onLine(p.y));
    if (!piece(tPrev, pPrev, t, p, corner)) {
      return false;
    }
    tPrev = t;
    pPrev = p;
  }
  return piece(tPrev, pPrev, 1.0, b, false);
}

}  // namespace

bool segmentClear(const cv::Mat & slack, const cv::Point2d & a, const cv::Point2d & b)
{
  if (!pointClear(slack, a) || !pointClear(slack, b)) {
    return false;
  }
  return forEachPiece(
    a, b, [&slack](double, const cv::Point2d & p, double, const cv::Point2d & q, bool corner) {
      return pieceClear(slack, p, q) && (!corner || pointClear(slack, q));
    });
}

std::vector<ClearRun> clearRuns(
  const cv::Mat & slack, const cv::Point2d & a, const cv::Point2d & b, double inset)
{
  std::vector<ClearRun> runs;
  const double length = cv::norm(b - a);
  if (!(length > 2.0 * inset)) {
    return runs;
  }
  const double dt = inset / length;
  bool open = false;
  double runStart = 0.0;
  double runEnd = 0.0;
  const auto close = [&]() {
    if (open && runEnd - runStart > 2.0 * dt) {
      ClearRun run;
      run.t0 = runStart + dt;
      run.t1 = runEnd - dt;
      for (const auto & [t, p] :
           {std::pair<double, cv::Point2d *>{run.t0, &run.p0}, {run.t1, &run.p1}}) {
        const cv::Point2d q = a + (b - a) * t;
        *p = cv::Point2d(ontoLine(q.x), ontoLine(q.y));
      }
      runs.push_back(run);
    }
    open = false;
  };
  forEachPiece(
    a, b, [&](double t0, const cv::Point2d & p, double t1, const cv::Point2d & q, bool corner) {
      if (pieceClear(slack, p, q)) {
        if (!open) {
          open = true;
          runStart = t0;
        }
        runEnd = t1;
        if (corner && !pointClear(slack, q)) {
          close();
        }
      } else {
        close();
      }
      return true;
    });
  close();
  return runs;
}

bool diagonalStep(const cv::Mat & slack, const cv::Point2d & a, const cv::Point2d & b)
{
  const cv::Point2d d = b - a;
  if (
    std::abs(d.x) != 1.0 || std::abs(d.y) != 1.0 || a.x != std::floor(a.x) ||
    a.y != std::floor(a.y)) {
    return false;
  }
  const int c = static_cast<int>(a.x);
  const int r = static_cast<int>(a.y);
  return slackAt(slack, c, r) >= kHalfDiagonal &&
         slackAt(slack, c + static_cast<int>(d.x), r + static_cast<int>(d.y)) >= kHalfDiagonal;
}

bool anchorPixel(const cv::Mat & slack, const cv::Point2d & p, cv::Point & pixel)
{
  return anyPixelHolding(p, [&](int c, int r) {
    if (!segmentClear(slack, p, cv::Point2d(c, r))) {
      return false;
    }
    pixel = cv::Point(c, r);
    return true;
  });
}

void sweepSegment(cv::Mat & swept, const cv::Point2d & a, const cv::Point2d & b, double halfWidth)
{
  const double r2 = halfWidth * halfWidth;
  const int row0 = std::max(0, static_cast<int>(std::ceil(std::min(a.y, b.y) - halfWidth)));
  const int row1 =
    std::min(swept.rows - 1, static_cast<int>(std::floor(std::max(a.y, b.y) + halfWidth)));
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double length = std::sqrt(dx * dx + dy * dy);
  const double inf = std::numeric_limits<double>::infinity();
  // The middle of the band: points whose foot lies on the segment, within
  // halfWidth of it, that is 0 <= (x - a.x) ux + e uy <= length and
  // |(x - a.x) uy - e ux| <= halfWidth along row e = y - a.y; both linear in x.
  const double ux = length > 0.0 ? dx / length : 0.0;
  const double uy = length > 0.0 ? dy / length : 0.0;
  const bool alongX = std::abs(ux) >= 1e-12;
  const bool acrossX = std::abs(uy) >= 1e-12;
  const double invX = alongX ? 1.0 / ux : 0.0;
  const double invY = acrossX ? 1.0 / uy : 0.0;
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
    if (length > 0.0) {
      const double e = r - a.y;
      double xlo = -inf;
      double xhi = inf;
      // 0 <= (x - a.x) ux + e uy <= length
      if (alongX) {
        double x1 = (0.0 - e * uy) * invX;
        double x2 = (length - e * uy) * invX;
        if (x1 > x2) {
          std::swap(x1, x2);
        }
        xlo = std::max(xlo, x1 + a.x);
        xhi = std::min(xhi, x2 + a.x);
      } else if (e * uy < 0.0 || e * uy > length) {
        xlo = inf;
      }
      // -halfWidth <= (x - a.x) uy - e ux <= halfWidth
      if (acrossX) {
        double x1 = (e * ux - halfWidth) * invY;
        double x2 = (e * ux + halfWidth) * invY;
        if (x1 > x2) {
          std::swap(x1, x2);
        }
        xlo = std::max(xlo, x1 + a.x);
        xhi = std::min(xhi, x2 + a.x);
      } else if (std::abs(e * ux) > halfWidth) {
        xlo = inf;
      }
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

namespace
{

constexpr int kDx[8] = {1, -1, 0, 0, 1, 1, -1, -1};
constexpr int kDy[8] = {0, 0, 1, -1, 1, -1, 1, -1};
constexpr std::int32_t kAxisCost = 5;
constexpr std::int32_t kDiagonalCost = 7;
constexpr std::uint8_t kNoStep = 8;
constexpr int kBuckets = 16;  // > the largest rise of f in one step (2 * 7)

std::int32_t octile(int dx, int dy)
{
  const int ax = std::abs(dx);
  const int ay = std::abs(dy);
  return kAxisCost * std::max(ax, ay) + (kDiagonalCost - kAxisCost) * std::min(ax, ay);
}

}  // namespace

GridSearch::GridSearch(const cv::Mat & moves) : moves_(moves) {}

bool GridSearch::route(
  const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route,
  const Corridor * corridor, std::int32_t maxCost)
{
  return corridor != nullptr
           ? search<true, true>(from, to, nullptr, nullptr, corridor, maxCost, route)
           : search<true, false>(from, to, nullptr, nullptr, nullptr, maxCost, route);
}

bool GridSearch::nearest(
  const cv::Point & from, const cv::Mat & marks,
  const std::function<bool(const cv::Point &)> & accept, std::vector<cv::Point> & route,
  std::int32_t maxCost)
{
  return search<false, false>(from, from, &marks, &accept, nullptr, maxCost, route);
}

bool GridSearch::nearestToward(
  const cv::Point & from, const cv::Point & toward, const cv::Mat & marks,
  const std::function<bool(const cv::Point &)> & accept, std::vector<cv::Point> & route,
  std::int32_t maxCost)
{
  return search<true, false>(from, toward, &marks, &accept, nullptr, maxCost, route);
}

template <bool kToGoal, bool kCorridor>
bool GridSearch::search(
  const cv::Point & from, const cv::Point & to, const cv::Mat * marks,
  const std::function<bool(const cv::Point &)> * accept, const Corridor * corridor,
  std::int32_t maxCost, std::vector<cv::Point> & route)
{
  route.clear();
  const int width = moves_.cols;
  const auto standsAt = [this](const cv::Point & p) {
    return p.x >= 0 && p.y >= 0 && p.x < moves_.cols && p.y < moves_.rows &&
           (moves_.ptr<uchar>(p.y)[p.x] & kStand) != 0;
  };
  if (!standsAt(from) || (kToGoal && !standsAt(to))) {
    return false;
  }
  if (nodes_.empty()) {
    nodes_.assign(moves_.total(), Node{0, 0U});
    step_.resize(moves_.total());
  }
  if (++search_ == 0U) {
    std::fill(nodes_.begin(), nodes_.end(), Node{0, 0U});
    search_ = 1U;
  }
  for (auto & bucket : buckets_) {
    bucket.clear();
  }
  const uchar * moves = moves_.ptr<uchar>(0);
  const uchar * marked = marks != nullptr ? marks->ptr<uchar>(0) : nullptr;
  std::int32_t offset[8];
  for (int d = 0; d < 8; ++d) {
    offset[d] = kDy[d] * width + kDx[d];
  }
  const auto allowed = [corridor](int x, int y) {
    if constexpr (kCorridor) {
      return corridor->blocks->ptr<uchar>((*corridor->blockOfY)[static_cast<std::size_t>(y)])[(
               *corridor->blockOfX)[static_cast<std::size_t>(x)]] != 0;
    } else {
      (void)corridor;
      (void)x;
      (void)y;
      return true;
    }
  };
  const std::int32_t start = from.y * width + from.x;
  const std::int32_t goal = to.y * width + to.x;
  Node * nodes = nodes_.data();
  nodes[start] = {0, search_};
  step_[static_cast<std::size_t>(start)] = kNoStep;
  std::int32_t f = kToGoal ? octile(to.x - from.x, to.y - from.y) : 0;
  buckets_[f & (kBuckets - 1)].push_back({start, 0});
  std::size_t queued = 1;
  std::int32_t found = -1;
  while (queued > 0) {
    std::vector<Open> & bucket = buckets_[f & (kBuckets - 1)];
    if (bucket.empty()) {
      ++f;
      if (maxCost >= 0 && f > maxCost) {
        break;
      }
      continue;
    }
    // Last in, first out among equal f: the deeper pixels, which go on
    // straight, before the ones beside them.
    const Open top = bucket.back();
    bucket.pop_back();
    --queued;
    if (top.g != nodes[top.index].g) {
      continue;  // reached again more cheaply since it was queued
    }
    ++settled_;
    if (
      marked != nullptr
        ? marked[top.index] != 0 && (*accept)(cv::Point(top.index % width, top.index / width))
        : top.index == goal) {
      found = top.index;
      break;
    }
    const int x = kToGoal || kCorridor ? top.index % width : 0;
    const int y = kToGoal || kCorridor ? top.index / width : 0;
    const uchar here = moves[top.index];
    for (int d = 0; d < 8; ++d) {
      const std::int32_t n = top.index + offset[d];
      const uchar there = moves[n];
      std::int32_t cost = kAxisCost;
      if (d < 4) {
        if ((there & kStand) == 0) {
          continue;
        }
      } else {
        // Clear when the two pixels beside the step keep the slack too; the
        // step between two parts that touch only at the corner otherwise.
        if ((here & there & kDiagonal) == 0) {
          continue;
        }
        const uchar side1 = moves[top.index + kDx[d]];
        const uchar side2 = moves[top.index + kDy[d] * width];
        if ((side1 & side2 & kDiagonal) == 0 && ((side1 | side2) & kStand) != 0) {
          continue;
        }
        cost = kDiagonalCost;
      }
      const std::int32_t ng = top.g + cost;
      Node & node = nodes[n];
      if ((node.stamp != search_ || ng < node.g) && allowed(x + kDx[d], y + kDy[d])) {
        node = {ng, search_};
        step_[static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(d);
        const std::int32_t nf = kToGoal ? ng + octile(to.x - x - kDx[d], to.y - y - kDy[d]) : ng;
        buckets_[nf & (kBuckets - 1)].push_back({n, ng});
        ++queued;
      }
    }
  }
  if (found < 0) {
    return false;
  }
  std::int32_t i = found;
  route.emplace_back(i % width, i / width);
  for (std::uint8_t d = step_[static_cast<std::size_t>(i)]; d != kNoStep;
       d = step_[static_cast<std::size_t>(i)]) {
    i -= offset[d];
    route.emplace_back(i % width, i / width);
  }
  std::reverse(route.begin(), route.end());
  return true;
}

namespace
{

/// The move image of the blocks of @p moves: a block where some pixel stands
/// may be entered from every neighbouring one; zero frame.
cv::Mat blockMoves(const cv::Mat & moves, int block)
{
  const int cols = (moves.cols + block - 1) / block;
  const int rows = (moves.rows + block - 1) / block;
  cv::Mat blocks = cv::Mat::zeros(rows + 2, cols + 2, CV_8UC1);
  for (int y = 0; y < moves.rows; ++y) {
    const uchar * row = moves.ptr<uchar>(y);
    uchar * out = blocks.ptr<uchar>(y / block + 1) + 1;
    for (int x = 0; x < moves.cols; ++x) {
      if ((row[x] & kStand) != 0) {
        out[x / block] = kStand | kDiagonal;
      }
    }
  }
  return blocks;
}

std::vector<int> blockIndices(int n, int block)
{
  std::vector<int> out(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    out[static_cast<std::size_t>(i)] = i / block + 1;
  }
  return out;
}

}  // namespace

Router::Router(const cv::Mat & moves, int block, double nearReach)
: block_(std::max(1, block)),
  nearCost_(static_cast<std::int32_t>(std::ceil(kAxisCost * nearReach))),
  fine_(moves),
  blocks_(blockMoves(moves, block_)),
  corridor_(blocks_.size(), CV_8UC1, cv::Scalar(0)),
  blockOfX_(blockIndices(moves.cols, block_)),
  blockOfY_(blockIndices(moves.rows, block_)),
  coarse_(blocks_),
  marks_(moves.size(), CV_8UC1, cv::Scalar(0)),
  blockMarks_(blocks_.size(), CV_8UC1, cv::Scalar(0))
{
}

bool Router::routeAlong(
  const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route)
{
  // The corridor: the blocks of the route and their neighbours.
  for (const cv::Point & c : blockRoute_) {
    corridor_(cv::Rect(c.x - 1, c.y - 1, 3, 3)).setTo(255);
  }
  const Corridor corridor{&corridor_, &blockOfX_, &blockOfY_};
  const bool found = fine_.route(from, to, route, &corridor);
  for (const cv::Point & c : blockRoute_) {
    corridor_(cv::Rect(c.x - 1, c.y - 1, 3, 3)).setTo(0);
  }
  return found || fine_.route(from, to, route);
}

bool Router::route(const cv::Point & from, const cv::Point & to, std::vector<cv::Point> & route)
{
  if (block_ <= 1) {
    return fine_.route(from, to, route);
  }
  if (fine_.route(from, to, route, nullptr, nearCost_)) {
    return true;
  }
  if (!coarse_.route(blockOf(from), blockOf(to), blockRoute_)) {
    return fine_.route(from, to, route);
  }
  return routeAlong(from, to, route);
}

void Router::clearTargets()
{
  for (const cv::Point & p : targets_) {
    marks_.at<uchar>(p) = 0;
    blockMarks_.at<uchar>(blockOf(p)) = 0;
  }
  targets_.clear();
  nextAtPixel_.clear();
  nextInBlock_.clear();
  firstAtPixel_.clear();
  firstInBlock_.clear();
}

void Router::setTargets(const std::vector<cv::Point> & pixels)
{
  clearTargets();
  targets_ = pixels;
  const std::size_t n = pixels.size();
  nextAtPixel_.assign(n, -1);
  nextInBlock_.assign(n, -1);
  // Chained in order of id, through the last one of each list.
  std::unordered_map<std::int64_t, int> lastAtPixel;
  std::unordered_map<std::int64_t, int> lastInBlock;
  const auto chain = [](
                       std::unordered_map<std::int64_t, int> & first,
                       std::unordered_map<std::int64_t, int> & last, std::vector<int> & next,
                       std::int64_t key, int id) {
    const auto [it, inserted] = last.try_emplace(key, id);
    if (inserted) {
      first.emplace(key, id);
    } else {
      next[static_cast<std::size_t>(it->second)] = id;
      it->second = id;
    }
  };
  for (std::size_t i = 0; i < n; ++i) {
    const cv::Point & p = pixels[i];
    const cv::Point b = blockOf(p);
    marks_.at<uchar>(p) = 1;
    blockMarks_.at<uchar>(b) = 1;
    const int id = static_cast<int>(i);
    chain(
      firstAtPixel_, lastAtPixel, nextAtPixel_, static_cast<std::int64_t>(p.y) * marks_.cols + p.x,
      id);
    chain(
      firstInBlock_, lastInBlock, nextInBlock_,
      static_cast<std::int64_t>(b.y) * blockMarks_.cols + b.x, id);
  }
}

int Router::nearestTarget(
  const cv::Point & from, const std::vector<char> & active, std::vector<cv::Point> & route)
{
  route.clear();
  // A target is no nearer along the pixels than in a straight line: search
  // the pixels only when one lies that near.
  const auto squaredDistance = [&from](const cv::Point & p) {
    const cv::Point d = p - from;
    return static_cast<std::int64_t>(d.x) * d.x + static_cast<std::int64_t>(d.y) * d.y;
  };
  std::int64_t nearest = std::numeric_limits<std::int64_t>::max();
  std::size_t straight = 0;
  for (std::size_t id = 0; id < targets_.size(); ++id) {
    if (active[id] != 0 && squaredDistance(targets_[id]) < nearest) {
      nearest = squaredDistance(targets_[id]);
      straight = id;
    }
  }
  if (nearest == std::numeric_limits<std::int64_t>::max()) {
    return -1;
  }
  int chosen = -1;
  const bool twoLevels = block_ > 1;
  if (
    !twoLevels || kAxisCost * kAxisCost * static_cast<double>(nearest) <=
                    static_cast<double>(nearCost_) * nearCost_) {
    const std::function<bool(const cv::Point &)> atPixel = [&](const cv::Point & p) {
      for (int id = firstAtPixel_.at(static_cast<std::int64_t>(p.y) * marks_.cols + p.x); id >= 0;
           id = nextAtPixel_[static_cast<std::size_t>(id)]) {
        if (active[static_cast<std::size_t>(id)] != 0) {
          chosen = id;
          return true;
        }
      }
      marks_.at<uchar>(p) = 0;
      return false;
    };
    // Toward the target nearest in a straight line, taking the first target
    // met on the way (usually that one).
    if (fine_.nearestToward(
          from, targets_[straight], marks_, atPixel, route, twoLevels ? nearCost_ : -1)) {
      return chosen;
    }
    route.clear();
    if (!twoLevels) {
      return -1;
    }
  }
  const std::function<bool(const cv::Point &)> inBlock = [&](const cv::Point & b) {
    std::int64_t best = std::numeric_limits<std::int64_t>::max();
    for (int id = firstInBlock_.at(static_cast<std::int64_t>(b.y) * blockMarks_.cols + b.x);
         id >= 0; id = nextInBlock_[static_cast<std::size_t>(id)]) {
      const std::int64_t d2 = squaredDistance(targets_[static_cast<std::size_t>(id)]);
      if (active[static_cast<std::size_t>(id)] != 0 && d2 < best) {
        best = d2;
        chosen = id;
      }
    }
    if (chosen < 0) {
      blockMarks_.at<uchar>(b) = 0;
    }
    return chosen >= 0;
  };
  if (
    !coarse_.nearest(blockOf(from), blockMarks_, inBlock, blockRoute_) ||
    !routeAlong(from, targets_[static_cast<std::size_t>(chosen)], route)) {
    route.clear();
    return -1;
  }
  return chosen;
}

std::vector<cv::Point2d> simplifiedRoute(
  const cv::Mat & slack, const cv::Point2d & from, const std::vector<cv::Point> & route,
  const cv::Point2d & to)
{
  // The polyline from, route..., to; from and to stand in for the route's
  // ends.
  const std::size_t n = route.size() + 2;
  const auto at = [&](std::size_t i) {
    return i == 0 ? from : (i == n - 1 ? to : cv::Point2d(route[i - 1].x, route[i - 1].y));
  };
  const auto clear = [&](std::size_t i, std::size_t j) {
    return segmentClear(slack, at(i), at(j));
  };
  // 1. The core's Douglas-Peucker keeps the route's corners, within a pixel
  //    of it: the candidate vertices.
  std::vector<std::size_t> kept{0};
  if (route.size() >= 2) {
    for (const std::size_t k :
         simplify::keptIndices(simplify::polylineArrays(route), kRouteEpsilon, -1.0)) {
      kept.push_back(k + 1);
    }
  } else {
    kept.push_back(1);
  }
  kept.push_back(n - 1);
  // 2. Each kept segment is checked; one that is not clear is split at its
  //    middle point until its pieces are clear or single steps of the route
  //    (sound by construction). The pieces waiting are a stack, the last on
  //    top, so the points come out in order.
  std::vector<cv::Point2d> out{from};
  std::size_t last = 0;  // the index of out.back()
  std::vector<std::size_t> pending;
  for (std::size_t k = 1; k < kept.size(); ++k) {
    pending.push_back(kept[k]);
    while (!pending.empty()) {
      const std::size_t b = pending.back();
      if (b - last > 1 && !clear(last, b)) {
        pending.push_back(last + (b - last) / 2);
        continue;
      }
      pending.pop_back();
      const cv::Point2d p = at(b);
      // A diagonal step of the route passes the corner between two pixels
      // that may keep less slack; it goes round one of them when that makes
      // two clear steps, so that only steps between parts touching at a
      // corner stay.
      if (
        b - last == 1 && std::abs(p.x - out.back().x) == 1.0 &&
        std::abs(p.y - out.back().y) == 1.0 && !clear(last, b)) {
        for (const cv::Point2d & c :
             {cv::Point2d(p.x, out.back().y), cv::Point2d(out.back().x, p.y)}) {
          if (segmentClear(slack, out.back(), c) && segmentClear(slack, c, p)) {
            out.push_back(c);
            break;
          }
        }
      }
      if (p != out.back()) {
        out.push_back(p);
      }
      last = b;
    }
  }
  return out;
}

}  // namespace coverage_path
}  // namespace quorvane
