#include "quorvane_nav2_maps/thinning.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "portability.hpp"

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

// The image is thinned as words of 64 pixels side by side in a row, bit i of a
// word being the pixel i places to the right of its first one.
using Word = std::uint64_t;
constexpr std::size_t kWordBits = 64;

/// The eight neighbours of the 64 pixels of a word, one word each.
struct Neighbours
{
  Word n, ne, e, se, s, sw, w, nw;
};

/**
 * The rule of kRule for 64 pixels at once: bit i of the result is set when a
 * set pixel whose neighbours are bit i of @p q may be removed in the first
 * (@p second false) or the second sub-iteration.
 */
constexpr Word removableLanes(const Neighbours & q, bool second)
{
  // Clear-to-set steps going round N, NE, ..., NW, N. Two steps are never
  // next to each other, so two neighbouring ones merge with a plain OR.
  const Word s01 = (~q.n & q.ne) | (~q.ne & q.e);
  const Word s23 = (~q.e & q.se) | (~q.se & q.s);
  const Word s45 = (~q.s & q.sw) | (~q.sw & q.w);
  const Word s67 = (~q.w & q.nw) | (~q.nw & q.n);
  const Word s0123 = s01 | s23;
  const Word s4567 = s45 | s67;
  const Word severalSteps = (s01 & s23) | (s45 & s67) | (s0123 & s4567);
  // Exactly one step: the set neighbours form one run round the cycle, and
  // so do the clear ones. Each run is at least two long (B from 2 to 6) when
  // it holds both a 4-neighbour and a diagonal one, as two places next to
  // each other do and a single place does not.
  const Word oneRun = (s0123 | s4567) & ~severalSteps;
  const Word setRunLong = (q.n | q.e | q.s | q.w) & (q.ne | q.se | q.sw | q.nw);
  // (The clear run needs a clear diagonal only: with all four 4-neighbours
  // set, the side condition below fails anyway.)
  const Word clearRunLong = ~(q.ne & q.se & q.sw & q.nw);
  const Word side = second ? ~(q.n & q.w & (q.e | q.s)) : ~(q.e & q.s & (q.n | q.w));
  return oneRun & setRunLong & clearRunLong & side;
}

/// Does removableLanes() agree with kRule on every neighbourhood?
constexpr bool lanesMatchTable()
{
  for (unsigned second = 0; second < 2; ++second) {
    for (unsigned base = 0; base < 256; base += kWordBits) {
      std::array<Word, 8> p{};
      for (unsigned lane = 0; lane < kWordBits; ++lane) {
        for (unsigned k = 0; k < 8; ++k) {
          p[k] |= static_cast<Word>(((base + lane) >> k) & 1u) << lane;
        }
      }
      const Word got =
        removableLanes({p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]}, second != 0);
      for (unsigned lane = 0; lane < kWordBits; ++lane) {
        if (((got >> lane) & 1u) != ((kRule[base + lane] >> second) & 1u)) {
          return false;
        }
      }
    }
  }
  return true;
}

static_assert(
  lanesMatchTable(), "the word-wide rule is the table's, neighbourhood by neighbourhood");

/// The eight bytes from @p p on as one word, the first in the low byte.
inline Word loadEightBytes(const uchar * p)
{
// (A compiler that says its target is little-endian: one load.)
#if QUORVANE_GNU_EXTENSIONS && defined(__ORDER_LITTLE_ENDIAN__) && \
  __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  Word eight;
  std::memcpy(&eight, p, sizeof eight);
  return eight;
#else
  Word eight = 0;
  for (unsigned k = 0; k < 8; ++k) {
    eight |= static_cast<Word>(p[k]) << (8 * k);
  }
  return eight;
#endif
}

/// Sets bit @p i of the bit string @p bits.
inline void setBit(Word * bits, std::size_t i)
{
  bits[i / kWordBits] |= Word{1} << (i % kWordBits);
}

/**
 * The words whose pixels saw a neighbour removed in one sub-iteration, as the
 * words of the rows holding the removals (the rows above and below are added
 * when reading): per row, one bit per word of the image row, and one bit per
 * row that has any.
 */
class ChangedWords
{
public:
  ChangedWords(std::size_t rows, std::size_t wordsPerRow)
  : stride_((wordsPerRow + kWordBits - 1) / kWordBits),
    words_(rows * stride_, 0),
    rows_((rows + kWordBits - 1) / kWordBits, 0)
  {
  }

  std::size_t stride() const { return stride_; }
  const Word * row(std::size_t y) const { return words_.data() + y * stride_; }
  const std::vector<Word> & rowBits() const { return rows_; }

  void mark(std::size_t y, std::size_t x)
  {
    setBit(words_.data() + y * stride_, x);
    setBit(rows_.data(), y);
  }

  /// Empties the set, touching only the rows that have marks.
  void clear()
  {
    for (std::size_t b = 0; b < rows_.size(); ++b) {
      for (Word left = rows_[b]; left != 0; left &= left - 1) {
        const std::size_t y =
          b * kWordBits + static_cast<std::size_t>(portable::countTrailingZeros(left));
        std::fill_n(words_.begin() + static_cast<std::ptrdiff_t>(y * stride_), stride_, Word{0});
      }
      rows_[b] = 0;
    }
  }

  bool empty() const
  {
    for (const Word b : rows_) {
      if (b != 0) {
        return false;
      }
    }
    return true;
  }

private:
  std::size_t stride_;
  std::vector<Word> words_;
  std::vector<Word> rows_;
};

/// Pixels removed from one word in one sub-iteration.
struct Removal
{
  std::size_t y;
  std::size_t x;
  Word lanes;
};

/**
 * One sub-iteration's judgement of a bit image laid out as thinBits() says:
 * appends to @p removals the pixels of the words in the rows of @p changed's
 * marks, or next to them, that @p kSecond's rule removes, judged on @p bits as
 * it is. @p interior masks the pixels each word column may remove.
 */
template <bool kSecond>
void judge(
  const std::vector<Word> & bits, std::size_t rows, std::size_t stride,
  const std::vector<Word> & interior, const std::array<ChangedWords, 2> & changed,
  std::vector<Removal> & removals)
{
  const std::vector<Word> & rowsA = changed[0].rowBits();
  const std::vector<Word> & rowsB = changed[1].rowBits();
  const std::size_t rowBlocks = rowsA.size();
  const std::size_t marksPerRow = changed[0].stride();
  for (std::size_t b = 0; b < rowBlocks; ++b) {
    const Word here = rowsA[b] | rowsB[b];
    const Word before = b > 0 ? rowsA[b - 1] | rowsB[b - 1] : 0;
    const Word after = b + 1 < rowBlocks ? rowsA[b + 1] | rowsB[b + 1] : 0;
    Word near =
      here | (here << 1) | (here >> 1) | (before >> (kWordBits - 1)) | (after << (kWordBits - 1));
    for (; near != 0; near &= near - 1) {
      const std::size_t y =
        b * kWordBits + static_cast<std::size_t>(portable::countTrailingZeros(near));
      if (y == 0 || y + 1 >= rows) {
        continue;
      }
      const Word * mid = bits.data() + y * stride;
      const Word * up = mid - stride;
      const Word * down = mid + stride;
      for (std::size_t j = 0; j < marksPerRow; ++j) {
        Word dirty = 0;
        for (const ChangedWords & set : changed) {
          dirty |= set.row(y - 1)[j] | set.row(y)[j] | set.row(y + 1)[j];
        }
        for (; dirty != 0; dirty &= dirty - 1) {
          const std::size_t x =
            j * kWordBits + static_cast<std::size_t>(portable::countTrailingZeros(dirty));
          const Word c = mid[x];
          if (c == 0) {
            continue;
          }
          // The words around are there: x is never the first or last word.
          const Word n = up[x];
          const Word s = down[x];
          const Neighbours q{
            n,
            (n >> 1) | (up[x + 1] << (kWordBits - 1)),
            (c >> 1) | (mid[x + 1] << (kWordBits - 1)),
            (s >> 1) | (down[x + 1] << (kWordBits - 1)),
            s,
            (s << 1) | (down[x - 1] >> (kWordBits - 1)),
            (c << 1) | (mid[x - 1] >> (kWordBits - 1)),
            (n << 1) | (up[x - 1] >> (kWordBits - 1))};
          const Word lanes = c & interior[x] & removableLanes(q, kSecond);
          if (lanes != 0) {
            removals.push_back({y, x, lanes});
          }
        }
      }
    }
  }
}

/**
 * Thins the bit image @p bits in place: @p rows rows of @p stride words, the
 * pixels of a row in its words 1 ... stride - 2 (pixel c at bit c % 64 of word
 * 1 + c / 64), words 0 and stride - 1 and the bits past the last of @p cols
 * pixels clear. At least three rows and three columns; the pixels of the
 * outermost rows and columns are never removed.
 *
 * Zhang–Suen's two sub-iterations alternate, each judging every pixel on the
 * image as it was before it and removing at once. A pixel whose neighbourhood
 * did not change since it was last judged under the same sub-iteration gets
 * the same answer again: the first two sub-iterations judge every word, every
 * later one only the words next to a removal of one of the two before it.
 */
void thinBits(std::vector<Word> & bits, std::size_t rows, std::size_t stride, std::size_t cols)
{
  // The pixels each word may remove: not those of the outermost columns.
  std::vector<Word> interior(stride, ~Word{0});
  interior.front() = 0;
  interior.back() = 0;
  interior[1] &= ~Word{1};
  const std::size_t last = cols - 1;
  const std::size_t lastWord = 1 + last / kWordBits;
  interior[lastWord] &= ~(~Word{0} << (last % kWordBits));

  // The changes of the last two sub-iterations; before the first, everything
  // counts as changed in both, so the first two judge every word.
  std::array<ChangedWords, 2> changed{ChangedWords(rows, stride), ChangedWords(rows, stride)};
  for (ChangedWords & set : changed) {
    for (std::size_t y = 1; y + 1 < rows; ++y) {
      for (std::size_t x = 1; x <= lastWord; ++x) {
        set.mark(y, x);
      }
    }
  }

  std::vector<Removal> removals;
  for (unsigned t = 0;; ++t) {
    removals.clear();
    if ((t & 1u) == 0) {
      judge<false>(bits, rows, stride, interior, changed, removals);
    } else {
      judge<true>(bits, rows, stride, interior, changed, removals);
    }
    // The older set is done with (its changes have now been judged under
    // both sub-iterations); it takes this one's.
    ChangedWords & older = changed[t & 1u];
    older.clear();
    for (const Removal & r : removals) {
      bits[r.y * stride + r.x] &= ~r.lanes;
      // Removals at a word's ends change the words beside it. Never the
      // first or last word: the outermost columns are never removed.
      older.mark(r.y, r.x);
      if ((r.lanes & 1u) != 0) {
        older.mark(r.y, r.x - 1);
      }
      if ((r.lanes >> (kWordBits - 1)) != 0) {
        older.mark(r.y, r.x + 1);
      }
    }
    // Nothing removed in this sub-iteration and the one before: nothing
    // will be. (Before the first, the other set still holds everything.)
    if (removals.empty() && changed[(t + 1) & 1u].empty()) {
      return;
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
  const auto rows = static_cast<std::size_t>(src.rows);
  const auto cols = static_cast<std::size_t>(src.cols);
  const std::size_t stride = (cols + kWordBits - 1) / kWordBits + 2;

  // One bit per pixel, set where OpenCV's rounded value / 255 is 1, that is
  // where the byte's top bit is. Eight bytes at a time: their top bits moved
  // to the bottom of each byte, then gathered into one byte by a product
  // whose partial products never overlap (byte k lands on bit 56 + k).
  std::vector<Word> bits(rows * stride, 0);
  for (std::size_t y = 0; y < rows; ++y) {
    const uchar * in = src.ptr<uchar>(static_cast<int>(y));
    Word * out = bits.data() + y * stride + 1;
    std::size_t x = 0;
    for (; x + 8 <= cols; x += 8) {
      const Word eight = loadEightBytes(in + x);
      const Word tops = (eight >> 7) & 0x0101010101010101u;
      out[x / kWordBits] |= ((tops * 0x0102040810204080u) >> 56) << (x % kWordBits);
    }
    for (; x < cols; ++x) {
      out[x / kWordBits] |= static_cast<Word>(in[x] >> 7) << (x % kWordBits);
    }
  }

  if (rows >= 3 && cols >= 3) {
    thinBits(bits, rows, stride, cols);
  }

  // A new image, so that src may be dst or a view.
  cv::Mat result = cv::Mat::zeros(src.rows, src.cols, CV_8UC1);
  for (std::size_t y = 0; y < rows; ++y) {
    uchar * out = result.ptr<uchar>(static_cast<int>(y));
    const Word * in = bits.data() + y * stride + 1;
    for (std::size_t w = 0; w + 2 < stride; ++w) {
      for (Word left = in[w]; left != 0; left &= left - 1) {
        out[w * kWordBits + static_cast<std::size_t>(portable::countTrailingZeros(left))] = 255;
      }
    }
  }
  dst = result;
}

}  // namespace maps
}  // namespace quorvane
