#ifndef QUORVANE_NAV2_MAPS__UTF8_HPP_
#define QUORVANE_NAV2_MAPS__UTF8_HPP_

// Whether text is valid UTF-8. Header-only and free of other dependencies, so
// that the map tool and the Python module, which link the toolkit's shared
// library (whose internal symbols are hidden), can use the same check on the
// text they print.

#include <cstddef>
#include <string_view>

namespace quorvane
{
namespace maps
{
namespace detail
{

/// The length of the valid UTF-8 prefix of @p text: text.size() when all of
/// it is valid. Overlong forms, surrogates (U+D800..U+DFFF) and code points
/// above U+10FFFF are invalid, as RFC 3629 says.
inline std::size_t validUtf8Prefix(std::string_view text)
{
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte
    unsigned char high = 0xBF;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3;
      low = b0 == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
      high = b0 == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      length = 4;
      low = b0 == 0xF0 ? 0x90 : 0x80;   // no overlong forms
      high = b0 == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
      return i;
    }
    if (n - i < length) {
      return i;
    }
    const auto b1 = static_cast<unsigned char>(text[i + 1]);
    if (b1 < low || b1 > high) {
      return i;
    }
    for (std::size_t k = 2; k < length; ++k) {
      const auto b = static_cast<unsigned char>(text[i + k]);
      if (b < 0x80 || b > 0xBF) {
        return i;
      }
    }
    i += length;
  }
  return n;
}

/// Whether all of @p text is valid UTF-8 (see validUtf8Prefix()).
inline bool isValidUtf8(std::string_view text) { return validUtf8Prefix(text) == text.size(); }

}  // namespace detail
}  // namespace maps
}  // namespace quorvane

#endif  // QUORVANE_NAV2_MAPS__UTF8_HPP_
