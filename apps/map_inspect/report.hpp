#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__REPORT_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__REPORT_HPP_

// The inspection's JSON report.

#include <string>

#include <nlohmann/json.hpp>

#include "inspect.hpp"
#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace tools
{

/// What the report says about where the map came from and went to.
struct ReportContext
{
  std::string source;        //!< the map's path, or a description of the sample
  std::string annotatedPng;  //!< empty when none was written
  std::string rotatedPng;    //!< empty when none was written
  std::string html;          //!< empty when none was written
};

/**
 * @brief The report: map, main direction, rotation, inner rectangle (pixels
 *        and metres), coverage blocks (pixels and metres), skeleton junctions,
 *        boundary, sharpest vertex, outputs.
 *
 * Pixel positions are [x, y] with x the column and y the row (row 0 at the
 * top, integer values at pixel centres); metre positions are [x, y] in the
 * map frame (quorvane::maps::pixelToWorld()). Step times are added by the
 * caller.
 */
nlohmann::ordered_json makeReport(
  const maps::Map & map, const InspectOptions & options, const Inspection & inspection,
  const ReportContext & context);

/// The report as text: one line when @p compact, otherwise indented by two
/// spaces with every array of plain numbers kept on one line.
std::string formatReport(const nlohmann::ordered_json & report, bool compact);

/// The warning (one line, without a prefix) when more than a tenth of the
/// map's cells are grey 205 counted free: the share, the cause (a free
/// threshold above 50/255, or an alpha channel averaged in) and the remedy;
/// empty when there are at most a tenth.
std::string unknownGreyWarning(const maps::Map & map);

/// Step times as an ordered JSON object of milliseconds.
nlohmann::ordered_json timesToJson(const StepTimes & times);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__REPORT_HPP_
