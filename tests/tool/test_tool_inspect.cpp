// The sample floor plan, the inspection steps, the report and the pictures.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <opencv2/imgproc.hpp>

#include "Rotator.hpp"
#include "cli_options.hpp"
#include "draw.hpp"
#include "get_special_points.hpp"
#include "inspect.hpp"
#include "outputs.hpp"
#include "quorvane_nav2_maps/errors.hpp"
#include "report.hpp"
#include "sample_floor_plan.hpp"
#include "scratch_dir.hpp"
#include "skeleton.hpp"

namespace
{

using quorvane::tools::makeSampleFloorPlan;

/// Share of the pixels inside the closed @p outline that are 255 in @p free.
double freeShareInside(const cv::Mat & free, const std::vector<cv::Point2f> & outline)
{
  std::vector<cv::Point> corners;
  for (std::size_t i = 0; i + 1 < outline.size(); ++i) {
    corners.emplace_back(cvRound(outline[i].x), cvRound(outline[i].y));
  }
  cv::Mat inside = cv::Mat::zeros(free.size(), CV_8UC1);
  cv::fillConvexPoly(inside, corners, cv::Scalar(255), cv::LINE_8);
  const int all = cv::countNonZero(inside);
  const int freeInside = cv::countNonZero(inside & (free == 255));
  return all == 0 ? 0.0 : static_cast<double>(freeInside) / all;
}

// ---------------------------------------------------------------- sample plan

TEST(SampleFloorPlan, IsTheSameForTheSameSeedAndDiffersForAnother)
{
  const cv::Mat a = makeSampleFloorPlan({400, 300}, 17.0, 5);
  const cv::Mat b = makeSampleFloorPlan({400, 300}, 17.0, 5);
  const cv::Mat c = makeSampleFloorPlan({400, 300}, 17.0, 6);
  EXPECT_EQ(cv::countNonZero(a != b), 0);
  EXPECT_GT(cv::countNonZero(a != c), 0);
}

class SampleSize : public ::testing::TestWithParam<cv::Size>
{
};

TEST_P(SampleSize, IsBinaryWithABuildingFillingMuchOfTheImage)
{
  const cv::Mat plan = makeSampleFloorPlan(GetParam(), 23.0, 1);
  ASSERT_EQ(plan.type(), CV_8UC1);
  ASSERT_EQ(plan.size(), GetParam());
  const int free = cv::countNonZero(plan == 255);
  EXPECT_EQ(free + cv::countNonZero(plan == 0), plan.rows * plan.cols);
  const double share = static_cast<double>(free) / (plan.rows * plan.cols);
  // A tall image leaves much room above and below the building.
  EXPECT_GT(share, 0.05);
  EXPECT_LT(share, 0.75);
  // Nothing touches the image border: the building sits inside a margin.
  const cv::Rect box = cv::boundingRect(plan);
  EXPECT_GT(box.x, 0);
  EXPECT_GT(box.y, 0);
  EXPECT_LT(box.br().x, plan.cols);
  EXPECT_LT(box.br().y, plan.rows);
}

INSTANTIATE_TEST_SUITE_P(
  Sizes, SampleSize,
  ::testing::Values(
    cv::Size(200, 200), cv::Size(800, 600), cv::Size(300, 900), cv::Size(4000, 4000)));

/// A wall angle (degrees, away from the 5-degree bin edges of the direction
/// histogram) and a seed.
struct AngleCase
{
  double degrees;
  unsigned seed;
};

class SampleAngle : public ::testing::TestWithParam<AngleCase>
{
};

TEST_P(SampleAngle, ComesOutAsTheMainDirection)
{
  const AngleCase c = GetParam();
  const cv::Mat plan = makeSampleFloorPlan({800, 600}, c.degrees, c.seed);
  Rotator rotator;
  const double found = rotator.computeImageMainDirection(plan) * 180.0 / CV_PI;
  const double expected = std::fmod(c.degrees + 360.0, 180.0);
  EXPECT_NEAR(found, expected, 1.5) << "seed " << c.seed;
}

INSTANTIATE_TEST_SUITE_P(
  Angles, SampleAngle,
  ::testing::Values(
    AngleCase{17, 1}, AngleCase{17, 2}, AngleCase{17, 3}, AngleCase{33, 1}, AngleCase{62, 4},
    AngleCase{107, 5}, AngleCase{143, 6}, AngleCase{-28, 7}));

TEST(SampleInspection, RectangleLiesInsideTheFreeArea)
{
  const cv::Mat plan = makeSampleFloorPlan({800, 600}, 17.0, 1);
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 10.0;
  const auto inspection = quorvane::tools::inspectMap(plan, options);
  ASSERT_TRUE(inspection.rectangle);
  const std::vector<cv::Point2f> & outline = inspection.rectangle->outline;
  ASSERT_EQ(outline.size(), 5u);
  EXPECT_EQ(outline.front(), outline.back());
  EXPECT_GT(freeShareInside(plan, outline), 0.995);
  // At least a few cells wide and high.
  EXPECT_GT(cv::norm(outline[1] - outline[0]), 4 * options.cellSizePx);
  EXPECT_GT(cv::norm(outline[2] - outline[1]), 4 * options.cellSizePx);
}

TEST(SampleInspection, FindsJunctionsBoundaryAndASharpVertexInTheFreeArea)
{
  const cv::Mat plan = makeSampleFloorPlan({600, 450}, 17.0, 1);
  const auto inspection = quorvane::tools::inspectMap(plan, {});
  ASSERT_EQ(inspection.junctions.size(), 2u);
  for (const cv::Point & j : inspection.junctions) {
    EXPECT_EQ(plan.at<uchar>(j), 255) << j;
  }
  EXPECT_GT(inspection.boundary.size(), inspection.simplified.size());
  EXPECT_EQ(inspection.simplified.front(), inspection.simplified.back());
  ASSERT_TRUE(inspection.sharpest.found);
  EXPECT_GT(inspection.sharpest.curvature, 0.0);
  const auto & ring = inspection.simplified;
  EXPECT_NE(std::find(ring.begin(), ring.end(), inspection.sharpest.point), ring.end());
  std::vector<std::string> steps;
  for (const auto & step : inspection.timesMs) {
    steps.push_back(step.first);
  }
  EXPECT_EQ(
    steps, (std::vector<std::string>{
             "alignment", "cell_grid", "inner_rectangle", "coverage", "cleaning", "thinning",
             "junctions", "boundary", "simplification", "curvature"}));
}

TEST(SampleInspection, MapsWiderThan32767PixelsAreInspectedWhole)
{
  // A corridor 33 000 px long: the tool runs every step on it and finds its
  // walls' direction and a rectangle along it.
  cv::Mat free = cv::Mat::zeros(60, 33000, CV_8UC1);
  free(cv::Rect(10, 10, 32980, 40)).setTo(255);
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 10.0;
  const auto inspection = quorvane::tools::inspectMap(free, options);
  const double direction = inspection.aligned.mainDirection;
  EXPECT_LT(std::min(direction, CV_PI - direction), 0.01);
  ASSERT_TRUE(inspection.rectangle);
  EXPECT_GE(inspection.rectangle->cells.width, 3000);
}

TEST(InnerRectangle, SingleCellIsAnOutlineOfOnePointCountedAsOneCell)
{
  // A 25 x 25 free block holds one 20-pixel cell: all five outline points
  // are that cell's centre.
  quorvane::maps::Map map;
  map.free = cv::Mat::zeros(100, 100, CV_8UC1);
  map.frame.height = 100;
  map.free(cv::Rect(30, 20, 25, 25)).setTo(255);
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 20.0;
  const auto inspection = quorvane::tools::inspectMap(map.free, options);
  ASSERT_TRUE(inspection.rectangle);
  EXPECT_EQ(inspection.rectangle->outline[0], inspection.rectangle->outline[2]);
  const auto report = quorvane::tools::makeReport(map, options, inspection, {"block", "", "", ""});
  EXPECT_EQ(report["inner_rectangle"]["cells"], nlohmann::ordered_json::array({1, 1}));
  EXPECT_DOUBLE_EQ(report["inner_rectangle"]["cells_area_m2"].get<double>(), 1.0);
}

TEST(InnerRectangle, NoneWhenNoCellFits)
{
  cv::Mat free = cv::Mat::zeros(100, 100, CV_8UC1);
  free(cv::Rect(30, 20, 10, 10)).setTo(255);
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 30.0;
  EXPECT_FALSE(quorvane::tools::inspectMap(free, options).rectangle);
}

// ---------------------------------------------------------------- steps

TEST(Boundary, IsTheOuterContourOfTheLargestFreeRegion)
{
  cv::Mat free = cv::Mat::zeros(40, 40, CV_8UC1);
  cv::rectangle(free, cv::Rect(2, 2, 5, 5), cv::Scalar(255), cv::FILLED);
  cv::rectangle(free, cv::Rect(10, 10, 20, 10), cv::Scalar(255), cv::FILLED);
  cv::rectangle(free, cv::Rect(15, 13, 3, 3), cv::Scalar(0), cv::FILLED);  // a hole
  const std::vector<cv::Point> boundary = quorvane::tools::largestFreeBoundary(free);
  const cv::Rect box = cv::boundingRect(boundary);
  EXPECT_EQ(box, cv::Rect(10, 10, 20, 10));
  EXPECT_EQ(boundary.size(), 2u * (19 + 9));
}

TEST(Boundary, IsEmptyWithoutFreeCells)
{
  EXPECT_TRUE(quorvane::tools::largestFreeBoundary(cv::Mat::zeros(8, 8, CV_8UC1)).empty());
  EXPECT_TRUE(quorvane::tools::simplifyClosedBoundary({}, 1.0, -1.0).empty());
}

TEST(Boundary, SimplifiedSquareKeepsItsCornersAndStaysClosed)
{
  cv::Mat free = cv::Mat::zeros(30, 30, CV_8UC1);
  cv::rectangle(free, cv::Rect(5, 5, 11, 11), cv::Scalar(255), cv::FILLED);
  const auto boundary = quorvane::tools::largestFreeBoundary(free);
  const auto simplified = quorvane::tools::simplifyClosedBoundary(boundary, 1.0, -1.0);
  ASSERT_EQ(simplified.size(), 5u);
  EXPECT_EQ(simplified.front(), simplified.back());
  std::vector<cv::Point> corners(simplified.begin(), simplified.end() - 1);
  std::sort(corners.begin(), corners.end(), [](const cv::Point & a, const cv::Point & b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
  });
  EXPECT_EQ(corners, (std::vector<cv::Point>{{5, 5}, {15, 5}, {5, 15}, {15, 15}}));
}

TEST(SharpestVertex, TheFirstVertexOfTheRingIsJudgedToo)
{
  // A square with a spike; the spike's tip starts the ring, where a plain
  // polyline would never judge it.
  const std::vector<cv::Point> closed = {{0, 50},    {10, 48},  {10, 0},  {110, 0},
                                         {110, 100}, {10, 100}, {10, 52}, {0, 50}};
  const auto sharpest = quorvane::tools::sharpestVertexOfClosedPolygon(closed);
  ASSERT_TRUE(sharpest.found);
  EXPECT_EQ(sharpest.point, cv::Point(0, 50));
  EXPECT_NEAR(sharpest.turnAngle, CV_PI - 2.0 * std::atan(0.2), 1e-9);
  EXPECT_NEAR(sharpest.curvature, sharpest.turnAngle / std::hypot(10.0, 2.0), 1e-12);
}

TEST(SharpestVertex, NoneOnAStraightOrDegenerateRing)
{
  EXPECT_FALSE(quorvane::tools::sharpestVertexOfClosedPolygon({}).found);
  EXPECT_FALSE(quorvane::tools::sharpestVertexOfClosedPolygon({{3, 3}, {3, 3}}).found);
}

TEST(Skeleton, BarThinsToItsMiddleRowAcrossTheImageBorder)
{
  // The bar touches the left and right borders; padding lets those ends thin too.
  cv::Mat free = cv::Mat::zeros(11, 30, CV_8UC1);
  free.rowRange(3, 8).setTo(255);
  const auto skeleton = quorvane::tools::thinFreeSpace(free, 1200);
  EXPECT_EQ(skeleton.scale, 1);
  EXPECT_EQ(skeleton.offset, cv::Point(0, 3));
  std::vector<cv::Point> pixels;
  cv::findNonZero(skeleton.image, pixels);
  ASSERT_FALSE(pixels.empty());
  for (const cv::Point & p : pixels) {
    EXPECT_EQ(skeleton.toMap(p).y, 5) << p;
  }
}

TEST(Skeleton, LongMapsAreThinnedAtAReducedScale)
{
  cv::Mat free = cv::Mat::zeros(60, 100, CV_8UC1);
  free(cv::Rect(0, 20, 100, 20)).setTo(255);
  const auto skeleton = quorvane::tools::thinFreeSpace(free, 40);
  EXPECT_EQ(skeleton.scale, 3);  // ceil(100 / 40)
  EXPECT_EQ(skeleton.image.size(), cv::Size(34, 7));
  EXPECT_EQ(skeleton.toMap({0, 0}), cv::Point(1, 21));
  EXPECT_EQ(skeleton.toMap({2, 1}), cv::Point(7, 24));
}

TEST(Skeleton, ReducedCellsAreFreeOnlyWhenAllTheirCellsAre)
{
  // A one-pixel gap in a wall closes at scale 2; the free halves stay apart.
  cv::Mat free = cv::Mat::zeros(8, 40, CV_8UC1);
  free.setTo(255);
  free.col(20).setTo(0);
  const auto skeleton = quorvane::tools::thinFreeSpace(free, 20);
  ASSERT_EQ(skeleton.scale, 2);
  EXPECT_EQ(cv::countNonZero(skeleton.image.col(10)), 0);
}

TEST(Skeleton, SpecksGoBeforeThinningAndTheRestOfTheMapIsNoSpeck)
{
  // A 2x2 hole in a wide bar: uncleaned, the skeleton loops round it.
  cv::Mat free = cv::Mat::zeros(40, 60, CV_8UC1);
  free(cv::Rect(5, 10, 50, 21)).setTo(255);
  free(cv::Rect(29, 19, 2, 2)).setTo(0);
  const auto loop = quorvane::tools::thinFreeSpace(free, 0, 0);
  const auto clean = quorvane::tools::thinFreeSpace(free, 0, 5);
  EXPECT_EQ(loop.cleaning.obstacleSpecks, 0);
  EXPECT_EQ(clean.cleaning.obstacleSpecks, 1);  // the blocked rest of the map stays
  EXPECT_EQ(clean.cleaning.freeIslands, 0);
  // Down the bar's middle column: two skeleton pixels round the hole, one without.
  EXPECT_EQ(cv::countNonZero(loop.image.col(30 - loop.offset.x)), 2);
  EXPECT_EQ(cv::countNonZero(clean.image.col(30 - clean.offset.x)), 1);
}

TEST(Skeleton, CleaningFrameGrowsWithTheMapNotWithTheMinimumArea)
{
  // On a 384 x 384 map, a minimum area of a million pixels removes no more
  // than one just above the map's area: same frame, same skeleton.
  cv::Mat free = makeSampleFloorPlan({384, 384}, 17.0, 2);
  const cv::Rect box = cv::boundingRect(free == 255);
  const auto huge = quorvane::tools::thinFreeSpace(free, 0, 1000000);
  const auto justAbove = quorvane::tools::thinFreeSpace(free, 0, box.area() + 1);
  EXPECT_EQ(huge.cleaningFrame, justAbove.cleaningFrame);
  EXPECT_LE(huge.cleaningFrame, 2 + 384 / 2);
  EXPECT_EQ(cv::countNonZero(huge.image != justAbove.image), 0);
}

TEST(UnknownGrey, WarnsAboveATenthOfTheCellsAndNamesTheCause)
{
  quorvane::maps::Map map;
  map.free = cv::Mat(10, 10, CV_8UC1, cv::Scalar(255));
  map.unknownGreyFree = cv::Mat::zeros(10, 10, CV_8UC1);
  map.unknownGreyFree.rowRange(0, 1).setTo(255);  // exactly 10 cells: a tenth
  EXPECT_EQ(quorvane::tools::unknownGreyWarning(map), "");
  map.unknownGreyFree.at<uchar>(5, 5) = 255;  // one more
  map.mapServer.freeThresh = 0.25;
  const std::string threshold = quorvane::tools::unknownGreyWarning(map);
  EXPECT_EQ(threshold.rfind("11.0% of the map's cells", 0), 0u) << threshold;
  EXPECT_NE(threshold.find("free_thresh 0.25 is above 0.196"), std::string::npos) << threshold;
  map.mapServer.freeThresh = 0.196;
  EXPECT_NE(
    quorvane::tools::unknownGreyWarning(map).find("alpha channel is averaged"), std::string::npos);
}

TEST(Skeleton, EmptyWithoutFreeCells)
{
  EXPECT_TRUE(quorvane::tools::thinFreeSpace(cv::Mat::zeros(5, 5, CV_8UC1), 100).image.empty());
}

// ---------------------------------------------------------------- report

TEST(Report, HoldsEverySectionWithMetresFromTheOrigin)
{
  quorvane::maps::Map map;
  map.frame.resolution = 0.1;
  map.frame.originX = -3.0;
  map.frame.originY = 4.0;
  map.free = makeSampleFloorPlan({400, 300}, 17.0, 1);
  map.frame.width = 400;
  map.frame.height = 300;
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 6.0;
  const auto inspection = quorvane::tools::inspectMap(map.free, options);
  ASSERT_TRUE(inspection.rectangle);
  const auto report =
    quorvane::tools::makeReport(map, options, inspection, {"sample", "a.png", "", ""});
  for (const char * key :
       {"map", "main_direction", "rotation", "inner_rectangle", "skeleton", "boundary",
        "sharpest_vertex", "outputs"}) {
    EXPECT_TRUE(report.contains(key)) << key;
  }
  EXPECT_EQ(report["map"]["width_px"], 400);
  EXPECT_DOUBLE_EQ(report["inner_rectangle"]["cell_size_m"].get<double>(), 0.6);
  const auto & cells = report["inner_rectangle"]["cells"];
  EXPECT_NEAR(
    report["inner_rectangle"]["cells_area_m2"].get<double>(),
    cells[0].get<double>() * cells[1].get<double>() * 0.36, 1e-6);
  const auto & px = report["inner_rectangle"]["outline_px"][0];
  const auto & m = report["inner_rectangle"]["outline_m"][0];
  EXPECT_NEAR(m[0].get<double>(), -3.0 + (px[0].get<double>() + 0.5) * 0.1, 1e-3);
  EXPECT_NEAR(m[1].get<double>(), 4.0 + (300 - 0.5 - px[1].get<double>()) * 0.1, 1e-3);
  EXPECT_TRUE(report["outputs"]["rotated_png"].is_null());
  const double deg = report["main_direction"]["image_deg"].get<double>();
  EXPECT_NEAR(report["main_direction"]["map_deg"].get<double>(), 180.0 - deg, 1e-2);
}

TEST(Report, CoverageStartsWithTheInnerRectangleAndAddsUpItsCells)
{
  quorvane::maps::Map map;
  map.frame.resolution = 0.1;
  map.frame.originX = -3.0;
  map.free = makeSampleFloorPlan({400, 300}, 17.0, 1);
  map.frame.width = 400;
  map.frame.height = 300;
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 6.0;
  options.coverageMinCells = 3;
  const auto inspection = quorvane::tools::inspectMap(map.free, options);
  const auto report = quorvane::tools::makeReport(map, options, inspection, {"sample", "", "", ""});
  const auto & coverage = report["coverage"];
  EXPECT_EQ(coverage["min_cells"], 3);
  EXPECT_TRUE(coverage["max_rectangles"].is_null());
  ASSERT_GT(coverage["rectangles"].size(), 1u);
  EXPECT_EQ(coverage["rectangles"][0]["outline_px"], report["inner_rectangle"]["outline_px"]);
  EXPECT_EQ(coverage["rectangles"][0]["cells"], report["inner_rectangle"]["cells"]);
  long cells = 0;
  for (const auto & rect : coverage["rectangles"]) {
    const int columns = rect["cells"][0].get<int>();
    const int rows = rect["cells"][1].get<int>();
    EXPECT_GE(columns * rows, 3);
    cells += columns * rows;
    // The extent reaches half a cell (3 px) beyond the outline on every side.
    const auto side = [](const auto & a, const auto & b) {
      return std::hypot(
        a[0].template get<double>() - b[0].template get<double>(),
        a[1].template get<double>() - b[1].template get<double>());
    };
    EXPECT_NEAR(side(rect["extent_px"][0], rect["extent_px"][1]), 6.0 * columns, 1e-2);
    EXPECT_NEAR(side(rect["extent_px"][1], rect["extent_px"][2]), 6.0 * rows, 1e-2);
    for (const char * outline : {"outline", "extent"}) {
      const auto & px = rect[std::string(outline) + "_px"][2];
      const auto & m = rect[std::string(outline) + "_m"][2];
      ASSERT_TRUE(m.is_array()) << outline;
      EXPECT_NEAR(m[0].get<double>(), -3.0 + (px[0].get<double>() + 0.5) * 0.1, 1e-3);
      EXPECT_NEAR(m[1].get<double>(), (300 - 0.5 - px[1].get<double>()) * 0.1, 1e-3);
    }
  }
  EXPECT_EQ(coverage["covered_cells"].get<long>(), cells);
  EXPECT_NEAR(
    coverage["covered_share"].get<double>(),
    static_cast<double>(cells) / coverage["passing_cells"].get<double>(), 1e-4);
}

TEST(Report, PrettyTextKeepsNumberArraysOnOneLineAndParsesBack)
{
  nlohmann::ordered_json report = {
    {"a", {1, 2.5, -3}},
    {"b", {{0.5, 1}, {2, 3}}},
    {"c", "x [1, 2]"},
    {"d", nlohmann::json::array()}};
  const std::string text = quorvane::tools::formatReport(report, false);
  EXPECT_NE(text.find("\"a\": [1, 2.5, -3]"), std::string::npos) << text;
  EXPECT_NE(text.find("[0.5, 1]"), std::string::npos) << text;
  EXPECT_NE(text.find("\"d\": []"), std::string::npos) << text;
  EXPECT_EQ(nlohmann::ordered_json::parse(text), report);
  EXPECT_EQ(quorvane::tools::formatReport(report, true).find('\n'), std::string::npos);
}

TEST(Report, TimesKeepTheirOrder)
{
  const auto times = quorvane::tools::timesToJson({{"zeta", 1.004}, {"alpha", 2.0}});
  EXPECT_EQ(times.begin().key(), "zeta");
  EXPECT_DOUBLE_EQ(times["zeta"].get<double>(), 1.0);
}

// ---------------------------------------------------------------- pictures

TEST(Picture, ScaleEnlargesSmallMapsAndReducesLargeOnes)
{
  EXPECT_DOUBLE_EQ(quorvane::tools::pictureScale({300, 200}), 3.0);
  EXPECT_DOUBLE_EQ(quorvane::tools::pictureScale({50, 20}), 8.0);
  EXPECT_DOUBLE_EQ(quorvane::tools::pictureScale({800, 600}), 1.0);
  EXPECT_DOUBLE_EQ(quorvane::tools::pictureScale({1000, 4000}), 0.5);
}

TEST(Picture, AnnotatedAndRotatedPicturesAreColourImagesOfTheScaledSize)
{
  const cv::Mat plan = makeSampleFloorPlan({400, 300}, 17.0, 1);
  quorvane::tools::InspectOptions options;
  options.cellSizePx = 6.0;
  const auto inspection = quorvane::tools::inspectMap(plan, options);
  const cv::Mat annotated = quorvane::tools::drawInspection(plan, inspection, options, 0.05);
  EXPECT_EQ(annotated.type(), CV_8UC3);
  // The map at twice its size, and the legend in a margin to its right when
  // it would hide free cells.
  EXPECT_EQ(annotated.rows, 600);
  EXPECT_GE(annotated.cols, 800);
  const cv::Mat rotated = quorvane::tools::drawRotated(inspection);
  EXPECT_EQ(rotated.type(), CV_8UC3);
  EXPECT_EQ(rotated.size(), inspection.aligned.aligned.size() * 2);
}

// ---------------------------------------------------------------- command line

quorvane::tools::CliOptions parse(std::vector<std::string> args)
{
  quorvane::tools::CliOptions cli;
  CLI::App app;
  quorvane::tools::describeOptions(app, cli);
  std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
  app.parse(args);
  return cli;
}

TEST(CommandLine, DefaultsMakeTheSample)
{
  const auto cli = parse({});
  EXPECT_TRUE(cli.mapPath.empty());
  EXPECT_DOUBLE_EQ(cli.cellSizeM, 0.5);
  EXPECT_EQ(cli.outPath, "inspect.png");
  EXPECT_EQ(cli.sampleSize, cv::Size(800, 600));
}

TEST(CommandLine, ReadsMapAndOptions)
{
  const auto cli = parse(
    {"map.yaml", "--cell-size", "12", "--epsilon", "3.5", "--min-chord", "4", "--out", "o.png",
     "--rotated-out", "r.png", "--sample-size", "300x200", "--strict-unknown", "--compact",
     "--coverage-min-cells", "9", "--coverage-max-rectangles", "5"});
  EXPECT_EQ(cli.mapPath, "map.yaml");
  EXPECT_DOUBLE_EQ(cli.cellSizePx, 12.0);
  EXPECT_DOUBLE_EQ(cli.epsilonPx, 3.5);
  EXPECT_DOUBLE_EQ(cli.minChordPx, 4.0);
  EXPECT_EQ(cli.rotatedOutPath, "r.png");
  EXPECT_EQ(cli.sampleSize, cv::Size(300, 200));
  EXPECT_TRUE(cli.strictUnknown);
  EXPECT_TRUE(cli.compact);
  EXPECT_EQ(cli.coverageMinCells, 9);
  EXPECT_EQ(cli.coverageMaxRectangles, 5);
}

TEST(CommandLine, NoPngClearsThePictureName) { EXPECT_TRUE(parse({"--no-png"}).outPath.empty()); }

TEST(CommandLine, RejectsConflictingOrOutOfRangeValues)
{
  EXPECT_THROW(parse({"--no-png", "--out", "x.png"}), CLI::ParseError);
  EXPECT_THROW(parse({"--cell-size", "5", "--cell-size-m", "0.5"}), CLI::ParseError);
  EXPECT_THROW(parse({"--cell-size", "0.5"}), CLI::ParseError);
  EXPECT_THROW(parse({"--epsilon", "-1"}), CLI::ParseError);
  EXPECT_THROW(parse({"--sample-size", "800"}), CLI::ParseError);
  EXPECT_THROW(parse({"--sample-size", "8x600"}), CLI::ParseError);
  EXPECT_THROW(parse({"--resolution", "0"}), CLI::ParseError);
}

TEST(CommandLine, RejectsNaNAndInfinityInEveryFloatingOption)
{
  for (const char * option :
       {"--resolution", "--cell-size", "--cell-size-m", "--epsilon", "--min-chord",
        "--min-region-area", "--sample-angle"}) {
    for (const char * value : {"nan", "-nan", "inf", "-inf", "1e999"}) {
      EXPECT_THROW(parse({option, value}), CLI::ParseError) << option << " " << value;
    }
  }
}

TEST(Failures, MapToTheDocumentedExitCodes)
{
  using quorvane::tools::ExitCode;
  const auto codeOf = [](auto exception) {
    return quorvane::tools::classifyFailure(std::make_exception_ptr(exception)).code;
  };
  EXPECT_EQ(codeOf(quorvane::maps::MapError("m")), ExitCode::MapUnreadable);
  EXPECT_EQ(codeOf(quorvane::tools::BadOption("o")), ExitCode::BadCommandLine);
  EXPECT_EQ(codeOf(quorvane::tools::OutputWriteError("w")), ExitCode::OutputUnwritable);
  EXPECT_EQ(codeOf(cv::Exception(cv::Error::StsError, "e", "f", "file", 1)), ExitCode::Internal);
  EXPECT_EQ(codeOf(std::runtime_error("r")), ExitCode::Internal);
  EXPECT_EQ(codeOf(42), ExitCode::Internal);
}

// ---------------------------------------------------------------- outputs

TEST(Outputs, AllOrNothing)
{
  quorvane::test::ScratchDir dir;
  const std::string good = (dir.path() / "good.png").string();
  const std::string bad = (dir.path() / "missing" / "bad.png").string();
  EXPECT_THROW(
    quorvane::tools::writeAllOrNothing({{good, "a"}, {bad, "b"}}),
    quorvane::tools::OutputWriteError);
  // Neither the good file nor any temporary file is left behind.
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  quorvane::tools::writeAllOrNothing({{good, "abc"}});
  EXPECT_EQ(std::filesystem::file_size(good), 3u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
