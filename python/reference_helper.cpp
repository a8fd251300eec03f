// The C++ side of the Python tests and of the overhead benchmark: reads one
// JSON request on stdin, runs the library's public API on it and prints the
// answers as JSON. Images travel as raw files of rows x cols bytes.
//
// Request keys (each optional):
//   "sample":  {"width", "height", "angle", "seed", "out"}  writes a sample floor plan
//   "image":   {"path", "rows", "cols"}                     the map the image keys use
//   "main_direction": true
//   "rotation": {"pivot": [x, y] | null, "extra_angle", "rotated_out": path}
//   "to_original": [[x, y], ...]                            with the rotation's matrix
//   "inner_rectangle": cell_size
//   "cell_test": {"center": [x, y], "side", "mask_out": path}
//   "junction_pair": true                                   on the image
//   "polyline": {"points", "epsilon", "min_chord"}          simplify + curvature
//   "path": {"points", "epsilon"}                           the path rule
//   "time": {"op", "repeat"}                                seconds per call, each run
// With the map toolkit:
//   "load_map": {"path", "free_out", "unknown_out", "pixels": [[x, y], ...]}
//   "thin_out": path                                        the image's skeleton
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

#include "CurvatureAnalyzer.hpp"
#include "Rotator.hpp"
#include "SimplifyPath.hpp"
#include "get_special_points.hpp"
#include "nav_msgs/msg/path.hpp"
#include "sample_floor_plan.hpp"

#ifdef QUORVANE_PYTHON_WITH_MAPS
#include "quorvane_nav2_maps/map.hpp"
#include "quorvane_nav2_maps/map_frame.hpp"
#include "quorvane_nav2_maps/thinning.hpp"
#endif

using json = nlohmann::json;

namespace
{

cv::Mat readRaw(const json & request)
{
  cv::Mat image(request.at("rows").get<int>(), request.at("cols").get<int>(), CV_8UC1);
  std::ifstream in(request.at("path").get<std::string>(), std::ios::binary);
  in.read(reinterpret_cast<char *>(image.data), static_cast<std::streamsize>(image.total()));
  if (!in) {
    throw std::runtime_error("cannot read " + request.at("path").get<std::string>());
  }
  return image;
}

void writeRaw(const cv::Mat & image, const std::string & path)
{
  const cv::Mat continuous = image.isContinuous() ? image : image.clone();
  std::ofstream out(path, std::ios::binary);
  out.write(
    reinterpret_cast<const char *>(continuous.data),
    static_cast<std::streamsize>(continuous.total()));
}

template <typename Point>
json pointsToJson(const std::vector<Point> & points)
{
  json out = json::array();
  for (const Point & p : points) {
    out.push_back({p.x, p.y});
  }
  return out;
}

std::vector<cv::Point> intPoints(const json & j)
{
  std::vector<cv::Point> points;
  for (const json & p : j) {
    points.emplace_back(p.at(0).get<int>(), p.at(1).get<int>());
  }
  return points;
}

nav_msgs::msg::Path pathOf(const json & j)
{
  nav_msgs::msg::Path path;
  for (const json & p : j) {
    path.poses.emplace_back();
    path.poses.back().pose.position.x = p.at(0).get<double>();
    path.poses.back().pose.position.y = p.at(1).get<double>();
  }
  return path;
}

// Runs one operation of the overhead benchmark @p repeat times; returns the
// seconds of each call.
json timeOperation(const json & request, const cv::Mat & image)
{
  const std::string op = request.at("op");
  const int repeat = request.value("repeat", 5);
  const std::vector<cv::Point> polyline = intPoints(request.value("points", json::array()));
  json seconds = json::array();
  volatile double sink = 0.0;
  // Call -1 warms up (first-touch page faults, OpenCV's thread pool) and is
  // not reported, so that a fresh process competes with a warm interpreter.
  for (int i = -1; i < repeat; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (op == "main_direction") {
      sink = sink + Rotator().computeImageMainDirection(image);
    } else if (op == "inner_rectangle") {
      std::vector<cv::Point2f> outline;
      get_special_points().getInnerRect(image, outline, request.value("cell_size", 10.0));
      sink = sink + static_cast<double>(outline.size());
    } else if (op == "junction_pair") {
      std::vector<cv::Point> pair;
      get_special_points().SkeletonGetJunctionPt(image, pair);
      sink = sink + pair[0].x;
    } else if (op == "rotate") {
      cv::Mat matrix, rotated;
      cv::Rect bounds;
      Rotator rotator;
      rotator.computeImageRotationMatrix(image, matrix, bounds, nullptr, 0.0);
      rotator.rotateImage(image, rotated, matrix, bounds);
      sink = sink + rotated.rows;
    } else if (op == "simplify") {
      // Short inputs: one timing covers many calls.
      const int calls = request.value("calls", 100000);
      for (int k = 0; k < calls; ++k) {
        std::vector<cv::Point> kept;
        SimplifyPath().douglasPeucker(polyline, request.value("epsilon", 1.0), -1.0, kept);
        sink = sink + static_cast<double>(kept.size());
      }
    } else {
      throw std::runtime_error("unknown op " + op);
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (i >= 0) {
      seconds.push_back(took.count());
    }
  }
  return seconds;
}

json run(const json & request)
{
  json out = json::object();
  if (request.contains("sample")) {
    const json & s = request["sample"];
    const cv::Mat plan = quorvane::tools::makeSampleFloorPlan(
      cv::Size(s.at("width").get<int>(), s.at("height").get<int>()), s.value("angle", 0.0),
      s.value("seed", 1u));
    writeRaw(plan, s.at("out"));
  }
  cv::Mat image;
  if (request.contains("image")) {
    image = readRaw(request["image"]);
  }
  Rotator rotator;
  if (request.value("main_direction", false)) {
    out["main_direction"] = rotator.computeImageMainDirection(image);
  }
  if (request.contains("rotation")) {
    const json & r = request["rotation"];
    cv::Mat matrix;
    cv::Rect bounds;
    cv::Point pivot;
    const bool hasPivot = r.contains("pivot") && !r["pivot"].is_null();
    if (hasPivot) {
      pivot = cv::Point(r["pivot"].at(0).get<int>(), r["pivot"].at(1).get<int>());
    }
    rotator.computeImageRotationMatrix(
      image, matrix, bounds, hasPivot ? &pivot : nullptr, r.value("extra_angle", 0.0));
    json m = json::array();
    for (int row = 0; row < 2; ++row) {
      m.push_back(
        {matrix.at<double>(row, 0), matrix.at<double>(row, 1), matrix.at<double>(row, 2)});
    }
    out["rotation"] = {
      {"matrix", m}, {"bounds", {bounds.x, bounds.y, bounds.width, bounds.height}}};
    if (r.contains("rotated_out")) {
      cv::Mat rotated;
      rotator.rotateImage(image, rotated, matrix, bounds);
      writeRaw(rotated, r["rotated_out"]);
    }
    if (request.contains("to_original")) {
      std::vector<cv::Point2f> input, back;
      for (const json & p : request["to_original"]) {
        input.emplace_back(p.at(0).get<float>(), p.at(1).get<float>());
      }
      rotator.transformPathBackToOriginalRotation(input, back, matrix);
      out["to_original"] = pointsToJson(back);
    }
  }
  if (request.contains("inner_rectangle")) {
    std::vector<cv::Point2f> outline;
    get_special_points().getInnerRect(image, outline, request["inner_rectangle"].get<double>());
    out["inner_rectangle"] = outline.empty() ? json(nullptr) : pointsToJson(outline);
  }
  if (request.contains("cell_test")) {
    const json & c = request["cell_test"];
    get_special_points gsp;
    cv::Point center(c.at("center").at(0).get<int>(), c.at("center").at(1).get<int>());
    out["cell_test"] = gsp.completeCellTest(image, center, c.at("side").get<int>());
    if (c.contains("mask_out") && !gsp.mask.empty()) {
      writeRaw(gsp.mask, c["mask_out"]);
    }
  }
  if (request.value("junction_pair", false)) {
    std::vector<cv::Point> pair;
    get_special_points().SkeletonGetJunctionPt(image, pair);
    out["junction_pair"] = pointsToJson(pair);
  }
  if (request.contains("polyline")) {
    const json & p = request["polyline"];
    const std::vector<cv::Point> points = intPoints(p.at("points"));
    std::vector<cv::Point> kept;
    SimplifyPath().douglasPeucker(
      points, p.at("epsilon").get<double>(), p.value("min_chord", -1.0), kept);
    out["simplify"] = pointsToJson(kept);
    CurvatureAnalyzer analyzer;
    const cv::Point sharpest = analyzer.findMaxCurvaturePoint(points);
    out["sharpest_vertex"] = {sharpest.x, sharpest.y};
    json curvatures = json::array();
    for (std::size_t i = 2; i < points.size(); ++i) {
      curvatures.push_back(analyzer.curvature(points[i - 2], points[i - 1], points[i]));
    }
    out["curvatures"] = curvatures;
  }
  if (request.contains("path")) {
    const json & p = request["path"];
    nav_msgs::msg::Path kept;
    SimplifyPath().douglasPeucker(pathOf(p.at("points")), p.at("epsilon").get<double>(), kept);
    json points = json::array();
    for (const auto & pose : kept.poses) {
      points.push_back({pose.pose.position.x, pose.pose.position.y});
    }
    out["path"] = points;
  }
#ifdef QUORVANE_PYTHON_WITH_MAPS
  if (request.contains("load_map")) {
    const json & l = request["load_map"];
    const quorvane::maps::Map map = quorvane::maps::loadMap(l.at("path").get<std::string>());
    writeRaw(map.free, l.at("free_out"));
    writeRaw(map.unknown, l.at("unknown_out"));
    const quorvane::maps::MapFrame & f = map.frame;
    std::vector<cv::Point2d> pixels;
    for (const json & p : l.value("pixels", json::array())) {
      pixels.emplace_back(p.at(0).get<double>(), p.at(1).get<double>());
    }
    out["load_map"] = {
      {"resolution", f.resolution},
      {"origin", {f.originX, f.originY, f.originYaw}},
      {"frame_id", f.frameId},
      {"size", {f.width, f.height}},
      {"world", pointsToJson(quorvane::maps::pixelsToWorld(f, pixels))}};
  }
  if (request.contains("thin_out")) {
    cv::Mat skeleton;
    quorvane::maps::thinZhangSuen(image, skeleton);
    writeRaw(skeleton, request["thin_out"]);
  }
#endif
  if (request.contains("time")) {
    out["seconds"] = timeOperation(request["time"], image);
  }
  return out;
}

}  // namespace

int main()
{
  try {
    const json request = json::parse(std::cin);
    std::cout << run(request).dump() << "\n";
    return 0;
  } catch (const std::exception & e) {
    std::cerr << "quorvane_py_reference: " << e.what() << "\n";
    return 1;
  }
}
