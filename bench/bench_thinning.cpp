// Zhang–Suen thinning: the toolkit's frontier thinning against OpenCV
// contrib's cv::ximgproc::thinning (whole-image sweeps) on the same inputs, a
// 4000x4000 sample floor plan at full resolution and the free space of every
// real map in QUORVANE_TEST_MAPS_DIR (<map>.free.png, padded by one clear
// pixel as the map tool does). Compare the figures of one run as ratios.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc.hpp>

#include "quorvane_nav2_maps/thinning.hpp"
#include "sample_floor_plan.hpp"
#include "test_maps_dir.hpp"

namespace
{

cv::Mat padded(const cv::Mat & img)
{
  cv::Mat out;
  cv::copyMakeBorder(img, out, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
  return out;
}

const cv::Mat & floorPlan4000()
{
  static const cv::Mat img = padded(quorvane::tools::makeSampleFloorPlan({4000, 4000}, 17.0, 1));
  return img;
}

void runOpenCv(benchmark::State & state, const cv::Mat & img)
{
  cv::setNumThreads(1);
  cv::Mat out;
  for (auto _ : state) {
    cv::ximgproc::thinning(img, out, cv::ximgproc::THINNING_ZHANGSUEN);
    benchmark::DoNotOptimize(out.data);
  }
  state.counters["skeleton_px"] = static_cast<double>(cv::countNonZero(out));
}

void runOurs(benchmark::State & state, const cv::Mat & img)
{
  cv::setNumThreads(1);
  cv::Mat out;
  for (auto _ : state) {
    quorvane::maps::thinZhangSuen(img, out);
    benchmark::DoNotOptimize(out.data);
  }
  state.counters["skeleton_px"] = static_cast<double>(cv::countNonZero(out));
}

void BM_FloorPlan4000_OpenCv(benchmark::State & state) { runOpenCv(state, floorPlan4000()); }
void BM_FloorPlan4000_Frontier(benchmark::State & state) { runOurs(state, floorPlan4000()); }
BENCHMARK(BM_FloorPlan4000_OpenCv)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FloorPlan4000_Frontier)->Unit(benchmark::kMillisecond);

// One pair per real map, registered when the folder is set.
const bool realMapsRegistered = [] {
  const std::filesystem::path dir = quorvane::test::testMapsDir();
  if (dir.empty()) {
    return false;
  }
  static std::vector<cv::Mat> maps;
  maps.reserve(64);
  for (const auto & entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    const std::string suffix = ".free.png";
    if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix) {
      continue;
    }
    const cv::Mat img = cv::imread(entry.path().string(), cv::IMREAD_GRAYSCALE);
    if (img.empty() || maps.size() == maps.capacity()) {
      continue;
    }
    maps.push_back(padded(img));
    const cv::Mat * m = &maps.back();
    const std::string map = name.substr(0, name.size() - suffix.size());
    benchmark::RegisterBenchmark(
      ("BM_RealMap_OpenCv/" + map).c_str(), [m](benchmark::State & state) { runOpenCv(state, *m); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
    benchmark::RegisterBenchmark(
      ("BM_RealMap_Frontier/" + map).c_str(), [m](benchmark::State & state) { runOurs(state, *m); })
      ->Unit(benchmark::kMillisecond);
  }
  return true;
}();

}  // namespace
