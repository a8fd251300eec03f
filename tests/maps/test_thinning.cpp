// The toolkit's thinning against OpenCV contrib's Zhang–Suen thinning, which it
// must reproduce pixel for pixel, on generated images and on real maps.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc.hpp>

#include "expect_cv_error.hpp"
#include "quorvane_nav2_maps/thinning.hpp"
#include "sample_floor_plan.hpp"
#include "test_maps_dir.hpp"

namespace
{

using quorvane::maps::thinZhangSuen;

cv::Mat reference(const cv::Mat & src)
{
  cv::Mat out;
  cv::ximgproc::thinning(src, out, cv::ximgproc::THINNING_ZHANGSUEN);
  return out;
}

void expectSameAsReference(const cv::Mat & src, const std::string & what)
{
  cv::Mat ours;
  thinZhangSuen(src, ours);
  const cv::Mat expected = reference(src);
  ASSERT_EQ(ours.type(), CV_8UC1) << what;
  ASSERT_EQ(ours.size(), expected.size()) << what;
  EXPECT_EQ(cv::countNonZero(ours != expected), 0) << what;
}

/// Generated images of one kind; every kind reaches the image border.
cv::Mat generate(const std::string & kind, std::mt19937 & rng)
{
  std::uniform_int_distribution<int> side(1, 90);
  cv::Mat img = cv::Mat::zeros(side(rng), side(rng), CV_8UC1);
  std::uniform_int_distribution<int> x(-5, img.cols + 5), y(-5, img.rows + 5), r(1, 25);
  if (kind == "blobs") {
    for (int i = 0; i < 6; ++i) {
      cv::ellipse(
        img, {x(rng), y(rng)}, {r(rng), r(rng)}, r(rng) * 7.0, 0, 360, cv::Scalar(255), -1);
    }
    for (int i = 0; i < 3; ++i) {
      cv::circle(img, {x(rng), y(rng)}, r(rng) / 3 + 1, cv::Scalar(0), -1);
    }
  } else if (kind == "noise") {
    // Every byte value: values other than 0 and 255 must be read as OpenCV does.
    cv::randu(img, 0, 256);
  } else if (kind == "binary_noise") {
    cv::randu(img, 0, 2);
    img *= 255;
  } else if (kind == "lines") {
    for (int i = 0; i < 8; ++i) {
      cv::line(img, {x(rng), y(rng)}, {x(rng), y(rng)}, cv::Scalar(255), 1 + i % 3);
    }
  } else if (kind == "pixels") {
    std::uniform_int_distribution<int> px(0, img.cols - 1), py(0, img.rows - 1);
    for (int i = 0; i < 30; ++i) {
      img.at<uchar>(py(rng), px(rng)) = 255;
    }
  } else if (kind == "rectangles") {
    for (int i = 0; i < 4; ++i) {
      cv::rectangle(img, {x(rng), y(rng)}, {x(rng), y(rng)}, cv::Scalar(255), -1);
    }
  } else if (kind == "full") {
    img.setTo(255);
  }
  return img;
}

class Generated : public ::testing::TestWithParam<const char *>
{
};

TEST_P(Generated, SameAsOpenCv)
{
  const std::string kind = GetParam();
  for (unsigned seed = 1; seed <= 150; ++seed) {
    std::mt19937 rng(seed);
    const cv::Mat img = generate(kind, rng);
    expectSameAsReference(img, kind + " seed " + std::to_string(seed));
  }
}

INSTANTIATE_TEST_SUITE_P(
  Kinds, Generated,
  ::testing::Values("blobs", "noise", "binary_noise", "lines", "pixels", "rectangles", "full"));

/// Shapes across images of several 64-pixel words per row: widths on either
/// side of word boundaries and past 64 words (3969 columns and up; removals
/// from column 4032 on), shapes crossing the boundaries, rows past 64.
TEST(Thinning, WideImagesSameAsOpenCv)
{
  const int widths[] = {63, 64, 65, 127, 128, 129, 200, 3968, 3969, 4100};
  for (const int cols : widths) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
      std::mt19937 rng(seed * 1000u + static_cast<unsigned>(cols));
      const int rows = std::uniform_int_distribution<int>(3, cols < 1000 ? 150 : 40)(rng);
      cv::Mat img = cv::Mat::zeros(rows, cols, CV_8UC1);
      std::uniform_int_distribution<int> x(-5, cols + 5), y(-5, rows + 5), r(1, 40);
      for (int i = 0; i < std::max(8, cols / 128); ++i) {
        const cv::Point at(x(rng), y(rng));
        switch (i % 3) {
          case 0:
            cv::ellipse(
              img, at, {r(rng), r(rng) / 2 + 1}, r(rng) * 9.0, 0, 360, cv::Scalar(255), -1);
            break;
          case 1:
            cv::rectangle(img, at, at + cv::Point(r(rng), r(rng) / 2), cv::Scalar(255), -1);
            break;
          default:
            cv::line(img, at, {x(rng), y(rng)}, cv::Scalar(seed % 2 == 0 ? 0 : 255), 1 + i % 4);
        }
      }
      expectSameAsReference(
        img, std::to_string(rows) + "x" + std::to_string(cols) + " seed " + std::to_string(seed));
    }
  }
}

TEST(Thinning, FloorPlanSameAsOpenCv)
{
  const cv::Mat plan = quorvane::tools::makeSampleFloorPlan({400, 300}, 17.0, 3);
  expectSameAsReference(plan, "sample floor plan");
}

TEST(Thinning, ViewIsAnImageOfItsOwn)
{
  cv::Mat big(120, 140, CV_8UC1);
  cv::randu(big, 0, 2);
  big *= 255;
  cv::rectangle(big, {20, 30}, {100, 90}, cv::Scalar(255), -1);
  const cv::Mat view = big(cv::Rect(25, 35, 60, 40));
  cv::Mat ours;
  thinZhangSuen(view, ours);
  EXPECT_EQ(cv::countNonZero(ours != reference(view.clone())), 0);
}

TEST(Thinning, InPlace)
{
  std::mt19937 rng(11);
  const cv::Mat img = generate("blobs", rng);
  cv::Mat inOut = img.clone();
  thinZhangSuen(inOut, inOut);
  EXPECT_EQ(cv::countNonZero(inOut != reference(img)), 0);
}

TEST(Thinning, EmptyGivesEmpty)
{
  cv::Mat out(3, 3, CV_8UC1, cv::Scalar(7));
  thinZhangSuen(cv::Mat(), out);
  EXPECT_TRUE(out.empty());
}

TEST(Thinning, BadInputThrowsBeforeTouchingTheOutput)
{
  const int dims[] = {4, 4, 4};
  const std::vector<cv::Mat> bad = {
    cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(255)), cv::Mat(8, 8, CV_16UC1, cv::Scalar(255)),
    cv::Mat(8, 8, CV_32FC1, cv::Scalar(1)), cv::Mat(8, 8, CV_8SC1, cv::Scalar(1)),
    cv::Mat(3, dims, CV_8UC1, cv::Scalar(255))};
  for (const cv::Mat & src : bad) {
    cv::Mat out(2, 2, CV_8UC1, cv::Scalar(9));
    const uchar * data = out.data;
    quorvane::test::expectCvError(
      [&] { thinZhangSuen(src, out); }, cv::Error::StsUnsupportedFormat);
    EXPECT_EQ(out.data, data);
    EXPECT_EQ(cv::countNonZero(out != 9), 0);
  }
}

TEST(Thinning, RealMapsFreeSpaceSameAsOpenCv)
{
  const std::filesystem::path dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    GTEST_SKIP() << "QUORVANE_TEST_MAPS_DIR not set";
  }
  int maps = 0;
  for (const auto & entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 9 || name.substr(name.size() - 9) != ".free.png") {
      continue;
    }
    const cv::Mat freeSpace = cv::imread(entry.path().string(), cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(freeSpace.empty()) << name;
    cv::Mat padded;
    cv::copyMakeBorder(freeSpace, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
    expectSameAsReference(padded, name);
    ++maps;
  }
  if (maps == 0) {
    GTEST_SKIP() << "no <map>.free.png in " << dir;
  }
}

}  // namespace
