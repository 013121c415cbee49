#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "CrashJournal.h"
#include "trevalo/Json.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/simulated/SimulatedHttpTransport.h"

namespace trevalo::crash {

// The service the child talks to, answering on the simulated transport. It resolves a stay to
// the place its last point lies in, hands out three geofences around any point, and takes visit
// logs, writing every answer about a stay or a visit to its journal before the answer goes out:
//   "locate-ok <key>", "locate-fail <key>", "log-ok <key> <body>", "log-fail <key>".
// So that work waits across restarts for its retries, the service fails (status 500) three
// hours in every eight of the day, and besides a third of the stays and visit logs fail their
// first attempt and another third their first two; the journal carries the attempts over.
class CrashService {
 public:
  // `outageStart` is the instant the service counts its hours from.
  CrashService(const std::filesystem::path& journal, Date outageStart);

  std::optional<platform::SimulatedHttpTransport::Answer> answer(
      const platform::HttpRequest& request);

  // The key of a stay: the latitude of its last point, to the microdegree.
  static std::string stayKey(double latitude);
  // The key of a visit: its address id, venue id and start in milliseconds.
  static std::string visitKey(const Json& logBody);
  // The place ids of the place at `latitude` ("A<n>", "V<n>").
  static int placeNumber(double latitude);

 private:
  bool failsNow(const std::string& key);
  bool inOutage() const;

  Date outageStart_;
  std::unique_ptr<CrashJournal> journal_;
  std::map<std::string, int> attempts_;
};

}  // namespace trevalo::crash
