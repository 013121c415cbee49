#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "trevalo/platform/FileSystem.h"

namespace trevalo::platform {

// What the device tells about itself.
struct DeviceDescription {
  std::string name;           // the user-visible device name
  std::string systemName;     // the operating system ("Linux")
  std::string systemVersion;  // its release
  std::string model;          // a generic model word
  std::string machine;        // the hardware machine identifier (uname's machine field)
};

// The current device. Its vendor identifier is a UUID made on first request and kept in a file,
// so that it stays the same for the installation. Safe to use from any thread.
class Device {
 public:
  Device(std::shared_ptr<FileSystem> fileSystem, std::filesystem::path vendorIdentifierFile,
         DeviceDescription description);

  // The description of the machine the process runs on (host name, uname).
  static DeviceDescription describeSystem();

  std::string name() const;
  std::string systemName() const;
  std::string systemVersion() const;
  std::string model() const;
  std::string machine() const;
  void setDescription(DeviceDescription description);

  // Upper-case UUID text; nothing when vendor identifiers have been switched off.
  std::optional<std::string> identifierForVendor() const;
  // Replaces the vendor identifier for this process (nothing: the device offers none).
  void overrideIdentifierForVendor(std::optional<std::string> identifier);

  bool isBatteryMonitoringEnabled() const;
  void setBatteryMonitoringEnabled(bool enabled);

  // A new random (version 4) UUID in upper-case text.
  static std::string makeUuid();

 private:
  std::shared_ptr<FileSystem> fileSystem_;
  std::filesystem::path vendorIdentifierFile_;
  mutable std::mutex mutex_;
  DeviceDescription description_;
  mutable std::optional<std::string> vendorIdentifier_;
  mutable bool vendorIdentifierLoaded_ = false;
  bool batteryMonitoring_ = false;
};

}  // namespace trevalo::platform
