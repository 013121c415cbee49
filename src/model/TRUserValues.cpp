#include "trevalo/model/TRUserValues.h"

#include <array>
#include <nlohmann/json.hpp>
#include <string_view>

#include "json/ParserUtils.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/utils/TRConstants.h"
#include "utils/TRUtils.h"

namespace trevalo {

namespace {

constexpr std::array<const char*, 10> kUserValueKeys{TRUserValueIdentifier,
                                                     TRUserValueName,
                                                     TRUserValueGender,
                                                     TRUserValueAge,
                                                     TRUserValueIncome,
                                                     TRUserValueOccupation,
                                                     TRUserValueMaritalStatus,
                                                     TRUserValueHasInAppPurchases,
                                                     TRUserValueInAppPurchaseTotal,
                                                     TRUserValueDateInstalled};

// Member order is how the values happened to be built, not part of their meaning.
bool sameMembers(const Json& a, const Json& b) {
  if (!a.is_object() || !b.is_object()) return a == b;
  if (a.size() != b.size()) return false;
  for (const auto& [key, value] : a.items()) {
    const auto found = b.find(key);
    if (found == b.end() || !(*found == value)) return false;
  }
  return true;
}

// Whether every value set in `mine` (not null) is set alike in `theirs`.
bool setAlikeIn(const Json& mine, const Json& theirs) {
  if (!mine.is_object()) return true;
  for (const auto& [key, value] : mine.items()) {
    if (value.is_null()) continue;
    const Json* other = ParserUtils::object(theirs, key);
    if (!other || !(*other == value)) return false;
  }
  return true;
}

bool save(const std::shared_ptr<const TRUserValues>& values, const std::filesystem::path& path) {
  return platform::KeyedArchiver::archiveRootObject(values, path);
}

std::shared_ptr<TRUserValues> load(const std::filesystem::path& path) {
  try {
    return platform::KeyedUnarchiver::unarchiveObjectOfClassWithFile<TRUserValues>(path);
  } catch (const platform::ArchiveError&) {
    // A damaged record only costs an upload: the values are sent again.
    return nullptr;
  }
}

std::optional<Json> optionalText(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return Json(*text);
}

}  // namespace

std::shared_ptr<TRUserValues> TRUserValues::initWithDictionary(const Json& dictionary,
                                                               bool filtered) {
  auto values = std::make_shared<TRUserValues>();
  if (filtered) {
    values->dictionary = getStrippedDictionary(dictionary);
  } else if (dictionary.is_object()) {
    values->dictionary = dictionary;
  }
  return values;
}

Json TRUserValues::getStrippedDictionary(const Json& dictionary) {
  Json stripped = Json::object();
  for (const char* key : kUserValueKeys) {
    if (const Json* value = ParserUtils::object(dictionary, key)) stripped[key] = *value;
  }
  return stripped;
}

void TRUserValues::updateWithNewValues(const Json& values) {
  Json merged = dictionary.is_object() ? dictionary : Json::object();
  const Json stripped = getStrippedDictionary(values);
  for (const auto& [key, value] : stripped.items())
    merged[key] = value;
  dictionary = std::move(merged);
}

bool TRUserValues::hasInfo() const {
  return dictionary.is_object() && !dictionary.empty();
}

bool TRUserValues::isEqualToUserValues(const std::shared_ptr<const TRUserValues>& other) const {
  static const Json kNoEntries = Json::object();
  const Json& theirs = other ? other->dictionary : kNoEntries;
  return setAlikeIn(dictionary, theirs) && setAlikeIn(theirs, dictionary);
}

std::optional<std::string> TRUserValues::deviceId() const {
  return TRUtils::IFA();
}

Json TRUserValues::toDictionary() const {
  auto& platform = platform::Platform::current();
  Json body = Json::object();
  ParserUtils::addToDictionary(body, "device_id", optionalText(deviceId()));
  ParserUtils::addToDictionary(body, "vendor_id",
                               optionalText(platform.device().identifierForVendor()));
  ParserUtils::addToDictionary(body, "bundle_id",
                               optionalText(platform.application().bundleIdentifier()));
  Json info = Json::array();
  if (dictionary.is_object()) {
    for (const auto& [key, value] : dictionary.items())
      info.push_back(Json{{"key", key}, {"value", value}});
  }
  ParserUtils::addToDictionary(body, "info", std::move(info));
  return body;
}

Json TRUserValues::getActualStats() {
  auto& device = platform::Platform::current().device();
  Json stats = Json::object();
  // The system the SDK really runs on; claiming a phone system here would mislabel every
  // device in the statistics.
  ParserUtils::addToDictionary(stats, "os", Json(device.systemName()));
  ParserUtils::addToDictionary(stats, "os_version", Json(device.systemVersion()));
  ParserUtils::addToDictionary(stats, "trevalo_version", optionalText(TRUtils::version()));
  ParserUtils::addToDictionary(stats, "carrier", optionalText(TRUtils::carrier()));
  ParserUtils::addToDictionary(stats, "model", Json(TRUtils::deviceName()));
  return stats;
}

std::shared_ptr<TRUserValues> TRUserValues::actualStatsValues() {
  return initWithDictionary(getActualStats(), false);
}

bool TRUserValues::isValid() const {
  return sameMembers(dictionary, getActualStats());
}

std::filesystem::path TRUserValues::sentUserPath() {
  return TRUtils::getDocumentsPath() / "saveduser";
}

std::filesystem::path TRUserValues::failedUserPath() {
  return TRUtils::getDocumentsPath() / "faileduser";
}

std::filesystem::path TRUserValues::sentStatsPath() {
  return TRUtils::getDocumentsPath() / "userstats";
}

bool TRUserValues::saveSentUser(const std::shared_ptr<const TRUserValues>& values) {
  return save(values, sentUserPath());
}

bool TRUserValues::saveFailedUser(const std::shared_ptr<const TRUserValues>& values) {
  return save(values, failedUserPath());
}

bool TRUserValues::saveStats(const std::shared_ptr<const TRUserValues>& values) {
  return save(values, sentStatsPath());
}

std::shared_ptr<TRUserValues> TRUserValues::getSavedUser() {
  return load(sentUserPath());
}

std::shared_ptr<TRUserValues> TRUserValues::getFailedUser() {
  return load(failedUserPath());
}

std::shared_ptr<TRUserValues> TRUserValues::getCurrentStats() {
  return load(sentStatsPath());
}

std::shared_ptr<TRUserValues> TRUserValues::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto values = std::make_shared<TRUserValues>();
  auto dictionary = coder.decodeJson("self.dictionary");
  if (!dictionary) return values;
  if (!dictionary->is_object())
    throw platform::ArchiveError("TRUserValues archived with a dictionary that is not a map");
  values->dictionary = std::move(*dictionary);
  return values;
}

void TRUserValues::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeJson(dictionary, "self.dictionary");
}

}  // namespace trevalo
