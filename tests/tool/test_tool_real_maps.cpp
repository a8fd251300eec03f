// Runs quorvane_map_inspect on every map YAML of the shared map folder and
// checks that its report is sane, and that the same map given as an
// OccupancyGrid YAML gives the same answers in metres. Skips when the folder
// is absent.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "quorvane_nav2_maps/cleaning.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "scratch_dir.hpp"
#include "test_maps_dir.hpp"

namespace
{

namespace fs = std::filesystem;

/// The real maps of QUORVANE_TEST_MAPS_DIR, or an empty path.
fs::path sharedMapsDir() { return quorvane::test::testMapsDir(); }

std::vector<std::string> sharedMapNames()
{
  std::vector<std::string> names;
  const fs::path dir = sharedMapsDir();
  if (dir.empty()) {
    return names;
  }
  for (const auto & entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() == ".yaml") {
      names.push_back(entry.path().stem().string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// Output and exit status of a shell command.
struct RunResult
{
  std::string out;
  int status = -1;
};

RunResult runCommand(const std::string & command)
{
  RunResult result;
  FILE * pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    return result;
  }
  std::array<char, 4096> buffer{};
  std::size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    result.out.append(buffer.data(), n);
  }
  const int raw = ::pclose(pipe);
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return result;
}

cv::Point2d point(const nlohmann::json & xy) { return {xy[0].get<double>(), xy[1].get<double>()}; }

bool inside(const cv::Point2d & p, const cv::Mat & image)
{
  return p.x >= 0 && p.y >= 0 && p.x <= image.cols - 1 && p.y <= image.rows - 1;
}

/// Share of the pixels inside the outline's polygon that are free.
double freeShareInside(const cv::Mat & free, const nlohmann::json & outline)
{
  std::vector<cv::Point> corners;
  for (std::size_t i = 0; i + 1 < outline.size(); ++i) {
    const cv::Point2d p = point(outline[i]);
    corners.emplace_back(cvRound(p.x), cvRound(p.y));
  }
  cv::Mat polygon = cv::Mat::zeros(free.size(), CV_8UC1);
  cv::fillConvexPoly(polygon, corners, cv::Scalar(255), cv::LINE_8);
  const int all = cv::countNonZero(polygon);
  return all == 0 ? 0.0 : static_cast<double>(cv::countNonZero(polygon & free)) / all;
}

class RealMap : public ::testing::TestWithParam<std::string>
{
};

TEST_P(RealMap, ReportIsSane)
{
  const fs::path yaml = sharedMapsDir() / (GetParam() + ".yaml");
  quorvane::test::ScratchDir dir;
  const std::string png = dir.file(GetParam() + ".png");
  const RunResult run = runCommand(
    std::string("'") + QUORVANE_INSPECT_TOOL + "' '" + yaml.string() + "' --compact --out '" + png +
    "' 2>'" + dir.file("stderr.txt") + "'");
  ASSERT_EQ(run.status, 0) << run.out;
  const nlohmann::json report = nlohmann::json::parse(run.out);
  const auto map = quorvane::maps::loadMap(yaml.string());

  // Direction in [0, pi].
  const double direction = report["main_direction"]["image_rad"].get<double>();
  EXPECT_GE(direction, 0.0);
  EXPECT_LE(direction, CV_PI);
  // A rectangle in the image, mostly over free cells (the cell test accepts a
  // cell whose window reaches free space, so thin walls may be straddled).
  const auto & rect = report["inner_rectangle"];
  ASSERT_TRUE(rect["found"].get<bool>());
  ASSERT_EQ(rect["outline_px"].size(), 5u);
  for (const auto & p : rect["outline_px"]) {
    EXPECT_TRUE(inside(point(p), map.free)) << p;
  }
  EXPECT_GT(freeShareInside(map.free, rect["outline_px"]), 0.9);
  // Junctions on free cells of the skeleton's input (the map with its small
  // specks freed), a sharpest vertex on the image.
  cv::Mat cleaned;
  quorvane::maps::removeSmallRegions(
    map.free, cleaned, report["skeleton"]["cleaning"]["min_region_area_px"].get<std::int64_t>());
  if (report["skeleton"]["junction_pair_found"].get<bool>()) {
    for (const auto & p : report["skeleton"]["junction_pair_px"]) {
      ASSERT_TRUE(inside(point(p), map.free)) << p;
      EXPECT_EQ(cleaned.at<uchar>(cv::Point(point(p))), 255) << p;
    }
  }
  EXPECT_LE(
    report["boundary"]["simplified_vertices"].get<int>(),
    report["boundary"]["vertices"].get<int>());
  if (report["sharpest_vertex"]["found"].get<bool>()) {
    EXPECT_TRUE(inside(point(report["sharpest_vertex"]["px"]), map.free));
  }
  // The picture was written.
  EXPECT_FALSE(cv::imread(png).empty());
}

/// The report's answers in metres (and map-frame angles).
nlohmann::json metresOf(const nlohmann::json & report)
{
  return {
    report["main_direction"]["map_rad"], report["inner_rectangle"]["outline_m"],
    report["inner_rectangle"]["cells_area_m2"],
    report["skeleton"].value("junction_pair_m", nlohmann::json()),
    report["sharpest_vertex"].value("m", nlohmann::json())};
}

TEST_P(RealMap, OccupancyGridGivesTheSameMetres)
{
  // The map placed with a turned origin, once as map_server YAML + image and
  // once as the OccupancyGrid a map server would publish for it, echoed as YAML.
  quorvane::test::ScratchDir dir;
  const fs::path yaml = sharedMapsDir() / (GetParam() + ".yaml");
  quorvane::maps::MapServerInfo info = quorvane::maps::readMapServerYaml(yaml.string());
  std::ofstream(dir.file("turned.yaml"))
    << std::setprecision(17) << "image: " << info.image << "\nresolution: " << info.resolution
    << "\norigin: [" << info.originX << ", " << info.originY
    << ", 0.5]\nnegate: " << (info.negate ? 1 : 0) << "\noccupied_thresh: " << info.occupiedThresh
    << "\nfree_thresh: " << info.freeThresh << "\n";
  const auto map = quorvane::maps::loadMap(dir.file("turned.yaml"));
  std::ofstream grid(dir.file("grid.yaml"));
  grid << std::setprecision(17);
  nav_msgs::msg::to_block_style_yaml(quorvane::maps::toOccupancyGrid(map), grid);
  grid << "---\n";
  grid.close();
  nlohmann::json answers[2];
  const char * const inputs[2] = {"turned.yaml", "grid.yaml"};
  for (int k = 0; k < 2; ++k) {
    const RunResult run = runCommand(
      std::string("'") + QUORVANE_INSPECT_TOOL + "' '" + dir.file(inputs[k]) +
      "' --compact --no-png 2>'" + dir.file("stderr.txt") + "'");
    ASSERT_EQ(run.status, 0) << inputs[k] << ": " << run.out;
    answers[k] = metresOf(nlohmann::json::parse(run.out));
  }
  EXPECT_EQ(answers[0], answers[1]);
  std::printf(
    "%s: metres equal on both routes: %s\n", GetParam().c_str(),
    answers[0] == answers[1] ? "yes" : "NO");
}

INSTANTIATE_TEST_SUITE_P(
  SharedMaps, RealMap, ::testing::ValuesIn(sharedMapNames()),
  [](const ::testing::TestParamInfo<std::string> & param) { return param.param; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RealMap);

/// The tool's report and stderr on @p map (a shared map's name or a YAML
/// path) with extra @p options.
RunResult runOn(const std::string & map, const std::string & options, std::string & err)
{
  quorvane::test::ScratchDir dir;
  const std::string yaml =
    map.find('/') == std::string::npos ? (sharedMapsDir() / (map + ".yaml")).string() : map;
  const RunResult run = runCommand(
    std::string("'") + QUORVANE_INSPECT_TOOL + "' '" + yaml + "' --compact --no-png " + options +
    " 2>'" + dir.file("stderr.txt") + "'");
  std::ifstream in(dir.file("stderr.txt"));
  err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

TEST(RealMaps, CleaningChangesOnlyTheSkeleton)
{
  if (sharedMapNames().empty()) {
    GTEST_SKIP() << "no shared maps (set QUORVANE_TEST_MAPS_DIR)";
  }
  std::string err;
  const auto raw = nlohmann::json::parse(runOn("willow_full", "--min-region-area 0", err).out);
  const auto clean = nlohmann::json::parse(runOn("willow_full", "", err).out);
  EXPECT_GT(clean["skeleton"]["cleaning"]["obstacle_specks_removed"].get<int>(), 100);
  EXPECT_GT(clean["skeleton"]["cleaning"]["free_islands_removed"].get<int>(), 100);
  EXPECT_EQ(raw["skeleton"]["cleaning"]["obstacle_specks_removed"].get<int>(), 0);
  EXPECT_LT(clean["skeleton"]["pixels"].get<int>(), raw["skeleton"]["pixels"].get<int>());
  EXPECT_EQ(clean["main_direction"], raw["main_direction"]);
  EXPECT_EQ(clean["inner_rectangle"], raw["inner_rectangle"]);
  EXPECT_EQ(clean["boundary"], raw["boundary"]);
}

TEST(RealMaps, UnknownGreyCountedFreeIsReportedOnOneStderrLine)
{
  if (sharedMapNames().empty()) {
    GTEST_SKIP() << "no shared maps (set QUORVANE_TEST_MAPS_DIR)";
  }
  // tb3_sandbox's wide unknown margin (grey 205) is free under free_thresh 0.25.
  quorvane::test::ScratchDir dir;
  const std::string yaml = dir.file("generous.yaml");
  std::ofstream(yaml) << "image: " << (sharedMapsDir() / "tb3_sandbox.pgm").string()
                      << "\nresolution: 0.05\nfree_thresh: 0.25\n";
  std::string err;
  const RunResult run = runOn(yaml, "", err);
  ASSERT_EQ(run.status, 0) << err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_GT(report["map"]["unknown_grey_counted_free"].get<int>(), 384 * 384 / 10);
  EXPECT_TRUE(report["map"].contains("note"));
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("free_thresh 0.25"), std::string::npos) << err;
  EXPECT_NE(err.find("--strict-unknown"), std::string::npos) << err;
  // With the remedy, nothing to say.
  runOn(yaml, "--strict-unknown", err);
  EXPECT_EQ(err, "");
  // Under a tenth (depot: about 5%), only the report's note.
  const auto depot = nlohmann::json::parse(runOn("depot", "", err).out);
  EXPECT_GT(depot["map"]["unknown_grey_counted_free"].get<int>(), 0);
  EXPECT_TRUE(depot["map"].contains("note"));
  EXPECT_EQ(err, "");
}

TEST(RealMaps, EveryMapLoadsWithFreeCells)
{
  const std::vector<std::string> names = sharedMapNames();
  if (names.empty()) {
    GTEST_SKIP() << "no shared maps (set QUORVANE_TEST_MAPS_DIR)";
  }
  for (const std::string & name : names) {
    const fs::path yaml = sharedMapsDir() / (name + ".yaml");
    const auto map = quorvane::maps::loadMap(yaml.string());
    EXPECT_GT(cv::countNonZero(map.free), 0) << name;
  }
}

}  // namespace
