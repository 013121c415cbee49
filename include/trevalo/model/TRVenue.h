#pragma once

#include <memory>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// A named business or point of interest, as the service describes it. A plain record: every
// field may be missing and none is validated.
class TRVenue final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRVenue";

  std::optional<std::string> venueId;      // "id"
  std::optional<std::string> addressId;    // "address_id"
  std::optional<std::string> name;         // "name"
  std::optional<std::string> category;     // "category"
  std::optional<std::string> subcategory;  // "subcategory"

  TRVenue() = default;

  // Reads a venue map; anything but a map (or no value) gives a venue with every field missing.
  static std::shared_ptr<TRVenue> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TRVenue> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }
  // A venue for a geocoder answer: the placemark's name, and as its id an upper-case UUID
  // derived from the placemark's name and address text, the same for the same place.
  static std::shared_ptr<TRVenue> initWithPlacemark(const platform::Placemark& placemark);

  static std::shared_ptr<TRVenue> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

  // "<TRVenue: 0x...>": the class and the record's address, nothing of its content.
  std::string description() const;
};

}  // namespace trevalo
