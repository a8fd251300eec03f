// Fuzz target: get_special_points::completeCellTest with arbitrary centres
// (INT_MIN .. INT_MAX) and sides (negative, huge), several calls on one object
// so that `mask` is reused, resized and sometimes preset by the caller.
//
// Input layout: rows (u8 % 65), cols (u8 % 65), type tag, view flags, margin
// value, margin left, margin top, the pixels, a mask preset tag, the number
// of calls, then per call: source (0: the object's own mask, 1: a view into
// it, otherwise the image), centre mode, x, y, side.
//
// Checked for every call, against a literal 64-bit window scan:
// - side < 0 or > 65535: cv::Exception (StsOutOfRange or, for a non-CV_8UC1
//   image, StsUnsupportedFormat), `mask` untouched (same buffer, same pixels);
// - a non-CV_8UC1 image: cv::Exception, `mask` untouched;
// - centre inside and 255: true, `mask` untouched;
// - otherwise: `mask` is side x side CV_8UC1 with 255 exactly at the window's
//   in-image 255 pixels, reused in place when it already had that size, and
//   the result says whether any was found;
// - `center` and the image are never modified;
// - an image that is the object's own mask (or a view into it) gives the
//   answer of its pixels as they were before the call.
#include <cstddef>
#include <cstdint>

#include <opencv2/core.hpp>

#include "fuzz_input.hpp"
#include "get_special_points.hpp"

namespace
{

using quorvane_fuzz::ByteReader;

// Valid sides above this are folded down: a 65535 x 65535 mask is legal but
// a 4 GiB allocation per input would only measure the allocator.
constexpr int kLargestSideTried = 2048;

struct Snapshot
{
  cv::Mat header;  // shares the buffer: same data pointer means no reallocation
  cv::Mat pixels;  // deep copy
};

Snapshot snapshot(const cv::Mat & mask) { return {mask, mask.clone()}; }

bool unchanged(const cv::Mat & mask, const Snapshot & s)
{
  return mask.data == s.header.data && mask.step == s.header.step &&
         quorvane_fuzz::sameMat(mask, s.pixels);
}

int pickSide(ByteReader & in)
{
  const uint8_t tag = in.u8();
  if (tag < 192) {
    return tag % 70;  // ordinary windows, 0 .. 69
  }
  int side = quorvane_fuzz::pickInt(in);
  if (side > kLargestSideTried && side <= 65535) {
    side %= kLargestSideTried + 1;
  }
  return side;
}

cv::Point pickCentre(ByteReader & in, const cv::Mat & image)
{
  const uint8_t mode = in.u8() % 3;
  if (mode == 0 && !image.empty()) {
    return {in.u8() % image.cols, in.u8() % image.rows};
  }
  if (mode == 1) {  // just around the image
    return {static_cast<int>(in.u8() % 80) - 8, static_cast<int>(in.u8() % 80) - 8};
  }
  const int x = quorvane_fuzz::pickInt(in);
  const int y = quorvane_fuzz::pickInt(in);
  return {x, y};
}

void presetMask(ByteReader & in, cv::Mat & mask)
{
  const uint8_t tag = in.u8();
  const int side = in.u8() % 40;
  switch (tag % 8) {
    case 1:  // garbage of a likely side
      mask = cv::Mat(side, side, CV_8UC1, cv::Scalar(77));
      break;
    case 2:  // a view of the right type (not continuous)
      mask = cv::Mat(side + 3, side + 5, CV_8UC1, cv::Scalar(9))(cv::Rect(2, 1, side, side));
      break;
    case 3:  // another type of the same size
      mask = cv::Mat(side, side, CV_8UC3, cv::Scalar::all(5));
      break;
    default:
      break;  // empty, as constructed
  }
}

/// One call on @p image, which may be gsp.mask itself or a view of it: the
/// expected answer is computed from the pixels as they were before the call.
void checkOneCall(get_special_points & gsp, const cv::Mat & image, cv::Point centre, int side)
{
  const Snapshot before = snapshot(gsp.mask);
  const bool badSide = side < 0 || side > 65535;
  const bool badType = image.type() != CV_8UC1;
  const cv::Point centreBefore = centre;
  const cv::Mat pixels = image.clone();

  bool result = false;
  try {
    result = gsp.completeCellTest(image, centre, side);
  } catch (const cv::Exception & e) {
    FUZZ_CHECK(badSide || badType);
    FUZZ_CHECK(
      (badSide && e.code == cv::Error::StsOutOfRange) ||
      (badType && e.code == cv::Error::StsUnsupportedFormat));
    FUZZ_CHECK(unchanged(gsp.mask, before));
    FUZZ_CHECK(centre == centreBefore);
    return;
  }
  FUZZ_CHECK(!badSide && !badType);
  FUZZ_CHECK(centre == centreBefore);

  const bool inside =
    centre.x >= 0 && centre.y >= 0 && centre.x < pixels.cols && centre.y < pixels.rows;
  if (inside && pixels.at<uchar>(centre.y, centre.x) == 255) {
    FUZZ_CHECK(result);
    FUZZ_CHECK(unchanged(gsp.mask, before));
    return;
  }
  const cv::Mat & mask = gsp.mask;
  FUZZ_CHECK(mask.rows == side && mask.cols == side && mask.type() == CV_8UC1);
  if (
    side > 0 && before.header.rows == side && before.header.cols == side &&
    before.header.type() == CV_8UC1) {
    FUZZ_CHECK(mask.data == before.header.data);  // zeroed in place
  }
  // Literal window scan in 64 bits: rows y - half .. y - half + side - 1.
  const int64_t half = side / 2;
  bool any = false;
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      const int64_t y = static_cast<int64_t>(centre.y) - half + r;
      const int64_t x = static_cast<int64_t>(centre.x) - half + c;
      const bool in = x >= 0 && y >= 0 && x < pixels.cols && y < pixels.rows;
      const bool hit = in && pixels.at<uchar>(static_cast<int>(y), static_cast<int>(x)) == 255;
      any = any || hit;
      FUZZ_CHECK(mask.at<uchar>(r, c) == (hit ? 255 : 0));
    }
  }
  FUZZ_CHECK(result == any);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  ByteReader in(data, size);
  const quorvane_fuzz::FuzzedImage fuzzed = quorvane_fuzz::readImage(in);
  cv::Mat image = fuzzed.image;
  const cv::Mat imageBefore = image.clone();

  get_special_points gsp;
  presetMask(in, gsp.mask);
  const int calls = 1 + in.u8() % 8;
  for (int k = 0; k < calls; ++k) {
    // The image, or now and then the object's own mask or a view into it.
    const uint8_t source = in.u8() % 8;
    cv::Mat maskView;
    if (source == 1 && gsp.mask.rows > 2 && gsp.mask.cols > 2) {
      maskView = gsp.mask(cv::Rect(1, 1, gsp.mask.cols - 2, gsp.mask.rows - 2));
    }
    const cv::Mat & target =
      source == 0 && !gsp.mask.empty() ? gsp.mask : (maskView.empty() ? image : maskView);
    const cv::Point centre = pickCentre(in, target);
    const int side = pickSide(in);
    checkOneCall(gsp, target, centre, side);
  }
  FUZZ_CHECK(quorvane_fuzz::sameMat(image, imageBefore));
  return 0;
}
