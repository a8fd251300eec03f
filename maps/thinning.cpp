#include "quorvane_nav2_maps/thinning.hpp"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace maps
{
namespace
{

// The eight neighbours of a pixel P1 in Zhang and Suen's naming, clockwise
// from north: P2 = N, P3 = NE, P4 = E, P5 = SE, P6 = S, P7 = SW, P8 = W,
// P9 = NW. A neighbourhood is coded as one byte, bit k holding P(k + 2).
constexpr bool neighbour(unsigned code, int p) { return ((code >> (p - 2)) & 1u) != 0; }

/// Zhang and Suen's rule: may the set pixel with neighbourhood @p code be
/// removed in the first (@p second false) or the second sub-iteration?
constexpr bool removable(unsigned code, bool second)
{
  // B: set neighbours, between 2 and 6 (not an end point, not interior).
  int setNeighbours = 0;
  for (int p = 2; p <= 9; ++p) {
    setNeighbours += neighbour(code, p) ? 1 : 0;
  }
  // A: exactly one clear-to-set step going round P2, P3, ..., P9, P2 (the
  // pixel joins one run of set neighbours: removing it keeps connectivity).
  int steps = 0;
  for (int p = 2; p <= 9; ++p) {
    const int next = p == 9 ? 2 : p + 1;
    steps += (!neighbour(code, p) && neighbour(code, next)) ? 1 : 0;
  }
  const bool p2 = neighbour(code, 2), p4 = neighbour(code, 4);
  const bool p6 = neighbour(code, 6), p8 = neighbour(code, 8);
  // First sub-iteration: south-east boundary points and north-west corners;
  // second: north-west boundary points and south-east corners.
  const bool side =
    second ? !(p2 && p4 && p8) && !(p2 && p6 && p8) : !(p2 && p4 && p6) && !(p4 && p6 && p8);
  return setNeighbours >= 2 && setNeighbours <= 6 && steps == 1 && side;
}

/// Bit 0: removable in the first sub-iteration, bit 1: in the second.
constexpr std::array<std::uint8_t, 256> makeRuleTable()
{
  std::array<std::uint8_t, 256> table{};
  for (unsigned code = 0; code < 256; ++code) {
    table[code] = static_cast<std::uint8_t>(
      (removable(code, false) ? 1u : 0u) | (removable(code, true) ? 2u : 0u));
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kRule = makeRuleTable();

// Spot checks of the table against hand-evaluated neighbourhoods.
static_assert(kRule[0] == 0, "an isolated pixel stays");
static_assert(kRule[0xFF] == 0, "an interior pixel stays");
static_assert(kRule[0x01] == 0, "an end point (one neighbour) stays");
static_assert(kRule[0x1C] == 3, "E, SE, S set (a north-west corner): either removes it");
static_assert(kRule[0xF1] == 1, "NE, E, SE clear (an east edge): only the first removes it");
static_assert(kRule[0x1F] == 2, "SW, W, NW clear (a west edge): only the second removes it");
static_assert(kRule[0x11] == 0, "N and S set (a line through it) stays");

/**
 * Thins @p img in place. @p img is continuous, `CV_8UC1`, 0 or 255, with at
 * least three rows and three columns; its border pixels are never removed.
 *
 * Each pixel can be queued once per sub-iteration parity (two flag bits).
 * Queues hold the pixels whose neighbourhood changed since they were last
 * judged under that parity; every removal queues its set neighbours for both
 * parities, so a pixel next to a removal is judged again in each of the next
 * two sub-iterations, and no other pixel can change.
 */
template <typename Index>
void thinInPlace(cv::Mat & img)
{
  const Index cols = static_cast<Index>(img.cols);
  const Index rows = static_cast<Index>(img.rows);
  std::uint8_t * const pix = img.data;
  // Offsets of P2 ... P9.
  const std::array<std::ptrdiff_t, 8> offset{
    -static_cast<std::ptrdiff_t>(cols),
    -static_cast<std::ptrdiff_t>(cols) + 1,
    1,
    static_cast<std::ptrdiff_t>(cols) + 1,
    static_cast<std::ptrdiff_t>(cols),
    static_cast<std::ptrdiff_t>(cols) - 1,
    -1,
    -static_cast<std::ptrdiff_t>(cols) - 1};
  const auto code = [&](Index i) {
    const std::uint8_t * p = pix + i;
    unsigned c = 0;
    for (unsigned k = 0; k < 8; ++k) {
      c |= static_cast<unsigned>(p[offset[k]] & 1u) << k;
    }
    return c;
  };

  // Border pixels carry both flags for good: they are never queued.
  std::vector<std::uint8_t> queued(static_cast<std::size_t>(rows) * cols, 0);
  std::array<std::vector<Index>, 2> pending;
  for (Index y = 0; y < rows; ++y) {
    for (Index x = 0; x < cols; ++x) {
      const Index i = y * cols + x;
      if (y == 0 || x == 0 || y + 1 == rows || x + 1 == cols) {
        queued[i] = 3;
        continue;
      }
      // Only a set pixel with a clear 4-neighbour can satisfy either rule.
      if (
        pix[i] != 0 &&
        (pix[i - cols] == 0 || pix[i + 1] == 0 || pix[i + cols] == 0 || pix[i - 1] == 0)) {
        queued[i] = 3;
        pending[0].push_back(i);
        pending[1].push_back(i);
      }
    }
  }

  std::vector<Index> current;
  std::vector<Index> removed;
  for (unsigned parity = 0; !pending[0].empty() || !pending[1].empty(); parity ^= 1u) {
    const std::uint8_t bit = static_cast<std::uint8_t>(1u << parity);
    current.clear();
    std::swap(current, pending[parity]);
    // Judge everything on the unchanged image, then remove at once.
    removed.clear();
    for (const Index i : current) {
      queued[i] = static_cast<std::uint8_t>(queued[i] & ~bit);
      if (pix[i] != 0 && (kRule[code(i)] & bit) != 0) {
        removed.push_back(i);
      }
    }
    for (const Index i : removed) {
      pix[i] = 0;
    }
    for (const Index i : removed) {
      for (const std::ptrdiff_t d : offset) {
        const Index j = static_cast<Index>(static_cast<std::ptrdiff_t>(i) + d);
        if (pix[j] == 0 || queued[j] == 3) {
          continue;
        }
        for (unsigned b = 0; b < 2; ++b) {
          if ((queued[j] & (1u << b)) == 0) {
            queued[j] = static_cast<std::uint8_t>(queued[j] | (1u << b));
            pending[b].push_back(j);
          }
        }
      }
    }
  }
}

}  // namespace

void thinZhangSuen(const cv::Mat & src, cv::Mat & dst)
{
  if (src.type() != CV_8UC1 || src.dims > 2) {
    CV_Error(cv::Error::StsUnsupportedFormat, "thinning needs a two-dimensional CV_8UC1 image");
  }
  if (src.empty()) {
    dst = cv::Mat();
    return;
  }
  // A fresh continuous copy with 0 / 255 (OpenCV rounds value / 255), so src
  // may be dst or a view.
  cv::Mat work;
  cv::threshold(src, work, 127, 255, cv::THRESH_BINARY);
  if (work.rows >= 3 && work.cols >= 3) {
    if (work.total() <= std::numeric_limits<std::uint32_t>::max()) {
      thinInPlace<std::uint32_t>(work);
    } else {
      thinInPlace<std::size_t>(work);
    }
  }
  dst = work;
}

}  // namespace maps
}  // namespace quorvane
