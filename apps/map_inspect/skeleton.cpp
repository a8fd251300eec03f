#include "skeleton.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>

#include <opencv2/imgproc.hpp>

#include "quorvane_nav2_maps/thinning.hpp"

namespace quorvane
{
namespace tools
{
namespace
{

/// Block-wise "all free" reduction by @p factor; partial blocks at the right
/// and bottom edges are padded with occupied cells.
cv::Mat reduceAllFree(const cv::Mat & free, int factor)
{
  const int width = (free.cols + factor - 1) / factor;
  const int height = (free.rows + factor - 1) / factor;
  cv::Mat padded;
  cv::copyMakeBorder(
    free, padded, 0, height * factor - free.rows, 0, width * factor - free.cols,
    cv::BORDER_CONSTANT, cv::Scalar(0));
  // The area mean of a block is 255 exactly when every cell in it is 255.
  cv::Mat mean;
  cv::resize(padded, mean, cv::Size(width, height), 0, 0, cv::INTER_AREA);
  cv::Mat reduced;
  cv::compare(mean, 255, reduced, cv::CMP_EQ);
  return reduced;
}

}  // namespace

Skeleton thinFreeSpace(
  const cv::Mat & free, int maxSide, std::int64_t minRegionAreaPx, double * cleaningMs)
{
  CV_CheckTypeEQ(free.type(), CV_8UC1, "free space must be CV_8UC1");
  if (maxSide != 0) {
    CV_CheckGE(maxSide, 16, "the longest thinned side must be 0 or at least 16");
  }
  Skeleton skeleton;
  // 1. the window: bounding box of the free cells
  const cv::Rect box = cv::boundingRect(free);
  if (box.empty()) {
    return skeleton;
  }
  skeleton.offset = box.tl();
  // 2. clean it inside a blocked frame that stands for the rest of the map:
  //    obstacles reaching the box's edge join it, and it is too large to be
  //    taken for a speck itself (its area is at least 4 * frame^2)
  //    A region inside the box has at most its area, so a larger minimum
  //    removes nothing more: it is clamped before it sizes the frame, which
  //    then grows with the map and never with the option.
  const std::int64_t minArea =
    std::min<std::int64_t>(minRegionAreaPx, static_cast<std::int64_t>(box.area()) + 1);
  const int frame = 1 + static_cast<int>(std::ceil(std::sqrt(static_cast<double>(minArea)) / 2.0));
  skeleton.cleaningFrame = frame;
  cv::Mat framed;
  cv::copyMakeBorder(
    free(box), framed, frame, frame, frame, frame, cv::BORDER_CONSTANT, cv::Scalar(0));
  const auto start = std::chrono::steady_clock::now();
  skeleton.cleaning = maps::removeSmallRegions(framed, framed, minArea);
  if (cleaningMs != nullptr) {
    *cleaningMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  // 3. reduce it when asked, and keep one clear pixel around it (the
  //    thinning leaves the image's outermost rows and columns alone)
  if (maxSide != 0) {
    skeleton.scale = (std::max(box.width, box.height) + maxSide - 1) / maxSide;
  }
  cv::Mat padded;
  if (skeleton.scale > 1) {
    const cv::Mat reduced =
      reduceAllFree(framed(cv::Rect(frame, frame, box.width, box.height)), skeleton.scale);
    cv::copyMakeBorder(reduced, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
  } else {
    padded = framed(cv::Rect(frame - 1, frame - 1, box.width + 2, box.height + 2));
  }
  // 4. thin, and drop the padding again
  cv::Mat thin;
  maps::thinZhangSuen(padded, thin);
  skeleton.image = thin(cv::Rect(1, 1, thin.cols - 2, thin.rows - 2)).clone();
  return skeleton;
}

}  // namespace tools
}  // namespace quorvane
