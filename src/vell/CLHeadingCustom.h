#pragma once

#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
// Complete, so that overload resolution between the JSON and the archive constructors can
// rule the archive reader out.
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Heading.h"

namespace trevalo {

// A compass heading rebuilt from a recording (JSON) or read from a keyed archive. It carries
// the same fields as the platform heading and converts to it: the SDK keeps plain
// `platform::Heading` values in its lists and uses this record only at those two boundaries.
//
// Archive keys: "_trMagneticHeading", "_trTrueHeading", "_trHeadingAccuracy", "_trX", "_trY",
// "_trZ" (doubles) and "_trTimestamp" (a date).
class CLHeadingCustom final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "CLHeadingCustom";

  explicit CLHeadingCustom(const platform::Heading& heading) noexcept;
  // Reads "magneticHeading", "trueHeading", "headingAccuracy", "headingX", "headingY",
  // "headingZ" and "timeStamp" (milliseconds since 1970); a missing or non-numeric member
  // reads as 0.
  explicit CLHeadingCustom(const Json& json);
  explicit CLHeadingCustom(platform::KeyedUnarchiver& coder);

  double magneticHeading() const noexcept { return trMagneticHeading_; }
  double trueHeading() const noexcept { return trTrueHeading_; }
  double headingAccuracy() const noexcept { return trHeadingAccuracy_; }
  double x() const noexcept { return trX_; }
  double y() const noexcept { return trY_; }
  double z() const noexcept { return trZ_; }
  Date timestamp() const noexcept { return trTimestamp_; }
  platform::Heading heading() const noexcept;

  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  double trMagneticHeading_ = 0.0;
  double trTrueHeading_ = 0.0;
  double trHeadingAccuracy_ = 0.0;
  double trX_ = 0.0;
  double trY_ = 0.0;
  double trZ_ = 0.0;
  Date trTimestamp_;
};

}  // namespace trevalo
