// quorvane_map_inspect: runs the library on an occupancy map, prints a JSON
// report and draws what it found.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include "cli_options.hpp"
#include "draw.hpp"
#include "inspect.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "report.hpp"
#include "sample_floor_plan.hpp"

namespace
{

using quorvane::tools::CliOptions;
using quorvane::tools::ExitCode;

/// @p text on one line: newlines become spaces, trailing blanks go.
std::string oneLine(std::string text)
{
  for (char & c : text) {
    if (c == '\n' || c == '\r') {
      c = ' ';
    }
  }
  while (!text.empty() && text.back() == ' ') {
    text.pop_back();
  }
  return text;
}

int fail(ExitCode code, const std::string & message)
{
  std::cerr << "quorvane_map_inspect: error: " << oneLine(message) << '\n';
  return static_cast<int>(code);
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
    .count();
}

quorvane::maps::Map sampleMap(const CliOptions & cli, std::string & source)
{
  quorvane::maps::Map map;
  map.free =
    quorvane::tools::makeSampleFloorPlan(cli.sampleSize, cli.sampleAngleDeg, cli.sampleSeed);
  map.unknown = cv::Mat::zeros(map.free.size(), CV_8UC1);
  map.mapServer.resolution = cli.resolution;
  map.frame.resolution = cli.resolution;
  map.frame.width = map.free.cols;
  map.frame.height = map.free.rows;
  char description[160];
  std::snprintf(
    description, sizeof(description), "built-in sample floor plan %dx%d, walls at %g deg, seed %u",
    cli.sampleSize.width, cli.sampleSize.height, cli.sampleAngleDeg, cli.sampleSeed);
  source = description;
  return map;
}

quorvane::maps::Map loadOrSynthesise(const CliOptions & cli, std::string & source)
{
  if (cli.mapPath.empty()) {
    return sampleMap(cli, source);
  }
  quorvane::maps::LoadOptions options;
  options.strictUnknown = cli.strictUnknown;
  options.bareImageResolution = cli.resolution;
  source = cli.mapPath;
  return quorvane::maps::loadMap(cli.mapPath, options);
}

/// One line on stderr when more than a tenth of the map is unknown grey
/// counted free: the share, why, and what to do about it.
void warnAboutUnknownGrey(const quorvane::maps::Map & map)
{
  const int count = map.unknownGreyFree.empty() ? 0 : cv::countNonZero(map.unknownGreyFree);
  const double share =
    static_cast<double>(count) / static_cast<double>(std::max<std::size_t>(1, map.free.total()));
  if (share <= 0.1) {
    return;
  }
  // Grey 205 has p = 50 / 255: free by the thresholds alone only above that.
  char cause[160];
  if (map.mapServer.freeThresh > 50.0 / 255.0) {
    std::snprintf(
      cause, sizeof(cause), "free_thresh %g is above 0.196 (50/255)", map.mapServer.freeThresh);
  } else {
    std::snprintf(
      cause, sizeof(cause),
      "the image's alpha channel is averaged into the grey (nav2's trinary rule)");
  }
  std::fprintf(
    stderr,
    "quorvane_map_inspect: warning: %.1f%% of the map's cells are grey 205, which map savers "
    "write for unknown cells, counted free because %s; they are tinted in the picture; "
    "--strict-unknown keeps them blocked\n",
    100.0 * share, cause);
}

/// Cell side in whole pixels (the library's grid pitch): the one given, or
/// the metres converted and rounded (at least 1).
double cellSizeInPixels(const CliOptions & cli, double resolution)
{
  if (cli.cellSizePx > 0.0) {
    return std::floor(cli.cellSizePx);
  }
  return std::max(1.0, std::round(cli.cellSizeM / resolution));
}

void writePictures(
  const CliOptions & cli, const quorvane::maps::Map & map,
  const quorvane::tools::InspectOptions & options, quorvane::tools::Inspection & inspection)
{
  using quorvane::tools::writePng;
  if (!cli.outPath.empty()) {
    const auto start = std::chrono::steady_clock::now();
    writePng(
      cli.outPath, quorvane::tools::drawInspection(
                     map.free, inspection, options, map.frame.resolution, map.unknownGreyFree));
    inspection.timesMs.emplace_back("annotated_png", millisecondsSince(start));
  }
  if (!cli.rotatedOutPath.empty()) {
    const auto start = std::chrono::steady_clock::now();
    writePng(cli.rotatedOutPath, quorvane::tools::drawRotated(inspection));
    inspection.timesMs.emplace_back("rotated_png", millisecondsSince(start));
  }
}

int run(const CliOptions & cli)
{
  const auto start = std::chrono::steady_clock::now();
  // 1. the map
  std::string source;
  const quorvane::maps::Map map = loadOrSynthesise(cli, source);
  const double loadMs = millisecondsSince(start);
  warnAboutUnknownGrey(map);
  // 2. the steps
  quorvane::tools::InspectOptions options;
  options.cellSizePx = cellSizeInPixels(cli, map.frame.resolution);
  options.epsilonPx = cli.epsilonPx;
  options.minChordPx = cli.minChordPx;
  options.skeletonMaxSide = cli.skeletonMaxSide;
  options.minRegionAreaPx = static_cast<std::int64_t>(
    std::llround(cli.minRegionAreaM2 / (map.frame.resolution * map.frame.resolution)));
  options.coverageMinCells = cli.coverageMinCells;
  options.coverageMaxRectangles = cli.coverageMaxRectangles;
  if (options.cellSizePx >= 65536.0) {
    return fail(ExitCode::BadCommandLine, "the cell size is too large (at most 65535 px)");
  }
  quorvane::tools::Inspection inspection = quorvane::tools::inspectMap(map.free, options);
  inspection.timesMs.insert(
    inspection.timesMs.begin(), {cli.mapPath.empty() ? "sample" : "load", loadMs});
  if (!inspection.rectangle) {
    char message[96];
    std::snprintf(
      message, sizeof(message), "no inner rectangle: cells of %g px (%g m) do not fit in ",
      options.cellSizePx, options.cellSizePx * map.frame.resolution);
    return fail(ExitCode::NoRectangle, message + source);
  }
  // 3. pictures, then the report
  writePictures(cli, map, options, inspection);
  inspection.timesMs.emplace_back("total", millisecondsSince(start));
  auto report = quorvane::tools::makeReport(
    map, options, inspection, {source, cli.outPath, cli.rotatedOutPath});
  report["timing_ms"] = quorvane::tools::timesToJson(inspection.timesMs);
  std::cout << quorvane::tools::formatReport(report, cli.compact) << std::endl;
  return 0;
}

/// Parses the command line and runs; failures leave as exceptions.
int parseAndRun(int argc, char ** argv)
{
  CliOptions cli;
  CLI::App app;
  quorvane::tools::describeOptions(app, cli);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError & e) {
    if (e.get_exit_code() == 0) {
      return app.exit(e);
    }
    return fail(ExitCode::BadCommandLine, std::string(e.what()) + " (see --help)");
  }
  return run(cli);
}

}  // namespace

int main(int argc, char ** argv)
{
  try {
    return parseAndRun(argc, argv);
  } catch (const quorvane::maps::MapError & e) {
    return fail(ExitCode::MapUnreadable, e.what());
  } catch (const quorvane::tools::PictureWriteError & e) {
    return fail(ExitCode::OutputUnwritable, e.what());
  } catch (const cv::Exception & e) {
    return fail(ExitCode::Internal, "OpenCV: " + e.err + " in " + e.func);
  } catch (const std::exception & e) {
    return fail(ExitCode::Internal, e.what());
  } catch (...) {
    return fail(ExitCode::Internal, "unknown failure");
  }
}
