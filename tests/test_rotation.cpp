// The rotation onto the main direction: the box of the marked pixels, the
// matrix and its bounds, the rotated image, and the transforms of points.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "rotation.hpp"
#include "sample_floor_plan.hpp"
#include "test_maps_dir.hpp"
#include "turned_room.hpp"

namespace
{

using quorvane::test::kPi;
using quorvane::test::rad;
using quorvane::test::roomMap;

cv::Point2d apply(const cv::Mat & m, cv::Point2d p)
{
  return {
    m.at<double>(0, 0) * p.x + m.at<double>(0, 1) * p.y + m.at<double>(0, 2),
    m.at<double>(1, 0) * p.x + m.at<double>(1, 1) * p.y + m.at<double>(1, 2)};
}

/// The middle of the box of an image's 255 pixels, from OpenCV's bounding
/// rectangle (x .. x + width - 1), rounded down: the expected pivot.
cv::Point middleOfMarkedBox(const cv::Mat & img)
{
  std::vector<cv::Point> marked;
  cv::findNonZero(img == 255, marked);
  const cv::Rect box = cv::boundingRect(marked);
  return {(2 * box.x + box.width - 1) / 2, (2 * box.y + box.height - 1) / 2};
}

// ------------------------------------------------------------ bounding box

/// Literal reading: every byte of every row, through the row step.
std::pair<cv::Point, cv::Point> boxOracle(const cv::Mat & img)
{
  cv::Point lo(INT_MAX, INT_MAX);
  cv::Point hi(0, 0);
  for (int y = 0; y < img.rows; ++y) {
    for (int x = 0; x < img.cols; ++x) {
      if (img.ptr<uchar>(y)[x] == 255) {
        lo = {std::min(lo.x, x), std::min(lo.y, y)};
        hi = {std::max(hi.x, x), std::max(hi.y, y)};
      }
    }
  }
  return {lo, hi};
}

TEST(MinMaxCoordinates, EmptyImagesGiveTheInitialCorners)
{
  for (const cv::Mat & img : {cv::Mat(), cv::Mat(0, 5, CV_8UC1), cv::Mat(5, 0, CV_8UC1)}) {
    cv::Point lo(1, 2);
    cv::Point hi(3, 4);
    Rotator().getMinMaxCoordinates(img, lo, hi);
    EXPECT_EQ(lo, cv::Point(INT_MAX, INT_MAX));
    EXPECT_EQ(hi, cv::Point(0, 0));
  }
}

TEST(MinMaxCoordinates, OnlyTheValue255Counts)
{
  cv::Mat img(6, 7, CV_8UC1, cv::Scalar(254));
  cv::Point lo;
  cv::Point hi;
  Rotator().getMinMaxCoordinates(img, lo, hi);
  EXPECT_EQ(lo, cv::Point(INT_MAX, INT_MAX));
  EXPECT_EQ(hi, cv::Point(0, 0));
  img.at<uchar>(4, 2) = 255;
  Rotator().getMinMaxCoordinates(img, lo, hi);
  EXPECT_EQ(lo, cv::Point(2, 4));
  EXPECT_EQ(hi, cv::Point(2, 4));
}

TEST(MinMaxCoordinates, ExtentsComeFromDifferentRows)
{
  cv::Mat img = cv::Mat::zeros(9, 12, CV_8UC1);
  img.at<uchar>(2, 5) = 255;
  img.at<uchar>(4, 1) = 255;
  img.at<uchar>(5, 10) = 255;
  img.at<uchar>(7, 6) = 255;
  cv::Point lo;
  cv::Point hi;
  Rotator().getMinMaxCoordinates(img, lo, hi);
  EXPECT_EQ(lo, cv::Point(1, 2));
  EXPECT_EQ(hi, cv::Point(10, 7));
}

TEST(MinMaxCoordinates, OtherTypesThrowBeforeTouchingTheOutputs)
{
  for (int type : {CV_8UC3, CV_8SC1, CV_16UC1, CV_32FC1}) {
    cv::Point lo(-7, -8);
    cv::Point hi(-9, -10);
    EXPECT_THROW(Rotator().getMinMaxCoordinates(cv::Mat::zeros(4, 4, type), lo, hi), cv::Exception);
    EXPECT_EQ(lo, cv::Point(-7, -8));
    EXPECT_EQ(hi, cv::Point(-9, -10));
  }
}

TEST(MinMaxCoordinates, RoiViewsMatchTheLiteralScan)
{
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  for (int trial = 0; trial < 400; ++trial) {
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " trial " << trial);
    cv::Mat parent(1 + static_cast<int>(rng() % 60), 1 + static_cast<int>(rng() % 90), CV_8UC1);
    cv::randu(parent, 250, 256);  // a few 255 among near misses
    const int x0 = static_cast<int>(rng() % static_cast<unsigned>(parent.cols));
    const int y0 = static_cast<int>(rng() % static_cast<unsigned>(parent.rows));
    const cv::Rect roi(
      x0, y0, 1 + static_cast<int>(rng() % static_cast<unsigned>(parent.cols - x0)),
      1 + static_cast<int>(rng() % static_cast<unsigned>(parent.rows - y0)));
    cv::Mat view = parent(roi);
    if (trial % 3 == 0) {
      view.setTo(0, view > static_cast<int>(250 + rng() % 6));  // sparser marks
    }
    cv::Point lo;
    cv::Point hi;
    Rotator().getMinMaxCoordinates(view, lo, hi);
    const auto expected = boxOracle(view.clone());
    EXPECT_EQ(lo, expected.first);
    EXPECT_EQ(hi, expected.second);
  }
}

// ------------------------------------------------------------ rotation matrix

TEST(RotationMatrix, PivotIsTheTruncatedMiddleOfTheMarkedBox)
{
  cv::Mat img = cv::Mat::zeros(8, 10, CV_8UC1);
  img.at<uchar>(2, 3) = 255;
  img.at<uchar>(5, 6) = 255;
  cv::Mat m;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(img, m, bounds, nullptr, 0.0);
  // (3 + 6) / 2 and (2 + 5) / 2 truncate to (4, 3), which lands in the middle.
  const cv::Point2d middle = apply(m, {4, 3});
  EXPECT_NEAR(middle.x, bounds.width * 0.5, 1e-9);
  EXPECT_NEAR(middle.y, bounds.height * 0.5, 1e-9);
}

TEST(RotationMatrix, HorizontalMapWithoutExtraAngleIsATranslation)
{
  cv::Mat m(5, 5, CV_8UC1, cv::Scalar(7));
  const cv::Mat previous = m;
  cv::Rect bounds;
  const cv::Mat img = roomMap(0);  // room box (50..350, 160..240): pivot (200, 200)
  EXPECT_EQ(Rotator().computeImageRotationMatrix(img, m, bounds, nullptr, 0.0), 0.0);
  ASSERT_EQ(m.type(), CV_64FC1);
  ASSERT_EQ(m.size(), cv::Size(3, 2));
  EXPECT_EQ(bounds, cv::Rect(0, 0, 401, 401));
  const cv::Mat expected = (cv::Mat_<double>(2, 3) << 1, 0, 0.5, 0, 1, 0.5);
  EXPECT_EQ(cv::norm(m, expected, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::countNonZero(previous != 7), 0);  // the old buffer was not written
}

TEST(RotationMatrix, ReturnsTheRadianSumAndTurnsTheMainDirectionOntoX)
{
  const cv::Mat img = roomMap(17);
  const double main = Rotator().computeImageMainDirection(img);
  cv::Mat m;
  cv::Rect bounds;
  EXPECT_EQ(Rotator().computeImageRotationMatrix(img, m, bounds, nullptr, 0.0), main);
  const cv::Point2d x = apply(m, {std::cos(main), std::sin(main)}) - apply(m, {0, 0});
  EXPECT_NEAR(x.x, 1.0, 1e-12);
  EXPECT_NEAR(x.y, 0.0, 1e-12);
  EXPECT_DOUBLE_EQ(
    Rotator().computeImageRotationMatrix(img, m, bounds, nullptr, 0.25), 0.25 + main);
}

TEST(RotationMatrix, VerticalAndNearlyReversedWalls)
{
  cv::Mat m;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(roomMap(90), m, bounds, nullptr, 0.0);
  // 90 degrees counter-clockwise as displayed: +y (down) becomes +x.
  EXPECT_NEAR(m.at<double>(0, 1), 1.0, 1e-12);
  EXPECT_NEAR(m.at<double>(1, 0), -1.0, 1e-12);
  Rotator().computeImageRotationMatrix(roomMap(178), m, bounds, nullptr, 0.0);
  EXPECT_LT(m.at<double>(0, 0), -0.999);  // nearly upside down
}

TEST(RotationMatrix, GivenCentreIsUsedEvenOutsideTheImage)
{
  const cv::Point centre(-50, 500);
  cv::Mat m;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(roomMap(17), m, bounds, &centre, 0.0);
  const cv::Point2d middle = apply(m, centre);
  EXPECT_NEAR(middle.x, bounds.width * 0.5, 1e-9);
  EXPECT_NEAR(middle.y, bounds.height * 0.5, 1e-9);
}

TEST(RotationMatrix, CentredPivotKeepsTheWholeImageAndCornerPivotCutsIt)
{
  const cv::Mat img = roomMap(17);
  const std::vector<cv::Point2d> corners = {{0, 0}, {399, 0}, {0, 399}, {399, 399}};
  cv::Mat m;
  cv::Rect bounds;
  const cv::Point middle(200, 200);
  Rotator().computeImageRotationMatrix(img, m, bounds, &middle, 0.4);
  for (const auto & c : corners) {
    const cv::Point2d p = apply(m, c);
    EXPECT_TRUE(p.x >= 0 && p.y >= 0 && p.x <= bounds.width && p.y <= bounds.height) << c;
  }
  const cv::Point nearCorner(10, 10);
  Rotator().computeImageRotationMatrix(img, m, bounds, &nearCorner, 0.4);
  const cv::Point2d far = apply(m, {399, 399});
  EXPECT_TRUE(far.x > bounds.width || far.y > bounds.height);
}

TEST(RotationMatrix, MapWithoutMarkedPixelsPivotsFarAwayAndRotatesToZeros)
{
  const cv::Mat img = cv::Mat::zeros(20, 30, CV_8UC1);
  cv::Mat m;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(img, m, bounds, nullptr, 0.0);
  const cv::Point2d middle = apply(m, {1073741823, 1073741823});
  EXPECT_EQ(middle, cv::Point2d(bounds.width * 0.5, bounds.height * 0.5));
  cv::Mat rotated;
  Rotator().rotateImage(img, rotated, m, bounds);
  EXPECT_EQ(rotated.size(), bounds.size());
  EXPECT_EQ(cv::countNonZero(rotated), 0);
}

TEST(RotationMatrix, FailuresLeaveTheOutputsUntouched)
{
  const cv::Mat original = (cv::Mat_<double>(2, 3) << 1, 2, 3, 4, 5, 6);
  const cv::Point huge(INT_MAX, INT_MAX);
  struct Case
  {
    cv::Mat image;
    const cv::Point * centre;
    double extra;
  };
  const std::vector<Case> cases = {
    {cv::Mat::zeros(10, 10, CV_32FC1), nullptr, 0.0},  // edge detection refuses
    {cv::Mat::zeros(10, 10, CV_8UC3), nullptr, 0.0},   // the box needs one byte per pixel
    {cv::Mat::zeros(10, 10, CV_8UC1), &huge, 0.0},     // window beyond int
    {cv::Mat::zeros(10, 10, CV_8UC1), nullptr, NAN}};  // no window at all
  for (const Case & c : cases) {
    cv::Mat m = original;
    cv::Rect bounds(1, 2, 3, 4);
    EXPECT_THROW(
      Rotator().computeImageRotationMatrix(c.image, m, bounds, c.centre, c.extra), cv::Exception);
    EXPECT_EQ(m.data, original.data);
    EXPECT_EQ(bounds, cv::Rect(1, 2, 3, 4));
  }
}

// ------------------------------------------------------------ rotated image

TEST(RotatedImage, HoldsOnlyZeroAnd255AndHasTheBoundsSize)
{
  const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({300, 240}, 17.0, 5);
  cv::Mat m;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(plan, m, bounds, nullptr, 0.0);
  cv::Mat rotated;
  Rotator().rotateImage(plan, rotated, m, bounds);
  EXPECT_EQ(rotated.size(), bounds.size());
  EXPECT_EQ(rotated.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero((rotated != 0) & (rotated != 255)), 0);
  EXPECT_GT(cv::countNonZero(rotated), cv::countNonZero(plan) * 9 / 10);
}

TEST(RotatedImage, TranslationMovesContentAndFillsWithZero)
{
  cv::Mat img = cv::Mat::zeros(6, 6, CV_8UC1);
  img(cv::Rect(1, 1, 4, 4)).setTo(255);
  const cv::Mat m = (cv::Mat_<double>(2, 3) << 1, 0, 2, 0, 1, 1);
  cv::Mat rotated;
  Rotator().rotateImage(img, rotated, m, cv::Rect(-3, -3, 8, 7));
  cv::Mat expected = cv::Mat::zeros(7, 8, CV_8UC1);
  expected(cv::Rect(3, 2, 4, 4)).setTo(255);
  EXPECT_EQ(cv::countNonZero(rotated != expected), 0);
}

TEST(RotatedImage, HalfCoveredPixelsAreKeptAndQuarterCoveredOnesDropped)
{
  // A half-pixel shift in x and y: every output pixel averages four source
  // pixels. Of a 2 x 2 block, the centre is fully covered (255), its four
  // neighbours half (127.5, which the fixed-point warp rounds to 128, above
  // 127) and the corners a quarter (64): a plus sign.
  cv::Mat img = cv::Mat::zeros(5, 5, CV_8UC1);
  img(cv::Rect(1, 1, 2, 2)).setTo(255);
  const cv::Mat m = (cv::Mat_<double>(2, 3) << 1, 0, 0.5, 0, 1, 0.5);
  cv::Mat rotated;
  Rotator().rotateImage(img, rotated, m, cv::Rect(0, 0, 5, 5));
  const cv::Mat expected =
    (cv::Mat_<uchar>(5, 5) << 0, 0, 0, 0, 0,  //
     0, 0, 255, 0, 0,                         //
     0, 255, 255, 255, 0,                     //
     0, 0, 255, 0, 0,                         //
     0, 0, 0, 0, 0);
  EXPECT_EQ(cv::countNonZero(rotated != expected), 0) << rotated;
}

TEST(RotatedImage, WindowFarFromTheSourceIsAllZeroLikeTheWarp)
{
  const cv::Mat img(30, 40, CV_8UC1, cv::Scalar(255));
  const cv::Mat m = (cv::Mat_<double>(2, 3) << 0.8, 0.6, 5000, -0.6, 0.8, -7000);
  cv::Mat rotated;
  Rotator().rotateImage(img, rotated, m, cv::Rect(0, 0, 50, 50));
  cv::Mat warped;
  cv::warpAffine(img, warped, m, {50, 50}, cv::INTER_AREA, cv::BORDER_CONSTANT, cv::Scalar());
  EXPECT_EQ(cv::countNonZero(warped), 0);
  EXPECT_EQ(rotated.size(), cv::Size(50, 50));
  EXPECT_EQ(cv::countNonZero(rotated), 0);
}

TEST(RotatedImage, OnlyWindowsClearOfTheSourceAreShortCut)
{
  using quorvane::rotation::warpMissesSource;
  const auto shift = [](double tx, double ty) {
    return cv::Mat((cv::Mat_<double>(2, 3) << 1, 0, tx, 0, 1, ty));
  };
  const cv::Size src(40, 30);
  const cv::Size dst(10, 10);
  EXPECT_FALSE(warpMissesSource(shift(0, 0), src, dst));
  EXPECT_FALSE(warpMissesSource(shift(10, 0), src, dst));   // window reaches x = -1
  EXPECT_TRUE(warpMissesSource(shift(13, 0), src, dst));    // window ends at x = -4
  EXPECT_TRUE(warpMissesSource(shift(0, -32), src, dst));   // window starts at y = 32
  EXPECT_FALSE(warpMissesSource(shift(NAN, 0), src, dst));  // left to the warp
  EXPECT_FALSE(warpMissesSource(cv::Mat::zeros(2, 3, CV_64F), src, dst));  // singular
}

TEST(RotatedImage, MalformedMatrixThrows)
{
  const cv::Mat img = cv::Mat::zeros(10, 10, CV_8UC1);
  cv::Mat rotated;
  EXPECT_THROW(
    Rotator().rotateImage(img, rotated, cv::Mat::eye(3, 3, CV_64F), {0, 0, 5, 5}), cv::Exception);
  EXPECT_THROW(Rotator().rotateImage(img, rotated, cv::Mat(), {0, 0, 5, 5}), cv::Exception);
}

// ------------------------------------------------------------ path transforms

bool sameBits(const std::vector<cv::Point2f> & a, const std::vector<cv::Point2f> & b)
{
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(cv::Point2f)) == 0);
}

TEST(PathTransforms, AppendKeepsTheOldPointsInFront)
{
  std::vector<cv::Point2f> out = {{1, 1}};
  Rotator().transformPointPathToPosePath({{2, 2}, {3, -0.0f}}, out);
  EXPECT_TRUE(sameBits(out, {{1, 1}, {2, 2}, {3, -0.0f}}));
  Rotator().transformPointPathToPosePath({}, out);
  EXPECT_EQ(out.size(), 3u);
}

TEST(PathTransforms, AppendingAPathToItselfDuplicatesIt)
{
  std::vector<cv::Point2f> path = {{1, 2}, {3, 4}};
  Rotator().transformPointPathToPosePath(path, path);
  EXPECT_TRUE(sameBits(path, {{1, 2}, {3, 4}, {1, 2}, {3, 4}}));
}

TEST(PathTransforms, BackWithIdentityAndTranslation)
{
  const std::vector<cv::Point2f> in = {{1.5f, -2}, {100, 7.25f}};
  std::vector<cv::Point2f> out = {{9, 9}};
  Rotator().transformPathBackToOriginalRotation(in, out, cv::Mat::eye(2, 3, CV_64F));
  EXPECT_TRUE(sameBits(out, in));
  const cv::Mat shift = (cv::Mat_<double>(2, 3) << 1, 0, 10, 0, 1, -4);
  Rotator().transformPathBackToOriginalRotation(in, out, shift);
  EXPECT_TRUE(sameBits(out, {{-8.5f, 2}, {90, 11.25f}}));
}

TEST(PathTransforms, BackWithEmptyInputEmptiesTheOutput)
{
  std::vector<cv::Point2f> out = {{9, 9}};
  Rotator().transformPathBackToOriginalRotation({}, out, cv::Mat::eye(2, 3, CV_64F));
  EXPECT_TRUE(out.empty());
}

TEST(PathTransforms, BackWithA_Non2x3MatrixThrowsWithTheOutputEmptied)
{
  for (const cv::Mat & m :
       {cv::Mat(cv::Mat::eye(3, 3, CV_64F)), cv::Mat(cv::Mat::eye(2, 2, CV_64F)), cv::Mat()}) {
    std::vector<cv::Point2f> out = {{9, 9}};
    EXPECT_THROW(Rotator().transformPathBackToOriginalRotation({{1, 1}}, out, m), cv::Exception);
    EXPECT_TRUE(out.empty());
  }
}

TEST(PathTransforms, RoundTripThroughTheMapMatrixReturnsThePoints)
{
  const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({400, 300}, 17.0, 1);
  cv::Mat m;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(plan, m, bounds, nullptr, 0.3);
  const std::vector<cv::Point2f> source = {{0, 0}, {399, 0}, {123.5f, 77.25f}, {399, 299}};
  std::vector<cv::Point2f> rotated;
  for (const auto & p : source) {
    const cv::Point2d q = apply(m, p);
    rotated.emplace_back(static_cast<float>(q.x), static_cast<float>(q.y));
  }
  rotated.emplace_back(static_cast<float>(bounds.width) / 2, static_cast<float>(bounds.height) / 2);
  std::vector<cv::Point2f> back;
  Rotator().transformPathBackToOriginalRotation(rotated, back, m);
  ASSERT_EQ(back.size(), 5u);
  for (size_t i = 0; i < source.size(); ++i) {
    EXPECT_NEAR(back[i].x, source[i].x, 1e-3);
    EXPECT_NEAR(back[i].y, source[i].y, 1e-3);
  }
  // The middle of the bounds is the pivot: the middle of the plan's free box.
  const cv::Point pivot = middleOfMarkedBox(plan);
  EXPECT_NEAR(back[4].x, pivot.x, 1e-3);
  EXPECT_NEAR(back[4].y, pivot.y, 1e-3);
}

// ------------------------------------------------------------ real maps

/// Binary PGM (P5, 8-bit) reader; an empty matrix when the file is not one.
cv::Mat readPgm(const std::string & path)
{
  std::ifstream in(path, std::ios::binary);
  std::string token[4];
  for (std::string & t : token) {
    while (in >> t && t[0] == '#') {
      std::getline(in, t);
    }
  }
  const int width = std::atoi(token[1].c_str());
  const int height = std::atoi(token[2].c_str());
  if (token[0] != "P5" || token[3] != "255" || width <= 0 || height <= 0) {
    return {};
  }
  in.get();
  cv::Mat img(height, width, CV_8UC1);
  in.read(reinterpret_cast<char *>(img.data), static_cast<std::streamsize>(img.total()));
  return in ? img : cv::Mat();
}

TEST(RealMaps, RotationKeepsTheFreeSpaceAndThePivot)
{
  const std::filesystem::path dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    GTEST_SKIP() << "no real maps (set QUORVANE_TEST_MAPS_DIR)";
  }
  int maps = 0;
  for (const auto & entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".pgm") {
      continue;
    }
    SCOPED_TRACE(entry.path().string());
    const cv::Mat grey = readPgm(entry.path().string());
    ASSERT_FALSE(grey.empty());
    const cv::Mat img = grey >= 254;  // free (254 or 255) as 255, the rest 0
    ++maps;
    cv::Mat m;
    cv::Rect bounds;
    Rotator().computeImageRotationMatrix(img, m, bounds, nullptr, 0.0);
    cv::Mat rotated;
    Rotator().rotateImage(img, rotated, m, bounds);
    EXPECT_EQ(rotated.size(), bounds.size());
    EXPECT_EQ(cv::countNonZero((rotated != 0) & (rotated != 255)), 0);
    const double before = cv::countNonZero(img);
    EXPECT_NEAR(cv::countNonZero(rotated), before, 0.1 * before);
    std::vector<cv::Point2f> back;
    Rotator().transformPathBackToOriginalRotation(
      {{static_cast<float>(bounds.width) / 2, static_cast<float>(bounds.height) / 2}}, back, m);
    const cv::Point pivot = middleOfMarkedBox(img);
    EXPECT_NEAR(back.at(0).x, pivot.x, 1e-3);
    EXPECT_NEAR(back.at(0).y, pivot.y, 1e-3);
  }
  EXPECT_GT(maps, 0);
}

}  // namespace
