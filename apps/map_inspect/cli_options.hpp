#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__CLI_OPTIONS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__CLI_OPTIONS_HPP_

// The command line of quorvane_map_inspect.

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

#include <CLI/App.hpp>
#include <opencv2/core.hpp>

namespace quorvane
{
namespace tools
{

/// Exit status of the tool.
enum class ExitCode : int {
  Ok = 0,
  MapUnreadable = 1,     //!< missing file, unreadable image, malformed YAML
  BadCommandLine = 2,    //!< unknown option or a value out of range
  NoRectangle = 3,       //!< no inner rectangle fits at the cell size
  OutputUnwritable = 4,  //!< a picture could not be written
  Internal = 5,          //!< any other failure
};

/// An option value that the map it meets makes unusable (a cell size too
/// large at the map's resolution, say).
class BadOption : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// Why a run failed: its exit status and the one-line message.
struct Failure
{
  ExitCode code;
  std::string message;
};

/**
 * @brief The exit status and message for an exception that ended a run:
 *        quorvane::maps::MapError is a bad map (1), BadOption a bad command
 *        line (2), OutputWriteError an output that cannot be written (4),
 *        cv::Exception and anything else an internal error (5).
 */
Failure classifyFailure(std::exception_ptr failure);

/// Everything the command line sets.
struct CliOptions
{
  std::string mapPath;      //!< empty: the built-in sample
  double cellSizePx = 0.0;  //!< > 0 when given in pixels
  double cellSizeM = 0.5;   //!< used when no pixel size is given
  double epsilonPx = 2.0;
  double minChordPx = -1.0;
  std::string outPath = "inspect.png";
  std::string rotatedOutPath;
  std::string saveMapPath;   //!< map_server YAML to write the inspected map to (PGM beside it)
  std::string htmlPath;      //!< interactive HTML report to write; empty: none
  double resolution = 0.05;  //!< bare images and the sample
  bool strictUnknown = false;
  std::int64_t maxPixels = std::int64_t{1} << 28;  //!< largest map read, in pixels
  int skeletonMaxSide = 0;                         //!< 0: thin at full resolution
  double minRegionAreaM2 = 0.05;   //!< specks and islands removed before thinning; 0: off
  int coverageMinCells = 4;        //!< smallest coverage block, in cells
  int coverageMaxRectangles = -1;  //!< most coverage blocks; -1: no limit
  bool coveragePath = true;        //!< plan the coverage path
  double swathWidthM = 0.5;        //!< the width the robot's tool sweeps
  double robotRadiusM = 0.25;      //!< the robot's radius
  double overlap = 0.1;            //!< share of the swath neighbouring lanes overlap
  bool hasStart = false;           //!< whether startM was given
  cv::Point2d startM;              //!< where the path starts, metres in the map frame
  cv::Size sampleSize{800, 600};
  double sampleAngleDeg = 17.0;
  unsigned sampleSeed = 1;
  bool compact = false;
};

/// Declares every option of the tool on @p app, bound to @p cli.
void describeOptions(CLI::App & app, CliOptions & cli);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__CLI_OPTIONS_HPP_
