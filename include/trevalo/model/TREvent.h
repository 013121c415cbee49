#pragma once

#include <memory>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Coordinate.h"
#include "trevalo/platform/Date.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// An event held at a place. A plain record; nothing is validated.
class TREvent final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TREvent";

  double lat = 0.0;                      // "location" → "lat", degrees
  double lon = 0.0;                      // "location" → "lng", degrees
  std::optional<std::string> eventId;    // "id"
  std::optional<std::string> name;       // "name"
  std::optional<std::string> url;        // "url"
  std::optional<Date> startTime;         // "start_time", milliseconds since 1970
  std::optional<Date> stopTime;          // "stop_time", milliseconds since 1970
  std::optional<std::string> addressId;  // "address_id"
  std::optional<std::string> venueId;    // "venue_id"

  TREvent() = default;

  Coordinate coordinate() const noexcept { return {lat, lon}; }

  // Reads an event map. The times are always set from JSON: a missing time is 1970 itself.
  static std::shared_ptr<TREvent> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TREvent> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }

  static std::shared_ptr<TREvent> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;
};

}  // namespace trevalo
