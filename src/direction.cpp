#include "direction.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>

#include <opencv2/imgproc.hpp>

namespace quorvane
{
namespace direction
{

double foldedDirection(double dx, double dy)
{
  double phi = std::atan2(dy, dx);
  while (phi < 0.0) {
    phi += CV_PI;
  }
  while (phi > CV_PI) {
    phi -= CV_PI;
  }
  return phi;
}

int directionBin(double phi)
{
  // trunc(phi / pi * 36), evaluated left to right, capped at the last bin.
  const double scaled = phi * (1.0 / CV_PI) * 36;
  if (scaled >= kDirectionBins - 1) {
    return kDirectionBins - 1;
  }
  return scaled > 0.0 ? static_cast<int>(scaled) : 0;
}

void DirectionHistogram::addSegment(const cv::Vec4i & segment)
{
  // 64-bit differences: the same as 32-bit ones for any pixel coordinates.
  const auto dx = static_cast<double>(std::int64_t{segment[2]} - segment[0]);
  const auto dy = static_cast<double>(std::int64_t{segment[3]} - segment[1]);
  const double squaredLength = dy * dy + dx * dx;
  if (!(squaredLength > 0.0)) {
    return;
  }
  add(foldedDirection(dx, dy), std::sqrt(squaredLength));
}

void DirectionHistogram::add(double phi, double length)
{
  const auto bin = static_cast<std::size_t>(directionBin(phi));
  totalLength_[bin] += length;
  weightedAngleSum_[bin] += phi * length;
}

int DirectionHistogram::heaviestBin() const
{
  int best = 0;
  double bestTotal = 0.0;
  for (int bin = 0; bin < kDirectionBins; ++bin) {
    if (totalLength_[static_cast<std::size_t>(bin)] > bestTotal) {
      bestTotal = totalLength_[static_cast<std::size_t>(bin)];
      best = bin;
    }
  }
  return best;
}

double DirectionHistogram::meanDirectionOfHeaviestBin() const
{
  const auto bin = static_cast<std::size_t>(heaviestBin());
  const double weight = totalLength_[bin];
  return weight != 0.0 ? weightedAngleSum_[bin] / weight : 0.0;
}

std::vector<cv::Rect> evenTiles(cv::Size size, int maxSide)
{
  CV_Assert(maxSide >= 1);
  // Tile i of n along a side of length len spans [i len / n, (i + 1) len / n).
  const auto cuts = [maxSide](int len) {
    const std::int64_t n = (std::int64_t{len} + maxSide - 1) / maxSide;
    std::vector<int> at;
    for (std::int64_t i = 0; i <= n; ++i) {
      at.push_back(static_cast<int>(i * len / n));
    }
    return at;
  };
  std::vector<cv::Rect> tiles;
  if (size.width <= 0 || size.height <= 0) {
    return tiles;
  }
  const std::vector<int> xs = cuts(size.width);
  const std::vector<int> ys = cuts(size.height);
  for (std::size_t r = 0; r + 1 < ys.size(); ++r) {
    for (std::size_t c = 0; c + 1 < xs.size(); ++c) {
      tiles.emplace_back(xs[c], ys[r], xs[c + 1] - xs[c], ys[r + 1] - ys[r]);
    }
  }
  return tiles;
}

void detectSegments(
  const cv::Mat & edges, const HoughAttempt & attempt, int maxTileSide,
  std::vector<cv::Vec4i> & segments)
{
  CV_Assert(maxTileSide >= 1 && maxTileSide <= kMaxHoughSide);
  const auto hough = [&attempt](const cv::Mat & image, std::vector<cv::Vec4i> & found) {
    cv::HoughLinesP(
      image, found, 1.0, CV_PI / 180.0, attempt.votes, attempt.minLength, attempt.maxGap);
  };
  if (edges.cols <= maxTileSide && edges.rows <= maxTileSide) {
    hough(edges, segments);
    return;
  }
  segments.clear();
  std::vector<cv::Vec4i> found;
  for (const cv::Rect & tile : evenTiles(edges.size(), maxTileSide)) {
    hough(edges(tile), found);
    for (const cv::Vec4i & s : found) {
      segments.emplace_back(s[0] + tile.x, s[1] + tile.y, s[2] + tile.x, s[3] + tile.y);
    }
  }
}

double mainDirection(const cv::Mat & image, int maxTileSide)
{
  // Edges, then segments with the vote threshold lowered until four or more
  // are found, then the weighted mean direction of the heaviest bin.
  cv::Mat edges;
  cv::Canny(image, edges, 50.0, 150.0, 3, false);
  std::vector<cv::Vec4i> segments;
  detectSegmentsWithFallingVotes(
    [&edges, maxTileSide](const HoughAttempt & attempt, std::vector<cv::Vec4i> & found) {
      detectSegments(edges, attempt, maxTileSide, found);
    },
    segments);
  DirectionHistogram histogram;
  for (const cv::Vec4i & segment : segments) {
    histogram.addSegment(segment);
  }
  return histogram.meanDirectionOfHeaviestBin();
}

}  // namespace direction
}  // namespace quorvane
