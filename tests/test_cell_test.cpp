// The cell test: whether a square window around a pixel holds a 255 pixel,
// and what it leaves in the object's mask.
#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <climits>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "get_special_points.hpp"

namespace
{

using quorvane::test::expectCvError;

cv::Mat zeros(int rows, int cols) { return cv::Mat::zeros(rows, cols, CV_8UC1); }

bool sameContent(const cv::Mat & a, const cv::Mat & b)
{
  return a.size() == b.size() && a.type() == b.type() &&
         (a.empty() || cv::countNonZero(a != b) == 0);
}

/// The cell test read literally: shortcut, then every window position in
/// turn, mask element 255 exactly where the in-image pixel is 255.
struct LiteralCellTest
{
  cv::Mat mask;

  bool operator()(const cv::Mat & image, cv::Point centre, int side)
  {
    auto inside = [&](long long x, long long y) {
      return x >= 0 && y >= 0 && x < image.cols && y < image.rows;
    };
    if (inside(centre.x, centre.y) && image.at<uchar>(centre.y, centre.x) == 255) {
      return true;
    }
    mask = cv::Mat::zeros(side, side, CV_8UC1);
    const int half = side / 2;
    bool found = false;
    for (int r = 0; r < side; ++r) {
      for (int c = 0; c < side; ++c) {
        const long long y = static_cast<long long>(centre.y) - half + r;
        const long long x = static_cast<long long>(centre.x) - half + c;
        if (inside(x, y) && image.at<uchar>(static_cast<int>(y), static_cast<int>(x)) == 255) {
          mask.at<uchar>(r, c) = 255;
          found = true;
        }
      }
    }
    return found;
  }
};

}  // namespace

TEST(CellTest, CentreOf255ReturnsTrueAndLeavesMaskOfAnotherSizeUntouched)
{
  cv::Mat image = zeros(5, 5);
  image.at<uchar>(2, 2) = 255;
  get_special_points g;
  g.mask = cv::Mat(4, 7, CV_8UC1, cv::Scalar(9));
  const uchar * storage = g.mask.data;
  cv::Point centre(2, 2);
  EXPECT_TRUE(g.completeCellTest(image, centre, 3));
  EXPECT_EQ(g.mask.data, storage);
  EXPECT_TRUE(sameContent(g.mask, cv::Mat(4, 7, CV_8UC1, cv::Scalar(9))));
  EXPECT_EQ(centre, cv::Point(2, 2));
}

TEST(CellTest, Side0WithCentreNot255GivesFalseAndEmptyMask)
{
  cv::Mat image(3, 3, CV_8UC1, cv::Scalar(255));
  image.at<uchar>(1, 1) = 0;
  get_special_points g;
  g.mask = cv::Mat(2, 2, CV_8UC1, cv::Scalar(255));
  cv::Point centre(1, 1);
  EXPECT_FALSE(g.completeCellTest(image, centre, 0));
  EXPECT_EQ(g.mask.rows, 0);
  EXPECT_EQ(g.mask.cols, 0);
}

TEST(CellTest, Side0WithCentre255IsTrue)
{
  const cv::Mat image(3, 3, CV_8UC1, cv::Scalar(255));
  get_special_points g;
  cv::Point centre(1, 1);
  EXPECT_TRUE(g.completeCellTest(image, centre, 0));
  EXPECT_TRUE(g.mask.empty());
}

TEST(CellTest, Side1IsTheCentreAloneAndGivesASingleZero)
{
  cv::Mat image(3, 3, CV_8UC1, cv::Scalar(255));
  image.at<uchar>(1, 1) = 254;
  get_special_points g;
  cv::Point centre(1, 1);
  EXPECT_FALSE(g.completeCellTest(image, centre, 1));
  ASSERT_EQ(g.mask.size(), cv::Size(1, 1));
  EXPECT_EQ(g.mask.at<uchar>(0, 0), 0);
}

TEST(CellTest, OnlyTheValue255Counts)
{
  cv::Mat image(3, 3, CV_8UC1, cv::Scalar(254));
  image.at<uchar>(1, 1) = 1;
  get_special_points g;
  cv::Point centre(1, 1);
  EXPECT_FALSE(g.completeCellTest(image, centre, 3));
  EXPECT_EQ(cv::countNonZero(g.mask), 0);
}

// One 255 pixel at offset (dx, dy) from the centre: found exactly when the
// offset lies in the window's span [-side/2, side - 1 - side/2].
struct WindowSpan
{
  int side;
  int first;  // smallest covered offset
  int last;   // largest covered offset
};

class CellTestWindowGeometry : public ::testing::TestWithParam<WindowSpan>
{
};

TEST_P(CellTestWindowGeometry, CoversExactlyTheSpanOnBothAxes)
{
  const WindowSpan span = GetParam();
  for (int dy = -4; dy <= 4; ++dy) {
    for (int dx = -4; dx <= 4; ++dx) {
      if (dx == 0 && dy == 0) {
        continue;
      }
      SCOPED_TRACE("offset " + std::to_string(dx) + "," + std::to_string(dy));
      cv::Mat image = zeros(11, 11);
      image.at<uchar>(5 + dy, 5 + dx) = 255;
      get_special_points g;
      cv::Point centre(5, 5);
      const bool covered =
        dx >= span.first && dx <= span.last && dy >= span.first && dy <= span.last;
      EXPECT_EQ(g.completeCellTest(image, centre, span.side), covered);
      ASSERT_EQ(g.mask.size(), cv::Size(span.side, span.side));
      EXPECT_EQ(cv::countNonZero(g.mask), covered ? 1 : 0);
      if (covered) {
        EXPECT_EQ(g.mask.at<uchar>(dy - span.first, dx - span.first), 255);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
  OddAndEvenSides, CellTestWindowGeometry,
  ::testing::Values(
    WindowSpan{1, 0, 0}, WindowSpan{2, -1, 0}, WindowSpan{3, -1, 1}, WindowSpan{4, -2, 1},
    WindowSpan{5, -2, 2}, WindowSpan{6, -3, 2}));

TEST(CellTest, WindowOverTheCornerExaminesOnlyTheInsidePart)
{
  cv::Mat image = zeros(4, 4);
  image.at<uchar>(0, 0) = 255;
  get_special_points g;
  cv::Point centre(1, 1);  // side 5: rows and columns -1 .. 3
  EXPECT_TRUE(g.completeCellTest(image, centre, 5));
  cv::Mat expected = zeros(5, 5);
  expected.at<uchar>(1, 1) = 255;
  EXPECT_TRUE(sameContent(g.mask, expected));
}

TEST(CellTest, WindowOverTheFarEdgeLeavesOutsidePositionsZero)
{
  const cv::Mat image(4, 4, CV_8UC1, cv::Scalar(255));
  cv::Mat holed = image.clone();
  holed.at<uchar>(3, 3) = 0;
  get_special_points g;
  cv::Point centre(3, 3);  // side 3: rows and columns 2 .. 4
  EXPECT_TRUE(g.completeCellTest(holed, centre, 3));
  const cv::Mat expected = (cv::Mat_<uchar>(3, 3) << 255, 255, 0, 255, 0, 0, 0, 0, 0);
  EXPECT_TRUE(sameContent(g.mask, expected));
}

TEST(CellTest, ViewIsReadThroughItsRowStepAndItsOwnBounds)
{
  cv::Mat big(8, 8, CV_8UC1, cv::Scalar(255));
  cv::Mat view = big(cv::Rect(2, 2, 3, 3));
  view.setTo(cv::Scalar(0));
  get_special_points g;
  cv::Point centre(1, 1);
  // The view's neighbours in the parent image are 255 but lie outside the view.
  EXPECT_FALSE(g.completeCellTest(view, centre, 7));
  EXPECT_EQ(cv::countNonZero(g.mask), 0);
  big.at<uchar>(4, 4) = 255;  // the view's pixel (2, 2)
  EXPECT_TRUE(g.completeCellTest(view, centre, 3));
  EXPECT_EQ(g.mask.at<uchar>(2, 2), 255);
  EXPECT_EQ(cv::countNonZero(g.mask), 1);
}

// A centre outside the image counts as "not 255"; the clipped window is
// scanned as usual. The image is all 255.
struct OutsideCase
{
  cv::Point centre;
  int side;
  bool expected;
  int marked;  // 255 elements left in the mask
};

void PrintTo(const OutsideCase & c, std::ostream * os)
{
  *os << "centre (" << c.centre.x << ", " << c.centre.y << "), side " << c.side;
}

class CellTestCentreOutside : public ::testing::TestWithParam<OutsideCase>
{
};

TEST_P(CellTestCentreOutside, ScansTheClippedWindow)
{
  const OutsideCase c = GetParam();
  const cv::Mat image(5, 6, CV_8UC1, cv::Scalar(255));
  get_special_points g;
  cv::Point centre = c.centre;
  EXPECT_EQ(g.completeCellTest(image, centre, c.side), c.expected);
  ASSERT_EQ(g.mask.size(), cv::Size(c.side, c.side));
  EXPECT_EQ(cv::countNonZero(g.mask), c.marked);
  EXPECT_EQ(centre, c.centre);
}

INSTANTIATE_TEST_SUITE_P(
  AllSidesAndFarAway, CellTestCentreOutside,
  ::testing::Values(
    OutsideCase{{-1, 2}, 3, true, 3},   // left: column 0, rows 1..3
    OutsideCase{{6, 2}, 3, true, 3},    // right: column 5
    OutsideCase{{2, -1}, 3, true, 3},   // above: row 0, columns 1..3
    OutsideCase{{2, 5}, 3, true, 3},    // below: row 4
    OutsideCase{{-1, -1}, 5, true, 4},  // corner: rows and columns 0..1
    OutsideCase{{-2, 2}, 3, false, 0}, OutsideCase{{8, 2}, 5, false, 0},
    OutsideCase{{-1000, 5000}, 9, false, 0}, OutsideCase{{INT_MIN, INT_MIN}, 6, false, 0},
    OutsideCase{{INT_MAX, INT_MAX}, 6, false, 0}, OutsideCase{{INT_MIN, 2}, 7, false, 0},
    OutsideCase{{2, INT_MAX}, 7, false, 0}));

TEST(CellTest, SecondCallWithTheSameSideReusesTheMaskWithNothingLeftBehind)
{
  cv::Mat image = zeros(10, 10);
  image.at<uchar>(0, 0) = 255;
  image.at<uchar>(9, 9) = 255;
  get_special_points g;
  cv::Point first(1, 1);
  ASSERT_TRUE(g.completeCellTest(image, first, 3));
  const uchar * storage = g.mask.data;
  ASSERT_EQ(g.mask.at<uchar>(0, 0), 255);

  cv::Point second(8, 8);
  EXPECT_TRUE(g.completeCellTest(image, second, 3));
  EXPECT_EQ(g.mask.data, storage);
  cv::Mat expected = zeros(3, 3);
  expected.at<uchar>(2, 2) = 255;
  EXPECT_TRUE(sameContent(g.mask, expected));
}

TEST(CellTest, AnotherSideReallocatesTheMask)
{
  const cv::Mat image = zeros(10, 10);
  get_special_points g;
  cv::Point centre(5, 5);
  EXPECT_FALSE(g.completeCellTest(image, centre, 3));
  EXPECT_FALSE(g.completeCellTest(image, centre, 4));
  EXPECT_EQ(g.mask.size(), cv::Size(4, 4));
  EXPECT_EQ(g.mask.type(), CV_8UC1);
  EXPECT_EQ(cv::countNonZero(g.mask), 0);
}

TEST(CellTest, MaskOfTheRightShapeButAnotherTypeBecomesAByteMask)
{
  const cv::Mat image = zeros(10, 10);
  get_special_points g;
  g.mask = cv::Mat(3, 3, CV_32FC1, cv::Scalar(7.0));
  cv::Point centre(5, 5);
  EXPECT_FALSE(g.completeCellTest(image, centre, 3));
  EXPECT_EQ(g.mask.type(), CV_8UC1);
  EXPECT_TRUE(sameContent(g.mask, zeros(3, 3)));
}

TEST(CellTest, EmptyImageGivesFalseAndAZeroMask)
{
  get_special_points g;
  cv::Point centre(0, 0);
  EXPECT_FALSE(g.completeCellTest(cv::Mat(), centre, 3));
  EXPECT_TRUE(sameContent(g.mask, zeros(3, 3)));
}

TEST(CellTest, LargestSideIsAcceptedOnTheShortcut)
{
  const cv::Mat image(2, 2, CV_8UC1, cv::Scalar(255));
  get_special_points g;
  cv::Point centre(0, 0);
  EXPECT_TRUE(g.completeCellTest(image, centre, 65535));
  EXPECT_TRUE(g.mask.empty());
}

class CellTestBadSide : public ::testing::TestWithParam<int>
{
};

TEST_P(CellTestBadSide, ThrowsOutOfRangeWithMaskUntouched)
{
  const cv::Mat image(3, 3, CV_8UC1, cv::Scalar(255));  // the shortcut would say true
  get_special_points g;
  g.mask = cv::Mat(2, 2, CV_8UC1, cv::Scalar(5));
  const uchar * storage = g.mask.data;
  cv::Point centre(1, 1);
  const int side = GetParam();
  expectCvError([&] { g.completeCellTest(image, centre, side); }, cv::Error::StsOutOfRange);
  EXPECT_EQ(g.mask.data, storage);
  EXPECT_TRUE(sameContent(g.mask, cv::Mat(2, 2, CV_8UC1, cv::Scalar(5))));
}

INSTANTIATE_TEST_SUITE_P(
  OutsideZeroTo65535, CellTestBadSide, ::testing::Values(-1, 65536, INT_MIN, INT_MAX));

class CellTestBadType : public ::testing::TestWithParam<int>
{
};

TEST_P(CellTestBadType, ThrowsUnsupportedFormatBeforeReadingWithMaskUntouched)
{
  const cv::Mat image(3, 3, GetParam(), cv::Scalar::all(255));
  get_special_points g;
  g.mask = cv::Mat(2, 2, CV_8UC1, cv::Scalar(5));
  cv::Point centre(1, 1);
  expectCvError([&] { g.completeCellTest(image, centre, 3); }, cv::Error::StsUnsupportedFormat);
  EXPECT_TRUE(sameContent(g.mask, cv::Mat(2, 2, CV_8UC1, cv::Scalar(5))));
}

INSTANTIATE_TEST_SUITE_P(
  NotByteSingleChannel, CellTestBadType,
  ::testing::Values(CV_8UC3, CV_8SC1, CV_16UC1, CV_32FC1, CV_8UC2));

TEST(CellTest, SideIsCheckedBeforeType)
{
  const cv::Mat image(3, 3, CV_32FC1, cv::Scalar(255));
  get_special_points g;
  cv::Point centre(1, 1);
  expectCvError([&] { g.completeCellTest(image, centre, -1); }, cv::Error::StsOutOfRange);
}

TEST(CellTest, MatchesTheLiteralWindowScanOnRandomCalls)
{
  const unsigned seed = 20240611;
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);
  get_special_points g;
  LiteralCellTest oracle;
  for (int call = 0; call < 3000; ++call) {
    SCOPED_TRACE("call " + std::to_string(call));
    const int rows = 1 + static_cast<int>(rng() % 9);
    const int cols = 1 + static_cast<int>(rng() % 9);
    cv::Mat image(rows, cols, CV_8UC1);
    for (int y = 0; y < rows; ++y) {
      for (int x = 0; x < cols; ++x) {
        const unsigned roll = rng() % 8;
        image.at<uchar>(y, x) = roll == 0 ? 255 : (roll == 1 ? 254 : 0);
      }
    }
    cv::Point centre(static_cast<int>(rng() % 15) - 3, static_cast<int>(rng() % 15) - 3);
    const int side = static_cast<int>(rng() % 8);
    const bool expected = oracle(image, centre, side);
    EXPECT_EQ(g.completeCellTest(image, centre, side), expected);
    EXPECT_TRUE(sameContent(g.mask, oracle.mask));
  }
}
