#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "service/SqliteDatabase.h"
#include "trevalo/Json.h"

namespace trevalo::service {

// A visit the SDK logged when it ended.
struct LoggedVisit {
  std::string deviceId;
  std::string venueId;
  std::string addressId;
  double latitude = 0.0;
  double longitude = 0.0;
  std::int64_t startMilliseconds = 0;
  std::int64_t endMilliseconds = 0;  // 0 while the visit is open
  Json body;                         // the request body as it came

  bool operator==(const LoggedVisit&) const = default;
};

// The reference service's records in SQLite, so a replay leaves a database a person can
// query: `visits` (the logged visits), `user_values` (the latest value of each user attribute
// of each device) and `user_uploads` (every upload as it came), `recorded_locations` and
// `recorded_visits` (the recording uploads, by session), and `event_log`. Each call writes in
// one transaction: all of its rows or none.
class ServiceStore {
 public:
  // A file, created when missing; ":memory:" for a store that lives with the object.
  explicit ServiceStore(const std::string& path);

  // Stores a logged visit; false when the very same record is stored already. A client that
  // did not hear the answer to its request sends it again, and the visit is still one visit.
  bool logVisit(const LoggedVisit& visit, double receivedAt);
  // Every logged visit of `deviceId` (or of every device), in the order they were logged.
  std::vector<LoggedVisit> visits(const std::optional<std::string>& deviceId = std::nullopt);

  void saveUserValues(const std::string& deviceId,
                      const std::vector<std::pair<std::string, Json>>& values, const Json& body,
                      double receivedAt);
  std::vector<std::pair<std::string, Json>> userValues(const std::string& deviceId);

  void recordLocations(const std::string& session, const std::vector<Json>& locations);
  std::vector<Json> recordedLocations(const std::string& session);
  void recordVisits(const std::string& session, const std::vector<Json>& visits);
  std::vector<Json> recordedVisits(const std::string& session);

  void logEvent(const std::string& deviceId, const std::string& time, const std::string& message);
  std::vector<std::pair<std::string, std::string>> events(const std::string& deviceId);

 private:
  SqliteDatabase database_;
};

}  // namespace trevalo::service
