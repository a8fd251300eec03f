// The HTML report: the images it embeds, its refusals, and the page as
// headless Chromium draws it (skipped where no Chromium is installed).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "html_report.hpp"
#include "inspect.hpp"
#include "quorvane_nav2_maps/map.hpp"
#include "report.hpp"
#include "sample_floor_plan.hpp"
#include "scratch_dir.hpp"

namespace
{

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using quorvane::tools::HtmlLayers;
using quorvane::tools::makeHtmlReport;

/// The smallest report the page needs: the map's size and frame.
json mapOnlyReport(cv::Size size)
{
  return {
    {"map",
     {{"width_px", size.width},
      {"height_px", size.height},
      {"resolution_m", 0.05},
      {"origin", {0.0, 0.0, 0.0}}}}};
}

/// The PNG images of every data URI of @p page, decoded, in page order.
std::vector<cv::Mat> embeddedImages(const std::string & page)
{
  static const std::string kDigits =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<cv::Mat> images;
  const std::regex uri("data:image/png;base64,([A-Za-z0-9+/]*)(=*)\"");
  for (auto it = std::sregex_iterator(page.begin(), page.end(), uri); it != std::sregex_iterator();
       ++it) {
    // Four digits of six bits make three bytes; padding drops the last ones.
    const std::string digits = (*it)[1].str() + std::string((*it)[2].length(), 'A');
    std::vector<uchar> bytes;
    for (std::size_t i = 0; i + 3 < digits.size(); i += 4) {
      unsigned v = 0;
      for (std::size_t k = 0; k < 4; ++k) {
        v = (v << 6) | static_cast<unsigned>(kDigits.find(digits[i + k]));
      }
      bytes.insert(
        bytes.end(),
        {static_cast<uchar>(v >> 16), static_cast<uchar>(v >> 8), static_cast<uchar>(v)});
    }
    bytes.resize(bytes.size() - static_cast<std::size_t>((*it)[2].length()));
    images.push_back(cv::imdecode(bytes, cv::IMREAD_UNCHANGED));
  }
  return images;
}

TEST(HtmlReport, EmbedsTheMapInGreyAtFullResolutionUpToTheLimitAndMasksWithEveryPixelKept)
{
  // A small map: free cells light grey (232), unknown mid grey (150), the
  // rest dark (96), pixel for pixel.
  HtmlLayers small;
  small.free = cv::Mat::zeros(30, 40, CV_8UC1);
  small.free(cv::Rect(3, 4, 20, 10)).setTo(255);
  small.unknown = cv::Mat::zeros(30, 40, CV_8UC1);
  small.unknown(cv::Rect(30, 0, 10, 30)).setTo(255);
  const std::vector<cv::Mat> images =
    embeddedImages(makeHtmlReport(mapOnlyReport({40, 30}), small));
  ASSERT_EQ(images.size(), 1u);
  ASSERT_EQ(images[0].type(), CV_8UC1);
  cv::Mat expected(30, 40, CV_8UC1, cv::Scalar(96));
  expected(cv::Rect(30, 0, 10, 30)).setTo(150);
  expected(cv::Rect(3, 4, 20, 10)).setTo(232);
  EXPECT_EQ(cv::countNonZero(images[0] != expected), 0);

  // A long map is reduced to 4096 pixels on its longer side; a single pixel
  // of a mask survives the reduction.
  HtmlLayers wide;
  wide.free = cv::Mat(100, 5000, CV_8UC1, cv::Scalar(255));
  wide.unknownGreyFree.mask = cv::Mat::zeros(100, 5000, CV_8UC1);
  wide.unknownGreyFree.mask.at<uchar>(57, 3333) = 255;
  const std::vector<cv::Mat> reduced =
    embeddedImages(makeHtmlReport(mapOnlyReport({5000, 100}), wide));
  ASSERT_EQ(reduced.size(), 2u);
  EXPECT_EQ(reduced[0].size(), cv::Size(4096, 82));  // 100 * 4096 / 5000, rounded
  EXPECT_EQ(reduced[1].size(), cv::Size(4096, 82));
  std::vector<cv::Point> set;
  cv::findNonZero(reduced[1], set);
  ASSERT_GE(set.size(), 1u);
  EXPECT_LE(set.size(), 4u);  // the reduced pixels it overlaps
  for (const cv::Point & p : set) {
    EXPECT_NEAR(p.x, 3333 * 4096.0 / 5000, 1.0);
    EXPECT_NEAR(p.y, 57 * 82.0 / 100, 1.0);
  }
}

TEST(HtmlReport, RefusesInputThatDoesNotFit)
{
  const cv::Mat free(30, 40, CV_8UC1, cv::Scalar(255));
  const auto refused = [](const json & report, const HtmlLayers & layers) {
    try {
      makeHtmlReport(report, layers);
    } catch (const cv::Exception & e) {
      return e.code == cv::Error::StsBadArg;
    }
    return false;
  };
  HtmlLayers layers;
  EXPECT_TRUE(refused(mapOnlyReport({40, 30}), layers));  // no free cells
  layers.free = free;
  EXPECT_TRUE(refused(mapOnlyReport({40, 31}), layers));  // another size
  EXPECT_TRUE(refused(json{{"map", {{"width_px", 40}, {"height_px", 30}}}}, layers));
  HtmlLayers badMask = layers;
  badMask.unreachable.mask = cv::Mat::zeros(30, 41, CV_8UC1);
  EXPECT_TRUE(refused(mapOnlyReport({40, 30}), badMask));
  json path = mapOnlyReport({40, 30});
  path["coverage_path"] = {{"poses_px", {{1, 1, 0}, {5, 1, 0}, {5, 9, 0}}}, {"kinds", {"lane"}}};
  EXPECT_TRUE(refused(path, layers));  // a kind short
  path["coverage_path"]["kinds"] = {"lane", "drive"};
  EXPECT_TRUE(refused(path, layers));
  path["coverage_path"]["kinds"] = {"lane", "transit"};
  EXPECT_FALSE(refused(path, layers));
}

// ---------------------------------------------------------------- in Chromium

/// Chromium's path, or empty when it is not installed.
std::string findChromium()
{
  const char * path = std::getenv("PATH");
  std::stringstream folders(path == nullptr ? "" : path);
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    for (const char * name : {"chromium", "chromium-browser"}) {
      const fs::path candidate = fs::path(folder) / name;
      std::error_code ec;
      if (!folder.empty() && fs::is_regular_file(candidate, ec)) {
        return candidate.string();
      }
    }
  }
  return {};
}

/// Screenshot of @p page (its URL fragment @p fragment) in a window of
/// @p window, with a fresh profile. A run takes about two seconds; one
/// that hangs is stopped after 45.
cv::Mat screenshot(
  const std::string & chromium, const std::string & page, const std::string & fragment,
  cv::Size window, const quorvane::test::ScratchDir & dir, const std::string & name)
{
  const std::string png = dir.file(name + ".png");
  const std::string command =
    "timeout -k 5 45 '" + chromium +
    "' --headless=new --no-sandbox --disable-gpu --disable-background-networking"
    " --disable-component-update --disable-sync --no-first-run --hide-scrollbars"
    " --force-device-scale-factor=1 --user-data-dir='" +
    dir.file("profile-" + name) + "' --screenshot='" + png +
    "' --window-size=" + std::to_string(window.width) + "," + std::to_string(window.height) +
    " 'file://" + page + "#" + fragment + "' >'" + dir.file(name + ".log") + "' 2>&1";
  const int status = std::system(command.c_str());
  cv::Mat shot = cv::imread(png, cv::IMREAD_COLOR);
  EXPECT_FALSE(shot.empty()) << "no screenshot, status " << status << ": " << command;
  return shot;
}

cv::Point2d pointOf(const json & p) { return {p[0].get<double>(), p[1].get<double>()}; }

std::vector<cv::Point> pixelsOf(const std::vector<cv::Point2d> & points)
{
  std::vector<cv::Point> out;
  out.reserve(points.size());
  for (const cv::Point2d & p : points) {
    out.emplace_back(cvRound(p.x), cvRound(p.y));
  }
  return out;
}

/// Points every @p step pixels along the polyline @p points.
std::vector<cv::Point2d> along(const std::vector<cv::Point2d> & points, double step)
{
  std::vector<cv::Point2d> out;
  for (std::size_t i = 0; i + 1 < points.size(); ++i) {
    const double length = cv::norm(points[i + 1] - points[i]);
    const int count = static_cast<int>(std::ceil(length / step));
    for (int k = 0; k < count; ++k) {
      out.push_back(points[i] + (points[i + 1] - points[i]) * (k * step / length));
    }
  }
  return out;
}

/// A colour of a layer, from report_page.html's :root (the ones the
/// annotated PNG shares, as in its legend): BGR.
struct Colour
{
  std::string name;
  cv::Vec3b bgr;
};

/// Whether @p pixel shows @p colour: the same hue (mixing with the map's
/// greys keeps it) and some saturation, or, for a near-black colour, dark.
bool shows(const cv::Vec3b & pixel, const cv::Vec3b & colour)
{
  cv::Mat both(1, 2, CV_8UC3);
  both.at<cv::Vec3b>(0, 0) = pixel;
  both.at<cv::Vec3b>(0, 1) = colour;
  cv::Mat hsv;
  cv::cvtColor(both, hsv, cv::COLOR_BGR2HSV);
  const cv::Vec3b p = hsv.at<cv::Vec3b>(0, 0);
  const cv::Vec3b c = hsv.at<cv::Vec3b>(0, 1);
  if (c[2] < 60) {
    return p[2] < 70;
  }
  const int hue = std::abs(int{p[0]} - int{c[0]});
  return std::min(hue, 180 - hue) <= 6 && p[1] >= 40;
}

/// What a layer should look like and where it should be.
struct LayerCase
{
  std::string name;
  std::vector<Colour> colours;      //!< each shown by some pixel of the layer
  cv::Mat region;                   //!< CV_8UC1: the layer draws only here
  std::vector<cv::Point2d> probes;  //!< the layer draws near each of these
  int probeRadius;                  //!< how near, in pixels
};

/// The coverage block colours of the annotated PNG: hues a golden-ratio
/// step apart (OpenCV's HSV, saturation 170, value 235).
cv::Vec3b blockColour(std::size_t i)
{
  const double hue = std::fmod(static_cast<double>(i) * 0.6180339887, 1.0) * 180.0;
  cv::Mat hsv(1, 1, CV_8UC3, cv::Scalar(hue, 170, 235));
  cv::Mat bgr;
  cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
  return bgr.at<cv::Vec3b>(0, 0);
}

TEST(HtmlPageInChromium, EachLayerIsDrawnWhereTheReportPlacesItAndGoesWhenSwitchedOff)
{
  const std::string chromium = findChromium();
  if (chromium.empty()) {
    GTEST_SKIP() << "no chromium on PATH";
  }
  // The sample, inspected, with a coverage path and masks made up for it.
  const cv::Size size(640, 480);
  quorvane::maps::Map map;
  map.free = quorvane::tools::makeSampleFloorPlan(size, 17.0, 1);
  map.unknown = cv::Mat::zeros(size, CV_8UC1);
  map.frame.resolution = 0.05;
  map.frame.width = size.width;
  map.frame.height = size.height;
  quorvane::tools::InspectOptions options;
  const quorvane::tools::Inspection inspection = quorvane::tools::inspectMap(map.free, options);
  ASSERT_TRUE(inspection.rectangle);
  ASSERT_EQ(inspection.junctions.size(), 2u);
  ASSERT_TRUE(inspection.sharpest.found);
  json report = quorvane::tools::makeReport(map, options, inspection, {"sample", "", "", "p.html"});

  // Three lanes across the inner rectangle, back and forth, joined by
  // transits, then a transit to the middle of the second coverage block.
  const json & outline = report["inner_rectangle"]["outline_px"];
  const cv::Point2d c0 = pointOf(outline[0]);
  const cv::Point2d c1 = pointOf(outline[1]);
  const cv::Point2d c3 = pointOf(outline[3]);
  std::vector<cv::Point2d> poses;
  bool forth = true;
  for (const double across : {0.25, 0.5, 0.75}) {
    const cv::Point2d a = c0 + (c1 - c0) * 0.1 + (c3 - c0) * across;
    const cv::Point2d b = c0 + (c1 - c0) * 0.9 + (c3 - c0) * across;
    poses.push_back(forth ? a : b);
    poses.push_back(forth ? b : a);
    forth = !forth;
  }
  const json & second = report["coverage"]["rectangles"][1]["extent_px"];
  poses.push_back((pointOf(second[0]) + pointOf(second[2])) * 0.5);
  json path = {
    {"poses_px", json::array()},
    {"kinds", {"lane", "transit", "lane", "transit", "lane", "transit"}}};
  for (const cv::Point2d & p : poses) {
    path["poses_px"].push_back({p.x, p.y, 0.0});
  }
  report["coverage_path"] = path;

  const cv::Rect box = cv::boundingRect(map.free == 255);
  HtmlLayers layers;
  layers.free = map.free;
  layers.unknown = map.unknown;
  const quorvane::tools::Skeleton & skeleton = inspection.skeleton;
  layers.skeleton = {skeleton.image, {skeleton.offset, skeleton.image.size() * skeleton.scale}};
  layers.unknownGreyFree.mask = map.free & [&] {
    cv::Mat m = cv::Mat::zeros(size, CV_8UC1);
    m(cv::Rect(box.x, box.y, box.width / 4, box.height)).setTo(255);
    return m;
  }();
  layers.unreachable.mask = map.free & [&] {
    cv::Mat m = cv::Mat::zeros(size, CV_8UC1);
    m(cv::Rect(box.x + box.width * 3 / 4, box.y, box.width / 4, box.height / 2)).setTo(255);
    return m;
  }();
  layers.simplifiedBoundary = inspection.simplified;
  quorvane::test::ScratchDir dir;
  const std::string page = dir.write("page.html", makeHtmlReport(report, layers));

  // Where each layer belongs, drawn from the report (and the masks given).
  const auto blank = [&] { return cv::Mat(cv::Mat::zeros(size, CV_8UC1)); };
  const auto polyline = [&](const std::vector<cv::Point2d> & points, int thickness, bool closed) {
    cv::Mat m = blank();
    cv::polylines(m, pixelsOf(points), closed, cv::Scalar(255), thickness);
    return m;
  };
  const auto discs = [&](const std::vector<cv::Point2d> & centres, int radius) {
    cv::Mat m = blank();
    for (const cv::Point2d & c : centres) {
      cv::circle(m, pixelsOf({c})[0], radius, cv::Scalar(255), cv::FILLED);
    }
    return m;
  };
  const auto grown = [](const cv::Mat & mask, int by) {
    cv::Mat out;
    cv::dilate(mask, out, cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * by + 1, 2 * by + 1}));
    return out;
  };
  const auto maskProbes = [](const cv::Mat & mask, int every) {
    cv::Mat inner;
    cv::erode(mask, inner, cv::Mat(), cv::Point(-1, -1), 2);
    std::vector<cv::Point> pixels;
    cv::findNonZero(inner, pixels);
    std::vector<cv::Point2d> out;
    for (std::size_t i = 0; i < pixels.size(); i += static_cast<std::size_t>(every)) {
      out.emplace_back(pixels[i]);
    }
    return out;
  };

  std::vector<cv::Point2d> rectangle;
  for (const json & p : outline) {
    rectangle.push_back(pointOf(p));
  }
  cv::Mat blocks = blank();
  std::vector<cv::Point2d> blockCentres;
  for (const json & r : report["coverage"]["rectangles"]) {
    cv::fillConvexPoly(
      blocks,
      pixelsOf(
        {pointOf(r["extent_px"][0]), pointOf(r["extent_px"][1]), pointOf(r["extent_px"][2]),
         pointOf(r["extent_px"][3])}),
      cv::Scalar(255));
    blockCentres.push_back((pointOf(r["extent_px"][0]) + pointOf(r["extent_px"][2])) * 0.5);
  }
  cv::Mat skeletonPixels = blank();
  std::vector<cv::Point> thinned;
  cv::findNonZero(skeleton.image, thinned);
  for (const cv::Point & p : thinned) {
    skeletonPixels.at<uchar>(skeleton.toMap(p)) = 255;
  }
  // The arrow: from the middle of the free cells' box, 0.3 of its shorter
  // side long, along the reported direction (as in the annotated PNG).
  const double direction = report["main_direction"]["image_rad"].get<double>();
  const cv::Point2d centre(box.x + (box.width - 1) / 2.0, box.y + (box.height - 1) / 2.0);
  const double length = 0.3 * std::min(box.width, box.height);
  const cv::Point2d tip = centre + length * cv::Point2d(std::cos(direction), std::sin(direction));
  const std::vector<cv::Point2d> junctions = {
    pointOf(report["skeleton"]["junction_pair_px"][0]),
    pointOf(report["skeleton"]["junction_pair_px"][1])};
  const cv::Point2d sharpest = pointOf(report["sharpest_vertex"]["px"]);
  const std::vector<cv::Point2d> boundary(
    inspection.simplified.begin(), inspection.simplified.end());

  std::vector<Colour> blockColours;
  for (std::size_t i = 0; i < 5; ++i) {
    blockColours.push_back({"block " + std::to_string(i + 1), blockColour(i)});
  }
  const std::vector<LayerCase> cases = {
    {"direction",
     {{"arrow", {25, 25, 25}}},
     polyline({centre, tip}, 2 * 12, false),
     along({centre, tip * 0.9 + centre * 0.1}, 5.0),
     1},
    {"inner-rectangle",
     {{"rectangle", {20, 165, 20}}},
     polyline(rectangle, 9, true),
     along(rectangle, 6.0),
     2},
    {"coverage", blockColours, grown(blocks, 2), blockCentres, 2},
    {"skeleton",
     {{"skeleton", {225, 125, 20}}},
     grown(skeletonPixels, 2),
     maskProbes(grown(skeletonPixels, 2), 23),
     2},
    {"junctions", {{"junction", {220, 0, 220}}}, discs(junctions, 36), junctions, 3},
    {"boundary",
     {{"boundary", {0, 140, 255}}, {"vertex", {0, 80, 190}}},
     polyline(boundary, 9, false),
     along(boundary, 6.0),
     2},
    {"sharpest", {{"sharpest", {0, 0, 225}}}, discs({sharpest}, 16), {sharpest}, 12},
    {"unknown-free",
     {{"grey counted free", {120, 205, 250}}},
     grown(layers.unknownGreyFree.mask, 1),
     maskProbes(layers.unknownGreyFree.mask, 97),
     0},
    {"path",
     {{"lane", {160, 42, 42}},
      {"transit", {140, 160, 0}},
      {"start", {80, 176, 0}},
      {"end", {106, 16, 176}}},
     polyline(poses, 2 * 11, false),
     along(poses, 5.0),
     3},
    {"unreachable",
     {{"unreachable", {60, 48, 224}}},
     grown(layers.unreachable.mask, 1),
     maskProbes(layers.unreachable.mask, 97),
     0},
  };

  // Every layer off: the map alone, pixel for pixel in the window.
  std::string allNames;
  for (const LayerCase & c : cases) {
    allNames += (allNames.empty() ? "" : ",") + c.name;
  }
  const cv::Mat none = screenshot(chromium, page, "panel=0&off=" + allNames, size, dir, "none");
  ASSERT_EQ(none.size(), size);
  cv::Mat grey(size, CV_8UC1, cv::Scalar(96));
  grey.setTo(232, map.free == 255);
  cv::Mat noneGrey;
  cv::cvtColor(none, noneGrey, cv::COLOR_BGR2GRAY);
  cv::Mat off;
  cv::absdiff(noneGrey, grey, off);
  EXPECT_LT(cv::countNonZero(off > 8), size.area() / 1000) << "the map is not drawn 1:1";

  for (const LayerCase & c : cases) {
    SCOPED_TRACE(c.name);
    // Only this layer on: every other one switched off by its checkbox.
    std::string others;
    for (const LayerCase & o : cases) {
      others += o.name == c.name ? "" : (others.empty() ? "" : ",") + o.name;
    }
    const cv::Mat shot = screenshot(chromium, page, "panel=0&off=" + others, size, dir, c.name);
    ASSERT_EQ(shot.size(), size);
    cv::Mat diff;
    cv::absdiff(shot, none, diff);
    cv::Mat changed;
    cv::cvtColor(diff, changed, cv::COLOR_BGR2GRAY);
    changed = changed > 12;
    const int drawn = cv::countNonZero(changed);
    ASSERT_GT(drawn, 0) << "nothing drawn";
    // Drawn only where it belongs...
    EXPECT_GE(cv::countNonZero(changed & c.region), drawn * 97 / 100)
      << cv::countNonZero(changed & ~c.region) << " pixels outside";
    // ... and all along it.
    int found = 0;
    const cv::Mat near = grown(changed, c.probeRadius);
    for (const cv::Point2d & p : c.probes) {
      const cv::Point q = pixelsOf({p})[0];
      found += cv::Rect(cv::Point(), size).contains(q) && near.at<uchar>(q) != 0;
    }
    EXPECT_GE(found, static_cast<int>(c.probes.size()) * 9 / 10)
      << found << " of " << c.probes.size() << " probes drawn";
    // In its own colours, which are nowhere in the map alone.
    std::vector<cv::Point> pixels;
    cv::findNonZero(changed, pixels);
    for (const Colour & colour : c.colours) {
      const auto count = std::count_if(pixels.begin(), pixels.end(), [&](const cv::Point & p) {
        return shows(shot.at<cv::Vec3b>(p), colour.bgr);
      });
      const auto before = std::count_if(pixels.begin(), pixels.end(), [&](const cv::Point & p) {
        return shows(none.at<cv::Vec3b>(p), colour.bgr);
      });
      EXPECT_GE(count, 8) << colour.name << " not shown";
      EXPECT_EQ(before, 0) << colour.name << " shown with the layer off";
    }
  }
}

}  // namespace
