// OccupancyGrid messages: to and from maps, their YAML forms, and the input
// they refuse.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "map_workers.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "scratch_dir.hpp"
#include "utf8.hpp"

namespace
{

using nav_msgs::msg::OccupancyGrid;
using quorvane::maps::GridOptions;
using quorvane::maps::MapError;
using namespace std::string_view_literals;

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
      "ResolutionBelowMinimum", [](OccupancyGrid & g) { g.info.resolution = 1e-30F; },
      "resolution 1e-30 m is below the smallest"},
    BadGrid{
      "FrameIdNotUtf8", [](OccupancyGrid & g) { g.header.frame_id = "m\xC3\x28p"; },
      "frame_id is not valid UTF-8"},
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

TEST(OccupancyGrid, PixelBudgetIsCheckedBeforeAllocating)
{
  GridOptions options;
  options.maxPixels = 6;  // the 3 x 2 grid just fits
  EXPECT_EQ(
    quorvane::maps::fromOccupancyGrid(makeGrid(3, 2, kThreeByTwo), options).free.total(), 6u);
  options.maxPixels = 5;
  try {
    quorvane::maps::fromOccupancyGrid(makeGrid(3, 2, kThreeByTwo), options);
    FAIL() << "accepted";
  } catch (const MapError & e) {
    EXPECT_NE(
      std::string(e.what()).find("3 x 2 = 6 cells, more than GridOptions::maxPixels = 5"),
      std::string::npos)
      << e.what();
  }
  // The default budget (2^28) refuses 2^15 x 2^15 cells whatever data holds.
  EXPECT_THROW(quorvane::maps::fromOccupancyGrid(makeGrid(32768, 32768, {0})), MapError);
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
  map.frame.resolution = 0.05;
  map.frame.frameId = "\xFF";
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
  std::string_view text;  // may hold NUL bytes
  const char * expected;
};

void PrintTo(const BadYaml & c, std::ostream * os) { *os << c.name; }

class BadGridYaml : public ::testing::TestWithParam<BadYaml>
{
};

TEST_P(BadGridYaml, IsRefusedWithItsReason)
{
  try {
    quorvane::maps::parseOccupancyGridYaml(std::string(GetParam().text));
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
    BadYaml{"NoValue", "info:\ndata: [0]\n", "no value"},
    BadYaml{
      "TwoDocuments", QV_INFO "data:\n- 0\n---\n" QV_INFO "data:\n- 1\n",
      "line 5: more than one document"},
    BadYaml{"TrailingComma", QV_INFO "data: [0]\n---\n,\n", "line 4: unexpected text"},
    BadYaml{"NulByte", QV_INFO "data: [0]\n\0---\ndata: [1]\n"sv, "line 3: control character 0x00"},
    BadYaml{
      "Escape", QV_INFO "header: {frame_id: a\x1B[0m}\ndata: [0]\n", "control character 0x1B"},
    BadYaml{"NotUtf8", "header: {frame_id: caf\xE9}\n" QV_INFO "data: [0]\n", "line 1: not UTF-8"},
    BadYaml{
      "ResolutionNaN", "info: {resolution: .nan, width: 1, height: 1}\ndata: [0]\n",
      "'info.resolution' must be a finite number"},
    BadYaml{
      "PositionInfinite",
      "info: {resolution: 1, width: 1, height: 1, origin: {position: {x: -.inf}}}\ndata: [0]\n",
      "'info.origin.position.x' must be a finite number"},
    BadYaml{
      "ResolutionUnderflowsFloat32", "info: {resolution: 1e-300, width: 1, height: 1}\ndata: [0]\n",
      "'1e-300' is out of a float32's range"},
    BadYaml{
      "ResolutionOverflowsFloat32", "info: {resolution: 1e39, width: 1, height: 1}\ndata: [0]\n",
      "'1e39' is out of a float32's range"}),
  [](const ::testing::TestParamInfo<BadYaml> & param) { return param.param.name; });

TEST(OccupancyGridYaml, BlockListShortcutAgreesWithTheParser)
{
  const std::string echoed = kEchoed;
  const std::string head = echoed.substr(0, echoed.find("data:"));
  const std::string crlf = std::regex_replace(echoed, std::regex("\n"), "\r\n");
  for (const std::string & text : std::vector<std::string>{
         echoed, head + "data:\n- 0\n- 100\n- -1\n- 50\n- 0\n- 0", head + "data:\n- 0\n- 1\n...\n",
         head + "data:\n- 0\n- 1\n# note\n", head + "data:\n- 0\n-  1\n", head + "data:\n- 0x1\n",
         "data:\n- 1\n" + head.substr(0, head.find("info:")) + "\n", head + "data:\n- 0\n- 300\n",
         // Two messages: the shortcut would take the second one's list.
         head + "data:\n- 0\n- 100\n- -2\n- 50\n- 0\n- 0\n---\n" + head + "data:\n- 0\n- 1\n",
         // A list that only looks like the top-level one.
         "info: {resolution: 1, width: 1, height: 1}\ndata: [0]\nx: '\ndata:\n- 5\n",
         "{info: {resolution: 1, width: 1, height: 1},\ndata:\n- 5\n---\n}\n",
         head + "data:\n- 0\n- 1\n---x\n", "\xEF\xBB\xBF" + echoed, crlf}) {
    SCOPED_TRACE(text);
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
    EXPECT_EQ(fast, slow);
    EXPECT_EQ(a, b);
  }
}

TEST(OccupancyGridYaml, TextFormsReadTheSameMessage)
{
  const std::string echoed = kEchoed;
  const OccupancyGrid expected = quorvane::maps::detail::parseOccupancyGridYaml(echoed, false);
  EXPECT_EQ(expected.data, kThreeByTwo);
  // The shortcut is taken for what `ros2 topic echo` prints, with a byte
  // order mark too; CRLF line ends go through the parser alone.
  for (const std::string & text :
       {echoed, "\xEF\xBB\xBF" + echoed, echoed + "...\n",
        std::regex_replace(echoed, std::regex("\n"), "\r\n")}) {
    SCOPED_TRACE(text);
    bool shortcut = false;
    EXPECT_EQ(quorvane::maps::detail::parseOccupancyGridYaml(text, true, &shortcut), expected);
    EXPECT_EQ(shortcut, text.find('\r') == std::string::npos);
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

// ---------------------------------------------------------------- UTF-8

TEST(Utf8, ValidityFollowsRfc3629)
{
  // Cases from RFC 3629's table of well-formed byte sequences.
  for (std::string_view valid :
       {""sv, "map"sv, "caf\xC3\xA9"sv, "\xE2\x82\xAC"sv, "\xED\x9F\xBF"sv, "\xEE\x80\x80"sv,
        "\xF0\x90\x8D\x88"sv, "\xF4\x8F\xBF\xBF"sv, "a\0b"sv}) {
    EXPECT_TRUE(quorvane::maps::detail::isValidUtf8(valid)) << valid;
  }
  // Overlong forms, surrogates, beyond U+10FFFF, stray or missing
  // continuation bytes, bytes that never occur.
  for (std::string_view invalid :
       {"\xC0\xAF"sv, "\xE0\x80\xAF"sv, "\xF0\x80\x80\xAF"sv, "\xED\xA0\x80"sv,
        "\xF4\x90\x80\x80"sv, "\xF5\x80\x80\x80"sv, "\x80"sv, "caf\xC3"sv, "\xE2\x82"sv,
        "\xC3\x28"sv, "\xFE"sv, "\xFF"sv}) {
    EXPECT_FALSE(quorvane::maps::detail::isValidUtf8(invalid)) << invalid;
  }
}

}  // namespace
