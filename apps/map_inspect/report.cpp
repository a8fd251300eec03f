#include "report.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "quorvane_nav2_maps/map_frame.hpp"

namespace quorvane
{
namespace tools
{
namespace
{

using json = nlohmann::ordered_json;
using maps::Map;

/// @p value rounded to @p digits decimals, so the report stays readable.
double rounded(double value, int digits)
{
  const double scale = std::pow(10.0, digits);
  return std::round(value * scale) / scale;
}

double degrees(double radians) { return radians * 180.0 / CV_PI; }

json pixelJson(const cv::Point2d & p) { return json::array({rounded(p.x, 3), rounded(p.y, 3)}); }

json worldJson(const cv::Point2d & pixel, const Map & map)
{
  const cv::Point2d w = maps::pixelToWorld(map.frame, pixel);
  return json::array({rounded(w.x, 4), rounded(w.y, 4)});
}

json pixelsJson(const std::vector<cv::Point2f> & points)
{
  json out = json::array();
  for (const cv::Point2f & p : points) {
    out.push_back(pixelJson(p));
  }
  return out;
}

json worldsJson(const std::vector<cv::Point2f> & points, const Map & map)
{
  json out = json::array();
  for (const cv::Point2f & p : points) {
    out.push_back(worldJson(p, map));
  }
  return out;
}

double distance(const cv::Point2d & a, const cv::Point2d & b)
{
  return std::hypot(a.x - b.x, a.y - b.y);
}

const char * formatName(maps::MapSource source)
{
  switch (source) {
    case maps::MapSource::MapServerYaml:
      return "map_server";
    case maps::MapSource::OccupancyGrid:
      return "occupancy_grid";
    case maps::MapSource::Image:
    default:
      return "image";
  }
}

json mapJson(const Map & map, const ReportContext & context)
{
  const maps::MapFrame & f = map.frame;
  const maps::MapServerInfo & m = map.mapServer;
  json out = {
    {"source", context.source},
    {"format", formatName(map.source)},
    {"frame_id", f.frameId},
    {"width_px", map.free.cols},
    {"height_px", map.free.rows},
    {"resolution_m", f.resolution},
    {"origin", {f.originX, f.originY, f.originYaw}}};
  if (map.source != maps::MapSource::OccupancyGrid) {
    out["negate"] = m.negate;
    out["occupied_thresh"] = m.occupiedThresh;
    out["free_thresh"] = m.freeThresh;
    out["mode"] = maps::mapModeName(m.mode);
  }
  out["free_cells"] = cv::countNonZero(map.free);
  out["unknown_cells"] = map.unknown.empty() ? 0 : cv::countNonZero(map.unknown);
  const int unknownGreyFree =
    map.unknownGreyFree.empty() ? 0 : cv::countNonZero(map.unknownGreyFree);
  out["unknown_grey_counted_free"] = unknownGreyFree;
  if (unknownGreyFree > 0) {
    out["note"] =
      "free_thresh makes grey 205, which map savers write for unknown cells, free; "
      "--strict-unknown keeps it blocked";
  }
  return out;
}

json directionJson(const Map & map, const Inspection & r)
{
  // A wall direction is a line, not an arrow: reported in [0, pi).
  const double image = r.aligned.mainDirection;
  double world = maps::imageAngleToYaw(map.frame, image);
  world = world < 0.0 ? world + CV_PI : world;
  world = world >= CV_PI ? world - CV_PI : world;
  return {
    {"image_rad", rounded(image, 6)},
    {"image_deg", rounded(degrees(image), 3)},
    {"map_rad", rounded(world, 6)},
    {"map_deg", rounded(degrees(world), 3)}};
}

json rotationJson(const Inspection & r)
{
  const maps::AlignedMap & a = r.aligned;
  json matrix = json::array();
  for (int row = 0; row < a.rotation.rows; ++row) {
    json values = json::array();
    for (int col = 0; col < a.rotation.cols; ++col) {
      values.push_back(rounded(a.rotation.at<double>(row, col), 6));
    }
    matrix.push_back(values);
  }
  // The map is turned by its main direction (no extra angle).
  return {
    {"angle_rad", rounded(a.mainDirection, 6)},
    {"angle_deg", rounded(degrees(a.mainDirection), 3)},
    {"rotated_width_px", a.bounds.width},
    {"rotated_height_px", a.bounds.height},
    {"matrix", matrix}};
}

json rectangleJson(const Map & map, const InspectOptions & options, const Inspection & r)
{
  json out = {
    {"cell_size_px", options.cellSizePx},
    {"cell_size_m", rounded(options.cellSizePx * map.frame.resolution, 4)},
    {"found", r.rectangle.has_value()}};
  if (!r.rectangle) {
    return out;
  }
  const cv::Size cells = r.rectangle->cells;
  const double side = r.aligned.grid.cellPx * map.frame.resolution;
  out["outline_px"] = pixelsJson(r.rectangle->outline);
  out["outline_m"] = worldsJson(r.rectangle->outline, map);
  out["cells"] = {cells.width, cells.height};
  out["cells_width_m"] = rounded(cells.width * side, 4);
  out["cells_height_m"] = rounded(cells.height * side, 4);
  out["cells_area_m2"] = rounded(static_cast<double>(cells.area()) * side * side, 4);
  return out;
}

json coverageJson(const Map & map, const InspectOptions & options, const Inspection & r)
{
  json rectangles = json::array();
  for (const maps::CoverageRectangle & rect : r.coverage.rectangles) {
    rectangles.push_back(
      {{"outline_px", pixelsJson(rect.outline)},
       {"outline_m", worldsJson(rect.outline, map)},
       {"extent_px", pixelsJson(rect.extent)},
       {"extent_m", worldsJson(rect.extent, map)},
       {"cells", {rect.cells.width, rect.cells.height}}});
  }
  return {
    {"min_cells", options.coverageMinCells},
    {"max_rectangles",
     options.coverageMaxRectangles < 0 ? json() : json(options.coverageMaxRectangles)},
    {"passing_cells", r.coverage.passingCells},
    {"covered_cells", r.coverage.coveredCells},
    {"covered_share", rounded(r.coverage.coveredShare, 4)},
    {"rectangles", rectangles}};
}

json coveragePathJson(const Map & map, const InspectOptions & options, const Inspection & r)
{
  const maps::CoveragePathOptions & asked = *options.coveragePath;
  const maps::CoveragePath & path = *r.coveragePath;
  json posesPx = json::array();
  json posesM = json::array();
  for (const maps::CoveragePose & pose : path.poses) {
    const double imageAngle = maps::yawToImageAngle(map.frame, pose.yaw);
    posesPx.push_back({rounded(pose.pixel.x, 3), rounded(pose.pixel.y, 3), rounded(imageAngle, 4)});
    posesM.push_back(
      {rounded(pose.position.x, 4), rounded(pose.position.y, 4), rounded(pose.yaw, 4)});
  }
  json kinds = json::array();
  for (const maps::CoverageSegmentKind kind : path.segments) {
    kinds.push_back(kind == maps::CoverageSegmentKind::Lane ? "lane" : "transit");
  }
  return {
    {"swath_width_m", asked.swathWidth},
    {"robot_radius_m", asked.robotRadius},
    {"overlap", asked.overlap},
    {"start_m", {rounded(path.start.x, 4), rounded(path.start.y, 4)}},
    {"length_m", rounded(path.pathLength, 3)},
    {"lane_length_m", rounded(path.laneLength, 3)},
    {"transit_length_m", rounded(path.transitLength, 3)},
    {"lanes", path.lanes},
    {"wall_passes", path.wallPasses},
    {"turns", path.turns},
    {"coverable_m2", rounded(path.coverableArea, 3)},
    {"unreachable_free_m2", rounded(path.unreachableArea, 3)},
    {"covered_share", rounded(path.coveredShare, 4)},
    {"stretch", rounded(path.stretch, 3)},
    {"poses_px", posesPx},
    {"poses_m", posesM},
    {"kinds", kinds}};
}

json skeletonJson(const Map & map, const InspectOptions & options, const Inspection & r)
{
  const double cellArea = map.frame.resolution * map.frame.resolution;
  const maps::RegionCleaning & c = r.skeleton.cleaning;
  json out = {
    {"pixels", r.skeleton.image.empty() ? 0 : cv::countNonZero(r.skeleton.image)},
    {"thinning_scale", r.skeleton.scale},
    {"cleaning",
     {{"min_region_area_px", options.minRegionAreaPx},
      {"min_region_area_m2", rounded(static_cast<double>(options.minRegionAreaPx) * cellArea, 6)},
      {"obstacle_specks_removed", c.obstacleSpecks},
      {"free_islands_removed", c.freeIslands},
      {"cells_freed", c.pixelsFreed},
      {"cells_blocked", c.pixelsBlocked}}},
    {"junction_pair_found", r.junctions.size() == 2}};
  if (r.junctions.size() == 2) {
    const cv::Point2d a = r.junctions[0];
    const cv::Point2d b = r.junctions[1];
    out["junction_pair_px"] = {pixelJson(a), pixelJson(b)};
    out["junction_pair_m"] = {worldJson(a, map), worldJson(b, map)};
    out["junction_distance_m"] = rounded(distance(a, b) * map.frame.resolution, 4);
  }
  return out;
}

json boundaryJson(const InspectOptions & options, const Inspection & r)
{
  const std::size_t kept = r.simplified.empty() ? 0 : r.simplified.size() - 1;
  return {
    {"vertices", r.boundary.size()},
    {"simplified_vertices", kept},
    {"epsilon_px", options.epsilonPx},
    {"min_chord_px", options.minChordPx}};
}

json sharpestJson(const Map & map, const Inspection & r)
{
  if (!r.sharpest.found) {
    return {{"found", false}};
  }
  const cv::Point2d p = r.sharpest.point;
  return {
    {"found", true},
    {"px", pixelJson(p)},
    {"m", worldJson(p, map)},
    {"curvature_rad_per_px", rounded(r.sharpest.curvature, 6)},
    {"turn_deg", rounded(degrees(r.sharpest.turnAngle), 3)}};
}

json outputsJson(const ReportContext & context)
{
  auto pathOrNull = [](const std::string & path) { return path.empty() ? json() : json(path); };
  return {
    {"annotated_png", pathOrNull(context.annotatedPng)},
    {"rotated_png", pathOrNull(context.rotatedPng)},
    {"html", pathOrNull(context.html)}};
}

}  // namespace

nlohmann::ordered_json makeReport(
  const Map & map, const InspectOptions & options, const Inspection & inspection,
  const ReportContext & context)
{
  json report;
  report["map"] = mapJson(map, context);
  report["main_direction"] = directionJson(map, inspection);
  report["rotation"] = rotationJson(inspection);
  report["inner_rectangle"] = rectangleJson(map, options, inspection);
  report["coverage"] = coverageJson(map, options, inspection);
  if (options.coveragePath && inspection.coveragePath) {
    report["coverage_path"] = coveragePathJson(map, options, inspection);
  }
  report["skeleton"] = skeletonJson(map, options, inspection);
  report["boundary"] = boundaryJson(options, inspection);
  report["sharpest_vertex"] = sharpestJson(map, inspection);
  report["outputs"] = outputsJson(context);
  return report;
}

std::string formatReport(const nlohmann::ordered_json & report, bool compact)
{
  if (compact) {
    return report.dump(-1, ' ', false, json::error_handler_t::replace);
  }
  // Pretty printing puts every array element on a line of its own; pull the
  // arrays of plain values (no string, array or object inside) onto one line.
  // Text that is not UTF-8 (a file name, say) is written with U+FFFD in
  // place of the bytes JSON cannot carry.
  const std::string pretty = report.dump(2, ' ', false, json::error_handler_t::replace);
  std::string out;
  out.reserve(pretty.size());
  bool inString = false;
  for (std::size_t k = 0; k < pretty.size(); ++k) {
    const char c = pretty[k];
    out.push_back(c);
    if (inString) {
      if (c == '\\') {
        out.push_back(pretty[++k]);
      } else if (c == '"') {
        inString = false;
      }
      continue;
    }
    if (c == '"') {
      inString = true;
      continue;
    }
    const std::size_t end = c == '[' ? pretty.find_first_of("[]{\"", k + 1) : std::string::npos;
    if (end == std::string::npos || pretty[end] != ']') {
      continue;
    }
    // "[\n    1,\n    2\n  ]" -> "[1, 2]"
    for (std::size_t j = k + 1; j < end; ++j) {
      if (pretty[j] == ',') {
        out += ", ";
      } else if (pretty[j] != ' ' && pretty[j] != '\n') {
        out.push_back(pretty[j]);
      }
    }
    out.push_back(']');
    k = end;
  }
  return out;
}

std::string unknownGreyWarning(const Map & map)
{
  const std::int64_t count =
    map.unknownGreyFree.empty() ? 0 : cv::countNonZero(map.unknownGreyFree);
  const auto total = static_cast<std::int64_t>(map.free.total());
  if (10 * count <= total) {
    return {};
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
  char text[480];
  std::snprintf(
    text, sizeof(text),
    "%.1f%% of the map's cells are grey 205, which map savers write for unknown cells, counted "
    "free because %s; they are tinted in the picture; --strict-unknown keeps them blocked",
    100.0 * static_cast<double>(count) / static_cast<double>(total), cause);
  return text;
}

nlohmann::ordered_json timesToJson(const StepTimes & times)
{
  json out = json::object();
  for (const auto & step : times) {
    out[step.first] = rounded(step.second, 2);
  }
  return out;
}

}  // namespace tools
}  // namespace quorvane
