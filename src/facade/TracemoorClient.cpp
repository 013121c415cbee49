#include "facade/TracemoorClient.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "networking/TRNetworkClient.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/platform/Device.h"
#include "trevalo/platform/Exception.h"

namespace trevalo {

namespace {

bool isWordCharacter(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The length of the UTF-8 sequence that starts with `lead`; a stray byte counts on its own.
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

bool isContinuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

}  // namespace

TracemoorClient::TracemoorClient(std::shared_ptr<TRContext> context)
    : trContext_(std::move(context)) {
  if (!trContext_ || !trContext_->device || !trContext_->networkClient) {
    throw Exception(Exception::kInvalidArgument,
                    "the recording client needs a context with a device and a network client");
  }
  generateSessionIdString();
}

std::string TracemoorClient::cleanDeviceName(const std::string& name) {
  std::string cleaned;
  cleaned.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const auto lead = static_cast<unsigned char>(name[i]);
    if (isWordCharacter(lead)) {
      cleaned.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    // One "_" for a whole character, however many bytes it takes.
    std::size_t length = sequenceLength(lead);
    std::size_t taken = 1;
    while (taken < length && i + taken < name.size() &&
           isContinuation(static_cast<unsigned char>(name[i + taken]))) {
      ++taken;
    }
    cleaned.push_back('_');
    i += taken;
  }
  return cleaned;
}

std::string TracemoorClient::today() const {
  // Clamped to the years the date format can show; a clock never reads beyond them.
  constexpr double kLastSecondOfYear9999 = 253402300799.0;
  const double seconds = std::floor(Date::now().timeIntervalSince1970());
  const auto time = static_cast<std::time_t>(
      std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, kLastSecondOfYear9999));
  std::tm local{};
  ::localtime_r(&time, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

void TracemoorClient::generateSessionIdString() {
  const std::lock_guard lock(mutex_);
  generateLocked();
}

void TracemoorClient::generateLocked() {
  const auto& device = *trContext_->device;
  const auto vendor = device.identifierForVendor();
  sessionYYYMMDD_ = today();
  currentSessionStr_ = cleanDeviceName(device.name()) + "-" +
                       vendor.value_or(kMissingVendorIdentifier) + "-" + sessionYYYMMDD_ + "-" +
                       std::to_string(sessionId_);
}

void TracemoorClient::verifySessionIdString() {
  const std::lock_guard lock(mutex_);
  if (today() == sessionYYYMMDD_) return;
  sessionId_ = 0;
  generateLocked();
}

void TracemoorClient::newSession() {
  const std::lock_guard lock(mutex_);
  ++sessionId_;
  generateLocked();
}

void TracemoorClient::sendLocations(const std::vector<std::shared_ptr<TRVellLocation>>& locations) {
  verifySessionIdString();
  trContext_->networkClient->sendLocations(locations, currentSessionStr(),
                                           [](std::optional<Json>, std::optional<Error>) {});
}

std::string TracemoorClient::currentSessionStr() const {
  const std::lock_guard lock(mutex_);
  return currentSessionStr_;
}

std::int64_t TracemoorClient::sessionId() const {
  const std::lock_guard lock(mutex_);
  return sessionId_;
}

std::string TracemoorClient::sessionYYYMMDD() const {
  const std::lock_guard lock(mutex_);
  return sessionYYYMMDD_;
}

}  // namespace trevalo
