#include "utils/TRUtils.h"

#include <array>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <utility>

#include "TrevaloVersion.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "utils/TextScanning.h"

namespace trevalo {

namespace {

constexpr std::string_view kUuidKey = "_TR_APP_UUID";
constexpr std::string_view kGeofenceOnKey = "__TR_APP_GEOFENCE_ON_KEY";
constexpr std::string_view kOptionsKey = "__TR_APP_OPTIONS_ON_KEY";
constexpr std::string_view kWasRunningKey = "__TR_APP_WAS_RUNNING_ON_KEY";

constexpr const char* kErrorDomain = "Trevalo";
constexpr const char* kGenericErrorDomain = "TRError";
constexpr std::int64_t kGenericErrorCode = -888;

platform::UserDefaults& defaults() {
  return platform::Platform::current().userDefaults();
}

struct ModelName {
  std::string_view machine;
  std::string_view name;
};

// Compiled into the binary rather than built at run time: nothing to initialise, nothing to
// race on, nothing to destroy at exit.
constexpr std::array<ModelName, 28> kModelNames{{
    {"i386", "Simulator"},
    {"iPod1,1", "iPod Touch"},
    {"iPod2,1", "iPod Touch"},
    {"iPod3,1", "iPod Touch"},
    {"iPod4,1", "iPod Touch"},
    {"iPhone1,1", "iPhone"},
    {"iPhone1,2", "iPhone"},
    {"iPhone2,1", "iPhone"},
    {"iPad1,1", "iPad"},
    {"iPad2,1", "iPad 2"},
    {"iPad3,1", "iPad"},
    {"iPhone3,1", "iPhone 4"},
    {"iPhone3,3", "iPhone 4"},
    {"iPhone4,1", "iPhone 4S"},
    {"iPhone5,1", "iPhone 5"},
    {"iPhone5,2", "iPhone 5"},
    {"iPad3,4", "iPad"},
    {"iPad2,5", "iPad Mini"},
    {"iPhone5,3", "iPhone 5c"},
    {"iPhone5,4", "iPhone 5c"},
    {"iPhone6,1", "iPhone 5s"},
    {"iPhone6,2", "iPhone 5s"},
    {"iPhone7,1", "iPhone 6 Plus"},
    {"iPhone7,2", "iPhone 6"},
    {"iPad4,1", "iPad Air"},
    {"iPad4,2", "iPad Air"},
    {"iPad4,4", "iPad Mini"},
    {"iPad4,5", "iPad Mini"},
}};

struct ErrorText {
  std::int64_t code;
  const char* key;
  const char* message;
};

constexpr std::array<ErrorText, 7> kErrors{{
    {-9999, Error::kLocalizedFailureReasonKey, "Unknown server error"},
    {-9998, Error::kLocalizedDescriptionKey,
     "Trevalo is not running. Please call - (void)startWithApiKey:(NSString *)apiKey "
     "delegate:(NSObject <TrevaloDelegate> *)delegate first"},
    {-9996, Error::kLocalizedDescriptionKey, "Location cannot be nil"},
    {-9995, Error::kLocalizedDescriptionKey, "Location is not determined"},
    {-9994, Error::kLocalizedDescriptionKey, "Cannot find venues at this location"},
    {-9993, Error::kLocalizedDescriptionKey, "Current venue is not available"},
    {-9992, Error::kLocalizedFailureReasonKey, "Unknown server error"},
}};

bool isNonEmpty(const std::optional<std::string>& text) {
  return text && !text->empty();
}

}  // namespace

void TRUtils::saveWasRunning(bool wasRunning) {
  auto& store = defaults();
  store.setBool(wasRunning, kWasRunningKey);
  store.synchronize();
}

bool TRUtils::wasRunning() {
  return defaults().boolForKey(kWasRunningKey);
}

void TRUtils::saveGeofenceState(bool on) {
  auto& store = defaults();
  store.setBool(on, kGeofenceOnKey);
  store.synchronize();
}

bool TRUtils::geofenceOn() {
  return defaults().boolForKey(kGeofenceOnKey);
}

void TRUtils::saveOptions(const std::optional<TROptions>& options) {
  platform::KeyedArchiver archiver;
  // An archive without a root is what "no options" looks like, so that a later read gives
  // nothing rather than whatever an earlier start stored.
  if (options) {
    archiver.encodeObject(std::make_shared<const TROptions>(*options),
                          platform::KeyedArchiver::kRootKey);
  }
  defaults().setData(archiver.encodedData(), kOptionsKey);
}

std::optional<TROptions> TRUtils::options() {
  const auto data = defaults().dataForKey(kOptionsKey);
  if (!data) return std::nullopt;
  try {
    const auto options = platform::KeyedUnarchiver::unarchiveObjectOfClass<TROptions>(*data);
    if (!options) return std::nullopt;
    return *options;
  } catch (const platform::ArchiveError&) {
    // Options from a damaged store are not worth failing a start over; the application gives
    // them again with its next start.
    return std::nullopt;
  }
}

std::optional<std::string> TRUtils::IFA() {
  auto advertising = platform::Platform::current().advertisingIdentifier();
  if (isNonEmpty(advertising)) return advertising;
  return requestUUIDFromUserDefaultsAndSave();
}

std::optional<std::string> TRUtils::requestUUIDFromUserDefaultsAndSave() {
  auto& store = defaults();
  auto stored = store.stringForKey(kUuidKey);
  if (isNonEmpty(stored)) return stored;

  auto vendor = platform::Platform::current().device().identifierForVendor();
  if (!isNonEmpty(vendor)) return std::nullopt;
  store.setObject(Json(*vendor), kUuidKey);
  store.synchronize();
  return vendor;
}

std::string TRUtils::deviceName() {
  const std::string machine = platform::Platform::current().device().machine();
  for (const auto& row : kModelNames) {
    if (row.machine == machine) return std::string(row.name);
  }
  if (machine.find("iPod") != std::string::npos) return "iPod Touch";
  if (machine.find("iPad") != std::string::npos) return "iPad";
  if (machine.find("iPhone") != std::string::npos) return "iPhone";
  return machine;
}

std::optional<std::string> TRUtils::carrier() {
  return platform::Platform::current().carrierName();
}

std::optional<std::string> TRUtils::fetchSSIDInfo() {
  // A network name is raw bytes on the air; it goes into JSON bodies and archives, which hold
  // text, so bytes that are not UTF-8 are replaced here rather than failing every request
  // that carries the name later.
  auto name = platform::Platform::current().wifiNetworkName();
  if (name) name = text_scanning::toValidUtf8(*name);
  return name;
}

std::optional<std::string> TRUtils::version() {
  const std::string_view text = detail::kVersionText;
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

std::uint64_t TRUtils::millisecondsSince1970(Date date) {
  const double milliseconds = date.timeIntervalSince1970() * 1000.0;
  // 2^64 is exactly representable; every double below it converts without overflow.
  constexpr double kLimit = 18446744073709551616.0;
  if (std::isnan(milliseconds) || milliseconds <= 0.0) return 0;
  if (milliseconds >= kLimit) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(milliseconds);
}

Error TRUtils::errorWithCode(std::int64_t code) {
  for (const auto& row : kErrors) {
    if (row.code == code) return Error(kErrorDomain, code, {{row.key, row.message}});
  }
  return Error(kGenericErrorDomain, kGenericErrorCode,
               {{Error::kLocalizedFailureReasonKey, "Unknown Trevalo error"}});
}

void TRUtils::raiseException(std::int64_t code) {
  if (code == 1) {
    throw Exception(Exception::kInvalidArgument,
                    "TROptionFilter option must be an array of TRFilter objects");
  }
}

std::string TRUtils::strForStrategy(StrategyType strategy) {
  switch (strategy) {
    case StrategyTypeUnset:
      return "StrategyTypeUnset";
    case StrategyTypeInitial:
      return "StrategyTypeInitial";
    case StrategyTypeLowWalking:
      return "StrategyTypeLowWalking";
    case StrategyTypeHighWalking:
      return "StrategyTypeHighWalking";
    case StrategyTypeCar:
      return "StrategyTypeCar";
    case StrategyTypeBuildingModeMovingHigh:
      return "StrategyTypeBuildingModeMovingHigh";
    case StrategyTypeBuildingModeMovingLow:
      return "StrategyTypeBuildingModeMovingLow";
    case StrategyTypeBuildingModeStill:
      return "StrategyTypeBuildingModeStill";
    case StrategyTypeOff:
      return "StrategyTypeOff";
    case StrategyTypeBurst:
      return "StrategyTypeBurst";
    case StrategyTypeWifi:
      return "StrategyTypeWifi";
    case StrategyTypeVisitWalkingHigh:
      return "StrategyTypeVisitWalkingHigh";
    case StrategyTypeVisitWalkingLow:
      return "StrategyTypeVisitWalkingLow";
    case StrategyTypeGeofence:
      return "StrategyTypeGeofence";
  }
  return "Unknown";
}

std::string TRUtils::strForMode(TRMode mode) {
  switch (mode) {
    case TRModeInitial:
      return "TRModeInitial";
    case TRModeWalking:
      return "TRModeWalking";
    case TRModeBurst:
      return "TRModeBurst";
    case TRModeCar:
      return "TRModeCar";
    case TRModeVisit:
      return "TRModeVisit";
    case TRModeVisitWalking:
      return "TRModeVisitWalking";
    case TRModeGeofence:
      return "TRModeGeofence";
    case TRModeWifi:
      return "TRModeWifi";
  }
  return "unknown";
}

std::filesystem::path TRUtils::getDocumentsPath() {
  return platform::Platform::current().documentsDirectory();
}

}  // namespace trevalo
