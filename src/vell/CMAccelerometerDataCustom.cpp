#include "vell/CMAccelerometerDataCustom.h"

#include <nlohmann/json.hpp>

#include "json/ParserUtils.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

constexpr const char* kAccelerationXKey = "_trAcceleration.x";
constexpr const char* kAccelerationYKey = "_trAcceleration.y";
constexpr const char* kAccelerationZKey = "_trAcceleration.z";
constexpr const char* kTimeStampKey = "_trTimeStamp";

}  // namespace

CMAccelerometerDataCustom::CMAccelerometerDataCustom(
    const platform::AccelerometerData& sample) noexcept
    : trAcceleration_(sample.acceleration), trTimeStamp_(sample.timestamp) {}

CMAccelerometerDataCustom::CMAccelerometerDataCustom(const Json& json)
    : trAcceleration_{ParserUtils::doubleValue(json, "accelerationX"),
                      ParserUtils::doubleValue(json, "accelerationY"),
                      ParserUtils::doubleValue(json, "accelerationZ")},
      trTimeStamp_(ParserUtils::doubleValue(json, "timeStamp") / 1000.0) {}

CMAccelerometerDataCustom::CMAccelerometerDataCustom(platform::KeyedUnarchiver& coder)
    : trAcceleration_{coder.decodeDouble(kAccelerationXKey), coder.decodeDouble(kAccelerationYKey),
                      coder.decodeDouble(kAccelerationZKey)},
      trTimeStamp_(coder.decodeDouble(kTimeStampKey)) {}

void CMAccelerometerDataCustom::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeDouble(trAcceleration_.x, kAccelerationXKey);
  coder.encodeDouble(trAcceleration_.y, kAccelerationYKey);
  coder.encodeDouble(trAcceleration_.z, kAccelerationZKey);
  coder.encodeDouble(trTimeStamp_, kTimeStampKey);
}

}  // namespace trevalo
