// Shared helpers of the libFuzzer targets: a front-to-back byte reader whose
// layout the seed generator (make_seeds.py) writes with Python's struct
// module, value pickers that favour the boundary values the library must
// survive, and small checks that abort with a message.
#ifndef QUORVANE_NAV2_ALGO_CORE__FUZZ_INPUT_HPP_
#define QUORVANE_NAV2_ALGO_CORE__FUZZ_INPUT_HPP_

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include <opencv2/core.hpp>

namespace quorvane_fuzz
{

/// Reads little-endian values from the front of the input; an exhausted
/// input reads as zeros, so every byte string is a valid input.
class ByteReader
{
public:
  ByteReader(const uint8_t * data, size_t size) : data_(data), size_(size) {}

  size_t remaining() const { return size_ - pos_; }

  uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }

  uint16_t u16()
  {
    uint16_t v = 0;
    read(&v, sizeof v);
    return v;
  }

  int32_t i32()
  {
    int32_t v = 0;
    read(&v, sizeof v);
    return v;
  }

  float f32()
  {
    float v = 0.0F;
    read(&v, sizeof v);
    return v;
  }

  double f64()
  {
    double v = 0.0;
    read(&v, sizeof v);
    return v;
  }

private:
  void read(void * out, size_t n)
  {
    const size_t got = n < remaining() ? n : remaining();
    if (got > 0) {
      std::memcpy(out, data_ + pos_, got);
    }
    pos_ += got;
  }

  const uint8_t * data_;
  size_t size_;
  size_t pos_ = 0;
};

/// Doubles every operation must survive: signed zeros, the thresholds of the
/// cell size (1, 65535, 65536), huge, tiny, infinite and NaN values.
inline const std::array<double, 24> & specialDoubles()
{
  static const std::array<double, 24> values = {
    0.0,
    -0.0,
    0.5,
    0.999999,
    1.0,
    1.5,
    2.0,
    3.0,
    5.0,
    7.9,
    10.0,
    -1.0,
    -1e-300,
    std::numeric_limits<double>::quiet_NaN(),
    std::numeric_limits<double>::infinity(),
    -std::numeric_limits<double>::infinity(),
    65535.0,
    65535.999,
    65536.0,
    1e18,
    -1e18,
    DBL_MAX,
    std::numeric_limits<double>::denorm_min(),
    4.0};
  return values;
}

/// One tag byte: below the table size it picks a special value, otherwise the
/// next eight bytes are the raw double.
inline double pickDouble(ByteReader & in)
{
  const uint8_t tag = in.u8();
  if (tag < specialDoubles().size()) {
    return specialDoubles()[tag];
  }
  return in.f64();
}

/// 32-bit integers at the edges of overflow.
inline const std::array<int32_t, 16> & specialInts()
{
  static const std::array<int32_t, 16> values = {
    0,           1,     -1,    2,       3,          INT_MIN, INT_MAX, INT_MIN + 1,
    INT_MAX - 1, 65535, 65536, 1 << 30, -(1 << 30), 46341,   -46341,  32767};
  return values;
}

/// Tag byte: a special integer, a small one (tag - 128 for tags 128..255), or
/// (tag 16..127) the next four bytes raw.
inline int32_t pickInt(ByteReader & in)
{
  const uint8_t tag = in.u8();
  if (tag < specialInts().size()) {
    return specialInts()[tag];
  }
  if (tag >= 128) {
    return static_cast<int32_t>(tag) - 128;
  }
  return in.i32();
}

/// Bit-exact equality, so NaN payloads and signed zeros count as compared.
template <typename T>
bool sameBits(const T & a, const T & b)
{
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

inline bool samePoints(const std::vector<cv::Point2f> & a, const std::vector<cv::Point2f> & b)
{
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    if (!sameBits(a[i].x, b[i].x) || !sameBits(a[i].y, b[i].y)) {
      return false;
    }
  }
  return true;
}

/// Same size, type and pixels (read through each one's row step). Empty
/// matrices are all alike: cloning one does not keep its type.
inline bool sameMat(const cv::Mat & a, const cv::Mat & b)
{
  if (a.empty() || b.empty()) {
    return a.empty() && b.empty();
  }
  if (a.dims != b.dims || a.rows != b.rows || a.cols != b.cols || a.type() != b.type()) {
    return false;
  }
  const size_t rowBytes = static_cast<size_t>(a.cols) * a.elemSize();
  for (int r = 0; r < a.rows; ++r) {
    if (std::memcmp(a.ptr(r), b.ptr(r), rowBytes) != 0) {
      return false;
    }
  }
  return true;
}

/// The fuzz targets' assertion: prints what broke and aborts, which libFuzzer
/// reports as a crash and saves the input.
#define FUZZ_CHECK(cond)                                                                   \
  do {                                                                                     \
    if (!(cond)) {                                                                         \
      std::fprintf(stderr, "FUZZ_CHECK failed at %s:%d: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (false)

/// Image types the targets feed in besides CV_8UC1.
inline int pickImageType(ByteReader & in)
{
  static const std::array<int, 9> others = {CV_8UC3,  CV_16UC1, CV_32FC1, CV_8SC1, CV_8UC2,
                                            CV_64FC1, CV_16SC1, CV_8UC4,  CV_32SC1};
  const uint8_t tag = in.u8();
  return tag < 224 ? CV_8UC1 : others[tag % others.size()];
}

/// An image of @p rows x @p cols and @p type, either continuous or a view cut
/// out of a larger buffer whose margins hold @p marginValue (chosen so that a
/// view that leaks its surroundings is caught). @p storage keeps the buffer.
inline cv::Mat makeImage(
  int rows, int cols, int type, bool asView, uchar marginValue, int marginLeft, int marginTop,
  cv::Mat & storage)
{
  if (!asView) {
    storage = cv::Mat(rows, cols, type, cv::Scalar::all(0));
    return storage;
  }
  storage =
    cv::Mat(rows + marginTop + 2, cols + marginLeft + 3, type, cv::Scalar::all(marginValue));
  return storage(cv::Rect(marginLeft, marginTop, cols, rows));
}

/// Fills @p image from the input. Modes: raw bytes; one bit per pixel (set =
/// 255); a few straight strokes of 255 (skeleton-like lines); filled boxes of
/// 255 (free areas of a map). Only the first channel byte of each pixel is
/// shaped by the last three modes; other types get raw bytes.
inline void fillImage(ByteReader & in, cv::Mat & image)
{
  if (image.empty()) {
    return;
  }
  const uint8_t mode = in.u8() % 4;
  if (image.type() != CV_8UC1 || mode == 0) {
    const size_t rowBytes = static_cast<size_t>(image.cols) * image.elemSize();
    for (int r = 0; r < image.rows; ++r) {
      uchar * row = image.ptr(r);
      for (size_t i = 0; i < rowBytes; ++i) {
        row[i] = in.u8();
      }
    }
    return;
  }
  if (mode == 1) {
    uint8_t bits = 0;
    int used = 8;
    for (int r = 0; r < image.rows; ++r) {
      for (int c = 0; c < image.cols; ++c) {
        if (used == 8) {
          bits = in.u8();
          used = 0;
        }
        image.at<uchar>(r, c) = ((bits >> used++) & 1U) != 0 ? 255 : 0;
      }
    }
    return;
  }
  const int count = in.u8() % 12;
  for (int k = 0; k < count; ++k) {
    const int x0 = in.u8() % image.cols;
    const int y0 = in.u8() % image.rows;
    if (mode == 2) {
      // A stroke: direction 0..7 (E, SE, S, SW, W, NW, N, NE) and length.
      static const int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
      static const int kDy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
      const int dir = in.u8() % 8;
      const int len = in.u8() % 64;
      for (int s = 0, x = x0, y = y0; s <= len; ++s, x += kDx[dir], y += kDy[dir]) {
        if (x < 0 || y < 0 || x >= image.cols || y >= image.rows) {
          break;
        }
        image.at<uchar>(y, x) = 255;
      }
    } else {
      const int w = 1 + in.u8() % image.cols;
      const int h = 1 + in.u8() % image.rows;
      const uchar value = (in.u8() & 7U) == 0 ? 0 : 255;  // occasionally carve a hole
      image(cv::Rect(x0, y0, std::min(w, image.cols - x0), std::min(h, image.rows - y0)))
        .setTo(value);
    }
  }
}

/// A fuzzed image, read in this order: rows and columns (0 to 64), type,
/// whether it is a view inside a larger buffer (and that buffer's margin value
/// and offsets), then its pixels.
struct FuzzedImage
{
  cv::Mat storage;  ///< the buffer the image lives in
  cv::Mat image;
  int type = CV_8UC1;
  bool asView = false;
};

inline FuzzedImage readImage(ByteReader & in)
{
  FuzzedImage f;
  const int rows = in.u8() % 65;
  const int cols = in.u8() % 65;
  f.type = pickImageType(in);
  f.asView = (in.u8() & 1U) != 0;
  const uchar margin = in.u8();
  const int marginLeft = in.u8() % 5;
  const int marginTop = in.u8() % 5;
  f.image = makeImage(rows, cols, f.type, f.asView, margin, marginLeft, marginTop, f.storage);
  fillImage(in, f.image);
  return f;
}

}  // namespace quorvane_fuzz

#endif  // QUORVANE_NAV2_ALGO_CORE__FUZZ_INPUT_HPP_
