#include "cli_options.hpp"

#include <cmath>
#include <cstdlib>
#include <regex>
#include <utility>

#include <CLI/CLI.hpp>

#include "outputs.hpp"
#include "quorvane_nav2_maps/errors.hpp"

namespace quorvane
{
namespace tools
{
namespace
{

const char * const kDescription =
  "Runs the quorvane map algorithms on an occupancy map: the main wall direction, the map\n"
  "turned to it, the largest cell-tiled inner rectangle and the coverage of the free space\n"
  "by such blocks, the coverage path a cleaning robot drives, the skeleton of the free space\n"
  "and its farthest junction pair, the simplified outer boundary of the largest free region\n"
  "and its sharpest vertex. Prints a JSON report on stdout and draws the results into a PNG.";

const char * const kFooter =
  "Map reading: like the ROS map server. p = (255 - grey) / 255, or grey / 255 with\n"
  "negate; a cell is free when p < free_thresh, every other cell (occupied or unknown)\n"
  "counts as blocked. Colour images use the mean of their channels; with an alpha\n"
  "channel, trinary mode averages the opacity in and the other modes never free a\n"
  "translucent pixel. The modes scale and raw decide free cells by the same rule as\n"
  "trinary. A bare image uses the defaults of a map YAML (free_thresh 0.196,\n"
  "occupied_thresh 0.65, origin 0 0 0) and --resolution. An OccupancyGrid's free cells\n"
  "are those of value 0; -1 is unknown, and its row 0 is the image's bottom row.\n"
  "\n"
  "Coordinates in the report: pixel positions are [x, y], x the column, y the row, row 0\n"
  "at the top, integers at pixel centres. Metre positions are in the map frame (y up,\n"
  "from the YAML origin and resolution): x_m = origin_x + (x + 0.5) * res and\n"
  "y_m = origin_y + (rows - 0.5 - y) * res, turned by the origin's yaw. Image angles are\n"
  "measured from +x toward +y (down); map angles from +x toward +y (up).\n"
  "\n"
  "Exit status: 0 done, 1 map cannot be read (missing file, unreadable image, malformed\n"
  "YAML), 2 bad command line, 3 no inner rectangle fits, 4 a picture cannot be written,\n"
  "5 any other failure. Errors are one line on stderr.";

/// Refuses values that do not read as a finite number: NaN passes every
/// comparison of a range check, so it is refused before them.
const CLI::Validator kFinite(
  [](std::string & text) -> std::string {
    char * end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(value)) {
      return "must be a finite number, not " + text;
    }
    return {};
  },
  "FINITE");

/// "WIDTHxHEIGHT", each 16 to 20000.
cv::Size parseSize(const std::string & text)
{
  static const std::regex pattern("([0-9]{1,5})[xX]([0-9]{1,5})");
  std::smatch m;
  if (!std::regex_match(text, m, pattern)) {
    throw CLI::ValidationError("--sample-size", "expected WIDTHxHEIGHT, got " + text);
  }
  const cv::Size size(std::stoi(m[1].str()), std::stoi(m[2].str()));
  if (size.width < 16 || size.height < 16 || size.width > 20000 || size.height > 20000) {
    throw CLI::ValidationError("--sample-size", "each side must lie in [16, 20000]");
  }
  return size;
}

void describeMapOptions(CLI::App & app, CliOptions & cli)
{
  app.add_option(
    "map", cli.mapPath,
    "Map YAML (.yaml/.yml): a map_server description (its\n"
    "image path is taken relative to the YAML's folder) or\n"
    "an OccupancyGrid message as `ros2 topic echo --once\n"
    "--full-length /map` prints it, told apart by content;\n"
    "or a bare PGM/PNG image.\n"
    "Omitted: a built-in sample floor plan.");
  app
    .add_option(
      "--resolution", cli.resolution,
      "Metres per pixel of a bare image or of the sample\n(a YAML gives its own)")
    ->capture_default_str()
    ->check(kFinite)
    ->check(CLI::PositiveNumber);
  app
    .add_option(
      "--max-pixels", cli.maxPixels,
      "Largest map read, in pixels (checked from the image\n"
      "header or the grid's size before anything is\n"
      "decoded)")
    ->capture_default_str()
    ->check(CLI::Range(std::int64_t{1}, std::int64_t{1} << 40));
  app.add_flag(
    "--strict-unknown", cli.strictUnknown,
    "Never count grey 205 (what map savers write for\n"
    "unknown cells) as free, even when free_thresh\n"
    "would make it free");
}

void describeStepOptions(CLI::App & app, CliOptions & cli)
{
  auto * px = app.add_option(
    "--cell-size", cli.cellSizePx,
    "Inner rectangle cell side in pixels (1 to 65535;\nthe fraction is dropped)");
  px->check(kFinite)->check(CLI::Range(1.0, 65535.0));
  auto * metres = app.add_option(
    "--cell-size-m", cli.cellSizeM,
    "Inner rectangle cell side in metres, converted with\n"
    "the map's resolution and rounded (at least 1 px)");
  metres->capture_default_str()->check(kFinite)->check(CLI::PositiveNumber);
  px->excludes(metres);
  app.add_option("--epsilon", cli.epsilonPx, "Boundary simplification tolerance in pixels")
    ->capture_default_str()
    ->check(kFinite)
    ->check(CLI::NonNegativeNumber);
  app
    .add_option(
      "--min-chord", cli.minChordPx,
      "Boundary spans whose ends lie at most this many\n"
      "pixels apart are cut to their ends without looking\n"
      "inside; negative: off")
    ->capture_default_str()
    ->check(kFinite);
  app
    .add_option(
      "--skeleton-max-side", cli.skeletonMaxSide,
      "0: thin the free area at full resolution; otherwise\n"
      "the longest side thinned at full resolution, longer\n"
      "ones being thinned at a reduced scale (16 or more)")
    ->capture_default_str()
    ->check(CLI::IsMember({0}) | CLI::Range(16, 1000000));
  app
    .add_option(
      "--min-region-area", cli.minRegionAreaM2,
      "Before thinning, obstacle specks and free islands\n"
      "smaller than this many square metres are removed\n"
      "from the skeleton's input (the other steps see the\n"
      "map as loaded); 0: off")
    ->capture_default_str()
    ->check(kFinite)
    ->check(CLI::NonNegativeNumber);
  app
    .add_option(
      "--coverage-min-cells", cli.coverageMinCells,
      "The coverage of the free space by blocks of cells\n"
      "stops when the largest remaining block has fewer\n"
      "cells than this")
    ->capture_default_str()
    ->check(CLI::Range(1, 1 << 30));
  app
    .add_option(
      "--coverage-max-rectangles", cli.coverageMaxRectangles,
      "Most coverage blocks taken; -1: no limit")
    ->capture_default_str()
    ->check(CLI::Range(-1, 1 << 30));
}

/// "X,Y": two finite numbers.
cv::Point2d parsePoint(const std::string & text)
{
  const std::size_t comma = text.find(',');
  std::string parts[2] = {
    text.substr(0, comma), comma == std::string::npos ? "" : text.substr(comma + 1)};
  double xy[2] = {0.0, 0.0};
  for (int i = 0; i < 2; ++i) {
    std::string part = parts[i];
    if (!kFinite(part).empty() || part.find(',') != std::string::npos) {
      throw CLI::ValidationError("--start", "expected X,Y in metres (finite numbers), got " + text);
    }
    xy[i] = std::strtod(part.c_str(), nullptr);
  }
  return {xy[0], xy[1]};
}

void describePathOptions(CLI::App & app, CliOptions & cli)
{
  auto * off = app.add_flag_callback(
    "--no-coverage-path", [&cli] { cli.coveragePath = false; }, "Plan no coverage path");
  const std::vector<CLI::Option *> pathOptions = {
    app
      .add_option(
        "--swath-width-m", cli.swathWidthM,
        "Coverage path: the width the robot's tool sweeps\nin one pass, in metres")
      ->capture_default_str()
      ->check(kFinite)
      ->check(CLI::PositiveNumber),
    app
      .add_option(
        "--robot-radius-m", cli.robotRadiusM,
        "Coverage path: the robot's radius in metres; every\n"
        "point of the path keeps it from cells that are not\n"
        "free (unknown cells are not free)")
      ->capture_default_str()
      ->check(kFinite)
      ->check(CLI::NonNegativeNumber),
    app
      .add_option(
        "--overlap", cli.overlap,
        "Coverage path: the share of the swath by which\nneighbouring lanes overlap, in [0, 1)")
      ->capture_default_str()
      ->check(kFinite)
      ->check(CLI::Validator(
        [](std::string & text) -> std::string {
          const double v = std::strtod(text.c_str(), nullptr);
          return v >= 0.0 && v < 1.0 ? std::string() : "must lie in [0, 1), not " + text;
        },
        "[0, 1)")),
    app.add_option_function<std::string>(
      "--start",
      [&cli](const std::string & text) {
        cli.startM = parsePoint(text);
        cli.hasStart = true;
      },
      "Coverage path: where it starts, X,Y in metres of\n"
      "the map frame; default: the beginning of the first\n"
      "lane of the largest reachable part")};
  for (CLI::Option * option : pathOptions) {
    off->excludes(option);
  }
}

void describeOutputOptions(CLI::App & app, CliOptions & cli)
{
  auto * out =
    app
      .add_option(
        "--out", cli.outPath,
        "Annotated PNG to write (maps under 800 px are\nenlarged, maps over 2000 px reduced)")
      ->capture_default_str();
  app
    .add_flag_callback(
      "--no-png", [&cli] { cli.outPath.clear(); }, "Write no annotated PNG")
    ->excludes(out);
  app.add_option(
    "--rotated-out", cli.rotatedOutPath,
    "Also write the map turned to its main direction,\nwith the inner rectangle");
  app.add_option(
    "--save-map", cli.saveMapPath,
    "Also write the inspected map as a map_server YAML\n"
    "with its PGM image beside it (same name, .pgm):\n"
    "free 254, unknown 205, occupied 0");
  app.add_option(
    "--html", cli.htmlPath,
    "Also write the inspection as one self-contained\n"
    "HTML page: the map with every result as a layer\n"
    "switched in its legend, zoom, pan, the pointer's\n"
    "position in pixels and metres, the main figures");
  app.add_flag("--compact", cli.compact, "Print the JSON report on one line");
}

void describeSampleOptions(CLI::App & app, CliOptions & cli)
{
  app
    .add_option_function<std::string>(
      "--sample-size", [&cli](const std::string & text) { cli.sampleSize = parseSize(text); },
      "Size of the sample floor plan (rooms, doors, a\ncorridor, furniture), WIDTHxHEIGHT")
    ->default_str("800x600");
  app
    .add_option(
      "--sample-angle", cli.sampleAngleDeg,
      "Direction of the sample's long walls in degrees,\nfrom +x toward +y (down)")
    ->capture_default_str()
    ->check(kFinite);
  app.add_option("--sample-seed", cli.sampleSeed, "Seed of the sample's rooms and furniture")
    ->capture_default_str();
}

}  // namespace

Failure classifyFailure(std::exception_ptr failure)
{
  try {
    std::rethrow_exception(std::move(failure));
  } catch (const maps::MapError & e) {
    return {ExitCode::MapUnreadable, e.what()};
  } catch (const BadOption & e) {
    return {ExitCode::BadCommandLine, e.what()};
  } catch (const OutputWriteError & e) {
    return {ExitCode::OutputUnwritable, e.what()};
  } catch (const cv::Exception & e) {
    return {ExitCode::Internal, "OpenCV: " + e.err + " in " + e.func};
  } catch (const std::exception & e) {
    return {ExitCode::Internal, e.what()};
  } catch (...) {
    return {ExitCode::Internal, "unknown failure"};
  }
}

void describeOptions(CLI::App & app, CliOptions & cli)
{
  app.name("quorvane_map_inspect");
  app.description(kDescription);
  app.footer(kFooter);
  app.get_formatter()->column_width(34);
  describeMapOptions(app, cli);
  describeStepOptions(app, cli);
  describePathOptions(app, cli);
  describeOutputOptions(app, cli);
  describeSampleOptions(app, cli);
}

}  // namespace tools
}  // namespace quorvane
