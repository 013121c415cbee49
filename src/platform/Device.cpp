#include "trevalo/platform/Device.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

namespace trevalo::platform {

namespace {

bool looksLikeUuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

}  // namespace

Device::Device(std::shared_ptr<FileSystem> fileSystem, std::filesystem::path vendorIdentifierFile,
               DeviceDescription description)
    : fileSystem_(std::move(fileSystem)),
      vendorIdentifierFile_(std::move(vendorIdentifierFile)),
      description_(std::move(description)) {}

DeviceDescription Device::describeSystem() {
  DeviceDescription description;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0) description.name = host;
  utsname system{};
  if (::uname(&system) == 0) {
    description.systemName = system.sysname;
    description.systemVersion = system.release;
    description.machine = system.machine;
  }
  description.model = "Computer";
  return description;
}

std::string Device::name() const {
  const std::lock_guard lock(mutex_);
  return description_.name;
}

std::string Device::systemName() const {
  const std::lock_guard lock(mutex_);
  return description_.systemName;
}

std::string Device::systemVersion() const {
  const std::lock_guard lock(mutex_);
  return description_.systemVersion;
}

std::string Device::model() const {
  const std::lock_guard lock(mutex_);
  return description_.model;
}

std::string Device::machine() const {
  const std::lock_guard lock(mutex_);
  return description_.machine;
}

void Device::setDescription(DeviceDescription description) {
  const std::lock_guard lock(mutex_);
  description_ = std::move(description);
}

std::optional<std::string> Device::identifierForVendor() const {
  const std::lock_guard lock(mutex_);
  if (!vendorIdentifierLoaded_) {
    vendorIdentifierLoaded_ = true;
    if (const auto stored = fileSystem_->readFile(vendorIdentifierFile_)) {
      std::string text(stored->begin(), stored->end());
      if (looksLikeUuid(text)) vendorIdentifier_ = std::move(text);
    }
    if (!vendorIdentifier_) {
      // Kept for this process even if the file cannot be written; a later process then
      // makes a new one, as a reinstallation would.
      vendorIdentifier_ = makeUuid();
      const auto& text = *vendorIdentifier_;
      fileSystem_->writeFileAtomically(
          vendorIdentifierFile_,
          std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }
  }
  return vendorIdentifier_;
}

void Device::overrideIdentifierForVendor(std::optional<std::string> identifier) {
  const std::lock_guard lock(mutex_);
  vendorIdentifierLoaded_ = true;
  vendorIdentifier_ = std::move(identifier);
}

bool Device::isBatteryMonitoringEnabled() const {
  const std::lock_guard lock(mutex_);
  return batteryMonitoring_;
}

void Device::setBatteryMonitoringEnabled(bool enabled) {
  const std::lock_guard lock(mutex_);
  batteryMonitoring_ = enabled;
}

std::string Device::makeUuid() {
  static thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uint8_t bytes[16];
  for (int i = 0; i < 16; i += 8) {
    const std::uint64_t word = generator();
    for (int k = 0; k < 8; ++k)
      bytes[i + k] = static_cast<std::uint8_t>(word >> (8 * k));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char text[37];
  std::snprintf(text, sizeof text,
                "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", bytes[0],
                bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7], bytes[8],
                bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

}  // namespace trevalo::platform
