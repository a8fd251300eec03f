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

// One byte per pixel: whether it is set, and whether it waits in the queue of
// either sub-iteration (kept together so one load answers both).
constexpr std::uint8_t kSet = 1;
constexpr std::uint8_t kQueuedFirst = 2;
constexpr std::uint8_t kQueuedBoth = 6;

/**
 * Thins @p img in place. @p img is continuous, `CV_8UC1`, 0 or kSet, with at
 * least three rows and three columns; its border pixels are never removed.
 * On return every pixel is 0 or kSet again, apart from the border pixels,
 * which also carry kQueuedBoth.
 *
 * A pixel waits at most once in the queue of each sub-iteration parity. The
 * queues hold the pixels whose neighbourhood changed since they were last
 * judged under that parity: every removal queues its set neighbours for both
 * parities, so a pixel next to a removal is judged again in each of the next
 * two sub-iterations, and no other pixel can change.
 */
template <typename Index>
void thinInPlace(cv::Mat & img)
{
  const Index cols = static_cast<Index>(img.cols);
  const Index rows = static_cast<Index>(img.rows);
  std::uint8_t * const pix = img.data;
  const std::ptrdiff_t c = static_cast<std::ptrdiff_t>(cols);
  // Offsets of P2 ... P9.
  const std::array<std::ptrdiff_t, 8> offset{-c, -c + 1, 1, c + 1, c, c - 1, -1, -c - 1};
  const auto code = [&](Index i) {
    const std::uint8_t * p = pix + i;
    unsigned bits = 0;
    for (unsigned k = 0; k < 8; ++k) {
      bits |= static_cast<unsigned>(p[offset[k]] & kSet) << k;
    }
    return bits;
  };

  // Border pixels look queued for good, so they are never queued; inside,
  // only a set pixel with a clear 4-neighbour can satisfy either rule.
  std::array<std::vector<Index>, 2> pending;
  for (Index y = 0; y < rows; ++y) {
    std::uint8_t * row = pix + static_cast<std::size_t>(y) * cols;
    if (y == 0 || y + 1 == rows) {
      for (Index x = 0; x < cols; ++x) {
        row[x] = static_cast<std::uint8_t>(row[x] | kQueuedBoth);
      }
      continue;
    }
    row[0] = static_cast<std::uint8_t>(row[0] | kQueuedBoth);
    row[cols - 1] = static_cast<std::uint8_t>(row[cols - 1] | kQueuedBoth);
    const std::uint8_t * above = row - cols;
    const std::uint8_t * below = row + cols;
    for (Index x = 1; x + 1 < cols; ++x) {
      // (the neighbours in the border may carry queue marks already)
      if (
        row[x] != 0 && ((above[x] & kSet) == 0 || (below[x] & kSet) == 0 ||
                        (row[x - 1] & kSet) == 0 || (row[x + 1] & kSet) == 0)) {
        pending[0].push_back(y * cols + x);
      }
    }
  }
  pending[1] = pending[0];
  for (const Index i : pending[0]) {
    pix[i] = static_cast<std::uint8_t>(pix[i] | kQueuedBoth);
  }

  std::vector<Index> current;
  std::vector<Index> removed;
  for (unsigned parity = 0; !pending[0].empty() || !pending[1].empty(); parity ^= 1u) {
    const auto queued = static_cast<std::uint8_t>(kQueuedFirst << parity);
    current.clear();
    std::swap(current, pending[parity]);
    // Judge everything on the unchanged image, then remove at once.
    // (Written without a branch on the outcome, which is hard to predict.)
    removed.resize(current.size());
    std::size_t count = 0;
    for (const Index i : current) {
      const std::uint8_t v = static_cast<std::uint8_t>(pix[i] & ~queued);
      pix[i] = v;
      removed[count] = i;
      count += (v & kSet & (kRule[code(i)] >> parity)) != 0 ? 1 : 0;
    }
    removed.resize(count);
    for (const Index i : removed) {
      pix[i] = static_cast<std::uint8_t>(pix[i] & ~kSet);
    }
    for (const Index i : removed) {
      for (const std::ptrdiff_t d : offset) {
        const Index j = static_cast<Index>(static_cast<std::ptrdiff_t>(i) + d);
        const std::uint8_t v = pix[j];
        if ((v & kSet) == 0 || (v & kQueuedBoth) == kQueuedBoth) {
          continue;
        }
        for (unsigned b = 0; b < 2; ++b) {
          if ((v & (kQueuedFirst << b)) == 0) {
            pending[b].push_back(j);
          }
        }
        pix[j] = static_cast<std::uint8_t>(v | kQueuedBoth);
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
  // A fresh continuous copy, set where OpenCV's rounded value / 255 is 1, so
  // src may be dst or a view.
  cv::Mat work;
  cv::threshold(src, work, 127, kSet, cv::THRESH_BINARY);
  if (work.rows >= 3 && work.cols >= 3) {
    if (work.total() <= std::numeric_limits<std::uint32_t>::max()) {
      thinInPlace<std::uint32_t>(work);
    } else {
      thinInPlace<std::size_t>(work);
    }
  }
  // Back to 0 / 255, dropping the queue marks.
  cv::Mat toByte(1, 256, CV_8UC1);
  for (int v = 0; v < 256; ++v) {
    toByte.at<uchar>(v) = (v & kSet) != 0 ? 255 : 0;
  }
  cv::LUT(work, toByte, work);
  dst = work;
}

}  // namespace maps
}  // namespace quorvane
