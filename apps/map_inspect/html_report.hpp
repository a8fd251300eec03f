#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__HTML_REPORT_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__HTML_REPORT_HPP_

// The inspection as one self-contained HTML page: the map as an embedded
// image, every result as an SVG layer over it in map pixel coordinates, a
// legend whose checkboxes switch the layers, zoom and pan, the pointer's
// position in pixels and metres, and the report's main figures.

#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <opencv2/core.hpp>

namespace quorvane
{
namespace tools
{

/// Longest side, in pixels, of an image embedded in the page; longer ones
/// are reduced to it (the SVG still spans the map's own pixels).
constexpr int kHtmlImageMaxSide = 4096;

/// A pixel mask laid over part of the map.
struct HtmlMask
{
  cv::Mat mask;  //!< `CV_8UC1`, nonzero where set; empty for none
  /// Map pixels the mask covers: mask pixel (c, r) stands for the map pixels
  /// [x + c * w / cols, x + (c + 1) * w / cols) by the same rule along y.
  /// An empty rectangle means the whole map.
  cv::Rect area;
};

/// The pictures and shapes the page draws that the report does not hold.
struct HtmlLayers
{
  cv::Mat free;                               //!< `CV_8UC1`, the map's size, 255 free
  cv::Mat unknown;                            //!< `CV_8UC1`, 255 unknown; empty for none
  HtmlMask skeleton;                          //!< the thinned free space
  HtmlMask unknownGreyFree;                   //!< grey 205 counted free
  HtmlMask unreachable;                       //!< free area the coverage path cannot reach
  std::vector<cv::Point> simplifiedBoundary;  //!< closed (last == first), map pixels
};

/**
 * @brief The HTML page of an inspection, as bytes (UTF-8).
 *
 * Reads from @p report (makeReport()'s, timing optional): `map` (required:
 * `width_px`, `height_px`, `resolution_m`, `origin`), and when present
 * `main_direction`, `inner_rectangle.outline_px`, `coverage.rectangles[]
 * .extent_px`, `skeleton.junction_pair_px`, `sharpest_vertex.px` and
 * `coverage_path` (`poses_px` as [x, y, yaw] and `kinds`, "lane" or
 * "transit" per segment); the whole report is shown as text as well. Pixel
 * positions follow the report's rule (integers at pixel centres).
 *
 * The map is embedded as a grey PNG (free light, unknown mid grey, the rest
 * dark), reduced to kHtmlImageMaxSide on its longer side when longer; each
 * mask as a two-level PNG, reduced alike (a reduced pixel is set when any of
 * its pixels is). The page needs no network access.
 *
 * @throws cv::Exception (StsBadArg) before any work when `free` is not a
 *         non-empty `CV_8UC1` image of the report's map size, `unknown` or a
 *         mask is neither empty nor `CV_8UC1` (the whole-map ones of the
 *         map's size), or the report lacks the map's size, resolution or
 *         origin; (StsError) when OpenCV cannot encode an image.
 */
std::string makeHtmlReport(const nlohmann::ordered_json & report, const HtmlLayers & layers);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__HTML_REPORT_HPP_
