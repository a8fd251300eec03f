// One map through both routes: map_server YAML + image, and the OccupancyGrid
// a map server publishes for it (built here by the map server's own rule,
// then echoed as YAML and read back). Images, unknown cells and metres must
// agree.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"
#include "sample_floor_plan.hpp"
#include "scratch_dir.hpp"
#include "test_maps_dir.hpp"

namespace
{

namespace fs = std::filesystem;
using nav_msgs::msg::OccupancyGrid;

/// The grid a map server publishes for an 8-bit grey or colour image in
/// trinary mode: p = 1 - mean / 255; 100 when p > occupied_thresh, 0 when
/// p < free_thresh, -1 otherwise; the image's bottom row first.
OccupancyGrid mapServerGrid(const cv::Mat & image, const quorvane::maps::MapServerInfo & info)
{
  OccupancyGrid grid;
  grid.header.frame_id = "map";
  grid.info.resolution = static_cast<float>(info.resolution);
  grid.info.width = static_cast<unsigned>(image.cols);
  grid.info.height = static_cast<unsigned>(image.rows);
  grid.info.origin.position.x = info.originX;
  grid.info.origin.position.y = info.originY;
  grid.info.origin.orientation.z = std::sin(info.originYaw / 2.0);
  grid.info.origin.orientation.w = std::cos(info.originYaw / 2.0);
  for (int r = image.rows - 1; r >= 0; --r) {
    for (int c = 0; c < image.cols; ++c) {
      double mean = 0.0;
      for (int k = 0; k < image.channels(); ++k) {
        mean += image.ptr<uchar>(r)[c * image.channels() + k];
      }
      mean /= image.channels();
      const double p = (255.0 - mean) / 255.0;
      grid.data.push_back(
        static_cast<std::int8_t>(p > info.occupiedThresh ? 100 : (p < info.freeThresh ? 0 : -1)));
    }
  }
  return grid;
}

bool same(const cv::Mat & a, const cv::Mat & b)
{
  return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

/// Largest distance between the metres of the two frames over a grid of pixels.
double metresApart(const quorvane::maps::MapFrame & a, const quorvane::maps::MapFrame & b)
{
  double worst = 0.0;
  for (int v = 0; v <= a.height; v += std::max(1, a.height / 7)) {
    for (int u = 0; u <= a.width; u += std::max(1, a.width / 7)) {
      const cv::Point2d p = quorvane::maps::pixelToWorld(a, {double(u), double(v)});
      const cv::Point2d q = quorvane::maps::pixelToWorld(b, {double(u), double(v)});
      worst = std::max(worst, std::hypot(p.x - q.x, p.y - q.y));
    }
  }
  return worst;
}

struct Comparison
{
  bool freeSame;
  bool unknownSame;
  double metres;
};

/// Loads @p yamlPath both ways (the grid written to @p gridPath) and compares.
Comparison compareRoutes(const std::string & yamlPath, const std::string & gridPath)
{
  const quorvane::maps::Map fromImage = quorvane::maps::loadMap(yamlPath);
  const quorvane::maps::MapServerInfo & info = fromImage.mapServer;
  const cv::Mat image = cv::imread(info.image, cv::IMREAD_UNCHANGED);
  // Every digit, as `ros2 topic echo` prints it (the generated to_yaml keeps
  // six significant digits unless the stream asks for more).
  std::ofstream grid(gridPath);
  grid << std::setprecision(17);
  nav_msgs::msg::to_block_style_yaml(mapServerGrid(image, info), grid);
  grid << "---\n";
  grid.close();
  const quorvane::maps::Map fromGrid = quorvane::maps::loadMap(gridPath);
  EXPECT_EQ(fromGrid.source, quorvane::maps::MapSource::OccupancyGrid);
  EXPECT_EQ(fromGrid.frame.resolution, fromImage.frame.resolution);
  EXPECT_EQ(fromGrid.frame.originX, fromImage.frame.originX);
  EXPECT_EQ(fromGrid.frame.originY, fromImage.frame.originY);
  EXPECT_NEAR(fromGrid.frame.originYaw, fromImage.frame.originYaw, 1e-15);  // via a quaternion
  EXPECT_EQ(fromGrid.frame.width, fromImage.frame.width);
  EXPECT_EQ(fromGrid.frame.height, fromImage.frame.height);
  return {
    same(fromGrid.free, fromImage.free), same(fromGrid.unknown, fromImage.unknown),
    metresApart(fromGrid.frame, fromImage.frame)};
}

TEST(TwoRoutes, TurnedSampleMapAgrees)
{
  quorvane::test::ScratchDir dir;
  cv::Mat grey = quorvane::tools::makeSampleFloorPlan({120, 90}, 17.0, 3);
  grey(cv::Rect(0, 0, 30, 20)).setTo(205);  // an unknown corner
  cv::imwrite(dir.file("m.pgm"), grey);
  std::ofstream(dir.file("m.yaml"))
    << "image: m.pgm\nresolution: 0.05\norigin: [-3.25, 7.5, 0.5235987755982988]\nnegate: 0\n"
       "occupied_thresh: 0.65\nfree_thresh: 0.196\n";
  const Comparison c = compareRoutes(dir.file("m.yaml"), dir.file("grid.yaml"));
  EXPECT_TRUE(c.freeSame);
  EXPECT_TRUE(c.unknownSame);
  EXPECT_LT(c.metres, 1e-12);
}

std::vector<std::string> sharedMapNames()
{
  std::vector<std::string> names;
  const fs::path dir = quorvane::test::testMapsDir();
  if (!dir.empty()) {
    for (const auto & entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".yaml") {
        names.push_back(entry.path().stem().string());
      }
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(TwoRoutes, SharedMapsAgree)
{
  const std::vector<std::string> names = sharedMapNames();
  if (names.empty()) {
    GTEST_SKIP() << "no shared maps (set QUORVANE_TEST_MAPS_DIR)";
  }
  quorvane::test::ScratchDir dir;
  for (const std::string & name : names) {
    SCOPED_TRACE(name);
    const auto start = std::chrono::steady_clock::now();
    const Comparison c = compareRoutes(
      (quorvane::test::testMapsDir() / (name + ".yaml")).string(), dir.file(name + ".grid.yaml"));
    const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(c.freeSame);
    EXPECT_TRUE(c.unknownSame);
    EXPECT_EQ(c.metres, 0.0);
    std::printf(
      "%-18s free %s, unknown %s, metres apart %g m (%.2f s)\n", name.c_str(),
      c.freeSame ? "identical" : "DIFFERENT", c.unknownSame ? "identical" : "DIFFERENT", c.metres,
      seconds);
  }
}

}  // namespace
