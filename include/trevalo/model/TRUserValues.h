#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A bag of user attributes for upload, or the device statistics. The three records the SDK
// keeps between runs (the values last sent, the values whose upload failed, the statistics
// last sent) live in the documents directory as keyed archives.
class TRUserValues final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRUserValues";

  // Always a JSON object.
  Json dictionary = Json::object();

  TRUserValues() = default;

  // The map as given, or its stripped form when `filtered`. Anything but a map reads as an
  // empty one.
  static std::shared_ptr<TRUserValues> initWithDictionary(const Json& dictionary, bool filtered);

  // Only the ten user attribute keys (TRUserValueIdentifier ... TRUserValueDateInstalled) that
  // hold a value other than null, in the order of that list.
  static Json getStrippedDictionary(const Json& dictionary);

  // Strips `values` and writes its entries over the current ones; other entries stay.
  void updateWithNewValues(const Json& values);

  bool hasInfo() const;

  // Whether the two records hold the same entries: every value set (not null) on either side
  // is set alike on the other, so values that add an entry to those last sent still differ
  // from them. Which side asks makes no difference. No `other` counts as an empty record.
  bool isEqualToUserValues(const std::shared_ptr<const TRUserValues>& other) const;

  // The device identifier, read at each call.
  std::optional<std::string> deviceId() const;

  // The upload body: "device_id", "vendor_id", "bundle_id" (each left out when unknown) and
  // "info", always present, one {"key", "value"} map per entry.
  Json toDictionary() const;

  // The device statistics now: "os" (the device's system name), "os_version",
  // "trevalo_version", "carrier", "model"; unknown values are left out.
  static Json getActualStats();
  static std::shared_ptr<TRUserValues> actualStatsValues();
  // Whether this record holds exactly the statistics of now (the order of keys aside).
  bool isValid() const;

  static std::filesystem::path sentUserPath();
  static std::filesystem::path failedUserPath();
  static std::filesystem::path sentStatsPath();

  // Replace the stored record; storing nothing makes the read give nothing. False when the
  // file could not be written (the earlier file is then left as it was).
  static bool saveSentUser(const std::shared_ptr<const TRUserValues>& values);
  static bool saveFailedUser(const std::shared_ptr<const TRUserValues>& values);
  static bool saveStats(const std::shared_ptr<const TRUserValues>& values);

  // The stored records; nothing when the file is missing, damaged or holds something else.
  static std::shared_ptr<TRUserValues> getSavedUser();
  static std::shared_ptr<TRUserValues> getFailedUser();
  static std::shared_ptr<TRUserValues> getCurrentStats();

  static std::shared_ptr<TRUserValues> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
