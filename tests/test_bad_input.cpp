// What a caller gets for each kind of bad or unusual input, one case per row
// of the "Bad input" table in README.md (the case name is the row's
// name there). Every operation that can throw is shown with what its outputs
// hold afterwards. The detailed families (every bad side, every wrong type)
// live beside each operation's own tests; these cases are the table.
#include <gtest/gtest.h>

#include "expect_cv_error.hpp"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"

namespace
{

using quorvane::test::expectCvError;

using Points = std::vector<cv::Point>;
using Points2f = std::vector<cv::Point2f>;
using Path = nav_msgs::msg::Path;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

bool sameBits(const Points2f & a, const Points2f & b)
{
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(cv::Point2f)) == 0);
}

bool samePixels(const cv::Mat & a, const cv::Mat & b)
{
  return a.size() == b.size() && a.type() == b.type() &&
         (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0.0);
}

/// The mask as a caller may have left it: its buffer and its pixels.
struct MaskSnapshot
{
  const uchar * data;
  cv::Mat pixels;

  explicit MaskSnapshot(const cv::Mat & mask) : data(mask.data), pixels(mask.clone()) {}

  bool holds(const cv::Mat & mask) const { return mask.data == data && samePixels(mask, pixels); }
};

const Points2f kStalePath = {{1.0F, 2.0F}, {std::numeric_limits<float>::quiet_NaN(), 3.0F}};

/// A 40 x 40 map whose free area is the block of columns and rows 5..34.
cv::Mat blockMap()
{
  cv::Mat map = cv::Mat::zeros(40, 40, CV_8UC1);
  map(cv::Rect(5, 5, 30, 30)).setTo(255);
  return map;
}

/// The plus sign of 5 x 5: junction pixels (2, 1), (1, 2), (3, 2), (2, 3).
void drawPlus(cv::Mat & image)
{
  image.row(2).setTo(255);
  image.col(2).setTo(255);
}

Path pathThrough(const std::vector<cv::Point2d> & xy)
{
  Path path;
  path.header.frame_id = "map";
  for (const cv::Point2d & p : xy) {
    geometry_msgs::msg::PoseStamped pose;
    pose.pose.position.x = p.x;
    pose.pose.position.y = p.y;
    path.poses.push_back(pose);
  }
  return path;
}

std::vector<double> xsOf(const Path & path)
{
  std::vector<double> xs;
  for (const auto & pose : path.poses) {
    xs.push_back(pose.pose.position.x);
  }
  return xs;
}

// ------------------------------------------------------------ junctions

void junctionsWrongType()
{
  for (int type : {CV_8UC3, CV_16UC1, CV_32FC1, CV_8SC1, CV_8UC2}) {
    Points junctions = {{1, 2}, {3, 4}};
    expectCvError(
      [&] {
        get_special_points().SkeletonGetJunctionPt(
          cv::Mat(6, 6, type, cv::Scalar::all(255)), junctions);
      },
      cv::Error::StsUnsupportedFormat);
    EXPECT_TRUE(junctions.empty()) << type;
  }
}

void junctionsNotTwoDimensional()
{
  const int sizes[3] = {3, 3, 3};
  const cv::Mat cube(3, sizes, CV_8UC1, cv::Scalar(255));
  Points junctions = {{1, 2}};
  expectCvError(
    [&] { get_special_points().SkeletonGetJunctionPt(cube, junctions); },
    cv::Error::StsUnsupportedFormat);
  EXPECT_TRUE(junctions.empty());
}

void junctionsEmptyImage()
{
  for (const cv::Mat & empty : {cv::Mat(), cv::Mat(0, 7, CV_8UC1), cv::Mat(7, 0, CV_8UC1)}) {
    Points junctions = {{1, 2}, {3, 4}, {5, 6}};
    EXPECT_EQ(get_special_points().SkeletonGetJunctionPt(empty, junctions), 0);
    EXPECT_EQ(junctions, (Points{{0, 0}, {0, 0}}));
  }
}

void junctionsViewIgnoresItsSurroundings()
{
  // Everything around the view is set; inside it, only the plus sign.
  cv::Mat parent(9, 9, CV_8UC1, cv::Scalar(255));
  cv::Mat view = parent(cv::Rect(2, 2, 5, 5));
  view.setTo(0);
  drawPlus(view);
  Points junctions;
  get_special_points().SkeletonGetJunctionPt(view, junctions);
  EXPECT_EQ(junctions, (Points{{2, 1}, {2, 3}}));
}

void junctionsUnthinnedBlock()
{
  // Every interior pixel of a filled image is a junction pixel; the pair is
  // the first of the two equally long diagonals of the interior.
  Points junctions;
  get_special_points().SkeletonGetJunctionPt(cv::Mat(200, 300, CV_8UC1, cv::Scalar(1)), junctions);
  EXPECT_EQ(junctions, (Points{{1, 1}, {298, 198}}));
}

// ------------------------------------------------------------ cell test

/// A cell test that must throw @p code and leave a preset mask alone.
void expectCellTestRejects(const cv::Mat & image, int side, int code)
{
  get_special_points g;
  g.mask = cv::Mat(2, 2, CV_8UC1, cv::Scalar(5));
  const MaskSnapshot before(g.mask);
  cv::Point centre(1, 1);
  expectCvError([&] { g.completeCellTest(image, centre, side); }, code);
  EXPECT_TRUE(before.holds(g.mask)) << side;
  EXPECT_EQ(centre, cv::Point(1, 1));
}

void cellTestNegativeSide()
{
  const cv::Mat image(3, 3, CV_8UC1, cv::Scalar(255));  // the shortcut would answer true
  for (int side : {-1, INT_MIN}) {
    expectCellTestRejects(image, side, cv::Error::StsOutOfRange);
  }
}

void cellTestSideAbove65535()
{
  const cv::Mat image(3, 3, CV_8UC1, cv::Scalar(255));
  for (int side : {65536, INT_MAX}) {
    expectCellTestRejects(image, side, cv::Error::StsOutOfRange);
  }
}

void cellTestWrongType()
{
  for (int type : {CV_8UC3, CV_16UC1, CV_32FC1, CV_8SC1}) {
    expectCellTestRejects(
      cv::Mat(3, 3, type, cv::Scalar::all(255)), 3, cv::Error::StsUnsupportedFormat);
  }
}

void cellTestCentreOutside()
{
  cv::Mat image = cv::Mat::zeros(4, 4, CV_8UC1);
  image.at<uchar>(0, 0) = 255;
  get_special_points g;
  cv::Point corner(-1, -1);  // the window's bottom-right pixel is image pixel (0, 0)
  EXPECT_TRUE(g.completeCellTest(image, corner, 3));
  cv::Mat expected = cv::Mat::zeros(3, 3, CV_8UC1);
  expected.at<uchar>(2, 2) = 255;
  EXPECT_TRUE(samePixels(g.mask, expected));

  for (const cv::Point far : {cv::Point(INT_MIN, INT_MIN), cv::Point(INT_MAX, INT_MAX)}) {
    cv::Point centre = far;
    EXPECT_FALSE(g.completeCellTest(image, centre, 9));
    EXPECT_TRUE(samePixels(g.mask, cv::Mat::zeros(9, 9, CV_8UC1)));
    EXPECT_EQ(centre, far);
  }
}

void cellTestSideZero()
{
  get_special_points g;
  g.mask = cv::Mat(3, 3, CV_8UC1, cv::Scalar(7));
  cv::Point centre(0, 0);
  EXPECT_FALSE(g.completeCellTest(cv::Mat::zeros(4, 4, CV_8UC1), centre, 0));
  EXPECT_EQ(g.mask.rows, 0);
  EXPECT_EQ(g.mask.cols, 0);
}

void cellTestEmptyImage()
{
  get_special_points g;
  cv::Point centre(0, 0);
  EXPECT_FALSE(g.completeCellTest(cv::Mat(), centre, 4));
  EXPECT_TRUE(samePixels(g.mask, cv::Mat::zeros(4, 4, CV_8UC1)));
}

void cellTestViewReadsOnlyItsOwnPixels()
{
  cv::Mat parent(6, 6, CV_8UC1, cv::Scalar(255));
  cv::Mat view = parent(cv::Rect(1, 1, 4, 4));
  view.setTo(0);
  get_special_points g;
  cv::Point centre(0, 0);  // the window reaches one pixel beyond the view, onto 255s
  EXPECT_FALSE(g.completeCellTest(view, centre, 3));
  EXPECT_TRUE(samePixels(g.mask, cv::Mat::zeros(3, 3, CV_8UC1)));
}

void cellTestImageSharingTheMask()
{
  // The object's own mask passed as the image: it is read from a copy, so the
  // answer and the new mask are those of the image as passed.
  get_special_points g;
  g.mask = cv::Mat::zeros(5, 5, CV_8UC1);
  g.mask.at<uchar>(1, 1) = 255;
  const cv::Mat copy = g.mask.clone();
  cv::Point centre(2, 2);
  get_special_points reference;
  EXPECT_TRUE(reference.completeCellTest(copy, centre, 3));
  EXPECT_TRUE(g.completeCellTest(g.mask, centre, 3));
  EXPECT_TRUE(samePixels(g.mask, reference.mask));
  // A view into the mask as well.
  g.mask = copy.clone();
  const cv::Mat view = g.mask(cv::Rect(0, 0, 3, 3));
  cv::Point corner(0, 0);  // window rows and columns -1 .. 1 of the view
  EXPECT_TRUE(g.completeCellTest(view, corner, 3));
  EXPECT_EQ(cv::countNonZero(g.mask), 1);
  EXPECT_EQ(g.mask.at<uchar>(2, 2), 255);
}

// ------------------------------------------------------------ inner rectangle

/// getInnerRect must throw @p code and leave the output and the mask alone.
void expectInnerRectRejects(const cv::Mat & map, double cellSize, int code)
{
  get_special_points g;
  g.mask = cv::Mat(2, 2, CV_8UC1, cv::Scalar(5));
  const MaskSnapshot before(g.mask);
  Points2f rectPath = kStalePath;
  expectCvError([&] { g.getInnerRect(map, rectPath, cellSize); }, code);
  EXPECT_TRUE(sameBits(rectPath, kStalePath)) << cellSize;
  EXPECT_TRUE(before.holds(g.mask)) << cellSize;
}

void innerRectCellSizeNotFinite()
{
  for (double cellSize : {kNaN, kInf, -kInf}) {
    expectInnerRectRejects(blockMap(), cellSize, cv::Error::StsOutOfRange);
  }
}

void innerRectCellSizeBelowOne()
{
  for (double cellSize : {0.999, 0.0, -0.0, -1.0, std::numeric_limits<double>::denorm_min()}) {
    expectInnerRectRejects(blockMap(), cellSize, cv::Error::StsOutOfRange);
  }
}

void innerRectCellSizeTooLarge()
{
  for (double cellSize : {65536.0, 1e300, DBL_MAX}) {
    expectInnerRectRejects(blockMap(), cellSize, cv::Error::StsOutOfRange);
  }
  // The largest accepted size: far too big for this map, which ends early.
  Points2f rectPath = kStalePath;
  EXPECT_NO_THROW(get_special_points().getInnerRect(blockMap(), rectPath, 65535.999));
  EXPECT_TRUE(sameBits(rectPath, kStalePath));
}

void innerRectWrongType()
{
  for (int type : {CV_8UC3, CV_16UC1, CV_32FC1}) {
    expectInnerRectRejects(
      cv::Mat(20, 20, type, cv::Scalar::all(255)), 3.0, cv::Error::StsUnsupportedFormat);
  }
  // The cell size is checked first.
  expectInnerRectRejects(cv::Mat(20, 20, CV_32FC1), kNaN, cv::Error::StsOutOfRange);
}

void innerRectEmptyMap()
{
  for (const cv::Mat & empty : {cv::Mat(), cv::Mat(0, 5, CV_8UC1)}) {
    Points2f rectPath = kStalePath;
    EXPECT_NO_THROW(get_special_points().getInnerRect(empty, rectPath, 3.0));
    EXPECT_TRUE(sameBits(rectPath, kStalePath));
  }
}

void innerRectNoFreeArea()
{
  for (const uchar value : {uchar{0}, uchar{254}}) {
    Points2f rectPath = kStalePath;
    get_special_points().getInnerRect(cv::Mat(30, 30, CV_8UC1, cv::Scalar(value)), rectPath, 3.0);
    EXPECT_TRUE(sameBits(rectPath, kStalePath)) << int(value);
  }
}

void innerRectViewMatchesItsCopy()
{
  cv::Mat parent(60, 60, CV_8UC1, cv::Scalar(255));
  cv::Mat view = parent(cv::Rect(10, 7, 40, 40));
  blockMap().copyTo(view);
  Points2f fromView;
  Points2f fromCopy;
  get_special_points().getInnerRect(view, fromView, 3.0);
  get_special_points().getInnerRect(view.clone(), fromCopy, 3.0);
  ASSERT_EQ(fromView.size(), 5U);
  EXPECT_TRUE(sameBits(fromView, fromCopy));
}

void innerRectMapSharingTheMask()
{
  // The map is read only before the first cell test rewrites the mask.
  Points2f expected;
  get_special_points().getInnerRect(blockMap(), expected, 3.0);
  get_special_points g;
  g.mask = blockMap();
  Points2f rectPath;
  g.getInnerRect(g.mask, rectPath, 3.0);
  ASSERT_EQ(rectPath.size(), 5U);
  EXPECT_TRUE(sameBits(rectPath, expected));
}

// ------------------------------------------------------------ rotator

/// A 60 x 60 map with one thick wall along 30 degrees.
cv::Mat wallMap()
{
  cv::Mat map = cv::Mat::zeros(60, 60, CV_8UC1);
  cv::line(map, {5, 10}, {55, 39}, cv::Scalar(255), 3);
  return map;
}

void mainDirectionNotEightBit()
{
  for (int type : {CV_16UC1, CV_32FC1, CV_8SC1}) {
    expectCvError([&] { Rotator().computeImageMainDirection(cv::Mat::zeros(20, 20, type)); });
  }
}

void mainDirectionEmptyImage()
{
  EXPECT_EQ(Rotator().computeImageMainDirection(cv::Mat()), 0.0);
  EXPECT_EQ(Rotator().computeImageMainDirection(cv::Mat::zeros(1, 1, CV_8UC1)), 0.0);
}

void mainDirectionThreeChannels()
{
  // Edge detection accepts 8-bit colour: a grey map copied into three
  // channels has the same edges, hence the same direction.
  const cv::Mat grey = wallMap();
  cv::Mat colour;
  cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
  const double direction = Rotator().computeImageMainDirection(grey);
  EXPECT_GT(direction, 0.0);
  EXPECT_EQ(Rotator().computeImageMainDirection(colour), direction);
}

void mainDirectionViewMatchesItsCopy()
{
  cv::Mat parent(80, 80, CV_8UC1, cv::Scalar(255));
  cv::Mat view = parent(cv::Rect(10, 10, 60, 60));
  wallMap().copyTo(view);
  EXPECT_EQ(
    Rotator().computeImageMainDirection(view), Rotator().computeImageMainDirection(view.clone()));
}

void mainDirectionBeyond32767Pixels()
{
  // A 33000 x 40 map with a free band along x, and its transpose: beyond the
  // size OpenCV's Hough transform takes at once, searched in tiles.
  cv::Mat wide = cv::Mat::zeros(40, 33000, CV_8UC1);
  wide(cv::Rect(5, 10, 32990, 20)).setTo(255);
  EXPECT_EQ(Rotator().computeImageMainDirection(wide), 0.0);
  EXPECT_DOUBLE_EQ(Rotator().computeImageMainDirection(cv::Mat(wide.t())), CV_PI / 2);
}

void minMaxWrongType()
{
  for (int type : {CV_8UC3, CV_16UC1, CV_32FC1}) {
    cv::Point lo(-7, -8);
    cv::Point hi(-9, -10);
    expectCvError(
      [&] { Rotator().getMinMaxCoordinates(cv::Mat::zeros(4, 4, type), lo, hi); },
      cv::Error::StsUnsupportedFormat);
    EXPECT_EQ(lo, cv::Point(-7, -8));
    EXPECT_EQ(hi, cv::Point(-9, -10));
  }
}

void minMaxEmptyImage()
{
  cv::Point lo(1, 1);
  cv::Point hi(1, 1);
  Rotator().getMinMaxCoordinates(cv::Mat(), lo, hi);
  EXPECT_EQ(lo, cv::Point(INT_MAX, INT_MAX));
  EXPECT_EQ(hi, cv::Point(0, 0));
}

void rotationMatrixRejectedInput()
{
  const cv::Point farPivot(INT_MAX, INT_MAX);
  struct Case
  {
    cv::Mat image;
    const cv::Point * centre;
    double extraAngle;
  };
  for (const Case & c :
       {Case{cv::Mat::zeros(10, 10, CV_32FC1), nullptr, 0.0},
        Case{cv::Mat::zeros(10, 10, CV_8UC3), nullptr, 0.0},
        Case{cv::Mat::zeros(10, 10, CV_8UC1), &farPivot, 0.0},
        Case{cv::Mat::zeros(10, 10, CV_8UC1), nullptr, kNaN},
        Case{cv::Mat::zeros(10, 10, CV_8UC1), nullptr, kInf}}) {
    cv::Mat matrix = cv::Mat::ones(2, 3, CV_64F);
    const uchar * storage = matrix.data;
    cv::Rect bounds(1, 2, 3, 4);
    expectCvError([&] {
      Rotator().computeImageRotationMatrix(c.image, matrix, bounds, c.centre, c.extraAngle);
    });
    EXPECT_EQ(matrix.data, storage);
    EXPECT_TRUE(samePixels(matrix, cv::Mat::ones(2, 3, CV_64F)));
    EXPECT_EQ(bounds, cv::Rect(1, 2, 3, 4));
  }
}

void rotateImageMalformedMatrix()
{
  // A matrix that is not a 2x3 of floats, an empty image or negative bounds
  // throw before the output is touched. The input is never written.
  const cv::Mat map = wallMap();
  const cv::Mat before = map.clone();
  for (const cv::Mat & matrix :
       {cv::Mat(cv::Mat::eye(3, 3, CV_64F)), cv::Mat(), cv::Mat(cv::Mat::eye(2, 3, CV_8UC1))}) {
    cv::Mat rotated(4, 4, CV_8UC1, cv::Scalar(7));
    const uchar * buffer = rotated.data;
    expectCvError([&] { Rotator().rotateImage(map, rotated, matrix, {0, 0, 30, 30}); });
    EXPECT_EQ(rotated.data, buffer);
    EXPECT_EQ(cv::countNonZero(rotated != 7), 0);
  }
  // Not finite, or so nearly singular that its inverse scales by over 2^20.
  for (const cv::Mat & matrix :
       {cv::Mat((cv::Mat_<double>(2, 3) << 1, 0, kNaN, 0, 1, 0)),
        cv::Mat((cv::Mat_<double>(2, 3) << kInf, 0, 0, 0, 1, 0)),
        cv::Mat((cv::Mat_<double>(2, 3) << 1e-7, 0, 0, 0, 1e-7, 0))}) {
    cv::Mat rotated(4, 4, CV_8UC1, cv::Scalar(7));
    expectCvError(
      [&] {
        Rotator().rotateImage(map, rotated, matrix, {0, 0, 30, 30});
      },
      cv::Error::StsOutOfRange);
    EXPECT_EQ(cv::countNonZero(rotated != 7), 0);
  }
  cv::Mat rotated(4, 4, CV_8UC1, cv::Scalar(7));
  expectCvError([&] {
    Rotator().rotateImage(cv::Mat(), rotated, cv::Mat::eye(2, 3, CV_64F), {0, 0, 5, 5});
  });
  expectCvError([&] {
    Rotator().rotateImage(map, rotated, cv::Mat::eye(2, 3, CV_64F), {0, 0, -5, 5});
  });
  EXPECT_EQ(rotated.size(), cv::Size(4, 4));
  EXPECT_EQ(cv::countNonZero(rotated != 7), 0);
  EXPECT_TRUE(samePixels(map, before));
}

void rotateImageIntoItsInput()
{
  const cv::Mat map = wallMap();
  cv::Mat matrix;
  cv::Rect bounds;
  Rotator().computeImageRotationMatrix(map, matrix, bounds, nullptr, 0.3);
  cv::Mat separate;
  Rotator().rotateImage(map, separate, matrix, bounds);
  cv::Mat same = map.clone();
  Rotator().rotateImage(same, same, matrix, bounds);
  EXPECT_TRUE(samePixels(same, separate));
}

void backTransformMalformedMatrix()
{
  for (const cv::Mat & matrix :
       {cv::Mat(cv::Mat::eye(3, 3, CV_64F)), cv::Mat(), cv::Mat(cv::Mat::eye(2, 3, CV_8UC1)),
        cv::Mat(cv::Mat::eye(2, 3, CV_32SC1)), cv::Mat(cv::Mat::zeros(2, 3, CV_64FC2))}) {
    for (const Points2f & input : {Points2f{{1.0F, 1.0F}}, Points2f{}}) {
      Points2f output = {{9.0F, 9.0F}};
      expectCvError([&] { Rotator().transformPathBackToOriginalRotation(input, output, matrix); });
      EXPECT_TRUE(output.empty());
    }
  }
}

void backTransformSingularMatrix()
{
  // OpenCV inverts a singular matrix to all zeros: every point lands on the
  // origin, without an exception.
  for (const cv::Mat & matrix :
       {cv::Mat(cv::Mat::zeros(2, 3, CV_64F)),
        cv::Mat((cv::Mat_<double>(2, 3) << 1e-300, 0, 0, 0, 1e-300, 0))}) {
    Points2f output = {{9.0F, 9.0F}};
    Rotator().transformPathBackToOriginalRotation({{1.0F, 2.0F}, {3.0F, 4.0F}}, output, matrix);
    EXPECT_TRUE(sameBits(output, {{0.0F, 0.0F}, {0.0F, 0.0F}}));
  }
}

void backTransformNaNInMatrixOrPoints()
{
  cv::Mat withNaN = cv::Mat::eye(2, 3, CV_64F);
  withNaN.at<double>(0, 2) = kNaN;
  Points2f output;
  Rotator().transformPathBackToOriginalRotation({{1.0F, 2.0F}}, output, withNaN);
  ASSERT_EQ(output.size(), 1U);
  EXPECT_TRUE(std::isnan(output[0].x));

  const float nanF = std::numeric_limits<float>::quiet_NaN();
  const cv::Mat translation = (cv::Mat_<double>(2, 3) << 1, 0, 5, 0, 1, 7);
  Rotator().transformPathBackToOriginalRotation({{nanF, 10.0F}, {1.0F, 1.0F}}, output, translation);
  ASSERT_EQ(output.size(), 2U);
  EXPECT_TRUE(std::isnan(output[0].x));
  EXPECT_EQ(output[0].y, 3.0F);
  EXPECT_EQ(output[1], cv::Point2f(-4.0F, -6.0F));
}

void backTransformFloatMatrixAndView()
{
  const Points2f input = {{1.0F, 2.0F}, {3.0F, 4.0F}};
  const Points2f expected = {{-4.0F, -5.0F}, {-2.0F, -3.0F}};
  cv::Mat asFloat = (cv::Mat_<float>(2, 3) << 1, 0, 5, 0, 1, 7);
  cv::Mat parent = cv::Mat::zeros(4, 6, CV_64F);
  cv::Mat view = parent(cv::Rect(2, 1, 3, 2));
  cv::Mat((cv::Mat_<double>(2, 3) << 1, 0, 5, 0, 1, 7)).copyTo(view);
  for (const cv::Mat & matrix : {asFloat, view}) {
    Points2f output;
    Rotator().transformPathBackToOriginalRotation(input, output, matrix);
    EXPECT_TRUE(sameBits(output, expected));
  }
}

void backTransformIntoItsInput()
{
  // One vector as input and output: its points are transformed in place.
  Points2f path = {{1.0F, 2.0F}, {3.0F, 4.0F}};
  cv::Mat translation = cv::Mat::eye(2, 3, CV_64F);
  translation.at<double>(0, 2) = 10.0;
  Rotator().transformPathBackToOriginalRotation(path, path, translation);
  ASSERT_EQ(path.size(), 2U);
  EXPECT_EQ(path[0], cv::Point2f(-9.0F, 2.0F));
  EXPECT_EQ(path[1], cv::Point2f(-7.0F, 4.0F));
}

void appendPathToItself()
{
  Points2f path = {{1.0F, 2.0F}, {3.0F, 4.0F}};
  Rotator().transformPointPathToPosePath(path, path);
  EXPECT_TRUE(sameBits(path, {{1.0F, 2.0F}, {3.0F, 4.0F}, {1.0F, 2.0F}, {3.0F, 4.0F}}));
}

// ------------------------------------------------------------ polylines

void polylineNegativeEpsilon()
{
  for (const Points & input : {Points{}, Points{{1, 1}}, Points{{0, 0}, {5, 5}, {9, 0}}}) {
    Points output = {{7, 7}};
    expectCvError(
      [&] { SimplifyPath().douglasPeucker(input, -1e-300, 0.0, output); },
      cv::Error::StsOutOfRange);
    EXPECT_EQ(output, (Points{{7, 7}}));
  }
}

const Points kZigzag = {{0, 0}, {2, 3}, {5, 0}, {8, 3}, {10, 0}};

Points simplified(const Points & input, double epsilon, double minChord)
{
  Points output;
  SimplifyPath().douglasPeucker(input, epsilon, minChord, output);
  return output;
}

void polylineMinusZeroEpsilon()
{
  EXPECT_EQ(simplified(kZigzag, -0.0, -1.0), simplified(kZigzag, 0.0, -1.0));
  EXPECT_EQ(simplified(kZigzag, -0.0, -1.0), kZigzag);
}

void polylineNaNOrInfiniteEpsilon()
{
  for (double epsilon : {kNaN, kInf}) {
    EXPECT_EQ(simplified(kZigzag, epsilon, -1.0), (Points{{0, 0}, {10, 0}})) << epsilon;
  }
}

void polylineUnusualMinChord()
{
  EXPECT_EQ(simplified(kZigzag, 0.0, kNaN), kZigzag);                    // never ends a span
  EXPECT_EQ(simplified(kZigzag, 0.0, -kInf), kZigzag);                   // switched off
  EXPECT_EQ(simplified(kZigzag, 0.0, kInf), (Points{{0, 0}, {10, 0}}));  // ends every span
}

void polylineIntoItsInput()
{
  Points io = kZigzag;
  SimplifyPath().douglasPeucker(io, 2.9, -1.0, io);
  Points expected = kZigzag;
  expected.insert(expected.end(), {{0, 0}, {2, 3}, {10, 0}});
  EXPECT_EQ(io, expected);
}

void polylineExtremeCoordinates()
{
  // The chord from INT_MIN to INT_MAX is 2^32 - 1 long; in 32 bits the
  // difference would wrap to 1 and the chord test would end the span.
  const Points input = {{INT_MIN, 0}, {0, 1000}, {INT_MAX, 0}};
  EXPECT_EQ(simplified(input, 1.0, 4294967294.0), input);
  EXPECT_EQ(simplified(input, 1.0, 4294967295.0), (Points{{INT_MIN, 0}, {INT_MAX, 0}}));
}

// ------------------------------------------------------------ path messages

void pathNegativeEpsilon()
{
  for (const Path & input : {Path{}, pathThrough({{0, 0}, {5, 5}, {9, 0}})}) {
    Path output = pathThrough({{7, 7}});
    output.header.frame_id = "untouched";
    const Path before = output;
    expectCvError(
      [&] { SimplifyPath().douglasPeucker(input, -0.5, output); }, cv::Error::StsOutOfRange);
    EXPECT_EQ(output, before);
  }
}

std::vector<double> keptXs(const Path & input, double epsilon)
{
  Path output;
  SimplifyPath().douglasPeucker(input, epsilon, output);
  return xsOf(output);
}

void pathNaNEpsilon()
{
  const Path zigzag = pathThrough({{0, 0}, {2, 3}, {5, 0}, {8, 3}, {10, 0}});
  EXPECT_EQ(keptXs(zigzag, kNaN), (std::vector<double>{0, 10}));
}

void pathNaNCoordinates()
{
  // A NaN distance is never greater than anything: an interior NaN position
  // is never a split point, and a NaN end makes every distance NaN.
  EXPECT_EQ(
    keptXs(pathThrough({{0, 0}, {kNaN, 5}, {5, 9}, {10, 0}}), 0.0),
    (std::vector<double>{0, 5, 10}));
  const std::vector<double> nanEnd = keptXs(pathThrough({{kNaN, 0}, {5, 9}, {10, 0}}), 0.0);
  ASSERT_EQ(nanEnd.size(), 2U);
  EXPECT_TRUE(std::isnan(nanEnd[0]));
  EXPECT_EQ(nanEnd[1], 10.0);
}

void pathInfiniteOrHugeCoordinates()
{
  // Infinitely (or overflowing-to-infinity) far from the segment: kept.
  EXPECT_EQ(
    keptXs(pathThrough({{0, 0}, {kInf, 0}, {10, 0}}), 1.0), (std::vector<double>{0, kInf, 10}));
  EXPECT_EQ(
    keptXs(pathThrough({{0, 0}, {1e200, 1e200}, {1, 0}}), 1e300),
    (std::vector<double>{0, 1e200, 1}));
}

void pathIntoItsInput()
{
  Path io = pathThrough({{0, 0}, {5, 1}, {10, 0}});
  SimplifyPath().douglasPeucker(io, 1.0, io);
  EXPECT_EQ(xsOf(io), (std::vector<double>{0, 5, 10, 0, 10}));
  EXPECT_EQ(io.header.frame_id, "map");
}

// ------------------------------------------------------------ curvature

void curvatureExtremeCoordinates()
{
  // Legs from INT_MIN to INT_MAX are 2^32 - 1 long; in 32 bits they would
  // wrap to -1 and the reversal would look like a unit step.
  const double leg = 4294967295.0;
  const double reversal = CurvatureAnalyzer().curvature({INT_MIN, 0}, {INT_MAX, 0}, {INT_MIN, 0});
  EXPECT_DOUBLE_EQ(reversal, CV_PI / leg);
  const Points points = {
    {INT_MIN, INT_MIN}, {INT_MAX, INT_MIN}, {INT_MAX, INT_MAX}, {INT_MIN, INT_MAX}};
  EXPECT_EQ(CurvatureAnalyzer().findMaxCurvaturePoint(points), cv::Point(INT_MAX, INT_MIN));
}

void curvatureDegenerate()
{
  EXPECT_EQ(CurvatureAnalyzer().curvature({3, 3}, {3, 3}, {7, 1}), 0.0);
  EXPECT_EQ(CurvatureAnalyzer().findMaxCurvaturePoint({}), cv::Point(0, 0));
  EXPECT_EQ(CurvatureAnalyzer().findMaxCurvaturePoint({{5, 5}, {9, 9}}), cv::Point(0, 0));
  EXPECT_EQ(CurvatureAnalyzer().findMaxCurvaturePoint({{5, 5}, {5, 5}, {5, 5}}), cv::Point(0, 0));
}

// ------------------------------------------------------------ the table

struct Row
{
  const char * name;
  void (*check)();
};

const Row kRows[] = {
  {"JunctionsWrongType", junctionsWrongType},
  {"JunctionsNotTwoDimensional", junctionsNotTwoDimensional},
  {"JunctionsEmptyImage", junctionsEmptyImage},
  {"JunctionsViewIgnoresItsSurroundings", junctionsViewIgnoresItsSurroundings},
  {"JunctionsUnthinnedBlock", junctionsUnthinnedBlock},
  {"CellTestNegativeSide", cellTestNegativeSide},
  {"CellTestSideAbove65535", cellTestSideAbove65535},
  {"CellTestWrongType", cellTestWrongType},
  {"CellTestCentreOutside", cellTestCentreOutside},
  {"CellTestSideZero", cellTestSideZero},
  {"CellTestEmptyImage", cellTestEmptyImage},
  {"CellTestViewReadsOnlyItsOwnPixels", cellTestViewReadsOnlyItsOwnPixels},
  {"CellTestImageSharingTheMask", cellTestImageSharingTheMask},
  {"InnerRectCellSizeNotFinite", innerRectCellSizeNotFinite},
  {"InnerRectCellSizeBelowOne", innerRectCellSizeBelowOne},
  {"InnerRectCellSizeTooLarge", innerRectCellSizeTooLarge},
  {"InnerRectWrongType", innerRectWrongType},
  {"InnerRectEmptyMap", innerRectEmptyMap},
  {"InnerRectNoFreeArea", innerRectNoFreeArea},
  {"InnerRectViewMatchesItsCopy", innerRectViewMatchesItsCopy},
  {"InnerRectMapSharingTheMask", innerRectMapSharingTheMask},
  {"MainDirectionNotEightBit", mainDirectionNotEightBit},
  {"MainDirectionEmptyImage", mainDirectionEmptyImage},
  {"MainDirectionThreeChannels", mainDirectionThreeChannels},
  {"MainDirectionViewMatchesItsCopy", mainDirectionViewMatchesItsCopy},
  {"MainDirectionBeyond32767Pixels", mainDirectionBeyond32767Pixels},
  {"MinMaxWrongType", minMaxWrongType},
  {"MinMaxEmptyImage", minMaxEmptyImage},
  {"RotationMatrixRejectedInput", rotationMatrixRejectedInput},
  {"RotateImageMalformedMatrix", rotateImageMalformedMatrix},
  {"RotateImageIntoItsInput", rotateImageIntoItsInput},
  {"BackTransformMalformedMatrix", backTransformMalformedMatrix},
  {"BackTransformSingularMatrix", backTransformSingularMatrix},
  {"BackTransformNaNInMatrixOrPoints", backTransformNaNInMatrixOrPoints},
  {"BackTransformFloatMatrixAndView", backTransformFloatMatrixAndView},
  {"BackTransformIntoItsInput", backTransformIntoItsInput},
  {"AppendPathToItself", appendPathToItself},
  {"PolylineNegativeEpsilon", polylineNegativeEpsilon},
  {"PolylineMinusZeroEpsilon", polylineMinusZeroEpsilon},
  {"PolylineNaNOrInfiniteEpsilon", polylineNaNOrInfiniteEpsilon},
  {"PolylineUnusualMinChord", polylineUnusualMinChord},
  {"PolylineIntoItsInput", polylineIntoItsInput},
  {"PolylineExtremeCoordinates", polylineExtremeCoordinates},
  {"PathNegativeEpsilon", pathNegativeEpsilon},
  {"PathNaNEpsilon", pathNaNEpsilon},
  {"PathNaNCoordinates", pathNaNCoordinates},
  {"PathInfiniteOrHugeCoordinates", pathInfiniteOrHugeCoordinates},
  {"PathIntoItsInput", pathIntoItsInput},
  {"CurvatureExtremeCoordinates", curvatureExtremeCoordinates},
  {"CurvatureDegenerate", curvatureDegenerate},
};

void PrintTo(const Row & row, std::ostream * os) { *os << row.name; }

class BadInput : public ::testing::TestWithParam<Row>
{
};

TEST_P(BadInput, GivesWhatTheTableSays) { GetParam().check(); }

INSTANTIATE_TEST_SUITE_P(
  Table, BadInput, ::testing::ValuesIn(kRows),
  [](const ::testing::TestParamInfo<Row> & row) { return std::string(row.param.name); });

}  // namespace
