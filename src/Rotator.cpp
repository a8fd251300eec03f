#include "Rotator.hpp"

#include <climits>
#include <optional>

#include "direction.hpp"
#include "image_scan.hpp"
#include "rotation.hpp"

double Rotator::computeImageMainDirection(const cv::Mat & image)
{
  return quorvane::direction::mainDirection(image);
}

void Rotator::getMinMaxCoordinates(const cv::Mat & image, cv::Point & minPt, cv::Point & maxPt)
{
  quorvane::image_scan::checkByteImage(image, "getMinMaxCoordinates: the image");
  const std::optional<quorvane::image_scan::PixelBox> box =
    quorvane::image_scan::boxOf255Pixels(image);
  if (box) {
    minPt = cv::Point(box->minX, box->minY);
    maxPt = cv::Point(box->maxX, box->maxY);
  } else {
    minPt = cv::Point(INT_MAX, INT_MAX);
    maxPt = cv::Point(0, 0);
  }
}

double Rotator::computeImageRotationMatrix(
  const cv::Mat & image, cv::Mat & rotationMatrix, cv::Rect & bounds, const cv::Point * center,
  double extraAngle)
{
  // Computed in full before either output is written.
  const quorvane::rotation::Rotation rotation =
    quorvane::rotation::rotationOntoMainDirection(image, center, extraAngle);
  rotationMatrix = rotation.matrix;
  bounds = rotation.bounds;
  return rotation.angle;
}

void Rotator::rotateImage(
  const cv::Mat & image, cv::Mat & rotatedImage, const cv::Mat & rotationMatrix,
  const cv::Rect & bounds)
{
  const cv::Size size(bounds.width, bounds.height);
  quorvane::rotation::checkWarpInput(image, rotationMatrix, size);
  quorvane::rotation::warpAndBinarise(image, rotationMatrix, size, rotatedImage);
}

void Rotator::transformPointPathToPosePath(
  const std::vector<cv::Point2f> & input, std::vector<cv::Point2f> & output)
{
  // Reserving first means appending never moves the input's points, which
  // keeps even a call with input and output the same vector well defined.
  const size_t count = input.size();
  output.reserve(output.size() + count);
  for (size_t i = 0; i < count; ++i) {
    output.push_back(input[i]);
  }
}

void Rotator::transformPointPathToPosePath(std::vector<cv::Point2f> & path)
{
  // The path keeps its points, in order (and its capacity): nothing to do.
  static_cast<void>(path);
}

void Rotator::transformPathBackToOriginalRotation(
  const std::vector<cv::Point2f> & input, std::vector<cv::Point2f> & output,
  const cv::Mat & rotationMatrix)
{
  // One vector as input and output: its points are set aside before the
  // output is emptied.
  const std::vector<cv::Point2f> aside = &input == &output ? input : std::vector<cv::Point2f>();
  const std::vector<cv::Point2f> & source = &input == &output ? aside : input;
  // The output never keeps earlier points, also when the transform throws.
  output.clear();
  std::vector<cv::Point2f> transformed = quorvane::rotation::transformBack(source, rotationMatrix);
  transformPointPathToPosePath(transformed, output);
}
