// Reading map_server YAML descriptions and their images into free space and
// unknown cells.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "quorvane_nav2_maps/map.hpp"
#include "scratch_dir.hpp"

namespace
{

using quorvane::maps::LoadOptions;
using quorvane::maps::MapError;
using quorvane::maps::MapMode;
using quorvane::maps::MapServerInfo;
using quorvane::test::ScratchDir;

/// Free space of @p image read with @p info.
cv::Mat freeOf(const cv::Mat & image, const MapServerInfo & info)
{
  return quorvane::maps::mapFromImage(image, info).free;
}

/// A bare image read with @p freeThresh.
quorvane::maps::Map loadBare(const std::string & path, double freeThresh, bool strictUnknown)
{
  MapServerInfo info;
  info.image = path;
  info.freeThresh = freeThresh;
  const cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
  LoadOptions options;
  options.strictUnknown = strictUnknown;
  return quorvane::maps::mapFromImage(image, info, options);
}

/// Writes a one-row grey image holding @p greys and returns its path.
std::string writeGreyRow(const ScratchDir & dir, const std::string & name, std::vector<uchar> greys)
{
  const cv::Mat row(1, static_cast<int>(greys.size()), CV_8UC1, greys.data());
  std::string path = dir.file(name);
  cv::imwrite(path, row);
  return path;
}

/// Whether the loaded free mask is 255 at column @p x of row 0.
bool freeAt(const cv::Mat & free, int x) { return free.at<uchar>(0, x) == 255; }

// ---------------------------------------------------------------- YAML fields

TEST(MapYaml, ReadsEveryField)
{
  ScratchDir dir;
  const std::string yaml = dir.write(
    "m.yaml",
    "image: m.pgm\nresolution: 0.1\norigin: [-1.5, 2.0, 0.25]\nnegate: 1\n"
    "occupied_thresh: 0.7\nfree_thresh: 0.2\nmode: scale\n");
  const MapServerInfo meta = quorvane::maps::readMapServerYaml(yaml);
  EXPECT_EQ(meta.image, dir.file("m.pgm"));
  EXPECT_DOUBLE_EQ(meta.resolution, 0.1);
  EXPECT_DOUBLE_EQ(meta.originX, -1.5);
  EXPECT_DOUBLE_EQ(meta.originY, 2.0);
  EXPECT_DOUBLE_EQ(meta.originYaw, 0.25);
  EXPECT_TRUE(meta.negate);
  EXPECT_DOUBLE_EQ(meta.occupiedThresh, 0.7);
  EXPECT_DOUBLE_EQ(meta.freeThresh, 0.2);
  EXPECT_EQ(meta.mode, MapMode::Scale);
}

TEST(MapYaml, OptionalFieldsTakeMapServerDefaults)
{
  ScratchDir dir;
  const MapServerInfo meta =
    quorvane::maps::readMapServerYaml(dir.write("m.yaml", "image: m.pgm\nresolution: 0.05\n"));
  EXPECT_EQ(cv::Point3d(meta.originX, meta.originY, meta.originYaw), cv::Point3d(0, 0, 0));
  EXPECT_FALSE(meta.negate);
  EXPECT_DOUBLE_EQ(meta.occupiedThresh, 0.65);
  EXPECT_DOUBLE_EQ(meta.freeThresh, 0.196);
  EXPECT_EQ(meta.mode, MapMode::Trinary);
}

TEST(MapYaml, NegateAcceptsBooleanWords)
{
  ScratchDir dir;
  EXPECT_TRUE(quorvane::maps::readMapServerYaml(
                dir.write("a.yaml", "image: a.pgm\nresolution: 1\nnegate: true\n"))
                .negate);
  EXPECT_FALSE(quorvane::maps::readMapServerYaml(
                 dir.write("b.yaml", "image: b.pgm\nresolution: 1\nnegate: 0\n"))
                 .negate);
}

TEST(MapYaml, RelativeImagePathIsTakenFromTheYamlFolder)
{
  ScratchDir dir;
  writeGreyRow(dir, "images/m.png", {255, 0});
  const std::string yaml = dir.write("maps/m.yaml", "image: ../images/m.png\nresolution: 0.05\n");
  const auto map = quorvane::maps::loadMap(yaml);
  EXPECT_EQ(map.mapServer.image, (dir.path() / "images" / "m.png").string());
  ASSERT_EQ(map.free.size(), cv::Size(2, 1));
  EXPECT_TRUE(freeAt(map.free, 0));
  EXPECT_FALSE(freeAt(map.free, 1));
}

TEST(MapYaml, AbsoluteImagePathIsKept)
{
  ScratchDir dir;
  const std::string image = writeGreyRow(dir, "elsewhere/m.png", {255});
  const std::string yaml = dir.write("maps/m.yaml", "image: " + image + "\nresolution: 0.05\n");
  EXPECT_EQ(quorvane::maps::readMapServerYaml(yaml).image, image);
}

TEST(MapYaml, MissingYamlFileIsReportedByName)
{
  try {
    quorvane::maps::readMapServerYaml("/nonexistent/quorvane/map.yaml");
    FAIL() << "no error";
  } catch (const MapError & e) {
    EXPECT_NE(
      std::string(e.what()).find("not found: /nonexistent/quorvane/map.yaml"), std::string::npos)
      << e.what();
  }
}

/// A malformed description and a word its error message must contain.
struct MalformedCase
{
  const char * name;
  const char * yaml;
  const char * expected;
};

void PrintTo(const MalformedCase & c, std::ostream * os) { *os << c.name; }

class MalformedYaml : public ::testing::TestWithParam<MalformedCase>
{
};

TEST_P(MalformedYaml, IsRejectedWithItsReason)
{
  ScratchDir dir;
  const std::string yaml = dir.write("m.yaml", GetParam().yaml);
  try {
    quorvane::maps::readMapServerYaml(yaml);
    FAIL() << "accepted";
  } catch (const MapError & e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("malformed map YAML"), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}

INSTANTIATE_TEST_SUITE_P(
  Cases, MalformedYaml,
  ::testing::Values(
    MalformedCase{"SyntaxError", "image: [m.pgm\nresolution: 0.05\n", "line"},
    MalformedCase{"NotAMapping", "- image\n- resolution\n", "mapping"},
    MalformedCase{"EmptyFile", "", "mapping"},
    MalformedCase{"MissingImage", "resolution: 0.05\n", "missing 'image'"},
    MalformedCase{"ImageIsAList", "image: [a, b]\nresolution: 0.05\n", "'image'"},
    MalformedCase{"MissingResolution", "image: m.pgm\n", "missing 'resolution'"},
    MalformedCase{"ResolutionNotANumber", "image: m.pgm\nresolution: fine\n", "'resolution'"},
    MalformedCase{"ResolutionZero", "image: m.pgm\nresolution: 0\n", "positive"},
    MalformedCase{"OriginTooShort", "image: m.pgm\nresolution: 1\norigin: [1]\n", "'origin'"},
    MalformedCase{
      "OriginNotNumbers", "image: m.pgm\nresolution: 1\norigin: [a, b, c]\n", "'origin'"},
    MalformedCase{"NegateTwo", "image: m.pgm\nresolution: 1\nnegate: 2\n", "'negate'"},
    MalformedCase{"ThresholdAboveOne", "image: m.pgm\nresolution: 1\nfree_thresh: 1.5\n", "[0, 1]"},
    MalformedCase{
      "FreeAboveOccupied", "image: m.pgm\nresolution: 1\nfree_thresh: 0.7\noccupied_thresh: 0.6\n",
      "greater"},
    MalformedCase{"UnknownMode", "image: m.pgm\nresolution: 1\nmode: fancy\n", "'mode'"}),
  [](const ::testing::TestParamInfo<MalformedCase> & param) { return param.param.name; });

// ---------------------------------------------------------------- images

TEST(MapImage, MissingImageIsReportedByName)
{
  ScratchDir dir;
  const std::string yaml = dir.write("m.yaml", "image: gone.pgm\nresolution: 0.05\n");
  try {
    quorvane::maps::loadMap(yaml);
    FAIL() << "no error";
  } catch (const MapError & e) {
    EXPECT_NE(
      std::string(e.what()).find("image file not found: " + dir.file("gone.pgm")),
      std::string::npos)
      << e.what();
  }
}

TEST(MapImage, UnreadableImageIsRejected)
{
  ScratchDir dir;
  const std::string image = dir.write("m.png", "this is not a picture");
  EXPECT_THROW(quorvane::maps::loadMap(image), MapError);
  const std::string yaml = dir.write("m.yaml", "image: m.png\nresolution: 0.05\n");
  EXPECT_THROW(quorvane::maps::loadMap(yaml), MapError);
}

TEST(MapImage, BareImageUsesTheGivenDescription)
{
  ScratchDir dir;
  const std::string image = writeGreyRow(dir, "m.pgm", {254, 205, 0});
  LoadOptions options;
  options.bareImageResolution = 0.2;
  const auto map = quorvane::maps::loadMap(image, options);
  EXPECT_EQ(map.mapServer.image, image);
  EXPECT_EQ(map.source, quorvane::maps::MapSource::Image);
  EXPECT_DOUBLE_EQ(map.frame.resolution, 0.2);
  EXPECT_EQ(map.frame.frameId, "map");
  EXPECT_TRUE(freeAt(map.free, 0));
  EXPECT_FALSE(freeAt(map.free, 1));
  EXPECT_FALSE(freeAt(map.free, 2));
}

// ---------------------------------------------------------------- thresholds

/// A grey level, the thresholds and negate, and whether the cell is free.
struct ThresholdCase
{
  int grey;
  double freeThresh;
  bool negate;
  bool free;
};

void PrintTo(const ThresholdCase & c, std::ostream * os)
{
  *os << "grey " << c.grey << ", free_thresh " << c.freeThresh << (c.negate ? ", negate" : "");
}

class Threshold : public ::testing::TestWithParam<ThresholdCase>
{
};

TEST_P(Threshold, DecidesFreeLikeMapServer)
{
  const ThresholdCase c = GetParam();
  MapServerInfo meta;
  meta.freeThresh = c.freeThresh;
  meta.negate = c.negate;
  const cv::Mat image(1, 1, CV_8UC1, cv::Scalar(c.grey));
  const cv::Mat free = freeOf(image, meta);
  EXPECT_EQ(free.at<uchar>(0, 0) == 255, c.free) << "grey " << c.grey;
}

INSTANTIATE_TEST_SUITE_P(
  Table, Threshold,
  ::testing::Values(
    // p = (255 - grey) / 255 < 0.196: grey 206 and above is free, 205 (p 0.19608) is not.
    ThresholdCase{255, 0.196, false, true}, ThresholdCase{254, 0.196, false, true},
    ThresholdCase{206, 0.196, false, true}, ThresholdCase{205, 0.196, false, false},
    ThresholdCase{128, 0.196, false, false}, ThresholdCase{0, 0.196, false, false},
    // negate: p = grey / 255 < 0.196: grey 49 and below is free.
    ThresholdCase{0, 0.196, true, true}, ThresholdCase{49, 0.196, true, true},
    ThresholdCase{50, 0.196, true, false}, ThresholdCase{255, 0.196, true, false},
    // A generous threshold makes map savers' unknown grey 205 free (p 0.196 < 0.25).
    ThresholdCase{205, 0.25, false, true}, ThresholdCase{192, 0.25, false, true},
    ThresholdCase{191, 0.25, false, false},
    // Threshold 0: nothing is free.
    ThresholdCase{255, 0.0, false, false}),
  [](const ::testing::TestParamInfo<ThresholdCase> & param) {
    const ThresholdCase & c = param.param;
    return "Grey" + std::to_string(c.grey) + "Thresh" +
           std::to_string(static_cast<int>(c.freeThresh * 1000)) + (c.negate ? "Negated" : "");
  });

TEST(MapImage, UnknownLiesBetweenTheThresholds)
{
  // p = (255 - grey) / 255: 0 -> 1 occupied, 128 -> 0.498 unknown,
  // 90 -> 0.647 unknown, 89 -> 0.651 occupied, 255 -> 0 free.
  std::vector<uchar> greys{0, 128, 90, 89, 255};
  const cv::Mat image(1, 5, CV_8UC1, greys.data());
  const auto map = quorvane::maps::mapFromImage(image, MapServerInfo{});
  const cv::Mat expectedUnknown = (cv::Mat_<uchar>(1, 5) << 0, 255, 255, 0, 0);
  const cv::Mat expectedFree = (cv::Mat_<uchar>(1, 5) << 0, 0, 0, 0, 255);
  EXPECT_EQ(cv::norm(map.unknown, expectedUnknown, cv::NORM_INF), 0.0);
  EXPECT_EQ(cv::norm(map.free, expectedFree, cv::NORM_INF), 0.0);
}

TEST(MapImage, StrictUnknownKeepsGrey205Blocked)
{
  MapServerInfo meta;
  meta.freeThresh = 0.25;
  std::vector<uchar> greys{205, 206, 204};
  const cv::Mat image(1, 3, CV_8UC1, greys.data());
  LoadOptions strict;
  strict.strictUnknown = true;
  const auto map = quorvane::maps::mapFromImage(image, meta, strict);
  EXPECT_FALSE(freeAt(map.free, 0));
  EXPECT_TRUE(freeAt(map.free, 1));
  EXPECT_TRUE(freeAt(map.free, 2));
  EXPECT_EQ(map.unknown.at<uchar>(0, 0), 255);
}

TEST(MapImage, CountsUnknownGreyMadeFreeByAGenerousThreshold)
{
  ScratchDir dir;
  const std::string image = writeGreyRow(dir, "m.pgm", {205, 205, 254, 0});
  EXPECT_EQ(cv::countNonZero(loadBare(image, 0.25, false).unknownGreyFree), 2);
  EXPECT_EQ(cv::countNonZero(loadBare(image, 0.25, true).unknownGreyFree), 0);
  EXPECT_EQ(cv::countNonZero(loadBare(image, 0.196, false).unknownGreyFree), 0);
}

TEST(MapImage, ColourImageUsesTheMeanOfItsChannels)
{
  MapServerInfo meta;
  // Means 255, 206 and 205: free, free, blocked.
  const cv::Mat image =
    (cv::Mat_<cv::Vec3b>(1, 3) << cv::Vec3b(255, 255, 255), cv::Vec3b(255, 200, 163),
     cv::Vec3b(205, 205, 205));
  const cv::Mat free = freeOf(image, meta);
  EXPECT_TRUE(freeAt(free, 0));
  EXPECT_TRUE(freeAt(free, 1));
  EXPECT_FALSE(freeAt(free, 2));
}

TEST(MapImage, TrinaryAveragesOpacityInAndScaleTreatsTranslucentAsUnknown)
{
  MapServerInfo meta;
  // White at full opacity, white at opacity 240 (mean 251: free in trinary),
  // white fully transparent (mean 191: blocked).
  const cv::Mat image =
    (cv::Mat_<cv::Vec4b>(1, 3) << cv::Vec4b(255, 255, 255, 255), cv::Vec4b(255, 255, 255, 240),
     cv::Vec4b(255, 255, 255, 0));
  const cv::Mat trinary = freeOf(image, meta);
  EXPECT_TRUE(freeAt(trinary, 0));
  EXPECT_TRUE(freeAt(trinary, 1));
  EXPECT_FALSE(freeAt(trinary, 2));
  meta.mode = MapMode::Scale;
  const cv::Mat scale = freeOf(image, meta);
  EXPECT_TRUE(freeAt(scale, 0));
  EXPECT_FALSE(freeAt(scale, 1));
  EXPECT_FALSE(freeAt(scale, 2));
}

TEST(MapImage, SixteenBitImageIsReadOnTheSameScale)
{
  MapServerInfo meta;
  const cv::Mat image = (cv::Mat_<uint16_t>(1, 2) << 65535, 205 * 257);
  const cv::Mat free = freeOf(image, meta);
  EXPECT_TRUE(freeAt(free, 0));
  EXPECT_FALSE(freeAt(free, 1));
}

TEST(MapImage, TwoChannelImageIsRejected)
{
  const cv::Mat image(2, 2, CV_8UC2, cv::Scalar(255, 255));
  EXPECT_THROW(freeOf(image, {}), MapError);
}

TEST(MapImage, MatchesTheLiteralRuleOnRandomImages)
{
  const unsigned seed = 20240611;
  std::mt19937 rng(seed);
  for (int round = 0; round < 50; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    MapServerInfo meta;
    meta.freeThresh = static_cast<double>(rng() % 1001) / 1000.0;
    meta.negate = rng() % 2 == 1;
    const bool colour = rng() % 2 == 1;
    cv::Mat image(7, 9, colour ? CV_8UC3 : CV_8UC1);
    cv::randu(image, 0, 256);
    const cv::Mat free = freeOf(image, meta);
    for (int y = 0; y < image.rows; ++y) {
      for (int x = 0; x < image.cols; ++x) {
        double shade = 0.0;
        if (colour) {
          const cv::Vec3b v = image.at<cv::Vec3b>(y, x);
          shade = (v[0] + v[1] + v[2]) / 3.0 / 255.0;
        } else {
          shade = image.at<uchar>(y, x) / 255.0;
        }
        const double p = meta.negate ? shade : 1.0 - shade;
        ASSERT_EQ(free.at<uchar>(y, x), p < meta.freeThresh ? 255 : 0) << "at " << x << "," << y;
      }
    }
  }
}

}  // namespace
