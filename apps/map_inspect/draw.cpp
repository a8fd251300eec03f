#include "draw.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace tools
{
namespace
{

constexpr int kShift = 4;  // fractional bits of every drawn coordinate
constexpr double kOne = 1 << kShift;

const cv::Scalar kFreeGrey(232, 232, 232);
const cv::Scalar kBlockedGrey(96, 96, 96);
const cv::Scalar kSkeleton(225, 125, 20);
const cv::Scalar kJunction(220, 0, 220);
const cv::Scalar kRectangle(20, 165, 20);
const cv::Scalar kBoundary(0, 140, 255);
const cv::Scalar kVertex(0, 80, 190);
const cv::Scalar kSharpest(0, 0, 225);
const cv::Scalar kArrow(25, 25, 25);
const cv::Scalar kWhite(255, 255, 255);
const cv::Scalar kUnknownFree(120, 205, 250);  // pale amber over free grey
const cv::Scalar kLane(120, 70, 30);           // dark blue
const cv::Scalar kTransit(40, 40, 200);        // red, dashed
const cv::Scalar kPathStart(40, 160, 40);
const cv::Scalar kPathEnd(30, 30, 170);
const cv::Scalar kUnreachable(190, 160, 235);  // pale pink over free grey

/// The picture and how map pixels land on it.
struct Canvas
{
  cv::Mat image;                   //!< BGR
  cv::Mat freeMask;                //!< at the picture's size: 255 where the map is free
  std::vector<cv::Point> markers;  //!< picture pixels of the markers the legend should not hide
  double scale;                    //!< picture pixels per map pixel
  int unit;                        //!< line thickness and marker size unit, in picture pixels

  /// Fixed-point picture position of the centre of map position @p p.
  cv::Point at(const cv::Point2d & p) const
  {
    return {
      static_cast<int>(std::lround(((p.x + 0.5) * scale - 0.5) * kOne)),
      static_cast<int>(std::lround(((p.y + 0.5) * scale - 0.5) * kOne))};
  }
  /// A length of @p px picture pixels in fixed point.
  static int len(double px) { return static_cast<int>(std::lround(px * kOne)); }
};

Canvas makeCanvas(const cv::Mat & free)
{
  Canvas canvas;
  canvas.scale = pictureScale(free.size());
  cv::Mat grey(free.size(), CV_8UC1, kBlockedGrey);
  grey.setTo(kFreeGrey, free);  // (255 or 0: the image is its own mask)
  const cv::Size size(
    std::max(1, static_cast<int>(std::lround(free.cols * canvas.scale))),
    std::max(1, static_cast<int>(std::lround(free.rows * canvas.scale))));
  cv::Mat resized;
  cv::resize(grey, resized, size, 0, 0, canvas.scale >= 1.0 ? cv::INTER_NEAREST : cv::INTER_AREA);
  cv::cvtColor(resized, canvas.image, cv::COLOR_GRAY2BGR);
  canvas.freeMask = resized == kFreeGrey[0];
  canvas.unit =
    std::max(1, static_cast<int>(std::lround(std::max(size.width, size.height) / 900.0)));
  return canvas;
}

/// Each skeleton pixel fills the picture block of the map cells it stands for.
void drawSkeleton(Canvas & canvas, const Skeleton & skeleton)
{
  if (skeleton.image.empty()) {
    return;
  }
  std::vector<cv::Point> pixels;
  cv::findNonZero(skeleton.image, pixels);
  for (const cv::Point & p : pixels) {
    const cv::Point2d tl = skeleton.offset + p * skeleton.scale;
    const int x0 = static_cast<int>(std::floor(tl.x * canvas.scale));
    const int y0 = static_cast<int>(std::floor(tl.y * canvas.scale));
    const int side = std::max(1, static_cast<int>(std::floor(skeleton.scale * canvas.scale)));
    cv::rectangle(canvas.image, cv::Rect(x0, y0, side, side), kSkeleton, cv::FILLED, cv::LINE_8);
  }
}

template <typename PointT>
std::vector<cv::Point> onCanvas(const Canvas & canvas, const std::vector<PointT> & points)
{
  std::vector<cv::Point> out;
  out.reserve(points.size());
  for (const PointT & p : points) {
    out.push_back(canvas.at(cv::Point2d(p.x, p.y)));
  }
  return out;
}

void drawBoundary(Canvas & canvas, const std::vector<cv::Point> & simplified)
{
  if (simplified.empty()) {
    return;
  }
  const std::vector<cv::Point> pts = onCanvas(canvas, simplified);
  cv::polylines(canvas.image, pts, false, kBoundary, canvas.unit, cv::LINE_AA, kShift);
  for (const cv::Point & p : pts) {
    cv::circle(
      canvas.image, p, Canvas::len(2.0 * canvas.unit), kVertex, cv::FILLED, cv::LINE_AA, kShift);
  }
}

void drawRectangle(Canvas & canvas, const std::vector<cv::Point2f> & rectangle)
{
  if (rectangle.empty()) {
    return;
  }
  cv::polylines(
    canvas.image, onCanvas(canvas, rectangle), true, kRectangle, 2 * canvas.unit, cv::LINE_AA,
    kShift);
}

/// The colour of coverage block @p i: hues a golden-ratio step apart, so
/// neighbouring numbers never look alike.
cv::Scalar coverageColour(std::size_t i)
{
  const double hue = std::fmod(static_cast<double>(i) * 0.6180339887, 1.0) * 180.0;
  cv::Mat hsv(1, 1, CV_8UC3, cv::Scalar(hue, 170, 235));
  cv::Mat bgr;
  cv::cvtColor(hsv, bgr, cv::COLOR_HSV2BGR);
  const cv::Vec3b c = bgr.at<cv::Vec3b>(0, 0);
  return {static_cast<double>(c[0]), static_cast<double>(c[1]), static_cast<double>(c[2])};
}

/// Each coverage block's extent filled lightly in its own colour.
void fillCoverage(Canvas & canvas, const maps::Coverage & coverage)
{
  if (coverage.rectangles.empty()) {
    return;
  }
  cv::Mat layer = canvas.image.clone();
  for (std::size_t i = 0; i < coverage.rectangles.size(); ++i) {
    cv::fillConvexPoly(
      layer, onCanvas(canvas, coverage.rectangles[i].extent), coverageColour(i), cv::LINE_AA,
      kShift);
  }
  cv::addWeighted(layer, 0.4, canvas.image, 0.6, 0.0, canvas.image);
}

/// Each coverage block's number (from 1, in the order taken) at its middle,
/// on top of the other drawings, where the block is large enough to hold it.
void numberCoverage(Canvas & canvas, const maps::Coverage & coverage)
{
  const double fontScale = 0.4 * canvas.unit;
  for (std::size_t i = 0; i < coverage.rectangles.size(); ++i) {
    const std::vector<cv::Point2f> & extent = coverage.rectangles[i].extent;
    const std::string label = std::to_string(i + 1);
    int baseline = 0;
    const cv::Size text =
      cv::getTextSize(label, cv::FONT_HERSHEY_SIMPLEX, fontScale, canvas.unit, &baseline);
    const cv::Rect box = cv::boundingRect(onCanvas(canvas, extent));
    if (std::min(box.width, box.height) / kOne < 1.5 * std::max(text.width, text.height)) {
      continue;
    }
    const cv::Point at =
      canvas.at((cv::Point2d(extent[0]) + cv::Point2d(extent[2])) * 0.5) / static_cast<int>(kOne);
    const cv::Point origin(at.x - text.width / 2, at.y + text.height / 2);
    // A white halo keeps the number legible over lines of any colour.
    cv::putText(
      canvas.image, label, origin, cv::FONT_HERSHEY_SIMPLEX, fontScale, kWhite, 3 * canvas.unit,
      cv::LINE_AA);
    cv::putText(
      canvas.image, label, origin, cv::FONT_HERSHEY_SIMPLEX, fontScale, kArrow, canvas.unit,
      cv::LINE_AA);
  }
}

/// Arrow along the main direction from the middle of the free cells.
void drawDirection(Canvas & canvas, const cv::Mat & free, double direction)
{
  const std::optional<DirectionArrow> arrow = directionArrow(free, direction);
  if (!arrow) {
    return;
  }
  const int t = 2 * canvas.unit;
  cv::arrowedLine(
    canvas.image, canvas.at(arrow->tail), canvas.at(arrow->tip), kWhite, t + 2 * canvas.unit,
    cv::LINE_AA, kShift, 0.12);
  cv::arrowedLine(
    canvas.image, canvas.at(arrow->tail), canvas.at(arrow->tip), kArrow, t, cv::LINE_AA, kShift,
    0.12);
}

void drawJunctions(Canvas & canvas, const std::vector<cv::Point> & junctions)
{
  const int u = canvas.unit;
  for (std::size_t i = 0; i < junctions.size(); ++i) {
    const cv::Point c = canvas.at(junctions[i]);
    canvas.markers.push_back(c / static_cast<int>(kOne));
    cv::circle(canvas.image, c, Canvas::len(6.0 * u), kJunction, cv::FILLED, cv::LINE_AA, kShift);
    cv::circle(canvas.image, c, Canvas::len(6.0 * u), kArrow, u, cv::LINE_AA, kShift);
    // Up and right of the marker, kept on the picture.
    const int labelX = std::min(c.x / static_cast<int>(kOne) + 8 * u, canvas.image.cols - 20 * u);
    const int labelY = std::max(c.y / static_cast<int>(kOne) - 8 * u, 14 * u);
    const cv::Point label(labelX, labelY);
    cv::putText(
      canvas.image, "J" + std::to_string(i + 1), label, cv::FONT_HERSHEY_SIMPLEX, 0.5 * u,
      kJunction, std::max(1, u), cv::LINE_AA);
  }
}

void drawSharpest(Canvas & canvas, const SharpestVertex & sharpest)
{
  if (!sharpest.found) {
    return;
  }
  const cv::Point c = canvas.at(sharpest.point);
  canvas.markers.push_back(c / static_cast<int>(kOne));
  cv::circle(
    canvas.image, c, Canvas::len(10.0 * canvas.unit), kSharpest, 2 * canvas.unit, cv::LINE_AA,
    kShift);
  cv::circle(
    canvas.image, c, Canvas::len(3.0 * canvas.unit), kSharpest, cv::FILLED, cv::LINE_AA, kShift);
}

/// How an entry's sample is drawn in the legend.
enum class Swatch { Line, Dashed, Arrow, Dot, Ring, Block };

struct LegendEntry
{
  Swatch swatch;
  cv::Scalar colour;
  std::string text;
};

void drawSwatch(cv::Mat & image, const LegendEntry & e, cv::Point left, int u)
{
  const cv::Point right = left + cv::Point(22 * u, 0);
  const cv::Point mid = left + cv::Point(11 * u, 0);
  switch (e.swatch) {
    case Swatch::Line:
      cv::line(image, left, right, e.colour, 2 * u, cv::LINE_AA);
      break;
    case Swatch::Dashed:
      for (int x = 0; x < 22 * u; x += 8 * u) {
        cv::line(
          image, left + cv::Point(x, 0), left + cv::Point(std::min(x + 5 * u, 22 * u), 0), e.colour,
          u, cv::LINE_AA);
      }
      break;
    case Swatch::Arrow:
      cv::arrowedLine(image, left, right, e.colour, 2 * u, cv::LINE_AA, 0, 0.4);
      break;
    case Swatch::Dot:
      cv::circle(image, mid, 5 * u, e.colour, cv::FILLED, cv::LINE_AA);
      break;
    case Swatch::Ring:
      cv::circle(image, mid, 6 * u, e.colour, 2 * u, cv::LINE_AA);
      break;
    case Swatch::Block:
      cv::rectangle(
        image, mid - cv::Point(2 * u, 6 * u), mid + cv::Point(2 * u, 6 * u), e.colour, cv::FILLED);
      break;
  }
}

/// The legend box of @p size in the image corner that hides the fewest
/// markers, then the fewest free cells (top-left on ties); @p hidden receives
/// how many it hides (a marker counting more than the whole box).
cv::Rect quietestCorner(const Canvas & canvas, cv::Size size, int margin, int & hidden)
{
  const cv::Mat & base = canvas.freeMask;
  const int right = std::max(0, base.cols - size.width - margin);
  const int bottom = std::max(0, base.rows - size.height - margin);
  const cv::Rect image(0, 0, base.cols, base.rows);
  cv::Rect best;
  int bestFree = -1;
  for (const cv::Point corner :
       {cv::Point(margin, margin), cv::Point(right, margin), cv::Point(margin, bottom),
        cv::Point(right, bottom)}) {
    const cv::Rect box = cv::Rect(corner, size) & image;
    int freeCells = box.empty() ? 0 : cv::countNonZero(base(box));
    for (const cv::Point & marker : canvas.markers) {
      if (box.contains(marker)) {
        freeCells += box.area() + 1;
      }
    }
    if (bestFree < 0 || freeCells < bestFree) {
      bestFree = freeCells;
      best = box;
    }
  }
  hidden = bestFree;
  return best;
}

/// A white, slightly see-through box listing @p entries, in a quiet corner.
void drawLegend(Canvas & canvas, const std::vector<LegendEntry> & entries)
{
  const int u = canvas.unit;
  const double fontScale = 0.45 * u;
  const int thickness = std::max(1, u);
  const int lineHeight = 20 * u;
  int textWidth = 0;
  for (const LegendEntry & e : entries) {
    int baseline = 0;
    textWidth = std::max(
      textWidth,
      cv::getTextSize(e.text, cv::FONT_HERSHEY_SIMPLEX, fontScale, thickness, &baseline).width);
  }
  const cv::Size size(textWidth + 42 * u, lineHeight * static_cast<int>(entries.size()) + 8 * u);
  int hidden = 0;
  cv::Rect box = quietestCorner(canvas, size, 4 * u, hidden);
  cv::Mat & image = canvas.image;
  if (hidden != 0 || box.size() != size) {
    // Beside the map, in a white margin, rather than over free space.
    const int margin = 4 * u;
    const int extraRows = std::max(0, size.height + 2 * margin - image.rows);
    cv::copyMakeBorder(
      image, image, 0, extraRows, 0, size.width + 2 * margin, cv::BORDER_CONSTANT, kWhite);
    box = cv::Rect(image.cols - size.width - margin, margin, size.width, size.height);
  }
  cv::Mat roi = image(box);
  cv::addWeighted(roi, 0.2, cv::Mat(roi.size(), roi.type(), kWhite), 0.8, 0.0, roi);
  cv::rectangle(image, box, kArrow, 1);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const int y = box.y + 4 * u + lineHeight * static_cast<int>(i) + lineHeight / 2;
    drawSwatch(image, entries[i], cv::Point(box.x + 8 * u, y), u);
    cv::putText(
      image, entries[i].text, cv::Point(box.x + 36 * u, y + 5 * u), cv::FONT_HERSHEY_SIMPLEX,
      fontScale, kArrow, thickness, cv::LINE_AA);
  }
}

std::string format(const char * pattern, double value)
{
  char buffer[96];
  std::snprintf(buffer, sizeof(buffer), pattern, value);
  return buffer;
}

std::vector<LegendEntry> legendEntries(
  const Inspection & r, const InspectOptions & options, double resolution)
{
  const std::size_t kept = r.simplified.empty() ? 0 : r.simplified.size() - 1;
  std::vector<LegendEntry> entries = {
    {Swatch::Arrow, kArrow,
     format("main direction %.1f deg", r.aligned.mainDirection * 180.0 / CV_PI)},
    {Swatch::Line, kRectangle,
     !r.rectangle ? std::string("inner rectangle: none")
                  : format("inner rectangle, %.2f m cells", options.cellSizePx * resolution)},
    {Swatch::Block, coverageColour(0),
     std::to_string(r.coverage.rectangles.size()) + " coverage blocks, " +
       format("%.0f%% of the passing cells", 100.0 * r.coverage.coveredShare)},
    {Swatch::Block, kSkeleton, "skeleton of the free space"},
    {Swatch::Dot, kJunction,
     r.junctions.empty() ? "junction pair: none" : "farthest junctions J1, J2"},
    {Swatch::Line, kBoundary,
     "simplified boundary, " + std::to_string(kept) + " of " + std::to_string(r.boundary.size()) +
       " vertices"},
    {Swatch::Ring, kSharpest,
     r.sharpest.found
       ? format("sharpest vertex, turn %.0f deg", r.sharpest.turnAngle * 180.0 / CV_PI)
       : std::string("sharpest vertex: none")}};
  return entries;
}

/// A dashed line from @p a to @p b (fixed point, kShift), dashes of
/// @p dash picture pixels with gaps of @p gap.
void dashedLine(
  cv::Mat & image, cv::Point a, cv::Point b, const cv::Scalar & colour, int thickness, double dash,
  double gap)
{
  const cv::Point2d from(a.x / kOne, a.y / kOne);
  const cv::Point2d d = cv::Point2d(b.x / kOne, b.y / kOne) - from;
  const double length = std::hypot(d.x, d.y);
  if (length <= 0.0) {
    return;
  }
  const cv::Point2d unit = d / length;
  const auto dashes = static_cast<int>(std::ceil(length / (dash + gap)));
  for (int k = 0; k < dashes; ++k) {
    const double t = k * (dash + gap);
    const cv::Point2d p = from + unit * t;
    const cv::Point2d q = from + unit * std::min(t + dash, length);
    cv::line(
      image, cv::Point(cvRound(p.x * kOne), cvRound(p.y * kOne)),
      cv::Point(cvRound(q.x * kOne), cvRound(q.y * kOne)), colour, thickness, cv::LINE_AA, kShift);
  }
}

/// The coverage path: lanes as thin lines (drawn half see-through, so that
/// dense lanes on a large map still show the floor), transits dashed, the
/// start a green disc and the end a red square.
void drawCoveragePath(Canvas & canvas, const maps::CoveragePath & path)
{
  if (path.poses.size() < 2) {
    return;
  }
  std::vector<cv::Point> at;
  at.reserve(path.poses.size());
  for (const maps::CoveragePose & pose : path.poses) {
    at.push_back(canvas.at(pose.pixel));
  }
  cv::Mat lanes = canvas.image.clone();
  for (std::size_t i = 0; i + 1 < at.size(); ++i) {
    if (path.segments[i] == maps::CoverageSegmentKind::Lane) {
      cv::line(lanes, at[i], at[i + 1], kLane, canvas.unit, cv::LINE_AA, kShift);
    }
  }
  cv::addWeighted(lanes, 0.75, canvas.image, 0.25, 0.0, canvas.image);
  for (std::size_t i = 0; i + 1 < at.size(); ++i) {
    if (path.segments[i] == maps::CoverageSegmentKind::Transit) {
      dashedLine(
        canvas.image, at[i], at[i + 1], kTransit, canvas.unit, 4.0 * canvas.unit,
        3.0 * canvas.unit);
    }
  }
  const int u = canvas.unit;
  canvas.markers.push_back(at.front() / static_cast<int>(kOne));
  canvas.markers.push_back(at.back() / static_cast<int>(kOne));
  cv::circle(
    canvas.image, at.front(), Canvas::len(6.0 * u), kPathStart, cv::FILLED, cv::LINE_AA, kShift);
  cv::circle(canvas.image, at.front(), Canvas::len(6.0 * u), kWhite, u, cv::LINE_AA, kShift);
  const cv::Point end = at.back() / static_cast<int>(kOne);
  cv::rectangle(
    canvas.image, end - cv::Point(5 * u, 5 * u), end + cv::Point(5 * u, 5 * u), kPathEnd,
    cv::FILLED, cv::LINE_AA);
  cv::rectangle(
    canvas.image, end - cv::Point(5 * u, 5 * u), end + cv::Point(5 * u, 5 * u), kWhite, u,
    cv::LINE_AA);
}

/// Tints the picture with @p colour where @p cells is set; their share of the
/// map's cells, in percent, or a negative value when there is none.
double tintCells(Canvas & canvas, const cv::Mat & cells, const cv::Scalar & colour)
{
  if (cells.empty()) {
    return -1.0;
  }
  const int count = cv::countNonZero(cells);
  if (count == 0) {
    return -1.0;
  }
  cv::Mat mask;
  cv::resize(
    cells, mask, canvas.image.size(), 0, 0,
    canvas.scale >= 1.0 ? cv::INTER_NEAREST : cv::INTER_AREA);
  canvas.image.setTo(colour, mask >= 128);
  return 100.0 * count / static_cast<double>(cells.total());
}

}  // namespace

double pictureScale(cv::Size mapSize)
{
  const int longer = std::max(mapSize.width, mapSize.height);
  if (longer <= 0) {
    return 1.0;
  }
  if (longer < 800) {
    return std::min(8.0, std::ceil(800.0 / longer));
  }
  if (longer > 2000) {
    return 2000.0 / longer;
  }
  return 1.0;
}

cv::Mat drawInspection(
  const cv::Mat & free, const Inspection & inspection, const InspectOptions & options,
  double resolution, const cv::Mat & unknownFree)
{
  Canvas canvas = makeCanvas(free);
  const double unknownShare = tintCells(canvas, unknownFree, kUnknownFree);
  const maps::CoveragePath * path = inspection.coveragePath ? &*inspection.coveragePath : nullptr;
  const double unreachableShare =
    path != nullptr ? tintCells(canvas, path->unreachable, kUnreachable) : -1.0;
  fillCoverage(canvas, inspection.coverage);
  if (path != nullptr) {
    drawCoveragePath(canvas, *path);
  }
  drawSkeleton(canvas, inspection.skeleton);
  drawBoundary(canvas, inspection.simplified);
  if (inspection.rectangle) {
    drawRectangle(canvas, inspection.rectangle->outline);
  }
  drawDirection(canvas, free, inspection.aligned.mainDirection);
  drawJunctions(canvas, inspection.junctions);
  drawSharpest(canvas, inspection.sharpest);
  numberCoverage(canvas, inspection.coverage);
  std::vector<LegendEntry> entries = legendEntries(inspection, options, resolution);
  if (unknownShare >= 0.0) {
    entries.push_back(
      {Swatch::Block, kUnknownFree,
       format("unknown grey counted free, %.1f%% of cells", unknownShare)});
  }
  if (path != nullptr) {
    entries.push_back(
      {Swatch::Line, kLane,
       std::to_string(path->lanes) + " coverage lanes, " +
         format("%.1f%% of the coverable floor swept", 100.0 * path->coveredShare)});
    entries.push_back({Swatch::Dashed, kTransit, format("transits, %.0f m", path->transitLength)});
    entries.push_back({Swatch::Dot, kPathStart, "start of the coverage path"});
    entries.push_back({Swatch::Block, kPathEnd, "end of the coverage path"});
    if (unreachableShare >= 0.0) {
      entries.push_back(
        {Swatch::Block, kUnreachable,
         format("unreachable free area, %.0f m2", path->unreachableArea)});
    }
  }
  drawLegend(canvas, entries);
  return canvas.image;
}

std::optional<DirectionArrow> directionArrow(const cv::Mat & free, double direction)
{
  const cv::Rect box = cv::boundingRect(free);
  if (box.empty()) {
    return std::nullopt;
  }
  const cv::Point2d centre(box.x + (box.width - 1) / 2.0, box.y + (box.height - 1) / 2.0);
  const double length = 0.3 * std::min(box.width, box.height);
  return DirectionArrow{
    centre, centre + length * cv::Point2d(std::cos(direction), std::sin(direction)), length};
}

cv::Mat drawRotated(const Inspection & inspection)
{
  const maps::AlignedMap & aligned = inspection.aligned;
  Canvas canvas = makeCanvas(aligned.aligned);
  if (inspection.rectangle) {
    // The outline through the corner cells' centres, read off the grid in
    // the aligned frame itself.
    const maps::CellGrid & grid = aligned.grid;
    const cv::Rect & block = inspection.rectangle->block;
    const auto at = [&grid](int row, int col) {
      return cv::Point2f(
        static_cast<float>(grid.originX + std::int64_t{col} * grid.cellPx),
        static_cast<float>(grid.originY + std::int64_t{row} * grid.cellPx));
    };
    const cv::Point2f topLeft = at(block.y, block.x);
    const cv::Point2f bottomRight = at(block.y + block.height - 1, block.x + block.width - 1);
    drawRectangle(
      canvas, {topLeft, {bottomRight.x, topLeft.y}, bottomRight, {topLeft.x, bottomRight.y}});
  }
  const std::vector<LegendEntry> entries = {
    {Swatch::Arrow, kArrow, "rotated map: main direction along x"},
    {Swatch::Line, kRectangle, inspection.rectangle ? "inner rectangle" : "inner rectangle: none"}};
  drawLegend(canvas, entries);
  return canvas.image;
}

std::string encodePng(const cv::Mat & image)
{
  std::vector<uchar> bytes;
  if (!cv::imencode(".png", image, bytes)) {
    CV_Error(cv::Error::StsError, "cannot encode the picture as PNG");
  }
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace tools
}  // namespace quorvane
