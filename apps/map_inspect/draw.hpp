#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__DRAW_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__DRAW_HPP_

// Pictures of an inspection: the map in grey with every result drawn over it.

#include <optional>
#include <string>

#include <opencv2/core.hpp>

#include "inspect.hpp"

namespace quorvane
{
namespace tools
{

/**
 * @brief Factor from map pixels to picture pixels: small maps are enlarged by
 *        a whole factor to at least 800 pixels on their longer side (at most
 *        8 times), maps longer than 2000 pixels are reduced to 2000.
 */
double pictureScale(cv::Size mapSize);

/**
 * @brief The annotated picture (BGR): free space light grey, the rest dark
 *        grey; the skeleton, the simplified boundary with its kept vertices,
 *        the inner rectangle, the main direction arrow, the farthest junction
 *        pair, the sharpest vertex, and a legend.
 *
 * @p free is a map's free image (`CV_8UC1`, 255 free, 0 otherwise). The
 * nonzero cells of @p unknownFree (map size, or empty for none) are
 * tinted and get a legend entry of their own. The legend goes in the image
 * corner that hides the fewest markers and free cells; when every corner
 * would hide a free cell, it goes in a white margin added right of the map.
 */
cv::Mat drawInspection(
  const cv::Mat & free, const Inspection & inspection, const InspectOptions & options,
  double resolution, const cv::Mat & unknownFree = cv::Mat());

/// The main direction's arrow, in map pixels.
struct DirectionArrow
{
  cv::Point2d tail;  //!< the middle of the free cells' bounding box
  cv::Point2d tip;   //!< length away from tail along the direction
  double length;     //!< 0.3 of the box's shorter side
};

/// The arrow both the picture and the HTML page draw for @p direction
/// (radians) over @p free (a map's free image, 255 or 0); nothing when there
/// is no free cell.
std::optional<DirectionArrow> directionArrow(const cv::Mat & free, double direction);

/// The rotated map (BGR) with the inner rectangle carried into its frame.
cv::Mat drawRotated(const Inspection & inspection);

/// @p image encoded as PNG bytes.
/// @throws cv::Exception when OpenCV cannot encode it.
std::string encodePng(const cv::Mat & image);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__DRAW_HPP_
