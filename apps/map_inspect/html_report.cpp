#include "html_report.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "draw.hpp"
#include "report_page.hpp"  // kReportPage, made from report_page.html at configure time

namespace quorvane
{
namespace tools
{
namespace
{

using json = nlohmann::ordered_json;

// Greys of the embedded map, as in the annotated PNG, with unknown between.
constexpr unsigned char kFreeGrey = 232;
constexpr unsigned char kUnknownGrey = 150;
constexpr unsigned char kBlockedGrey = 96;

/// Most runs of skeleton pixels drawn as SVG (about 15 bytes each); more are
/// embedded as a PNG.
constexpr std::size_t kMaxSkeletonRuns = 300000;

/// The legend's order, as in the annotated PNG's.
const char * const kLegendOrder[] = {"direction", "inner-rectangle", "coverage", "skeleton",
                                     "junctions", "boundary",        "sharpest", "unknown-free",
                                     "path",      "unreachable"};

[[noreturn]] void badInput(const std::string & what)
{
  CV_Error(cv::Error::StsBadArg, "makeHtmlReport: " + what);
}

/// @p value with at most @p digits decimals, trailing zeros dropped.
std::string num(double value, int digits = 3)
{
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.*f", digits, value);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
      text.pop_back();
    }
  }
  return text == "-0" ? "0" : text;
}

std::string escapeHtml(const std::string & text)
{
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

std::string base64(const std::vector<uchar> & bytes)
{
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (unsigned{bytes[i]} << 16) | (unsigned{bytes[i + 1]} << 8) | bytes[i + 2];
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  if (i + 1 == bytes.size()) {
    const unsigned v = unsigned{bytes[i]} << 16;
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
  } else if (i + 2 == bytes.size()) {
    const unsigned v = (unsigned{bytes[i]} << 16) | (unsigned{bytes[i + 1]} << 8);
    out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
  }
  return out;
}

/// @p image reduced to kHtmlImageMaxSide on its longer side when longer. A
/// two-level mask stays two-level, a reduced pixel being set when any of the
/// pixels it stands for is.
cv::Mat reduced(const cv::Mat & image, bool mask)
{
  const int longer = std::max(image.cols, image.rows);
  if (longer <= kHtmlImageMaxSide) {
    return image;
  }
  const double f = static_cast<double>(kHtmlImageMaxSide) / longer;
  const cv::Size size(
    std::max(1, static_cast<int>(std::lround(image.cols * f))),
    std::max(1, static_cast<int>(std::lround(image.rows * f))));
  cv::Mat out;
  cv::resize(mask ? (image != 0) : image, out, size, 0, 0, cv::INTER_AREA);
  return mask ? cv::Mat(out != 0) : out;
}

/// A data URI of @p image as PNG; a mask is written with one bit per pixel.
std::string pngDataUri(const cv::Mat & image, bool mask)
{
  std::vector<uchar> bytes;
  const std::vector<int> params =
    mask ? std::vector<int>{cv::IMWRITE_PNG_BILEVEL, 1} : std::vector<int>{};
  if (!cv::imencode(".png", mask ? cv::Mat(image != 0) : image, bytes, params)) {
    CV_Error(cv::Error::StsError, "makeHtmlReport: cannot encode an image as PNG");
  }
  return "data:image/png;base64," + base64(bytes);
}

// ------------------------------------------------------------ report reading

bool isPoint(const json & p)
{
  return p.is_array() && p.size() >= 2 && p[0].is_number() && p[1].is_number();
}

cv::Point2d pointOf(const json & p) { return {p[0].get<double>(), p[1].get<double>()}; }

/// The points of @p list ([[x, y], ...]); fails on anything else.
std::vector<cv::Point2d> pointsOf(const json & list, const char * name)
{
  if (!list.is_array()) {
    badInput(std::string(name) + " is not a list of points");
  }
  std::vector<cv::Point2d> out;
  out.reserve(list.size());
  for (const json & p : list) {
    if (!isPoint(p)) {
      badInput(std::string(name) + " holds an entry that is not a point [x, y]");
    }
    out.push_back(pointOf(p));
  }
  return out;
}

/// report[a][b] when both exist, otherwise null.
const json & field(const json & report, const char * a, const char * b)
{
  static const json kNull;
  if (
    !report.is_object() || !report.contains(a) || !report[a].is_object() ||
    !report[a].contains(b)) {
    return kNull;
  }
  return report[a][b];
}

double numberOr(const json & value, double fallback)
{
  return value.is_number() ? value.get<double>() : fallback;
}

// ------------------------------------------------------------ SVG

std::string pointsAttribute(const std::vector<cv::Point2d> & points)
{
  std::string out;
  for (const cv::Point2d & p : points) {
    out += (out.empty() ? "" : " ") + num(p.x) + "," + num(p.y);
  }
  return out;
}

/// A layer's group; @p atCentres shifts the report's pixel positions
/// (integers at pixel centres) onto the SVG's units (pixel u covers [u, u+1)).
std::string layer(const std::string & name, const std::string & content, bool atCentres)
{
  return "<g data-layer=\"" + name + "\" class=\"" + name + "\"" +
         (atCentres ? " transform=\"translate(.5 .5)\"" : "") + ">\n" + content + "</g>\n";
}

/// A mask tinting the map in the colour of class @p name: the PNG is an SVG
/// mask (in a <defs> of its own) over a rectangle filled by the page's style.
std::string maskLayer(const std::string & name, const HtmlMask & mask, cv::Size mapSize)
{
  const cv::Rect area = mask.area.empty() ? cv::Rect(cv::Point(), mapSize) : mask.area;
  const std::string box = "x=\"" + std::to_string(area.x) + "\" y=\"" + std::to_string(area.y) +
                          "\" width=\"" + std::to_string(area.width) + "\" height=\"" +
                          std::to_string(area.height) + "\"";
  return "<defs><mask id=\"mask-" + name + "\" maskUnits=\"userSpaceOnUse\" " + box +
         "><image class=\"mask\" preserveAspectRatio=\"none\" " + box + " href=\"" +
         pngDataUri(reduced(mask.mask, true), true) + "\"/></mask></defs>\n" +
         layer(
           name,
           "<rect class=\"tint " + name + "\" " + box + " mask=\"url(#mask-" + name + ")\"/>\n",
           false);
}

/// The set pixels of @p mask as horizontal runs in map units (@p area as in
/// HtmlMask), each a subpath from the centre of its first pixel to the
/// centre of its last: drawn with square caps one pixel wide, a run covers
/// exactly its pixels. Empty when there are more than @p most runs.
std::string runsPath(const cv::Mat & mask, const cv::Rect & area, std::size_t most)
{
  const double sx = static_cast<double>(area.width) / mask.cols;
  const double sy = static_cast<double>(area.height) / mask.rows;
  std::string d;
  std::size_t runs = 0;
  for (int r = 0; r < mask.rows; ++r) {
    const uchar * row = mask.ptr<uchar>(r);
    for (int c = 0; c < mask.cols;) {
      if (row[c] == 0) {
        ++c;
        continue;
      }
      const int first = c;
      while (c < mask.cols && row[c] != 0) {
        ++c;
      }
      if (++runs > most) {
        return {};
      }
      d += "M" + num(area.x + (first + 0.5) * sx) + " " + num(area.y + (r + 0.5) * sy) + "h" +
           num((c - 1 - first) * sx);
    }
  }
  return d;
}

bool hasPixels(const HtmlMask & mask) { return !mask.mask.empty() && cv::countNonZero(mask.mask); }

/// The coverage blocks' extents, filled, into @p fills and their numbers (from
/// 1, in the report's order) into @p labels, which go on top of everything.
void coverageLayers(const json & rectangles, std::string & fills, std::string & labels)
{
  for (std::size_t i = 0; i < rectangles.size(); ++i) {
    const std::vector<cv::Point2d> extent =
      pointsOf(rectangles[i].value("extent_px", json()), "coverage.rectangles[].extent_px");
    if (extent.size() < 4) {
      badInput("coverage.rectangles[].extent_px has fewer than four corners");
    }
    fills += "<polygon style=\"--i: " + std::to_string(i) + "\" points=\"" +
             pointsAttribute(extent) + "\"/>\n";
    const cv::Point2d centre = (extent[0] + extent[2]) * 0.5;
    const double side = std::min(cv::norm(extent[1] - extent[0]), cv::norm(extent[2] - extent[1]));
    labels += "<text x=\"" + num(centre.x) + "\" y=\"" + num(centre.y) + "\" data-side=\"" +
              num(side, 1) + "\">" + std::to_string(i + 1) + "</text>\n";
  }
}

/// The arrow along the main direction, the annotated PNG's.
std::string directionLayer(const cv::Mat & free, double direction)
{
  const std::optional<DirectionArrow> arrow = directionArrow(free, direction);
  if (!arrow) {
    return {};
  }
  const cv::Point2d & centre = arrow->tail;
  const cv::Point2d & tip = arrow->tip;
  const double length = arrow->length;
  const cv::Point2d along(std::cos(direction), std::sin(direction));
  const cv::Point2d across(-along.y, along.x);
  const cv::Point2d base = tip - 0.08 * length * along;
  const std::string head =
    pointsAttribute({tip, base + 0.045 * length * across, base - 0.045 * length * across});
  const std::string line = "x1=\"" + num(centre.x) + "\" y1=\"" + num(centre.y) + "\" x2=\"" +
                           num(base.x) + "\" y2=\"" + num(base.y) + "\"";
  return "<line class=\"halo\" " + line + "/>\n<polygon class=\"halo\" points=\"" + head +
         "\"/>\n<line class=\"arrow\" " + line + "/>\n<polygon class=\"arrow\" points=\"" + head +
         "\"/>\n";
}

std::string circle(const cv::Point2d & p, const char * cls)
{
  return "<circle class=\"" + std::string(cls) + "\" cx=\"" + num(p.x) + "\" cy=\"" + num(p.y) +
         "\"/>\n";
}

/// A path of zero-length pieces: one dot per point, drawn by its line cap.
std::string dots(const std::vector<cv::Point2d> & points, const char * cls)
{
  std::string d;
  for (const cv::Point2d & p : points) {
    d += "M" + num(p.x) + " " + num(p.y) + "h0";
  }
  return "<path class=\"" + std::string(cls) + "\" d=\"" + d + "\"/>\n";
}

std::string junctionsLayer(const std::vector<cv::Point2d> & junctions)
{
  std::string out;
  for (std::size_t i = 0; i < junctions.size(); ++i) {
    out += circle(junctions[i], "junction");
    out += "<text x=\"" + num(junctions[i].x) + "\" y=\"" + num(junctions[i].y) + "\">J" +
           std::to_string(i + 1) + "</text>\n";
  }
  return out;
}

std::string boundaryLayer(const std::vector<cv::Point> & closed)
{
  const std::vector<cv::Point2d> points(closed.begin(), closed.end());
  return "<polyline points=\"" + pointsAttribute(points) + "\"/>\n" +
         dots(std::vector<cv::Point2d>(points.begin(), points.end() - 1), "vertices");
}

/// How many poses and segments of each kind the coverage path has.
struct PathCounts
{
  std::size_t poses = 0;
  std::size_t lanes = 0;
  std::size_t transits = 0;
};

/// The coverage path: lanes and transits, each a path of its runs of
/// segments, then the start and end marks.
std::string pathLayer(const json & section, PathCounts & counts)
{
  const json & poses = section.contains("poses_px") ? section["poses_px"] : json();
  const json & kinds = section.contains("kinds") ? section["kinds"] : json();
  const std::vector<cv::Point2d> points = pointsOf(poses, "coverage_path.poses_px");
  if (!kinds.is_array() || kinds.size() + 1 != std::max<std::size_t>(points.size(), 1)) {
    badInput("coverage_path.kinds must hold one entry per segment (poses - 1)");
  }
  counts.poses = points.size();
  std::string d[2];  // lanes, transits
  std::string previous;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    const std::string kind = kinds[i].is_string() ? kinds[i].get<std::string>() : "";
    if (kind != "lane" && kind != "transit") {
      badInput("coverage_path.kinds holds \"" + kinds[i].dump() + "\", not lane or transit");
    }
    std::string & out = d[kind == "lane" ? 0 : 1];
    ++(kind == "lane" ? counts.lanes : counts.transits);
    if (kind != previous) {
      out += "M" + num(points[i].x) + " " + num(points[i].y);
    }
    out += "L" + num(points[i + 1].x) + " " + num(points[i + 1].y);
    previous = kind;
  }
  if (points.empty()) {
    return {};
  }
  return "<path class=\"lane\" d=\"" + d[0] + "\"/>\n<path class=\"transit\" d=\"" + d[1] +
         "\"/>\n" + dots({points.back()}, "end-halo") + dots({points.back()}, "end") +
         circle(points.front(), "start");
}

// ------------------------------------------------------------ legend, figures

std::string legendEntry(const std::string & name, const std::string & text)
{
  return "<label><input type=\"checkbox\" data-layer=\"" + name + "\" checked><i class=\"sw sw-" +
         name + "\"></i>" + escapeHtml(text) + "</label>\n";
}

std::string row(const std::string & name, const std::string & value)
{
  return "<tr><th>" + escapeHtml(name) + "</th><td>" + escapeHtml(value) + "</td></tr>\n";
}

std::string scalarText(const json & value)
{
  if (value.is_string()) {
    return value.get<std::string>();
  }
  if (value.is_number_float()) {
    return num(value.get<double>(), 4);
  }
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

/// "(x, y)" of a point, or "?" for anything else.
std::string pointText(const json & p)
{
  return isPoint(p) ? "(" + num(p[0].get<double>(), 3) + ", " + num(p[1].get<double>(), 3) + ")"
                    : std::string("?");
}

double degrees(double radians) { return radians * 180.0 / CV_PI; }

/// The page's main figures, one table row each, for the sections present.
std::string figures(const json & report, const PathCounts & path)
{
  const json & map = report["map"];
  std::string out = row(
    "Map", std::to_string(map["width_px"].get<int>()) + " x " +
             std::to_string(map["height_px"].get<int>()) + " px, " +
             num(map["resolution_m"].get<double>(), 4) + " m/px");
  const json & origin = map["origin"];
  out += row(
    "Origin", num(origin[0].get<double>(), 4) + ", " + num(origin[1].get<double>(), 4) +
                " m, yaw " + num(origin[2].get<double>(), 4) + " rad");
  if (map.contains("free_cells")) {
    out += row("Free cells", scalarText(map["free_cells"]));
  }
  if (numberOr(field(report, "map", "unknown_grey_counted_free"), 0.0) > 0.0) {
    out += row("Grey counted free", scalarText(map["unknown_grey_counted_free"]) + " cells");
  }
  const json & imageDeg = field(report, "main_direction", "image_deg");
  if (imageDeg.is_number()) {
    out += row(
      "Main direction", num(imageDeg.get<double>(), 2) + " deg in the image, " +
                          num(numberOr(field(report, "main_direction", "map_deg"), 0.0), 2) +
                          " deg in the map");
  }
  const json & found = field(report, "inner_rectangle", "found");
  if (found.is_boolean()) {
    const json & r = report["inner_rectangle"];
    out += row(
      "Inner rectangle",
      !found.get<bool>() || !r.contains("cells")
        ? std::string("none")
        : scalarText(r["cells"][0]) + " x " + scalarText(r["cells"][1]) + " cells of " +
            scalarText(r["cell_size_m"]) + " m: " + scalarText(r["cells_width_m"]) + " x " +
            scalarText(r["cells_height_m"]) + " m, " + scalarText(r["cells_area_m2"]) + " m2");
  }
  const json & rectangles = field(report, "coverage", "rectangles");
  if (rectangles.is_array()) {
    out += row(
      "Coverage", std::to_string(rectangles.size()) + " blocks, " +
                    num(100.0 * numberOr(field(report, "coverage", "covered_share"), 0.0), 2) +
                    " % of " + scalarText(field(report, "coverage", "passing_cells")) +
                    " passing cells");
  }
  const json & pixels = field(report, "skeleton", "pixels");
  if (pixels.is_number()) {
    out += row(
      "Skeleton", scalarText(pixels) +
                    " px, thinned at 1:" + scalarText(field(report, "skeleton", "thinning_scale")));
    const json & distance = field(report, "skeleton", "junction_distance_m");
    out +=
      row("Junctions", distance.is_number() ? num(distance.get<double>(), 2) + " m apart" : "none");
  }
  const json & kept = field(report, "boundary", "simplified_vertices");
  if (kept.is_number()) {
    out += row(
      "Boundary", scalarText(kept) + " of " + scalarText(field(report, "boundary", "vertices")) +
                    " vertices kept");
  }
  const json & turn = field(report, "sharpest_vertex", "turn_deg");
  if (field(report, "sharpest_vertex", "found").is_boolean()) {
    out += row(
      "Sharpest vertex", turn.is_number()
                           ? "turn " + num(turn.get<double>(), 1) + " deg at " +
                               pointText(field(report, "sharpest_vertex", "m")) + " m"
                           : std::string("none"));
  }
  if (report.contains("coverage_path") && report["coverage_path"].is_object()) {
    out += row(
      "Coverage path", std::to_string(path.poses) + " poses, " + std::to_string(path.lanes) +
                         " lane and " + std::to_string(path.transits) + " transit segments");
    for (const auto & item : report["coverage_path"].items()) {
      if (!item.value().is_structured()) {
        out += row("  " + item.key(), scalarText(item.value()));
      }
    }
  }
  const json & total = field(report, "timing_ms", "total");
  if (total.is_number()) {
    out += row("Time", num(total.get<double>(), 1) + " ms");
  }
  return out;
}

// ------------------------------------------------------------ the page

/// @p page with every {{NAME}} replaced by its value; the values are not
/// searched again. Fails on a name without a value.
std::string fill(const std::string & page, const std::map<std::string, std::string> & values)
{
  std::string out;
  std::size_t at = 0;
  while (true) {
    const std::size_t open = page.find("{{", at);
    if (open == std::string::npos) {
      break;
    }
    const std::size_t close = page.find("}}", open + 2);
    if (close == std::string::npos) {
      break;
    }
    const auto value = values.find(page.substr(open + 2, close - open - 2));
    if (value == values.end()) {
      CV_Error(
        cv::Error::StsError, "report page: no value for " + page.substr(open, close + 2 - open));
    }
    out.append(page, at, open - at);
    out += value->second;
    at = close + 2;
  }
  out.append(page, at, std::string::npos);
  return out;
}

void checkMask(const HtmlMask & mask, cv::Size mapSize, const char * name)
{
  if (mask.mask.empty()) {
    return;
  }
  if (mask.mask.type() != CV_8UC1) {
    badInput(std::string(name) + " is not CV_8UC1");
  }
  if (mask.area.empty() && mask.mask.size() != mapSize) {
    badInput(std::string(name) + " covers the whole map but is not of the map's size");
  }
}

cv::Size checkedMapSize(const json & report, const HtmlLayers & layers)
{
  const json & width = field(report, "map", "width_px");
  const json & height = field(report, "map", "height_px");
  const json & origin = field(report, "map", "origin");
  if (
    !width.is_number_integer() || !height.is_number_integer() ||
    !field(report, "map", "resolution_m").is_number() || !origin.is_array() || origin.size() != 3 ||
    !origin[0].is_number() || !origin[1].is_number() || !origin[2].is_number()) {
    badInput("the report lacks map.width_px, height_px, resolution_m or origin [x, y, yaw]");
  }
  const cv::Size size(width.get<int>(), height.get<int>());
  if (layers.free.empty() || layers.free.type() != CV_8UC1 || layers.free.size() != size) {
    badInput("the free cells are not a CV_8UC1 image of the report's map size");
  }
  if (
    !layers.unknown.empty() &&
    (layers.unknown.type() != CV_8UC1 || layers.unknown.size() != size)) {
    badInput("the unknown cells are not a CV_8UC1 image of the map's size");
  }
  checkMask(layers.skeleton, size, "the skeleton");
  checkMask(layers.unknownGreyFree, size, "the grey counted free");
  checkMask(layers.unreachable, size, "the unreachable area");
  return size;
}

/// The SVG's content as it is made, and the legend's entries by layer.
struct Page
{
  cv::Size size;
  std::string body;
  std::map<std::string, std::string> legend;

  void add(
    const std::string & name, const std::string & content, bool atCentres, const std::string & text)
  {
    body += layer(name, content, atCentres);
    legend[name] = legendEntry(name, text);
  }
  void addMask(const std::string & name, const HtmlMask & mask, const std::string & text)
  {
    body += maskLayer(name, mask, size);
    legend[name] = legendEntry(name, text);
  }
};

/// Every layer the report and @p layers hold, bottom to top: tints and
/// fills, then lines, then marks, then the coverage blocks' numbers.
void addLayers(Page & page, const json & report, const HtmlLayers & layers, PathCounts & path)
{
  if (hasPixels(layers.unknownGreyFree)) {
    page.addMask("unknown-free", layers.unknownGreyFree, "unknown grey counted free");
  }
  if (hasPixels(layers.unreachable)) {
    page.addMask("unreachable", layers.unreachable, "free area the path cannot reach");
  }
  const json & rectangles = field(report, "coverage", "rectangles");
  std::string coverageLabels;
  if (rectangles.is_array() && !rectangles.empty()) {
    std::string fills;
    coverageLayers(rectangles, fills, coverageLabels);
    page.add(
      "coverage", fills, true,
      std::to_string(rectangles.size()) + " coverage blocks, " +
        num(100.0 * numberOr(field(report, "coverage", "covered_share"), 0.0), 1) +
        " % of the passing cells");
  }
  if (hasPixels(layers.skeleton)) {
    // Runs of pixels, drawn never thinner than a screen pixel, keep lines a
    // pixel wide visible when zoomed out; too many of them go as a PNG.
    const HtmlMask & skeleton = layers.skeleton;
    const cv::Rect area = skeleton.area.empty() ? cv::Rect(cv::Point(), page.size) : skeleton.area;
    const std::string runs = runsPath(skeleton.mask, area, kMaxSkeletonRuns);
    const std::string text = "skeleton of the free space";
    if (runs.empty()) {
      page.addMask("skeleton", skeleton, text);
    } else {
      page.add(
        "skeleton",
        "<path style=\"--cell: " + num(static_cast<double>(area.height) / skeleton.mask.rows) +
          "\" d=\"" + runs + "\"/>\n",
        false, text);
    }
  }
  if (layers.simplifiedBoundary.size() >= 2) {
    page.add(
      "boundary", boundaryLayer(layers.simplifiedBoundary), true,
      "simplified boundary, " + std::to_string(layers.simplifiedBoundary.size() - 1) + " vertices");
  }
  const json & outline = field(report, "inner_rectangle", "outline_px");
  if (!outline.is_null()) {
    page.add(
      "inner-rectangle",
      "<polygon points=\"" + pointsAttribute(pointsOf(outline, "inner_rectangle.outline_px")) +
        "\"/>\n",
      true,
      "inner rectangle, " + num(numberOr(field(report, "inner_rectangle", "cell_size_m"), 0.0)) +
        " m cells");
  }
  if (report.contains("coverage_path") && report["coverage_path"].is_object()) {
    page.add(
      "path", pathLayer(report["coverage_path"], path), true,
      "coverage path: lanes, transits dashed, start (dot) and end (square)");
  }
  const json & direction = field(report, "main_direction", "image_rad");
  if (direction.is_number()) {
    page.add(
      "direction", directionLayer(layers.free, direction.get<double>()), true,
      "main direction " + num(degrees(direction.get<double>()), 1) + " deg");
  }
  const json & junctions = field(report, "skeleton", "junction_pair_px");
  if (!junctions.is_null()) {
    page.add(
      "junctions", junctionsLayer(pointsOf(junctions, "skeleton.junction_pair_px")), true,
      "farthest junctions J1, J2");
  }
  const json & sharpest = field(report, "sharpest_vertex", "px");
  if (!sharpest.is_null()) {
    if (!isPoint(sharpest)) {
      badInput("sharpest_vertex.px is not a point [x, y]");
    }
    page.add(
      "sharpest", circle(pointOf(sharpest), "ring") + circle(pointOf(sharpest), "dot"), true,
      "sharpest vertex, turn " +
        num(numberOr(field(report, "sharpest_vertex", "turn_deg"), 0.0), 1) + " deg");
  }
  if (!coverageLabels.empty()) {
    page.body += layer("coverage", coverageLabels, true);
  }
}

}  // namespace

std::string makeHtmlReport(const nlohmann::ordered_json & report, const HtmlLayers & layers)
{
  const cv::Size size = checkedMapSize(report, layers);
  const json & map = report["map"];
  cv::Mat grey(size, CV_8UC1, cv::Scalar(kBlockedGrey));
  if (!layers.unknown.empty()) {
    grey.setTo(kUnknownGrey, layers.unknown != 0);
  }
  grey.setTo(kFreeGrey, layers.free == 255);

  Page page;
  page.size = size;
  page.body = "<image class=\"base\" x=\"0\" y=\"0\" width=\"" + std::to_string(size.width) +
              "\" height=\"" + std::to_string(size.height) +
              "\" preserveAspectRatio=\"none\" href=\"" + pngDataUri(reduced(grey, false), false) +
              "\"/>\n";
  PathCounts path;
  addLayers(page, report, layers, path);

  const std::string source =
    map.contains("source") && map["source"].is_string() ? map["source"].get<std::string>() : "";
  const json & origin = map["origin"];
  std::string legend;
  for (const char * name : kLegendOrder) {
    const auto entry = page.legend.find(name);
    legend += entry == page.legend.end() ? "" : entry->second;
  }
  return fill(
    kReportPage,
    {{"TITLE", escapeHtml("Map inspection: " + source)},
     {"SOURCE", escapeHtml(source)},
     {"WIDTH", std::to_string(size.width)},
     {"HEIGHT", std::to_string(size.height)},
     {"RESOLUTION", num(map["resolution_m"].get<double>(), 9)},
     {"ORIGIN", num(origin[0].get<double>(), 9) + " " + num(origin[1].get<double>(), 9) + " " +
                  num(origin[2].get<double>(), 9)},
     {"LAYERS", page.body},
     {"LEGEND", legend},
     {"FIGURES", figures(report, path)},
     {"REPORT", escapeHtml(report.dump(2, ' ', false, json::error_handler_t::replace))}});
}

}  // namespace tools
}  // namespace quorvane
