// The few compiler-specific constructs the library uses, each with a portable
// fallback. Configuring with -DQUORVANE_PORTABLE=ON forces the fallbacks, so
// that both paths are built and tested (they give bit-identical results).
#ifndef QUORVANE_NAV2_ALGO_CORE__PORTABILITY_HPP_
#define QUORVANE_NAV2_ALGO_CORE__PORTABILITY_HPP_

#include <cstddef>
#include <cstdint>
#include <cstring>

#if (defined(__GNUC__) || defined(__clang__)) && !defined(QUORVANE_PORTABLE)
#define QUORVANE_GNU_EXTENSIONS 1
#else
#define QUORVANE_GNU_EXTENSIONS 0
#endif

/// Forces inlining where the compiler allows it, also in unoptimised
/// (sanitiser) builds, for small functions called once per point.
#if QUORVANE_GNU_EXTENSIONS
#define QUORVANE_ALWAYS_INLINE [[gnu::always_inline]] inline
#else
#define QUORVANE_ALWAYS_INLINE inline
#endif

namespace quorvane
{
namespace portable
{

/// Index of the lowest set bit of a nonzero word.
inline int countTrailingZeros(std::uint64_t word)
{
#if QUORVANE_GNU_EXTENSIONS
  return __builtin_ctzll(word);
#else
  int n = 0;
  while ((word & 1U) == 0) {
    word >>= 1;
    ++n;
  }
  return n;
#endif
}

/// Asks for the cache lines of the @p bytes at @p at to be loaded ahead of
/// use (a hint; nothing in the portable build).
inline void prefetch(const void * at, std::size_t bytes)
{
#if QUORVANE_GNU_EXTENSIONS
  const auto * first = static_cast<const char *>(at);
  for (std::size_t offset = 0; offset < bytes; offset += 64) {
    __builtin_prefetch(first + offset);
  }
#else
  static_cast<void>(at);
  static_cast<void>(bytes);
#endif
}

/// The last byte equal to @p value among the @p n bytes at @p begin, or null.
inline const unsigned char * lastByteEqual(const unsigned char * begin, std::size_t n, int value)
{
#if QUORVANE_GNU_EXTENSIONS && defined(__GLIBC__)
  return static_cast<const unsigned char *>(memrchr(begin, value, n));
#else
  for (std::size_t i = n; i-- > 0;) {
    if (begin[i] == static_cast<unsigned char>(value)) {
      return begin + i;
    }
  }
  return nullptr;
#endif
}

#if QUORVANE_GNU_EXTENSIONS

/// Two doubles processed together; every operation is the IEEE operation of
/// each lane.
using DoublePair = double __attribute__((vector_size(2 * sizeof(double))));
/// Two 64-bit integers, beside a DoublePair.
using Int64Pair = std::int64_t __attribute__((vector_size(2 * sizeof(std::int64_t))));

/// Per lane: a < b ? x : y.
template <typename T>
QUORVANE_ALWAYS_INLINE T selectLess(DoublePair a, DoublePair b, T x, T y)
{
  return a < b ? x : y;
}

/// Per lane: a > b ? x : y.
template <typename T>
QUORVANE_ALWAYS_INLINE T selectGreater(DoublePair a, DoublePair b, T x, T y)
{
  return a > b ? x : y;
}

#else

/// Two values processed lane by lane (the portable stand-in for a vector type).
template <typename T>
struct LanePair
{
  T lane[2];

  T operator[](int i) const { return lane[i]; }
  friend LanePair operator+(LanePair a, LanePair b)
  {
    return {{a.lane[0] + b.lane[0], a.lane[1] + b.lane[1]}};
  }
  friend LanePair operator-(LanePair a, LanePair b)
  {
    return {{a.lane[0] - b.lane[0], a.lane[1] - b.lane[1]}};
  }
  friend LanePair operator*(LanePair a, LanePair b)
  {
    return {{a.lane[0] * b.lane[0], a.lane[1] * b.lane[1]}};
  }
};

using DoublePair = LanePair<double>;
using Int64Pair = LanePair<std::int64_t>;

template <typename T>
inline T selectLess(DoublePair a, DoublePair b, T x, T y)
{
  return {
    {a.lane[0] < b.lane[0] ? x.lane[0] : y.lane[0], a.lane[1] < b.lane[1] ? x.lane[1] : y.lane[1]}};
}

template <typename T>
inline T selectGreater(DoublePair a, DoublePair b, T x, T y)
{
  return {
    {a.lane[0] > b.lane[0] ? x.lane[0] : y.lane[0], a.lane[1] > b.lane[1] ? x.lane[1] : y.lane[1]}};
}

#endif

}  // namespace portable
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__PORTABILITY_HPP_
