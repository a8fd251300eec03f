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

}  // namespace portable
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__PORTABILITY_HPP_
