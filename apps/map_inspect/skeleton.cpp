#include "skeleton.hpp"

#include <algorithm>

#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc.hpp>

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

Skeleton thinFreeSpace(const cv::Mat & free, int maxSide)
{
  CV_CheckTypeEQ(free.type(), CV_8UC1, "free space must be CV_8UC1");
  CV_CheckGE(maxSide, 16, "the longest thinned side must be at least 16");
  Skeleton skeleton;
  // 1. the window: bounding box of the free cells
  cv::Mat freeCells;
  cv::compare(free, 255, freeCells, cv::CMP_EQ);
  const cv::Rect box = cv::boundingRect(freeCells);
  if (box.empty()) {
    return skeleton;
  }
  skeleton.offset = box.tl();
  // 2. reduce it when it is too long to thin quickly
  skeleton.scale = (std::max(box.width, box.height) + maxSide - 1) / maxSide;
  cv::Mat window = freeCells(box);
  if (skeleton.scale > 1) {
    window = reduceAllFree(window, skeleton.scale);
  }
  // 3. pad by one clear pixel (the thinning leaves the image's outermost
  //    rows and columns alone), thin, and drop the padding again
  cv::Mat padded;
  cv::copyMakeBorder(window, padded, 1, 1, 1, 1, cv::BORDER_CONSTANT, cv::Scalar(0));
  cv::Mat thin;
  cv::ximgproc::thinning(padded, thin, cv::ximgproc::THINNING_ZHANGSUEN);
  skeleton.image = thin(cv::Rect(1, 1, window.cols, window.rows)).clone();
  return skeleton;
}

}  // namespace tools
}  // namespace quorvane
