// Zhang–Suen thinning: the toolkit's thinning against OpenCV contrib's
// cv::ximgproc::thinning on the same inputs, side by side in one run: the free
// space of every real map in QUORVANE_TEST_MAPS_DIR (<map>.free.png, padded by
// one clear pixel as the map tool does), then a 4000x4000 sample floor plan.
//
// One row per image. Its label gives the CPU time of one ximgproc call, of one
// call of ours and their ratio; the Time column repeats ours. How it is
// measured: process CPU time (std::clock; both run on one thread), in rounds
// of one ximgproc call followed by enough calls of ours to last 50 ms, their
// mean counting as the round's time. Each side's figure is the median over the
// rounds: at least three, more while ximgproc's calls add up to under two
// seconds (at most nine), a single one when one ximgproc call takes over ten
// seconds (the sample: over a minute). The two outputs are compared first; a
// difference fails the row.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
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

void theirs(const cv::Mat & img, cv::Mat & out)
{
  cv::ximgproc::thinning(img, out, cv::ximgproc::THINNING_ZHANGSUEN);
}

void ours(const cv::Mat & img, cv::Mat & out) { quorvane::maps::thinZhangSuen(img, out); }

double cpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

void compare(benchmark::State & state, const cv::Mat & img)
{
  cv::setNumThreads(1);
  cv::Mat expected;
  cv::Mat got;
  theirs(img, expected);  // (also warms up both sides)
  ours(img, got);
  if (cv::countNonZero(expected != got) != 0) {
    state.SkipWithError("the two skeletons differ");
    return;
  }
  constexpr double kOursRoundSeconds = 0.05;
  constexpr double kTheirsTotalSeconds = 2.0;
  constexpr double kTheirsSingleRoundSeconds = 10.0;
  std::vector<double> theirTimes;
  std::vector<double> ourTimes;
  for (auto _ : state) {
    double theirTotal = 0.0;
    while (theirTimes.size() < 9 && (theirTimes.size() < 3 || theirTotal < kTheirsTotalSeconds)) {
      const double t0 = cpuSeconds();
      theirs(img, expected);
      const double t1 = cpuSeconds();
      int calls = 0;
      double t2 = t1;
      while (calls < 1 || t2 - t1 < kOursRoundSeconds) {
        ours(img, got);
        benchmark::DoNotOptimize(got.data);
        ++calls;
        t2 = cpuSeconds();
      }
      theirTimes.push_back(t1 - t0);
      ourTimes.push_back((t2 - t1) / calls);
      theirTotal += t1 - t0;
      if (t1 - t0 > kTheirsSingleRoundSeconds) {
        break;
      }
    }
    state.SetIterationTime(median(ourTimes));
  }
  const double theirMs = 1e3 * median(theirTimes);
  const double ourMs = 1e3 * median(ourTimes);
  char label[160];
  std::snprintf(
    label, sizeof label, "%dx%d  ximgproc %.2f ms  ours %.3f ms  ratio %.0fx  (rounds: %zu)",
    img.cols, img.rows, theirMs, ourMs, theirMs / ourMs, theirTimes.size());
  state.SetLabel(label);
}

void add(const std::string & name, const cv::Mat * img)
{
  benchmark::RegisterBenchmark(
    ("BM_Thinning/" + name).c_str(), [img](benchmark::State & state) { compare(state, *img); })
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
}

// The real maps (when the folder is set, in name order), then the sample.
const bool registered = [] {
  static std::vector<cv::Mat> images;
  std::vector<std::filesystem::path> files;
  const std::filesystem::path dir = quorvane::test::testMapsDir();
  const std::string suffix = ".free.png";
  if (!dir.empty()) {
    for (const auto & entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix) {
        files.push_back(entry.path());
      }
    }
  }
  std::sort(files.begin(), files.end());
  images.reserve(files.size() + 1);  // (registered pointers stay valid)
  for (const auto & file : files) {
    const cv::Mat img = cv::imread(file.string(), cv::IMREAD_GRAYSCALE);
    if (img.empty()) {
      continue;
    }
    images.push_back(padded(img));
    const std::string name = file.filename().string();
    add(name.substr(0, name.size() - suffix.size()), &images.back());
  }
  images.push_back(padded(quorvane::tools::makeSampleFloorPlan({4000, 4000}, 17.0, 1)));
  add("sample_floor_plan_4000", &images.back());
  return true;
}();

}  // namespace
