#include "get_special_points.hpp"

get_special_points::get_special_points() = default;

get_special_points::~get_special_points() = default;

// ---------------------------------------------------------------- junctions

int get_special_points::SkeletonGetJunctionPt(
  const cv::Mat & skeleton, std::vector<cv::Point> & junctions)
{
  (void)skeleton;
  junctions.assign(2, cv::Point(0, 0));
  return 0;
}

// ---------------------------------------------------------------- inner rectangle

void get_special_points::getInnerRect(
  const cv::Mat & map, std::vector<cv::Point2f> & rectPath, double cellSize)
{
  (void)map;
  (void)rectPath;
  (void)cellSize;
}

// ---------------------------------------------------------------- cell test

bool get_special_points::completeCellTest(const cv::Mat & image, cv::Point & center, int side)
{
  (void)image;
  (void)center;
  (void)side;
  return false;
}
