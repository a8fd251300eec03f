#ifndef QUORVANE_NAV2_ALGO_CORE__TOOLS__OUTPUTS_HPP_
#define QUORVANE_NAV2_ALGO_CORE__TOOLS__OUTPUTS_HPP_

// The tool's files, written all or nothing: every output goes to a temporary
// file beside its destination first, and only when all of them are complete
// are they renamed into place.

#include <stdexcept>
#include <string>
#include <vector>

#include "quorvane_nav2_maps/map.hpp"

namespace quorvane
{
namespace tools
{

/// An output that cannot be written.
class OutputWriteError : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

/// One file to write: its path and its whole content.
struct OutputFile
{
  std::string path;
  std::string bytes;
};

/**
 * @brief The map_server form of @p map: a YAML description naming its image
 *        by file name only, and that image as PGM (free 254, unknown 205,
 *        occupied 0, with the default thresholds, which read it back as it
 *        was). The image is @p yamlPath with the extension .pgm.
 * @return the YAML file, then the PGM file.
 */
std::vector<OutputFile> mapServerFiles(const maps::Map & map, const std::string & yamlPath);

/**
 * @brief Writes every file or none.
 *
 * Each file's bytes go to a new temporary file in its destination's folder,
 * which is then flushed and closed; once all are written they are renamed
 * onto their destinations (a rename within a folder replaces the old file
 * in one step, so a reader never sees a partial file). When any step fails,
 * the temporary files are removed, destinations already renamed are removed
 * again, and nothing else is touched.
 *
 * @throws OutputWriteError naming the path and the reason.
 */
void writeAllOrNothing(const std::vector<OutputFile> & files);

}  // namespace tools
}  // namespace quorvane

#endif  // QUORVANE_NAV2_ALGO_CORE__TOOLS__OUTPUTS_HPP_
