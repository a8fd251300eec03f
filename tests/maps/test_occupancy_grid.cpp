// OccupancyGrid messages: to and from maps, their YAML forms, and the input
// they refuse.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "scratch_dir.hpp"

namespace
{

using nav_msgs::msg::OccupancyGrid;
using quorvane::maps::GridOptions;
using quorvane::maps::MapError;

OccupancyGrid makeGrid(unsigned width, unsigned height, std::vector<std::int8_t> data)
{
  OccupancyGrid grid;
  grid.header.frame_id = "map";
  grid.info.resolution = 0.5F;
  grid.info.width = width;
  grid.info.height = height;
  grid.info.origin.position.x = -1.0;
  grid.info.origin.position.y = 2.0;
  grid.info.origin.orientation.w = 1.0;
  grid.data = std::move(data);
  return grid;
}

cv::Mat rows(std::initializer_list<std::initializer_list<uchar>> values)
{
  cv::Mat out(static_cast<int>(values.size()), static_cast<int>(values.begin()->size()), CV_8UC1);
  int r = 0;
  for (const auto & row : values) {
    int c = 0;
    for (uchar v : row) {
      out.at<uchar>(r, c++) = v;
    }
    ++r;
  }
  return out;
}

bool same(const cv::Mat & a, const cv::Mat & b)
{
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

// Grid row 0 (bottom): 0 100 -1; grid row 1 (top): 50 0 0.
const std::vector<std::int8_t> kThreeByTwo{0, 100, -1, 50, 0, 0};

TEST(OccupancyGrid, ThreeByTwoCellByCell)
{
  const auto map = quorvane::maps::fromOccupancyGrid(makeGrid(3, 2, kThreeByTwo));
  EXPECT_TRUE(same(map.free, rows({{0, 255, 255}, {255, 0, 0}})));
  EXPECT_TRUE(same(map.unknown, rows({{0, 0, 0}, {0, 0, 255}})));
  EXPECT_EQ(map.frame.width, 3);
  EXPECT_EQ(map.frame.height, 2);
  EXPECT_EQ(map.frame.resolution, 0.5);
  EXPECT_EQ(map.frame.originX, -1.0);
  EXPECT_EQ(map.frame.originY, 2.0);
  EXPECT_EQ(map.frame.originYaw, 0.0);
  EXPECT_EQ(map.source, quorvane::maps::MapSource::OccupancyGrid);

  GridOptions generous;
  generous.freeMax = 50;
  generous.unknownIsFree = true;
  const auto loose = quorvane::maps::fromOccupancyGrid(makeGrid(3, 2, kThreeByTwo), generous);
  EXPECT_TRUE(same(loose.free, rows({{255, 255, 255}, {255, 0, 255}})));
  EXPECT_TRUE(same(loose.unknown, map.unknown));

  // Back: the 50 was not free, so it is published as occupied.
  const OccupancyGrid back = quorvane::maps::toOccupancyGrid(map);
  EXPECT_EQ(back.data, (std::vector<std::int8_t>{0, 100, -1, 100, 0, 0}));
  EXPECT_EQ(back.info.width, 3u);
  EXPECT_EQ(back.info.height, 2u);
  EXPECT_EQ(back.info.resolution, 0.5F);
  EXPECT_EQ(back.header.frame_id, "map");
}

TEST(OccupancyGrid, GridToImageToGridOnRandomGrids)
{
  const unsigned seed = 7321;
  std::mt19937 rng(seed);  // 32-bit results
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
    const auto w = static_cast<unsigned>(1 + rng() % 17);
    const auto h = static_cast<unsigned>(1 + rng() % 13);
    std::vector<std::int8_t> data(w * h);
    for (auto & v : data) {
      const auto pick = rng() % 3;
      v = static_cast<std::int8_t>(pick == 0 ? 0 : (pick == 1 ? 100 : -1));
    }
    OccupancyGrid grid = makeGrid(w, h, data);
    const double yaw = static_cast<double>(rng() % 628) / 100.0 - 3.14;
    grid.info.origin.orientation.z = std::sin(yaw / 2.0);
    grid.info.origin.orientation.w = std::cos(yaw / 2.0);
    const auto map = quorvane::maps::fromOccupancyGrid(grid);
    EXPECT_NEAR(map.frame.originYaw, yaw, 1e-12);
    const OccupancyGrid back = quorvane::maps::toOccupancyGrid(map);
    ASSERT_EQ(back.data, grid.data);
    EXPECT_NEAR(back.info.origin.orientation.z, grid.info.origin.orientation.z, 1e-12);
    EXPECT_NEAR(back.info.origin.orientation.w, grid.info.origin.orientation.w, 1e-12);
  }
}

TEST(OccupancyGrid, ResolutionIsTheShortestDecimalOfItsFloat)
{
  OccupancyGrid grid = makeGrid(1, 1, {0});
  for (double r : {0.05, 0.02, 0.03, 0.1, 0.25, 1.0 / 3.0}) {
    grid.info.resolution = static_cast<float>(r);
    const double read = quorvane::maps::fromOccupancyGrid(grid).frame.resolution;
    EXPECT_EQ(static_cast<float>(read), grid.info.resolution) << r;
    if (r != 1.0 / 3.0) {
      EXPECT_EQ(read, r);
    }
  }
}

// ---------------------------------------------------------------- bad grids

struct BadGrid
{
  const char * name;
  void (*spoil)(OccupancyGrid &);
  const char * expected;
};

void PrintTo(const BadGrid & c, std::ostream * os) { *os << c.name; }

class BadGrids : public ::testing::TestWithParam<BadGrid>
{
};

TEST_P(BadGrids, AreRefusedWithTheirReason)
{
  OccupancyGrid grid = makeGrid(3, 2, kThreeByTwo);
  GetParam().spoil(grid);
  try {
    quorvane::maps::fromOccupancyGrid(grid);
    FAIL() << "accepted";
  } catch (const MapError & e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().expected), std::string::npos) << e.what();
  }
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
  Cases, BadGrids,
  ::testing::Values(
    BadGrid{"DataTooShort", [](OccupancyGrid & g) { g.data.pop_back(); }, "data holds 5 values"},
    BadGrid{"DataTooLong", [](OccupancyGrid & g) { g.data.push_back(0); }, "width x height = 6"},
    BadGrid{"NoCells", [](OccupancyGrid & g) { g.info.width = 0; }, "no cells"},
    BadGrid{
      "SizeOverflows",
      [](OccupancyGrid & g) {
        g.info.width = 65536;
        g.info.height = 65536;
      },
      "too large"},
    BadGrid{
      "SizeOverflowsUint32",
      [](OccupancyGrid & g) {
        g.info.width = UINT_MAX;
        g.info.height = UINT_MAX;
      },
      "too large"},
    BadGrid{"ResolutionZero", [](OccupancyGrid & g) { g.info.resolution = 0.0F; }, "resolution"},
    BadGrid{
      "ResolutionNegative", [](OccupancyGrid & g) { g.info.resolution = -0.05F; }, "resolution"},
    BadGrid{
      "ResolutionNaN", [](OccupancyGrid & g) { g.info.resolution = static_cast<float>(kNaN); },
      "resolution"},
    BadGrid{
      "ResolutionInfinite", [](OccupancyGrid & g) { g.info.resolution = static_cast<float>(kInf); },
      "resolution"},
    BadGrid{
      "OriginNaN", [](OccupancyGrid & g) { g.info.origin.position.x = kNaN; }, "origin position"},
    BadGrid{
      "OriginInfinite", [](OccupancyGrid & g) { g.info.origin.position.y = -kInf; },
      "origin position"},
    BadGrid{
      "QuaternionZero", [](OccupancyGrid & g) { g.info.origin.orientation.w = 0.0; }, "normalised"},
    BadGrid{
      "QuaternionNaN", [](OccupancyGrid & g) { g.info.origin.orientation.z = kNaN; }, "normalised"},
    BadGrid{
      "QuaternionHuge", [](OccupancyGrid & g) { g.info.origin.orientation.w = 1e300; },
      "normalised"},
    BadGrid{"ValueAbove100", [](OccupancyGrid & g) { g.data[4] = 101; }, "value 101 at index 4"},
    BadGrid{
      "ValueBelowMinusOne", [](OccupancyGrid & g) { g.data[0] = -2; }, "value -2 at index 0"}),
  [](const ::testing::TestParamInfo<BadGrid> & param) { return param.param.name; });

TEST(OccupancyGrid, FreeMaxOutsideItsRangeIsRefused)
{
  GridOptions options;
  options.freeMax = 101;
  EXPECT_THROW(quorvane::maps::fromOccupancyGrid(makeGrid(3, 2, kThreeByTwo), options), MapError);
  options.freeMax = -1;
  EXPECT_THROW(quorvane::maps::fromOccupancyGrid(makeGrid(3, 2, kThreeByTwo), options), MapError);
}

TEST(OccupancyGrid, MapsThatCannotBePublishedAreRefused)
{
  quorvane::maps::Map map;
  EXPECT_THROW(quorvane::maps::toOccupancyGrid(map), MapError);
  map.free = cv::Mat(2, 2, CV_8UC1, cv::Scalar(255));
  map.unknown = cv::Mat(2, 3, CV_8UC1, cv::Scalar(0));
  EXPECT_THROW(quorvane::maps::toOccupancyGrid(map), MapError);
  map.unknown.release();
  map.frame.resolution = 0.0;
  EXPECT_THROW(quorvane::maps::toOccupancyGrid(map), MapError);
}

// ---------------------------------------------------------------- YAML

/// kThreeByTwo as `ros2 topic echo --once --full-length` prints it.
const char * const kEchoed =
  "header:\n"
  "  stamp:\n"
  "    sec: 12\n"
  "    nanosec: 500\n"
  "  frame_id: world\n"
  "info:\n"
  "  map_load_time:\n"
  "    sec: 3\n"
  "    nanosec: 4\n"
  "  resolution: 0.5\n"
  "  width: 3\n"
  "  height: 2\n"
  "  origin:\n"
  "    position:\n"
  "      x: -1.0\n"
  "      y: 2.0\n"
  "      z: 0.0\n"
  "    orientation:\n"
  "      x: 0.0\n"
  "      y: 0.0\n"
  "      z: 0.25881904510252074\n"
  "      w: 0.9659258262890683\n"
  "data:\n- 0\n- 100\n- -1\n- 50\n- 0\n- 0\n"
  "---\n";

TEST(OccupancyGridYaml, ReadsTheEchoedBlockStyle)
{
  const OccupancyGrid grid = quorvane::maps::parseOccupancyGridYaml(kEchoed);
  EXPECT_EQ(grid.header.stamp.sec, 12);
  EXPECT_EQ(grid.header.stamp.nanosec, 500u);
  EXPECT_EQ(grid.header.frame_id, "world");
  EXPECT_EQ(grid.info.map_load_time.sec, 3);
  EXPECT_EQ(grid.info.resolution, 0.5F);
  EXPECT_EQ(grid.info.width, 3u);
  EXPECT_EQ(grid.info.height, 2u);
  EXPECT_EQ(grid.info.origin.position.x, -1.0);
  EXPECT_EQ(grid.info.origin.orientation.z, 0.25881904510252074);
  EXPECT_EQ(grid.data, kThreeByTwo);
  // sin(15 deg), cos(15 deg): the origin is turned by 30 degrees.
  EXPECT_NEAR(quorvane::maps::fromOccupancyGrid(grid).frame.originYaw, CV_PI / 6, 1e-12);
}

TEST(OccupancyGridYaml, BothGeneratedStylesReadBack)
{
  OccupancyGrid grid = makeGrid(3, 2, kThreeByTwo);
  grid.header.frame_id = "map";
  grid.info.origin.position.y = -20.24;
  for (bool flow : {false, true}) {
    const std::string text = nav_msgs::msg::to_yaml(grid, flow);
    SCOPED_TRACE(text);
    const OccupancyGrid back = quorvane::maps::parseOccupancyGridYaml(text);
    EXPECT_EQ(back, grid);
  }
}

TEST(OccupancyGridYaml, OptionalFieldsDefault)
{
  const OccupancyGrid grid = quorvane::maps::parseOccupancyGridYaml(
    "info: {resolution: 1, width: 1, height: 1}\ndata: [-1]\n");
  EXPECT_EQ(grid.header.frame_id, "");
  EXPECT_EQ(grid.info.origin.orientation.w, 1.0);
  const auto map = quorvane::maps::fromOccupancyGrid(grid);
  EXPECT_EQ(map.frame.frameId, "map");
  EXPECT_EQ(map.unknown.at<uchar>(0, 0), 255);
}

struct BadYaml
{
  const char * name;
  const char * text;
  const char * expected;
};

void PrintTo(const BadYaml & c, std::ostream * os) { *os << c.name; }

class BadGridYaml : public ::testing::TestWithParam<BadYaml>
{
};

TEST_P(BadGridYaml, IsRefusedWithItsReason)
{
  try {
    quorvane::maps::parseOccupancyGridYaml(GetParam().text);
    FAIL() << "accepted";
  } catch (const MapError & e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("malformed OccupancyGrid YAML"), std::string::npos) << message;
    EXPECT_NE(message.find(GetParam().expected), std::string::npos) << message;
  }
}

#define QV_INFO "info: {resolution: 1, width: 1, height: 1}\n"

INSTANTIATE_TEST_SUITE_P(
  Cases, BadGridYaml,
  ::testing::Values(
    BadYaml{"Empty", "", "expected a mapping"},
    BadYaml{"NotAMapping", "- 1\n- 2\n", "expected a mapping"},
    BadYaml{"Syntax", "info: {resolution: 1\ndata: [0]\n", "line"},
    BadYaml{"MissingInfo", "data: [0]\n", "missing 'info'"},
    BadYaml{
      "MissingWidth", "info: {resolution: 1, height: 1}\ndata: [0]\n", "missing 'info.width'"},
    BadYaml{"MissingData", QV_INFO, "missing 'data'"},
    BadYaml{"UnknownKey", QV_INFO "data: [0]\ncolour: red\n", "unknown key 'colour'"},
    BadYaml{
      "WidthNotInteger", "info: {resolution: 1, width: 1.5, height: 1}\ndata: [0]\n", "uint32"},
    BadYaml{"WidthNegative", "info: {resolution: 1, width: -1, height: 1}\ndata: [0]\n", "uint32"},
    BadYaml{
      "ResolutionWord", "info: {resolution: fine, width: 1, height: 1}\ndata: [0]\n", "number"},
    BadYaml{"DataNotAList", QV_INFO "data: 0\n", "'data' must not be a single value"},
    BadYaml{"DataNested", QV_INFO "data: [[0]]\n", "integers"},
    BadYaml{"DataValueTooLarge", QV_INFO "data: [200]\n", "-128..127"},
    BadYaml{"DataValueWord", QV_INFO "data: [free]\n", "-128..127"},
    BadYaml{"InfoIsAList", "info: [1, 2]\ndata: [0]\n", "'info' must not be a list"},
    BadYaml{
      "WidthIsAMapping", "info: {resolution: 1, width: {a: 1}, height: 1}\ndata: [0]\n",
      "'info.width' must not be a mapping"},
    BadYaml{"Twice", QV_INFO "data: [0]\ndata: [0]\n", "twice"},
    BadYaml{"NoValue", "info:\ndata: [0]\n", "no value"}),
  [](const ::testing::TestParamInfo<BadYaml> & param) { return param.param.name; });

TEST(OccupancyGridYaml, BlockListShortcutAgreesWithTheParser)
{
  const std::string echoed = kEchoed;
  const std::string head = echoed.substr(0, echoed.find("data:"));
  for (const std::string & text :
       {echoed, head + "data:\n- 0\n- 100\n- -1\n- 50\n- 0\n- 0", head + "data:\n- 0\n- 1\n...\n",
        head + "data:\n- 0\n- 1\n# note\n", head + "data:\n- 0\n-  1\n", head + "data:\n- 0x1\n",
        "data:\n- 1\n" + head.substr(0, head.find("info:")) + "\n", head + "data:\n- 0\n- 300\n"}) {
    SCOPED_TRACE(text);
    std::string cut = text;
    std::vector<std::int8_t> data;
    const bool shortcut = quorvane::maps::detail::cutBlockData(cut, data);
    std::string fast;
    std::string slow;
    OccupancyGrid a;
    OccupancyGrid b;
    try {
      a = quorvane::maps::detail::parseOccupancyGridYaml(text, true);
    } catch (const MapError & e) {
      fast = e.what();
    }
    try {
      b = quorvane::maps::detail::parseOccupancyGridYaml(text, false);
    } catch (const MapError & e) {
      slow = e.what();
    }
    EXPECT_EQ(fast, slow) << (shortcut ? "shortcut taken" : "no shortcut");
    EXPECT_EQ(a, b);
  }
}

TEST(OccupancyGridYaml, MissingFileIsReportedByName)
{
  try {
    quorvane::maps::readOccupancyGridYaml("/nonexistent/quorvane/grid.yaml");
    FAIL() << "accepted";
  } catch (const MapError & e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/quorvane/grid.yaml"), std::string::npos);
  }
}

TEST(OccupancyGridYaml, LoadMapRecognisesAGridByItsContent)
{
  quorvane::test::ScratchDir dir;
  const std::string path = dir.write("grid.yaml", kEchoed);
  const auto map = quorvane::maps::loadMap(path);
  EXPECT_EQ(map.source, quorvane::maps::MapSource::OccupancyGrid);
  EXPECT_EQ(map.frame.frameId, "world");
  EXPECT_TRUE(same(map.free, rows({{0, 255, 255}, {255, 0, 0}})));
  // A bad grid names the file.
  const std::string bad = dir.write("bad.yaml", QV_INFO "data: [0, 0]\n");
  try {
    quorvane::maps::loadMap(bad);
    FAIL() << "accepted";
  } catch (const MapError & e) {
    EXPECT_NE(std::string(e.what()).find(bad), std::string::npos) << e.what();
  }
}

}  // namespace
