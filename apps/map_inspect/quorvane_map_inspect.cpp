// quorvane_map_inspect: runs the library on an occupancy map, prints a JSON
// report and draws what it found.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include "cli_options.hpp"
#include "draw.hpp"
#include "html_report.hpp"
#include "inspect.hpp"
#include "outputs.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "report.hpp"
#include "sample_floor_plan.hpp"

namespace
{

using quorvane::tools::BadOption;
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
  options.maxPixels = cli.maxPixels;
  quorvane::maps::GridOptions gridOptions;
  gridOptions.maxPixels = cli.maxPixels;
  source = cli.mapPath;
  return quorvane::maps::loadMap(cli.mapPath, options, gridOptions);
}

/// Cell side in whole pixels (the library's grid pitch): the one given, or
/// the metres converted and rounded (at least 1). Fails on a side the grid
/// cannot take.
double cellSizeInPixels(const CliOptions & cli, double resolution)
{
  const double px = cli.cellSizePx > 0.0 ? std::floor(cli.cellSizePx)
                                         : std::max(1.0, std::round(cli.cellSizeM / resolution));
  if (!(px <= 65535.0)) {
    char message[160];
    std::snprintf(
      message, sizeof(message),
      "the cell size is %g px at the map's resolution of %g m/px; at most 65535 px", px,
      resolution);
    throw BadOption(message);
  }
  return px;
}

/// Specks and islands under @p areaM2 in pixels, at most one more than the
/// map has (a larger value removes nothing more), so that no option value
/// makes the cleaning larger than the map.
std::int64_t regionAreaInPixels(double areaM2, double resolution, cv::Size size)
{
  const double px = std::round(areaM2 / (resolution * resolution));
  const double most = static_cast<double>(size.area()) + 1.0;
  return static_cast<std::int64_t>(std::min(px, most));
}

/// What the HTML page draws beside the report: the map's cells, the
/// skeleton where it was thinned, the simplified boundary, the free area the
/// coverage path cannot reach.
quorvane::tools::HtmlLayers htmlLayers(
  const quorvane::maps::Map & map, const quorvane::tools::Inspection & inspection)
{
  quorvane::tools::HtmlLayers layers;
  layers.free = map.free;
  layers.unknown = map.unknown;
  const quorvane::tools::Skeleton & skeleton = inspection.skeleton;
  layers.skeleton = {skeleton.image, {skeleton.offset, skeleton.image.size() * skeleton.scale}};
  layers.unknownGreyFree = {map.unknownGreyFree, {}};
  layers.simplifiedBoundary = inspection.simplified;
  if (inspection.coveragePath) {
    layers.unreachable = {inspection.coveragePath->unreachable, {}};
  }
  return layers;
}

int run(const CliOptions & cli)
{
  const auto start = std::chrono::steady_clock::now();
  // 1. the map
  std::string source;
  const quorvane::maps::Map map = loadOrSynthesise(cli, source);
  const double loadMs = millisecondsSince(start);
  // 2. the steps
  quorvane::tools::InspectOptions options;
  options.cellSizePx = cellSizeInPixels(cli, map.frame.resolution);
  options.epsilonPx = cli.epsilonPx;
  options.minChordPx = cli.minChordPx;
  options.skeletonMaxSide = cli.skeletonMaxSide;
  options.minRegionAreaPx =
    regionAreaInPixels(cli.minRegionAreaM2, map.frame.resolution, map.free.size());
  options.coverageMinCells = cli.coverageMinCells;
  options.coverageMaxRectangles = cli.coverageMaxRectangles;
  options.frame = map.frame;
  if (cli.coveragePath) {
    quorvane::maps::CoveragePathOptions path;
    path.swathWidth = cli.swathWidthM;
    path.robotRadius = cli.robotRadiusM;
    path.overlap = cli.overlap;
    if (cli.hasStart) {
      path.start = cli.startM;
    }
    options.coveragePath = path;
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
  // 3. every output made in memory: the pictures, then the report
  std::vector<quorvane::tools::OutputFile> files;
  if (!cli.outPath.empty()) {
    const auto begin = std::chrono::steady_clock::now();
    files.push_back(
      {cli.outPath, quorvane::tools::encodePng(quorvane::tools::drawInspection(
                      map.free, inspection, options, map.frame.resolution, map.unknownGreyFree))});
    inspection.timesMs.emplace_back("annotated_png", millisecondsSince(begin));
  }
  if (!cli.rotatedOutPath.empty()) {
    const auto begin = std::chrono::steady_clock::now();
    files.push_back(
      {cli.rotatedOutPath, quorvane::tools::encodePng(quorvane::tools::drawRotated(inspection))});
    inspection.timesMs.emplace_back("rotated_png", millisecondsSince(begin));
  }
  if (!cli.saveMapPath.empty()) {
    for (quorvane::tools::OutputFile & file :
         quorvane::tools::mapServerFiles(map, cli.saveMapPath)) {
      files.push_back(std::move(file));
    }
  }
  inspection.timesMs.emplace_back("total", millisecondsSince(start));
  auto report = quorvane::tools::makeReport(
    map, options, inspection, {source, cli.outPath, cli.rotatedOutPath, cli.htmlPath});
  report["timing_ms"] = quorvane::tools::timesToJson(inspection.timesMs);
  if (!cli.htmlPath.empty()) {
    files.push_back(
      {cli.htmlPath, quorvane::tools::makeHtmlReport(report, htmlLayers(map, inspection))});
  }
  const std::string text = quorvane::tools::formatReport(report, cli.compact);
  // 4. written all or nothing, then the report on stdout and the warning
  quorvane::tools::writeAllOrNothing(files);
  const std::string warning = quorvane::tools::unknownGreyWarning(map);
  if (!warning.empty()) {
    std::cerr << "quorvane_map_inspect: warning: " << warning << '\n';
  }
  std::cout << text << std::endl;
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
  } catch (...) {
    const quorvane::tools::Failure failure =
      quorvane::tools::classifyFailure(std::current_exception());
    return fail(failure.code, failure.message);
  }
}
