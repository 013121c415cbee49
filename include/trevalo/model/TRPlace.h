#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TREvent.h"
#include "trevalo/model/TRGeometry.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Placemark.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// What a location resolves to: a venue, its address, the outline of the place, events held
// there and alternative candidates. A plain record; every field may be missing.
class TRPlace final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TRPlace";
  // Alternatives nested deeper than this are not read from JSON: a service answer nests one or
  // two levels, and unbounded nesting would exhaust the stack.
  static constexpr int kMaximumAlternativeDepth = 32;

  std::shared_ptr<TRAddress> address;
  std::shared_ptr<TRVenue> venue;
  // Missing on places built from search results, placemarks and archives that lack them.
  std::optional<std::vector<std::shared_ptr<TREvent>>> events;
  std::optional<std::vector<std::shared_ptr<TRPlace>>> alternatives;
  std::shared_ptr<TRGeometry> geometry;

  TRPlace() = default;

  // Reads a place map (a reverse-geocode answer, a resolved venue, an alternative). Address,
  // venue and geometry are always made, from an empty map when the member is missing; events
  // and alternatives are lists, one entry per array element, empty when missing.
  static std::shared_ptr<TRPlace> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TRPlace> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }

  // One place per element of a venue-search answer: the venue from the element, the address
  // from its "address" map, and the venue's address id replaced by the address's own id.
  // Anything but an array gives no places.
  static std::vector<std::shared_ptr<TRPlace>> placesWithSearchJson(const Json& json);

  // The place of the first placemark; a place with every field missing when there is none.
  static std::shared_ptr<TRPlace> initWithPlacemarks(
      const std::vector<platform::Placemark>& placemarks);

  // Whether the place names a venue or, failing that, an address.
  bool hasValue() const;
  // Whether the address's country is missing or is not the United States (by the names
  // "united states", "us", "usa", "united states of america" in any letter case).
  bool outsideOfUS() const;

  // The identity of the place: the address id followed by the venue id, each empty when
  // missing. Two places are the same place exactly when their keys are equal.
  std::string identityKey() const;
  // True for the same record or another place with the same identity key; false for anything
  // else, including no record at all.
  bool isEqual(const platform::Archivable* object) const;

  // "<TRPlace: venue:<TRVenue: 0x...>>".
  std::string description() const;

  static std::shared_ptr<TRPlace> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  static std::shared_ptr<TRPlace> parse(const Json* dictionary, int depth);
};

}  // namespace trevalo
