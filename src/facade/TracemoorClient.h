#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace trevalo {

class TRContext;
class TRVellLocation;

// The client of the raw-location recording service: it uploads enriched locations under a
// session identifier that names the device, the day and a session counter within the day,
// "<device name>-<vendor identifier>-<yyyy-MM-dd>-<counter>". Uploads are fire and forget: a
// failure is neither retried nor reported.
//
// The device name is written with every character that is not an ASCII letter, digit or
// underscore turned into "_" (one per character), so the identifier stays plain enough for
// URLs. The day is the local date of the platform's clock. Without a vendor identifier the
// second part is the nil UUID. Safe to use from any thread.
class TracemoorClient {
 public:
  static constexpr const char* kMissingVendorIdentifier = "00000000-0000-0000-0000-000000000000";

  // Keeps `context` (its device and network client) and builds the first identifier, counter
  // 0. A context without a device or a network client raises an invalid-argument Exception.
  explicit TracemoorClient(std::shared_ptr<TRContext> context);
  TracemoorClient(const TracemoorClient&) = delete;
  TracemoorClient& operator=(const TracemoorClient&) = delete;

  // Rebuilds the identifier for today with the current counter.
  void generateSessionIdString();
  // Back to counter 0 with a new identifier when the day has changed since it was built.
  void verifySessionIdString();
  // The next counter, with a new identifier.
  void newSession();
  // Uploads `locations` under the session identifier of today.
  void sendLocations(const std::vector<std::shared_ptr<TRVellLocation>>& locations);

  std::string currentSessionStr() const;
  std::int64_t sessionId() const;
  std::string sessionYYYMMDD() const;
  const std::shared_ptr<TRContext>& trContext() const noexcept { return trContext_; }

  // "Ann's phone" becomes "Ann_s_phone".
  static std::string cleanDeviceName(const std::string& name);

 private:
  std::string today() const;
  void generateLocked();

  const std::shared_ptr<TRContext> trContext_;
  mutable std::mutex mutex_;
  std::int64_t sessionId_ = 0;
  std::string sessionYYYMMDD_;
  std::string currentSessionStr_;
};

}  // namespace trevalo
