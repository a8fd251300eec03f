// Skeleton junction pixels and the farthest pair among them.
//
// A junction pixel is a set pixel at which three branches meet. The rule is
// written as twelve 3x3 shapes (arms around a set centre). Instead of matching
// them one by one over the whole image, a single pass packs each row into bit
// planes, a cheap test on 128 pixels at a time (implied by the shapes) leaves
// a few candidates, and each candidate's eight neighbours, packed into one
// byte, are looked up in a 256-entry table generated from the same shapes.
//
// The farthest pair is searched on the convex hull of the junction pixels,
// with rotating calipers, in exact 64-bit integer arithmetic.

#include "junctions.hpp"

#include <algorithm>

#include <opencv2/core/hal/intrin.hpp>

#include "portability.hpp"

namespace quorvane
{
namespace junctions
{
namespace
{

constexpr std::uint8_t arm(NeighbourBit neighbour)
{
  return static_cast<std::uint8_t>(1U << neighbour);
}

constexpr std::uint8_t arms(NeighbourBit a, NeighbourBit b, NeighbourBit c)
{
  return static_cast<std::uint8_t>(arm(a) | arm(b) | arm(c));
}

// The junction rule: a set pixel is a junction pixel when, for at least one of
// these shapes, all three of its arm neighbours are set. The other five
// neighbours may be set or clear.
//
//   1: 1 0 1   2: 0 1 0   3: 0 0 1   4: 1 0 0   5: 0 1 0   6: 0 0 1
//      0 1 0      0 1 1      1 1 0      0 1 1      0 1 0      1 1 0
//      0 1 0      1 0 0      0 0 1      0 1 0      1 0 1      0 1 0
//
//   7: 1 0 0   8: 0 1 0   9: 1 0 0  10: 1 0 1  11: 1 0 1  12: 0 0 1
//      0 1 1      1 1 0      0 1 0      0 1 0      0 1 0      0 1 0
//      1 0 0      0 0 1      1 0 1      1 0 0      0 0 1      1 0 1
//
// Shapes 1, 3, 5, 7 are a Y (two diagonal arms, the straight arm opposite);
// 2, 4, 6, 8 two straight arms at a right angle and the diagonal opposite
// their corner; 9 to 12 three diagonal arms. No shape has only straight arms.
constexpr std::array<std::uint8_t, 12> kJunctionArmMasks = {
  arms(kNW, kNE, kS),  arms(kN, kE, kSW),   arms(kNE, kW, kSE),  arms(kNW, kE, kS),
  arms(kN, kSW, kSE),  arms(kNE, kW, kS),   arms(kNW, kE, kSW),  arms(kN, kW, kSE),
  arms(kNW, kSW, kSE), arms(kNW, kNE, kSW), arms(kNW, kNE, kSE), arms(kNE, kSW, kSE),
};

constexpr std::array<std::uint8_t, 256> makeJunctionLookupTable()
{
  std::array<std::uint8_t, 256> table{};
  for (unsigned code = 0; code < table.size(); ++code) {
    for (const std::uint8_t mask : kJunctionArmMasks) {
      if ((code & mask) == mask) {
        table[code] = 1;
      }
    }
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kJunctionLookupTable = makeJunctionLookupTable();

// Every shape has an arm in the top and the bottom row and in the left and the
// right column of its 3x3 window. A pixel on the image border therefore always
// misses an arm (pixels outside the image count as clear): only interior
// pixels can be junction pixels, and all their neighbours lie inside.
constexpr bool everyShapeReachesAllFourSides()
{
  constexpr unsigned top = arms(kNW, kN, kNE), bottom = arms(kSW, kS, kSE);
  constexpr unsigned left = arms(kNW, kW, kSW), right = arms(kNE, kE, kSE);
  for (const std::uint8_t mask : kJunctionArmMasks) {
    if ((mask & top) == 0 || (mask & bottom) == 0 || (mask & left) == 0 || (mask & right) == 0) {
      return false;
    }
  }
  return true;
}
static_assert(everyShapeReachesAllFourSides(), "border pixels could be junction pixels");

// A cheap necessary condition, tested on 128 pixels at a time before the
// table is consulted: every shape has an arm in the top and one in the bottom
// row and three arms in all, so a junction pixel has a set neighbour above and
// one below, and either two above, two below, or one beside it (W or E).
constexpr bool passesCandidateTest(unsigned code)
{
  const auto has = [code](NeighbourBit b) { return (code >> b) & 1U; };
  const unsigned top = has(kNW) + has(kN) + has(kNE);
  const unsigned bottom = has(kSW) + has(kS) + has(kSE);
  const unsigned beside = has(kW) + has(kE);
  return top >= 1 && bottom >= 1 && (top >= 2 || bottom >= 2 || beside >= 1);
}

constexpr bool candidateTestKeepsEveryJunction()
{
  for (unsigned code = 0; code < kJunctionLookupTable.size(); ++code) {
    if (kJunctionLookupTable[code] != 0 && !passesCandidateTest(code)) {
      return false;
    }
  }
  return true;
}
static_assert(candidateTestKeepsEveryJunction(), "the candidate test would drop junctions");

// Measured gain of the bit planes and the candidate test: about 5x over a
// plain loop that reads each set pixel's eight neighbours into a code and
// looks it up in the same table, on a 4000x4000 line drawing (bench_junctions,
// BM_Skeleton4000_PlainTableLoop is that baseline).
//
// Bit planes of one image row, one bit per pixel (bit x in word x / 64), each
// with a zero word before and after its data so that neighbouring words can
// be read at both ends:
//   set:    pixel x is set;
//   any3:   at least one of x - 1, x, x + 1 is set;
//   two3:   at least two of x - 1, x, x + 1 are set;
//   beside: x - 1 or x + 1 is set.
// Pixels beyond the row count as clear.
class RowPlanes
{
public:
  explicit RowPlanes(int cols)
  : words_(2 * static_cast<std::size_t>((cols + 127) / 128)),
    set_(words_ + 2),
    any3_(words_ + 2),
    two3_(words_ + 2),
    beside_(words_ + 2)
  {
  }

  // Fills the planes from an image row of cols pixels.
  void build(const uchar * row, int cols);

  std::size_t words() const { return words_; }
  const std::uint64_t * set() const { return set_.data() + 1; }
  const std::uint64_t * any3() const { return any3_.data() + 1; }
  const std::uint64_t * two3() const { return two3_.data() + 1; }
  const std::uint64_t * beside() const { return beside_.data() + 1; }

private:
  void packSetBits(const uchar * row, int cols);

  std::size_t words_;  // data words, even, so that pairs of words cover them
  std::vector<std::uint64_t> set_, any3_, two3_, beside_;
};

// Bit k set when byte k of the 16 at p is nonzero: one vector compare and its
// sign mask.
inline std::uint64_t nonzeroMask16(const uchar * p)
{
  const cv::v_uint8x16 isClear = cv::v_load(p) == cv::v_setzero_u8();
  return ~static_cast<std::uint64_t>(cv::v_signmask(cv::v_reinterpret_as_s8(isClear))) & 0xFFFFU;
}

void RowPlanes::packSetBits(const uchar * row, int cols)
{
  std::uint64_t * bits = set_.data() + 1;
  std::fill(bits, bits + words_, std::uint64_t{0});
  int x = 0;
  for (; x + 64 <= cols; x += 64) {
    bits[x / 64] = nonzeroMask16(row + x) | (nonzeroMask16(row + x + 16) << 16) |
                   (nonzeroMask16(row + x + 32) << 32) | (nonzeroMask16(row + x + 48) << 48);
  }
  for (; x + 16 <= cols; x += 16) {
    bits[x / 64] |= nonzeroMask16(row + x) << (x % 64);
  }
  for (; x < cols; ++x) {
    bits[x / 64] |= static_cast<std::uint64_t>(row[x] != 0) << (x % 64);
  }
}

void RowPlanes::build(const uchar * row, int cols)
{
  packSetBits(row, cols);
  // Two words at a time; the left neighbour of bit x is bit x - 1, carried in
  // from the previous word's top bit, the right one bit x + 1.
  const std::uint64_t * s = set_.data();
  for (std::size_t i = 1; i <= words_; i += 2) {
    const cv::v_uint64x2 centre = cv::v_load(s + i);
    const cv::v_uint64x2 left = (centre << 1) | (cv::v_load(s + i - 1) >> 63);
    const cv::v_uint64x2 right = (centre >> 1) | (cv::v_load(s + i + 1) << 63);
    cv::v_store(any3_.data() + i, left | centre | right);
    cv::v_store(two3_.data() + i, (left & (centre | right)) | (centre & right));
    cv::v_store(beside_.data() + i, left | right);
  }
}

inline unsigned bitAt(const std::uint64_t * bits, int x)
{
  return static_cast<unsigned>(bits[x >> 6] >> (x & 63)) & 1U;
}

// Neighbourhood code of interior column x from the set planes of three rows.
inline unsigned neighbourhoodCode(
  const std::uint64_t * above, const std::uint64_t * row, const std::uint64_t * below, int x)
{
  return (bitAt(above, x - 1) << kNW) | (bitAt(above, x) << kN) | (bitAt(above, x + 1) << kNE) |
         (bitAt(row, x - 1) << kW) | (bitAt(row, x + 1) << kE) | (bitAt(below, x - 1) << kSW) |
         (bitAt(below, x) << kS) | (bitAt(below, x + 1) << kSE);
}

// Appends the junction pixels of interior row y, in column order: the
// candidate test on 128 pixels at a time, then the table for each candidate
// in the interior columns [1, cols - 1).
void collectRowJunctions(
  const RowPlanes & above, const RowPlanes & row, const RowPlanes & below, int y, int cols,
  std::vector<cv::Point> & out)
{
  const cv::v_uint64x2 zero = cv::v_setzero_u64();
  for (std::size_t i = 0; i < row.words(); i += 2) {
    const cv::v_uint64x2 candidates =
      cv::v_load(row.set() + i) & cv::v_load(above.any3() + i) & cv::v_load(below.any3() + i) &
      (cv::v_load(above.two3() + i) | cv::v_load(below.two3() + i) | cv::v_load(row.beside() + i));
    if (!cv::v_check_any(cv::v_reinterpret_as_s32(candidates != zero))) {
      continue;
    }
    std::array<std::uint64_t, 2> pair{};
    cv::v_store(pair.data(), candidates);
    for (std::size_t k = 0; k < 2; ++k) {
      const int base = static_cast<int>(64 * (i + k));
      for (std::uint64_t bits = pair[k]; bits != 0; bits &= bits - 1) {
        const int x = base + portable::countTrailingZeros(bits);
        if (
          x >= 1 && x + 1 < cols &&
          kJunctionLookupTable[neighbourhoodCode(above.set(), row.set(), below.set(), x)] != 0) {
          out.emplace_back(x, y);
        }
      }
    }
  }
}

// ---------------------------------------------------------------- geometry

// Twice the signed area of the triangle (o, a, b): positive when o -> a -> b
// turns counter-clockwise in the (x, y) frame. Coordinates are image indices
// in [0, 2^31), so each product is below 2^62 and the difference is exact.
inline std::int64_t cross(const cv::Point & o, const cv::Point & a, const cv::Point & b)
{
  return (std::int64_t{a.x} - o.x) * (std::int64_t{b.y} - o.y) -
         (std::int64_t{a.y} - o.y) * (std::int64_t{b.x} - o.x);
}

// Cross product of the edge vectors a0 -> a1 and b0 -> b1.
inline std::int64_t crossOfEdges(
  const cv::Point & a0, const cv::Point & a1, const cv::Point & b0, const cv::Point & b1)
{
  return (std::int64_t{a1.x} - a0.x) * (std::int64_t{b1.y} - b0.y) -
         (std::int64_t{a1.y} - a0.y) * (std::int64_t{b1.x} - b0.x);
}

inline std::int64_t squaredDistance(const cv::Point & a, const cv::Point & b)
{
  const std::int64_t dx = std::int64_t{a.x} - b.x;
  const std::int64_t dy = std::int64_t{a.y} - b.y;
  return dx * dx + dy * dy;
}

// Keeps the farthest pair seen so far; equal distances keep the pair that
// comes first in raster pair order.
class FarthestPairTracker
{
public:
  explicit FarthestPairTracker(const std::vector<cv::Point> & points) : points_(points) {}

  void consider(std::size_t a, std::size_t b)
  {
    const IndexPair candidate{std::min(a, b), std::max(a, b)};
    const std::int64_t d = squaredDistance(points_[a], points_[b]);
    const bool earlier = candidate.first < best_.first ||
                         (candidate.first == best_.first && candidate.second < best_.second);
    if (d > bestDistance_ || (d == bestDistance_ && earlier)) {
      bestDistance_ = d;
      best_ = candidate;
    }
  }

  IndexPair best() const { return best_; }

private:
  const std::vector<cv::Point> & points_;
  std::int64_t bestDistance_ = -1;
  IndexPair best_{0, 0};
};

// Offers every antipodal pair of a strictly convex counter-clockwise polygon
// (three or more vertices) to the tracker. For each edge, the vertex farthest
// from its line (two when the opposite edge is parallel) is paired with both
// ends of the edge; the farthest vertex only moves forward as the edges turn.
// Every pair of vertices with parallel supporting lines arises this way, since
// such a line pair can be turned until it lies flush with an edge at one of
// the two vertices.
void offerAntipodalPairs(
  const std::vector<cv::Point> & points, const std::vector<std::size_t> & hull,
  FarthestPairTracker & tracker)
{
  const std::size_t h = hull.size();
  const auto at = [&](std::size_t k) -> const cv::Point & { return points[hull[k % h]]; };
  std::size_t j = 1;
  for (std::size_t i = 0; i < h; ++i) {
    const cv::Point & e0 = at(i);
    const cv::Point & e1 = at(i + 1);
    while (crossOfEdges(e0, e1, at(j), at(j + 1)) > 0) {
      ++j;
    }
    tracker.consider(hull[i], hull[j % h]);
    tracker.consider(hull[(i + 1) % h], hull[j % h]);
    if (crossOfEdges(e0, e1, at(j), at(j + 1)) == 0) {
      tracker.consider(hull[i], hull[(j + 1) % h]);
      tracker.consider(hull[(i + 1) % h], hull[(j + 1) % h]);
    }
  }
}

}  // namespace

const std::array<std::uint8_t, 12> & junctionArmMasks() { return kJunctionArmMasks; }

const std::array<std::uint8_t, 256> & junctionLookupTable() { return kJunctionLookupTable; }

void collectJunctionPixels(const cv::Mat & skeleton, std::vector<cv::Point> & junctionPixels)
{
  const int rows = skeleton.rows;
  const int cols = skeleton.cols;
  if (rows < 3 || cols < 3) {
    return;  // no interior pixel (border pixels hold no junction, see above)
  }
  // 1. Planes of three rolling rows; every image row is read once, when it
  //    enters the window.
  std::array<RowPlanes, 3> planes{RowPlanes(cols), RowPlanes(cols), RowPlanes(cols)};
  const auto window = [&](int y) -> RowPlanes & { return planes[static_cast<std::size_t>(y % 3)]; };
  window(0).build(skeleton.ptr<uchar>(0), cols);
  window(1).build(skeleton.ptr<uchar>(1), cols);
  // 2. Each interior row's junction pixels.
  for (int y = 1; y + 1 < rows; ++y) {
    window(y + 1).build(skeleton.ptr<uchar>(y + 1), cols);
    collectRowJunctions(window(y - 1), window(y), window(y + 1), y, cols, junctionPixels);
  }
}

std::vector<std::size_t> convexHullOfRasterPoints(const std::vector<cv::Point> & points)
{
  const std::size_t n = points.size();
  if (n < 2) {
    return std::vector<std::size_t>(n, 0);
  }
  // Monotone chain over the given order. Raster order sorts by (y, x), the
  // chain's usual (x, y) order with the axes swapped, so popping on
  // non-negative turns (collinear points included) leaves a clockwise chain.
  std::vector<std::size_t> hull;
  const auto extend = [&](std::size_t i, std::size_t floor) {
    while (hull.size() >= floor + 2 &&
           cross(points[hull[hull.size() - 2]], points[hull.back()], points[i]) >= 0) {
      hull.pop_back();
    }
    hull.push_back(i);
  };
  // 1. One side, from the first point to the last.
  for (std::size_t i = 0; i < n; ++i) {
    extend(i, 0);
  }
  // 2. The other side, back from the last point to the first.
  const std::size_t floor = hull.size() - 1;
  for (std::size_t i = n - 1; i-- > 0;) {
    extend(i, floor);
  }
  // 3. Drop the repeated first point and turn counter-clockwise.
  hull.pop_back();
  std::reverse(hull.begin(), hull.end());
  return hull;
}

bool farthestPairInRasterOrder(const std::vector<cv::Point> & points, IndexPair & pair)
{
  if (points.size() < 2) {
    return false;
  }
  // 1. Both ends of a farthest pair are extreme points of the hull: with q
  // fixed, |p - q|^2 is strictly convex in p, so its maximum over the hull is
  // reached only at extreme points. Points inside the hull or on its edges
  // (also when every point lies on one line) can never be an end.
  const std::vector<std::size_t> hull = convexHullOfRasterPoints(points);
  // 2. Every farthest pair is antipodal; offer all antipodal pairs.
  FarthestPairTracker tracker(points);
  if (hull.size() == 2) {
    tracker.consider(hull[0], hull[1]);
  } else {
    offerAntipodalPairs(points, hull, tracker);
  }
  // 3. The tracker kept the first pair in raster pair order among the farthest.
  pair = tracker.best();
  return true;
}

std::array<cv::Point, 2> farthestJunctionPixels(const cv::Mat & skeleton)
{
  // 1. Junction pixels in raster order, one pass over the image.
  std::vector<cv::Point> pixels;
  collectJunctionPixels(skeleton, pixels);
  // 2. The farthest pair among them; fewer than two give (0, 0) twice.
  IndexPair pair{0, 0};
  if (!farthestPairInRasterOrder(pixels, pair)) {
    return {cv::Point(0, 0), cv::Point(0, 0)};
  }
  return {pixels[pair.first], pixels[pair.second]};
}

}  // namespace junctions
}  // namespace quorvane
