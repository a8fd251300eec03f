#include "simplify.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace quorvane
{
namespace simplify
{
namespace
{

// ---------------------------------------------------------------------------
// Estimates: q * D^2 without a division or root per point.

/// A span's chord as the estimate kernels take it.
struct Chord
{
  double ax;
  double ay;
  double dx;  ///< b.x - a.x
  double dy;  ///< b.y - a.y
  double q;   ///< dx * dx + dy * dy
};

/// q times the squared distance of (px, py) from the chord's closed segment,
/// from the cross and dot products of P - a with b - a: q * D^2 = cross^2 +
/// s^2 with s the part of dot outside [0, q] (Lagrange's identity). When q is
/// 0, D^2 itself (the distance to a). An estimate: it is rounded differently
/// from squaredSegmentDistance().
QUORVANE_ALWAYS_INLINE double estimate(double px, double py, const Chord & c)
{
  const double ex = px - c.ax;
  const double ey = py - c.ay;
  if (c.q == 0.0) {
    return ex * ex + ey * ey;
  }
  const double cross = ex * c.dy - ey * c.dx;
  const double dot = ex * c.dx + ey * c.dy;
  const double beyond = dot - c.q;
  const double outside = (dot < 0.0 ? dot : 0.0) + (beyond > 0.0 ? beyond : 0.0);
  return cross * cross + outside * outside;
}

/// A point that may be the farthest, with its estimate.
struct Candidate
{
  std::size_t index;
  double estimate;
};

/// Points held as two arrays of doubles.
struct Coordinates
{
  const double * x;
  const double * y;

  QUORVANE_ALWAYS_INLINE XY at(std::size_t i) const { return {x[i], y[i]}; }
};

/// The greatest estimate of the points [begin, end), the first index with it,
/// and the greatest estimate of every other point (0 for none).
struct Greatest
{
  double value;
  double runnerUp;
  std::size_t index;
};

/// Takes estimate @p e of point @p i into @p g.
QUORVANE_ALWAYS_INLINE void take(Greatest & g, double e, std::size_t i)
{
  const double lower = e > g.value ? g.value : e;  // the one not kept
  g.runnerUp = lower > g.runnerUp ? lower : g.runnerUp;
  g.index = e > g.value ? i : g.index;
  g.value = e > g.value ? e : g.value;
}

/// The greatest estimate, point by point. (Where the compiler's vector
/// extensions are available, the kernels below do this four points at a
/// time.)
[[maybe_unused]] Greatest greatestOneByOne(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c)
{
  Greatest g{0.0, 0.0, begin};
  for (std::size_t i = begin; i < end; ++i) {
    const XY p = at.at(i);
    take(g, estimate(p.x, p.y, c), i);
  }
  return g;
}

/// Writes the estimates of the points [begin, end) to out[0 ..].
[[maybe_unused]] void estimatesOneByOne(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c, double * out)
{
  for (std::size_t i = begin; i < end; ++i) {
    const XY p = at.at(i);
    out[i - begin] = estimate(p.x, p.y, c);
  }
}

/// The scans used on this processor.
struct Kernels
{
  Greatest (*greatest)(const Coordinates &, std::size_t, std::size_t, const Chord &);
  void (*estimates)(const Coordinates &, std::size_t, std::size_t, const Chord &, double *);
};

#if QUORVANE_GNU_EXTENSIONS

/// Four doubles processed together; each operation is the IEEE operation of
/// each lane, so the lanes hold exactly what estimate() gives.
using Quad = double __attribute__((vector_size(4 * sizeof(double))));
/// Four 64-bit indices, beside a Quad.
using QuadIndex = std::int64_t __attribute__((vector_size(4 * sizeof(std::int64_t))));

QUORVANE_ALWAYS_INLINE void load(const Coordinates & at, std::size_t i, Quad & x, Quad & y)
{
  std::memcpy(&x, at.x + i, sizeof x);
  std::memcpy(&y, at.y + i, sizeof y);
}

/// estimate() of four points, into @p e.
QUORVANE_ALWAYS_INLINE void estimates(const Quad & px, const Quad & py, const Chord & c, Quad & e)
{
  const Quad zero = {0.0, 0.0, 0.0, 0.0};
  const Quad ex = px - c.ax;
  const Quad ey = py - c.ay;
  if (c.q == 0.0) {
    e = ex * ex + ey * ey;
    return;
  }
  const Quad cross = ex * c.dy - ey * c.dx;
  const Quad dot = ex * c.dx + ey * c.dy;
  const Quad beyond = dot - c.q;
  const Quad outside = (dot < zero ? dot : zero) + (beyond > zero ? beyond : zero);
  e = cross * cross + outside * outside;
}

QUORVANE_ALWAYS_INLINE Greatest
greatestByFours(const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c)
{
  const Quad zero = {0.0, 0.0, 0.0, 0.0};
  Quad best = zero;
  Quad runnerUp = zero;
  const auto from = static_cast<std::int64_t>(begin);
  QuadIndex index = {from, from + 1, from + 2, from + 3};
  QuadIndex bestIndex = index;
  std::size_t i = begin;
  for (; i + 4 <= end; i += 4) {
    Quad px;
    Quad py;
    load(at, i, px, py);
    Quad e;
    estimates(px, py, c, e);
    const auto greater = e > best;
    const Quad lower = greater ? best : e;
    runnerUp = lower > runnerUp ? lower : runnerUp;
    bestIndex = greater ? index : bestIndex;
    best = greater ? e : best;
    index += 4;
  }
  // The lanes' records (a lane's best came first among its equals; the
  // lanes' indices differ): the greatest, the lowest index holding it, the
  // greatest of the rest. Then the last points.
  Greatest g{0.0, 0.0, begin};
  for (int lane = 0; lane < 4; ++lane) {
    g.runnerUp = std::max(g.runnerUp, runnerUp[lane]);
    const auto k = static_cast<std::size_t>(bestIndex[lane]);
    if (best[lane] > g.value || (best[lane] == g.value && k < g.index)) {
      g.runnerUp = std::max(g.runnerUp, g.value);
      g.value = best[lane];
      g.index = k;
    } else {
      g.runnerUp = std::max(g.runnerUp, best[lane]);
    }
  }
  for (; i < end; ++i) {
    const XY p = at.at(i);
    take(g, estimate(p.x, p.y, c), i);
  }
  return g;
}

QUORVANE_ALWAYS_INLINE void estimatesByFours(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c, double * out)
{
  std::size_t i = begin;
  for (; i + 4 <= end; i += 4) {
    Quad px;
    Quad py;
    load(at, i, px, py);
    Quad e;
    estimates(px, py, c, e);
    std::memcpy(out + (i - begin), &e, sizeof e);
  }
  for (; i < end; ++i) {
    const XY p = at.at(i);
    out[i - begin] = estimate(p.x, p.y, c);
  }
}

Greatest greatestDefault(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c)
{
  return greatestByFours(at, begin, end, c);
}

void estimatesDefault(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c, double * out)
{
  estimatesByFours(at, begin, end, c, out);
}

#if defined(__x86_64__) || defined(__i386__)
#define QUORVANE_SIMPLIFY_AVX2 1
// The same code with 256-bit registers, chosen at run time on processors that
// have them (no fused multiply-add: the lanes stay as estimate() rounds them).
__attribute__((target("avx2"))) Greatest greatestAvx2(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c)
{
  return greatestByFours(at, begin, end, c);
}

__attribute__((target("avx2"))) void estimatesAvx2(
  const Coordinates & at, std::size_t begin, std::size_t end, const Chord & c, double * out)
{
  estimatesByFours(at, begin, end, c, out);
}
#endif

#endif  // QUORVANE_GNU_EXTENSIONS

/// Appends to @p out the indices base + i of the estimates e[i] (i < count)
/// that reach @p threshold, in increasing order.
void collectReaching(
  const double * e, std::size_t count, double threshold, std::size_t base,
  std::vector<Candidate> & out)
{
  std::size_t i = 0;
#if QUORVANE_GNU_EXTENSIONS
  // Four at a time: only a group with a reaching estimate is looked at
  // one by one.
  const Quad limit = Quad{0.0, 0.0, 0.0, 0.0} + threshold;
  for (; i + 4 <= count; i += 4) {
    Quad v;
    std::memcpy(&v, e + i, sizeof v);
    const auto reaching = v >= limit;
    if ((reaching[0] | reaching[1] | reaching[2] | reaching[3]) != 0) {
      for (std::size_t j = i; j < i + 4; ++j) {
        if (e[j] >= threshold) {
          out.push_back({base + j, e[j]});
        }
      }
    }
  }
#endif
  for (; i < count; ++i) {
    if (e[i] >= threshold) {
      out.push_back({base + i, e[i]});
    }
  }
}

/// The kernels of this processor: with 256-bit registers where it has them.
Kernels chooseKernels()
{
#if QUORVANE_GNU_EXTENSIONS
#ifdef QUORVANE_SIMPLIFY_AVX2
  if (__builtin_cpu_supports("avx2")) {
    return {greatestAvx2, estimatesAvx2};
  }
#endif
  return {greatestDefault, estimatesDefault};
#else
  return {greatestOneByOne, estimatesOneByOne};
#endif
}

// ---------------------------------------------------------------------------
// What an estimate tells.
//
// Let D be a point's exact distance from the segment, d its distance as
// squaredSegmentDistance() computes it (the one that decides), and e =
// sqrt(estimate / scale). For points (and bounding-polygon vertices) whose
// coordinates and coordinate differences lie within the magnitude, d and e
// each stay within about 2^-47 of it from D; the allowance, 2^-40 of it,
// leaves ample room.

/// The parts of the tests below that do not depend on the span, in units of
/// squared distance.
struct Reaches
{
  Reaches(double slack, double epsilon) : allowance(slack)
  {
    // sqrt(G / scale) + 4 allowance <= epsilon without a root: G at most
    // scale * (epsilon - 4 allowance)^2, lowered by a hair for the rounding
    // of the products. -1 (never) when epsilon leaves no room.
    const double room = epsilon - 4.0 * allowance;
    undivided = room > 0.0 ? room * room * (1.0 - 0x1p-40) : -1.0;
    // sqrt(G / scale) - 4 allowance > epsilon likewise, raised by a hair.
    const double beyond = epsilon + 4.0 * allowance;
    divided = beyond * beyond * (1.0 + 0x1p-40);
    const double far = 0x1p14 * allowance;
    farFromRounding = far * far;
  }

  double allowance;
  double undivided;
  double divided;
  double farFromRounding;  ///< (2^14 allowance)^2
};

struct Tolerance
{
  Tolerance(double q, const Reaches & reaches)
  : scale(q != 0.0 ? q : 1.0),
    allowance(reaches.allowance),
    undividedLimit(scale * reaches.undivided),
    dividedLimit(scale * reaches.divided),
    farLimit(scale * reaches.farFromRounding)
  {
  }

  /// True when a point with estimate @p e lies farther than epsilon as
  /// computed: d >= e - 2 allowance.
  bool divided(double e) const { return e > dividedLimit; }

  /// True when no point whose estimate is at most @p greatest can lie
  /// farther than epsilon as computed: d <= e + 2 allowance.
  bool undivided(double greatest) const { return greatest <= undividedLimit; }

  /// Points whose estimate is below this cannot be the farthest as computed
  /// once a point with estimate @p greatest is known: the farthest has d >= e
  /// of that point - 2 allowance, so its own e is at least the reach below.
  /// 0 (everything) when the reach is not above 0.
  double candidateThreshold(double greatest) const
  {
    const double reach = std::sqrt(greatest / scale) - 4.0 * allowance;
    // (Lowered by a hair more, so that its own rounding cannot lift it.)
    return reach > 0.0 ? scale * reach * reach * (1.0 - 0x1p-40) : 0.0;
  }

  /// A cheaper, sufficient test that nothing but the point with estimate
  /// @p greatest reaches the candidate threshold, when @p runnerUp is the
  /// greatest estimate of the others: for e >= 2^14 allowance the threshold
  /// lies above greatest (1 - 2^-10), since (e - 4 allowance)^2 > e^2
  /// (1 - 2^-11).
  bool clearlyAlone(double greatest, double runnerUp) const
  {
    return greatest >= farLimit && runnerUp < greatest * (1.0 - 0x1p-10);
  }

  double scale;      ///< q, or 1 for a span whose ends coincide
  double allowance;  ///< bound on |d - D| and on |e - D|
  double undividedLimit;
  double dividedLimit;
  double farLimit;
};

// ---------------------------------------------------------------------------
// The tree of bounding polygons.
//
// Leaves are blocks of kLeafSize consecutive points; each node of a complete
// binary tree over them keeps the vertices of a convex polygon that contains
// its points: their convex hull while it has at most kHullCap vertices,
// otherwise their bounding box. The distance from a closed segment is a
// convex function of the point, so no point of a node lies farther from a
// segment than the farthest vertex of its polygon: one evaluation per vertex
// bounds the whole node.

constexpr std::size_t kLeafSize = 64;
constexpr std::size_t kHullCap = 32;

bool before(const XY & a, const XY & b) { return a.x < b.x || (a.x == b.x && a.y < b.y); }
bool same(const XY & a, const XY & b) { return a.x == b.x && a.y == b.y; }

/// True when a, b, c certainly do not turn counter-clockwise: b then lies on
/// or to the right of a-c. With @p exact the test is exact; otherwise a
/// computed cross product this close to 0 counts as a left turn (b is kept).
bool notLeftTurn(const XY & a, const XY & b, const XY & c, bool exact)
{
  const double l = (b.x - a.x) * (c.y - a.y);
  const double r = (b.y - a.y) * (c.x - a.x);
  const double slack = exact ? 0.0 : 0x1p-49 * (std::fabs(l) + std::fabs(r));
  return l - r <= -slack;
}

/// The vertices of a bounding polygon.
struct Polygon
{
  const double * x;
  const double * y;
  std::size_t count;
};

class BoundTree
{
public:
  /// With @p hulls the nodes keep convex hulls (up to kHullCap vertices),
  /// otherwise only bounding boxes, which cost a single pass to make.
  BoundTree(const PointArrays & points, const Kernels & kernels, bool hulls)
  : points_(points), kernels_(kernels)
  {
    const std::size_t n = points.count;
    leafCount_ = (n + kLeafSize - 1) / kLeafSize;
    base_ = 1;
    while (base_ < leafCount_) {
      base_ *= 2;
    }
    nodes_.assign(2 * base_, Node{0, 0});
    if (!hulls) {
      makeBoxes();
      return;
    }
    std::vector<XY> sorted;
    std::vector<XY> chain;
    std::vector<XY> hull;
    for (std::size_t leaf = 0; leaf < leafCount_; ++leaf) {
      gatherSorted(leaf * kLeafSize, std::min(n, (leaf + 1) * kLeafSize), sorted);
      sorted.erase(std::unique(sorted.begin(), sorted.end(), same), sorted.end());
      store(base_ + leaf, sorted, chain, hull);
    }
    for (std::size_t v = base_ - 1; v >= 1; --v) {
      sorted.clear();
      const Node & left = nodes_[2 * v];
      const Node & right = nodes_[2 * v + 1];
      std::merge(
        vertices_.begin() + std::ptrdiff_t(left.offset),
        vertices_.begin() + std::ptrdiff_t(left.offset + left.count),
        vertices_.begin() + std::ptrdiff_t(right.offset),
        vertices_.begin() + std::ptrdiff_t(right.offset + right.count), std::back_inserter(sorted),
        before);
      sorted.erase(std::unique(sorted.begin(), sorted.end(), same), sorted.end());
      store(v, sorted, chain, hull);
    }
    vx_.resize(vertices_.size());
    vy_.resize(vertices_.size());
    for (std::size_t i = 0; i < vertices_.size(); ++i) {
      vx_[i] = vertices_[i].x;
      vy_[i] = vertices_[i].y;
    }
    std::vector<XY>().swap(vertices_);
  }

  std::size_t base() const { return base_; }
  std::size_t leafCount() const { return leafCount_; }

  /// Calls @p visit with each of the fewest nodes whose leaves are exactly
  /// the leaves firstLeaf .. endLeaf - 1 (the usual bottom-up walk of a
  /// complete binary tree stored from index 1).
  template <typename Visit>
  void forEachCoveringNode(std::size_t firstLeaf, std::size_t endLeaf, Visit && visit) const
  {
    for (std::size_t l = firstLeaf + base_, r = endLeaf + base_; l < r; l /= 2, r /= 2) {
      if (l % 2 == 1) {
        visit(l++);
      }
      if (r % 2 == 1) {
        visit(--r);
      }
    }
  }

  /// Node @p v's bounding polygon (no vertices for an empty node).
  Polygon polygon(std::size_t v) const
  {
    const Node & node = nodes_[v];
    return {vx_.data() + node.offset, vy_.data() + node.offset, node.count};
  }

  /// The greatest estimate over node @p v's polygon, or -1 for an empty node.
  double bound(std::size_t v, const Chord & c, double * scratch) const
  {
    const Node & node = nodes_[v];
    if (node.count == 0) {
      return -1.0;
    }
    static_cast<void>(scratch);
    return kernels_.greatest({vx_.data() + node.offset, vy_.data() + node.offset}, 0, node.count, c)
      .value;
  }

private:
  /// Every node's bounding box, as its four corners.
  void makeBoxes()
  {
    vx_.resize(8 * base_);
    vy_.resize(8 * base_);
    const auto storeBox = [&](std::size_t v, double x0, double y0, double x1, double y1) {
      const std::size_t at = 4 * v;
      nodes_[v] = {at, 4};
      vx_[at] = vx_[at + 1] = x0;
      vx_[at + 2] = vx_[at + 3] = x1;
      vy_[at] = vy_[at + 2] = y0;
      vy_[at + 1] = vy_[at + 3] = y1;
    };
    const std::size_t n = points_.count;
    for (std::size_t leaf = 0; leaf < leafCount_; ++leaf) {
      const std::size_t begin = leaf * kLeafSize;
      const XY p0 = points_.at(begin);
      double x0 = p0.x;
      double y0 = p0.y;
      double x1 = x0;
      double y1 = y0;
      for (std::size_t i = begin + 1; i < std::min(n, begin + kLeafSize); ++i) {
        const XY p = points_.at(i);
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
      }
      storeBox(base_ + leaf, x0, y0, x1, y1);
    }
    for (std::size_t v = base_ - 1; v >= 1; --v) {
      const Node & left = nodes_[2 * v];
      const Node & right = nodes_[2 * v + 1];
      if (right.count == 0) {
        if (left.count != 0) {
          const std::size_t l = left.offset;
          storeBox(v, vx_[l], vy_[l], vx_[l + 3], vy_[l + 3]);
        }
        continue;
      }
      const std::size_t l = left.offset;
      const std::size_t r = right.offset;
      storeBox(
        v, std::min(vx_[l], vx_[r]), std::min(vy_[l], vy_[r]), std::max(vx_[l + 3], vx_[r + 3]),
        std::max(vy_[l + 3], vy_[r + 3]));
    }
  }

  /// The points [begin, end) in (x, y) order. A block of a polyline is
  /// usually nearly in order (or in reverse order) already: insertion sort,
  /// unless it has moved too much.
  void gatherSorted(std::size_t begin, std::size_t end, std::vector<XY> & sorted) const
  {
    sorted.clear();
    const bool reversed = points_.at(begin).x > points_.at(end - 1).x;
    for (std::size_t k = begin; k < end; ++k) {
      sorted.push_back(points_.at(reversed ? end - 1 - (k - begin) : k));
    }
    std::size_t moves = 0;
    for (std::size_t i = 1; i < sorted.size() && moves <= 4 * kLeafSize; ++i) {
      const XY p = sorted[i];
      std::size_t j = i;
      for (; j > 0 && before(p, sorted[j - 1]); --j) {
        sorted[j] = sorted[j - 1];
      }
      sorted[j] = p;
      moves += i - j;
    }
    if (moves > 4 * kLeafSize) {
      std::sort(sorted.begin(), sorted.end(), before);
    }
  }

  struct Node
  {
    std::size_t offset;
    std::size_t count;
  };

  /// Stores for node @p v the (x, y)-ordered vertices of a convex polygon
  /// containing @p sorted (ordered, without repeats).
  void store(
    std::size_t v, const std::vector<XY> & sorted, std::vector<XY> & chain, std::vector<XY> & hull)
  {
    hull.clear();
    if (sorted.size() <= 2) {
      hull = sorted;
    } else {
      // Andrew's monotone chain: the lower chain left to right, then the
      // upper chain right to left; each may keep a point the rounding of the
      // turn test cannot rule out, never drops a vertex of the hull.
      const bool exact = points_.smallIntegers;
      chain.clear();
      for (const XY & p : sorted) {
        while (chain.size() >= 2 && notLeftTurn(chain[chain.size() - 2], chain.back(), p, exact)) {
          chain.pop_back();
        }
        chain.push_back(p);
      }
      const std::size_t lower = chain.size();
      for (std::size_t i = sorted.size() - 1; i-- > 0;) {
        const XY & p = sorted[i];
        while (chain.size() > lower &&
               notLeftTurn(chain[chain.size() - 2], chain.back(), sorted[i], exact)) {
          chain.pop_back();
        }
        chain.push_back(p);
      }
      chain.pop_back();  // the first point again
      // The lower chain is in (x, y) order, the rest of the upper chain in
      // reverse order.
      std::reverse(chain.begin() + std::ptrdiff_t(lower), chain.end());
      std::merge(
        chain.begin(), chain.begin() + std::ptrdiff_t(lower), chain.begin() + std::ptrdiff_t(lower),
        chain.end(), std::back_inserter(hull), before);
      hull.erase(std::unique(hull.begin(), hull.end(), same), hull.end());
    }
    if (hull.size() > kHullCap) {
      double x0 = sorted.front().x;
      double x1 = sorted.back().x;
      double y0 = sorted.front().y;
      double y1 = y0;
      for (const XY & p : sorted) {
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
      }
      hull = {{x0, y0}, {x0, y1}, {x1, y0}, {x1, y1}};
    }
    nodes_[v] = {vertices_.size(), hull.size()};
    vertices_.insert(vertices_.end(), hull.begin(), hull.end());
  }

  const PointArrays & points_;
  Kernels kernels_;
  std::size_t leafCount_ = 0;
  std::size_t base_ = 1;
  std::vector<Node> nodes_;
  std::vector<XY> vertices_;  // while building
  std::vector<double> vx_;
  std::vector<double> vy_;
};

// ---------------------------------------------------------------------------
// The split point of a span.

/// A node of the exact-key search: greatest bound first, then lowest first
/// index.
struct Entry
{
  double bound;
  std::size_t begin;  ///< the node's first index
  std::size_t node;

  bool operator<(const Entry & o) const
  {
    return bound < o.bound || (bound == o.bound && begin > o.begin);
  }
};

class SplitFinder
{
public:
  SplitFinder(
    const PointArrays & points, const Coordinates & coordinates, double epsilon,
    const TreeUse & treeUse)
  : points_(points),
    coordinates_(coordinates),
    epsilon_(epsilon),
    treeSpan_(std::max<std::size_t>(treeUse.span, 3)),
    scansBeforeTree_(treeUse.scansBefore),
    reaches_(std::ldexp(points.magnitude, -40), epsilon),
    kernels_(chooseKernels())
  {
  }

  /// Where the plain scheme divides @p span: at the interior point that the
  /// one-by-one scan finds farthest, when that point lies farther than
  /// epsilon; span.first when it does not divide the span.
  std::size_t split(const IndexSpan & span)
  {
    const std::size_t length = span.last - span.first;
    if (points_.magnitude == 0.0 || length < 2) {
      return splitAt(farthestInteriorPointOneByOne(points_, span), span);
    }
    const XY a = coordinates_.at(span.first);
    const XY b = coordinates_.at(span.last);
    Chord c{a.x, a.y, b.x - a.x, b.y - a.y, 0.0};
    c.q = c.dx * c.dx + c.dy * c.dy;
    const Tolerance tolerance(c.q, reaches_);
    candidates_.clear();
    double greatest = 0.0;
    double unexplored = 0.0;
    if (length >= treeSpan_) {
      if (points_.smallIntegers && (c.dx == 0.0 || c.dy == 0.0)) {
        return splitAt(farthestByExactKeys(span, c, true), span);
      }
      unexplored = searchTree(span, c, tolerance, greatest);
    } else {
      // The usual case, without a candidate list: one pass, and a second one
      // only when the runner-up may be the farthest too.
      const Greatest g = greatestOf(span.first + 1, span.last, c);
      if (tolerance.undivided(g.value)) {
        return span.first;
      }
      const bool alone = tolerance.clearlyAlone(g.value, g.runnerUp);
      const double threshold = alone ? 0.0 : tolerance.candidateThreshold(g.value);
      if (alone || (threshold > 0.0 && g.runnerUp < threshold)) {
        if (tolerance.divided(g.value)) {
          return g.index;
        }
        const double d =
          std::sqrt(squaredSegmentDistance(coordinates_.at(g.index), ClosedSegment(a, b)));
        return d > epsilon_ ? g.index : span.first;
      }
      if (points_.smallIntegers && (c.dx == 0.0 || c.dy == 0.0)) {
        return splitAt(farthestByExactKeys(span, c, false), span);  // ties cost no root
      }
      greatest = g.value;
      if (threshold > 0.0) {
        collect(span.first + 1, span.last, c, threshold);
      }
    }
    // 1. Nothing can lie beyond epsilon: the span stays undivided, whichever
    //    point is the farthest.
    if (tolerance.undivided(std::max(greatest, unexplored))) {
      return span.first;
    }
    // 2. All estimates near 0 (points within rounding of the chord): only
    //    the plain scan can tell.
    const double threshold = tolerance.candidateThreshold(greatest);
    if (!(threshold > 0.0)) {
      return splitAt(farthestInteriorPointOneByOne(points_, span), span);
    }
    // 3. A single candidate is the farthest point; when its estimate puts it
    //    beyond epsilon by more than the rounding, it divides the span.
    std::size_t reaching = 0;
    for (const Candidate & k : candidates_) {
      reaching += k.estimate >= threshold ? 1 : 0;
    }
    if (reaching == 1 && tolerance.divided(greatest)) {
      for (const Candidate & k : candidates_) {
        if (k.estimate >= threshold) {
          return k.index;
        }
      }
    }
    // 4. Otherwise the candidates' computed distances decide; the lowest
    //    index wins equal ones. (Each costs about as much as a few scanned
    //    points, which counts towards making the tree of hulls.)
    const ClosedSegment segment(a, b);
    FarthestPoint best{span.first, 0.0};
    for (const Candidate & k : candidates_) {
      if (k.estimate >= threshold) {
        scanned_ += 16;
        const double d = std::sqrt(squaredSegmentDistance(coordinates_.at(k.index), segment));
        if (d > best.distance || (d == best.distance && d > 0.0 && k.index < best.index)) {
          best = {k.index, d};
        }
      }
    }
    return splitAt(best, span);
  }

private:
  /// The split for farthest point @p far of @p span.
  std::size_t splitAt(const FarthestPoint & far, const IndexSpan & span) const
  {
    return far.distance > epsilon_ ? far.index : span.first;
  }

  /// The greatest estimate of the points [begin, end), with its first index
  /// and the greatest estimate of the others.
  Greatest greatestOf(std::size_t begin, std::size_t end, const Chord & c)
  {
    scanned_ += end - begin;
    Greatest g{0.0, 0.0, begin};
    if (end - begin < 8) {  // (not worth the kernel's set-up)
      for (std::size_t i = begin; i < end; ++i) {
        const XY p = coordinates_.at(i);
        take(g, estimate(p.x, p.y, c), i);
      }
    } else {
      g = kernels_.greatest(coordinates_, begin, end, c);
    }
    return g;
  }

  /// Records the points [begin, end) whose estimate reaches @p threshold.
  void collect(std::size_t begin, std::size_t end, const Chord & c, double threshold)
  {
    const std::size_t count = end - begin;
    if (scratch_.size() < count) {
      scratch_.resize(count);
    }
    kernels_.estimates(coordinates_, begin, end, c, scratch_.data());
    collectReaching(scratch_.data(), count, threshold, begin, candidates_);
  }

  /// Estimates the points [begin, end), raises @p greatest, and records the
  /// points that reach the candidate threshold of the greatest so far: one
  /// pass keeps the greatest estimate, its index and the greatest of the
  /// others; only when that runner-up reaches the threshold too are the
  /// estimates made again and looked at one by one.
  void scan(
    std::size_t begin, std::size_t end, const Chord & c, const Tolerance & tolerance,
    double & greatest)
  {
    const Greatest g = greatestOf(begin, end, c);
    greatest = std::max(greatest, g.value);
    if (tolerance.undivided(greatest)) {
      return;  // nothing here can divide the span; no candidates needed yet
    }
    if (g.value == greatest && tolerance.clearlyAlone(g.value, g.runnerUp)) {
      candidates_.push_back({g.index, g.value});
      return;
    }
    const double threshold = tolerance.candidateThreshold(greatest);
    if (g.runnerUp < threshold) {
      if (g.value >= threshold) {
        candidates_.push_back({g.index, g.value});
      }
      return;
    }
    collect(begin, end, c, threshold);
  }

  /// The tree of hulls once the scans have read the input many times over
  /// (as they do when spans are divided near their ends), else the tree of
  /// boxes.
  const BoundTree & madeTree()
  {
    if (!hullTree_ && scanned_ >= scansBeforeTree_ * points_.count) {
      boxTree_.reset();
      hullTree_ = std::make_unique<BoundTree>(points_, kernels_, true);
    }
    if (hullTree_) {
      return *hullTree_;
    }
    if (!boxTree_) {
      boxTree_ = std::make_unique<BoundTree>(points_, kernels_, false);
    }
    return *boxTree_;
  }

  /// The farthest point for a chord parallel to an axis (or of length 0), on
  /// integer coordinates below 2^23, through the tree or by one scan.
  ///
  /// There the squared distance K of every point is an exact integer (below
  /// 2^48), and the computed distance is sqrt(K) rounded: in the foot-point
  /// case the rounding of t moves the foot along the chord by at most
  /// 1.5 * 2^-52 * magnitude (< 2^-28), whose square is lost against any
  /// K >= 1, and a point on the chord's line (K = 0) lies within 2^-27.
  /// Distinct K below 2^50 have distinct rounded roots, so the farthest point
  /// is the lowest-index point of greatest K, and tied points need no
  /// distance of their own: the tree search visits the nodes by greatest
  /// bound, then lowest first index, and stops at the first node that can
  /// neither beat nor precede the best point found.
  FarthestPoint farthestByExactKeys(const IndexSpan & span, const Chord & c, bool throughTree)
  {
    // Coordinates along and across the chord, relative to its start.
    const bool vertical = c.dx == 0.0 && c.dy != 0.0;
    const double forward = (vertical ? c.dy : c.dx) < 0.0 ? -1.0 : 1.0;
    const double length = std::fabs(vertical ? c.dy : c.dx);
    const auto key = [&](double px, double py) {
      const double along = forward * (vertical ? py - c.ay : px - c.ax);
      const double across = vertical ? px - c.ax : py - c.ay;
      const double out = along < 0.0 ? along : (along > length ? along - length : 0.0);
      return across * across + out * out;
    };
    double bestKey = -1.0;
    std::size_t bestIndex = span.last;
    const auto scanKeys = [&](std::size_t from, std::size_t to) {
      scanned_ += to - from;
      for (std::size_t i = from; i < to; ++i) {
        const XY p = coordinates_.at(i);
        const double k = key(p.x, p.y);
        if (k > bestKey || (k == bestKey && i < bestIndex)) {
          bestKey = k;
          bestIndex = i;
        }
      }
    };
    if (!throughTree) {
      scanKeys(span.first + 1, span.last);
      return closestKey(span, bestKey, bestIndex);
    }
    const BoundTree & tree = madeTree();
    std::vector<Entry> & heap = exactHeap_;
    heap.clear();
    const auto push = [&](std::size_t v) {
      const Polygon polygon = tree.polygon(v);
      if (polygon.count == 0) {
        return;
      }
      double bound = 0.0;
      for (std::size_t k = 0; k < polygon.count; ++k) {
        bound = std::max(bound, key(polygon.x[k], polygon.y[k]));
      }
      std::size_t first = v;
      while (first < tree.base()) {
        first *= 2;
      }
      heap.push_back({bound, (first - tree.base()) * kLeafSize, v});
      std::push_heap(heap.begin(), heap.end());
    };
    const std::size_t begin = span.first + 1;
    const std::size_t end = span.last;
    const std::size_t firstLeaf = (begin + kLeafSize - 1) / kLeafSize;
    const std::size_t endLeaf = end / kLeafSize;
    if (firstLeaf >= endLeaf) {
      scanKeys(begin, end);
    } else {
      scanKeys(begin, firstLeaf * kLeafSize);
      scanKeys(endLeaf * kLeafSize, end);
      tree.forEachCoveringNode(firstLeaf, endLeaf, push);
    }
    while (!heap.empty()) {
      const Entry top = heap.front();
      if (top.bound < bestKey || (top.bound == bestKey && top.begin > bestIndex)) {
        break;
      }
      // No point left can lie beyond epsilon (those on the chord's line lie
      // within 2^-27 of it).
      if (std::sqrt(std::max(top.bound, bestKey)) <= epsilon_ && epsilon_ >= 0x1p-20) {
        return {span.first, 0.0};
      }
      std::pop_heap(heap.begin(), heap.end());
      heap.pop_back();
      if (top.node >= tree.base()) {
        scanKeys(top.begin, std::min(points_.count, top.begin + kLeafSize));
      } else {
        push(2 * top.node);
        push(2 * top.node + 1);
      }
    }
    return closestKey(span, bestKey, bestIndex);
  }

  /// The farthest point of @p span when the lowest-index point of greatest
  /// exact key is @p index, with key @p key.
  FarthestPoint closestKey(const IndexSpan & span, double key, std::size_t index) const
  {
    if (!(key > 0.0)) {
      // Every point on the chord's line: only their rounding tells them apart.
      return farthestInteriorPointOneByOne(points_, span);
    }
    const ClosedSegment segment(coordinates_.at(span.first), coordinates_.at(span.last));
    return {index, std::sqrt(squaredSegmentDistance(coordinates_.at(index), segment))};
  }

  /// Best-first search over the tree for the span's interior; returns the
  /// greatest bound among the nodes left unexplored (0 for none).
  double searchTree(
    const IndexSpan & span, const Chord & c, const Tolerance & tolerance, double & greatest)
  {
    const BoundTree & tree = madeTree();
    std::size_t begin = span.first + 1;
    std::size_t end = span.last;
    std::size_t firstLeaf = (begin + kLeafSize - 1) / kLeafSize;
    std::size_t endLeaf = end / kLeafSize;  // leaves [firstLeaf, endLeaf) lie wholly inside
    if (firstLeaf >= endLeaf) {
      scan(begin, end, c, tolerance, greatest);
      return 0.0;
    }
    if (begin < firstLeaf * kLeafSize) {
      scan(begin, firstLeaf * kLeafSize, c, tolerance, greatest);
    }
    if (endLeaf * kLeafSize < end) {
      scan(endLeaf * kLeafSize, end, c, tolerance, greatest);
    }
    if (scratch_.size() < kHullCap) {
      scratch_.resize(kHullCap);
    }
    heap_.clear();
    const auto push = [&](std::size_t v) {
      const double b = tree.bound(v, c, scratch_.data());
      if (b >= 0.0) {
        heap_.push_back({b, v});
        std::push_heap(heap_.begin(), heap_.end());
      }
    };
    tree.forEachCoveringNode(firstLeaf, endLeaf, push);
    while (!heap_.empty()) {
      const auto [b, v] = heap_.front();
      if (
        b < tolerance.candidateThreshold(greatest) || tolerance.undivided(std::max(b, greatest))) {
        return b;  // no point left can be the farthest, or none can divide
      }
      std::pop_heap(heap_.begin(), heap_.end());
      heap_.pop_back();
      if (v >= tree.base()) {
        const std::size_t leaf = v - tree.base();
        scan(
          leaf * kLeafSize, std::min(points_.count, (leaf + 1) * kLeafSize), c, tolerance,
          greatest);
      } else {
        push(2 * v);
        push(2 * v + 1);
      }
    }
    return 0.0;
  }

  const PointArrays & points_;
  Coordinates coordinates_;
  double epsilon_;
  std::size_t treeSpan_;
  std::size_t scansBeforeTree_;
  Reaches reaches_;
  Kernels kernels_;
  std::unique_ptr<BoundTree> boxTree_;
  std::unique_ptr<BoundTree> hullTree_;
  std::size_t scanned_ = 0;  ///< points scanned, and candidates weighed
  std::vector<double> scratch_;
  std::vector<Candidate> candidates_;
  std::vector<std::pair<double, std::size_t>> heap_;
  std::vector<Entry> exactHeap_;
};

/// True when the chord first-last is no longer than minChordLength (never
/// for a NaN or negative minChordLength). For integer coordinates the
/// differences of their doubles are exact.
bool endsSpan(const Coordinates & at, const IndexSpan & span, double minChordLength)
{
  if (!(minChordLength >= 0.0)) {
    return false;
  }
  const XY a = at.at(span.first);
  const XY b = at.at(span.last);
  const double dx = std::fabs(a.x - b.x);
  const double dy = std::fabs(a.y - b.y);
  // hypot() is within an ulp of the exact length, whose square is within a
  // few ulps of this sum: far from minChordLength the sum alone decides.
  const double squared = dx * dx + dy * dy;
  const double limit = minChordLength * minChordLength;
  if (squared > limit * (1.0 + 0x1p-40) && squared <= std::numeric_limits<double>::max()) {
    return false;
  }
  if (squared < limit * (1.0 - 0x1p-40) && squared >= std::numeric_limits<double>::min()) {
    return true;
  }
  return minChordLength >= std::hypot(dx, dy);
}

/// keptIndices() for @p count points read through @p at, @p finder choosing
/// the splits.
std::vector<std::size_t> keptIndicesBy(
  const Coordinates & at, std::size_t count, SplitFinder finder, double minChordLength)
{
  std::vector<std::size_t> kept{0};
  std::vector<IndexSpan> pending;  // second halves, to be taken in turn
  IndexSpan span{0, count - 1};
  for (;;) {
    // 1. A span without interior points, or with a short chord, ends
    //    without looking inside.
    if (span.last - span.first >= 2 && !endsSpan(at, span, minChordLength)) {
      // 2. Divide at the farthest interior point when it is beyond epsilon;
      //    the first half goes on at once.
      const std::size_t k = finder.split(span);
      if (k != span.first) {
        pending.push_back({k, span.last});
        span.last = k;
        continue;
      }
    }
    // 3. An undivided span contributes its last point (its first one is
    //    already there as the previous span's last point).
    kept.push_back(span.last);
    if (pending.empty()) {
      break;
    }
    span = pending.back();
    pending.pop_back();
  }
  return kept;
}

}  // namespace

PointArrays polylineArrays(const std::vector<cv::Point> & points)
{
  PointArrays arrays;
  arrays.count = points.size();
  arrays.coordinates.reset(new double[2 * points.size()]);
  double * x = arrays.coordinates.get();
  double * y = x + points.size();
  std::int64_t largest = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    x[i] = points[i].x;
    y[i] = points[i].y;
    largest =
      std::max({largest, std::abs(std::int64_t{points[i].x}), std::abs(std::int64_t{points[i].y})});
  }
  arrays.x = x;
  arrays.y = y;
  arrays.magnitude = 2.0 * static_cast<double>(largest) + 1.0;
  arrays.smallIntegers = largest < (std::int64_t{1} << 23);
  return arrays;
}

PointArrays poseArrays(const std::vector<geometry_msgs::msg::PoseStamped> & poses)
{
  PointArrays arrays;
  arrays.count = poses.size();
  // (Default-initialised: no pass zeroes them before they are written.)
  arrays.coordinates.reset(new double[2 * poses.size()]);
  double * x = arrays.coordinates.get();
  double * y = x + poses.size();
  double largest = 0.0;
  bool usable = true;
  bool integers = true;
  const auto bound = [&](double v) {
    const double a = std::fabs(v);
    // (NaN fails every comparison, infinity the first.)
    usable &= a <= 0x1p200 && (a >= 0x1p-200 || a == 0.0);
    const double small = a < 0x1p23 ? v : 0.5;  // (converts to int without overflow)
    integers &= small == static_cast<double>(static_cast<std::int32_t>(small));
    largest = a > largest ? a : largest;
  };
  for (std::size_t i = 0; i < poses.size(); ++i) {
    x[i] = poses[i].pose.position.x;
    y[i] = poses[i].pose.position.y;
    bound(x[i]);
    bound(y[i]);
  }
  arrays.x = x;
  arrays.y = y;
  arrays.magnitude = usable ? 2.0 * largest : 0.0;
  arrays.smallIntegers = usable && integers;
  return arrays;
}

std::vector<std::size_t> keptIndices(
  const PointArrays & points, double epsilon, double minChordLength, const TreeUse & treeUse)
{
  const std::size_t last = points.count - 1;
  // No distance lies beyond a NaN or infinite epsilon: no span divides.
  if (!(epsilon < std::numeric_limits<double>::infinity())) {
    return {0, last};
  }
  const Coordinates at{points.x, points.y};
  return keptIndicesBy(at, points.count, SplitFinder(points, at, epsilon, treeUse), minChordLength);
}

}  // namespace simplify
}  // namespace quorvane
