// Map images: the header read before decoding, so that the pixel budget is
// checked before OpenCV allocates anything.
//
// OpenCV 4.6 offers no way to read an image's size without decoding it, so
// the headers of the formats map savers write are read here: PNG, PNM
// (PBM/PGM/PPM, P1..P6) and BMP. They are read as OpenCV's own decoders read
// them, and OpenCV picks its decoder by the same signatures, so the size
// checked is the size decoded. Any other format is refused: its decoded size
// could not be known in advance.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>

#include <opencv2/imgcodecs.hpp>

#include "map_workers.hpp"

namespace quorvane
{
namespace maps
{
namespace detail
{
namespace
{

std::uint32_t bigEndian32(const unsigned char * p)
{
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

std::uint32_t littleEndian32(const unsigned char * p)
{
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
         (std::uint32_t{p[3]} << 24);
}

bool isSpace(unsigned char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/// PNG: the signature, then the IHDR chunk with width and height.
ImageHeader pngHeader(const unsigned char * bytes, std::size_t size)
{
  static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  ImageHeader header;
  if (size < 24 || !std::equal(kSignature, kSignature + 8, bytes)) {
    return header;
  }
  if (bytes[12] != 'I' || bytes[13] != 'H' || bytes[14] != 'D' || bytes[15] != 'R') {
    return header;
  }
  header.width = bigEndian32(bytes + 16);
  header.height = bigEndian32(bytes + 20);
  header.format = "PNG";
  return header;
}

/// The next decimal number of a PNM header exactly as OpenCV's PxM decoder
/// reads it: whitespace and '#' comments (with the line break that ends
/// them) are skipped before the digits, and the byte after the digits is
/// consumed whatever it is ("3#2" is 3, then 2).
bool pnmNumber(
  const unsigned char * bytes, std::size_t size, std::size_t & pos, std::uint64_t & value)
{
  while (pos < size && (bytes[pos] < '0' || bytes[pos] > '9')) {
    if (bytes[pos] == '#') {
      while (pos < size && bytes[pos] != '\n' && bytes[pos] != '\r') {
        ++pos;
      }
    } else if (!isSpace(bytes[pos])) {
      return false;
    }
    ++pos;
  }
  if (pos >= size) {
    return false;
  }
  value = 0;
  while (pos < size && bytes[pos] >= '0' && bytes[pos] <= '9') {
    value = value * 10 + static_cast<std::uint64_t>(bytes[pos] - '0');
    if (value > INT_MAX) {
      return false;  // OpenCV refuses these as well
    }
    ++pos;
  }
  ++pos;  // the byte that ended the number
  return true;
}

/// PNM: "P1".."P6", whitespace, then width and height.
ImageHeader pnmHeader(const unsigned char * bytes, std::size_t size)
{
  ImageHeader header;
  if (size < 3 || bytes[0] != 'P' || bytes[1] < '1' || bytes[1] > '6' || !isSpace(bytes[2])) {
    return header;
  }
  std::size_t pos = 2;
  if (!pnmNumber(bytes, size, pos, header.width) || !pnmNumber(bytes, size, pos, header.height)) {
    return header;
  }
  header.format = "PNM";
  return header;
}

/// BMP: "BM", then the info header's width and height (negative: top-down).
ImageHeader bmpHeader(const unsigned char * bytes, std::size_t size)
{
  ImageHeader header;
  if (size < 26 || bytes[0] != 'B' || bytes[1] != 'M') {
    return header;
  }
  const std::uint32_t infoSize = littleEndian32(bytes + 14);
  std::int64_t width = 0;
  std::int64_t height = 0;
  if (infoSize >= 36) {
    width = static_cast<std::int32_t>(littleEndian32(bytes + 18));
    height = static_cast<std::int32_t>(littleEndian32(bytes + 22));
  } else if (infoSize == 12) {
    width = bytes[18] | (bytes[19] << 8);
    height = bytes[20] | (bytes[21] << 8);
  } else {
    return header;
  }
  header.width = static_cast<std::uint64_t>(width < 0 ? -width : width);
  header.height = static_cast<std::uint64_t>(height < 0 ? -height : height);
  header.format = "BMP";
  return header;
}

/// The first line of an OpenCV error message.
std::string firstLine(const std::string & text) { return text.substr(0, text.find('\n')); }

}  // namespace

ImageHeader readImageHeader(const unsigned char * bytes, std::size_t size)
{
  for (auto read : {pngHeader, pnmHeader, bmpHeader}) {
    const ImageHeader header = read(bytes, size);
    if (header.format != nullptr) {
      return header;
    }
  }
  return {};
}

cv::Mat decodeMapImage(const std::string & bytes, const std::string & path, std::int64_t maxPixels)
{
  const auto * data = reinterpret_cast<const unsigned char *>(bytes.data());
  const ImageHeader header = readImageHeader(data, bytes.size());
  if (header.format == nullptr) {
    throw MapError("image file cannot be decoded (not a PNG, PGM/PPM/PBM or BMP image): " + path);
  }
  if (header.width == 0 || header.height == 0) {
    throw MapError(
      std::string("image file cannot be decoded (malformed ") + header.format +
      " header): " + path);
  }
  const std::uint64_t pixels = header.width * header.height;  // each < 2^32
  if (pixels > static_cast<std::uint64_t>(maxPixels)) {
    throw MapError(
      "image file is too large: " + std::to_string(header.width) + " x " +
      std::to_string(header.height) + " = " + std::to_string(pixels) +
      " pixels, more than LoadOptions::maxPixels = " + std::to_string(maxPixels) + ": " + path);
  }
  if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
    throw MapError("image file cannot be decoded (larger than 2 GiB): " + path);
  }
  const cv::Mat raw(1, static_cast<int>(bytes.size()), CV_8UC1, const_cast<unsigned char *>(data));
  cv::Mat image;
  try {
    image = cv::imdecode(raw, cv::IMREAD_UNCHANGED);
  } catch (const cv::Exception & e) {
    throw MapError(
      std::string("image file cannot be decoded (") + header.format + ": " + firstLine(e.err) +
      "): " + path);
  }
  if (
    image.empty() || static_cast<std::uint64_t>(image.cols) != header.width ||
    static_cast<std::uint64_t>(image.rows) != header.height) {
    throw MapError(
      std::string("image file cannot be decoded (corrupt or truncated ") + header.format +
      " data): " + path);
  }
  return image;
}

}  // namespace detail
}  // namespace maps
}  // namespace quorvane
