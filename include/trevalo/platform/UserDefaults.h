#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "trevalo/Json.h"
#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/FileSystem.h"

namespace trevalo::platform {

// A small persistent key-value store for flags and identifiers. It lives in one file; every
// change is written through to that file atomically. A missing or damaged file reads as an
// empty store. Values are JSON values; bytes are kept as JSON binary values. Safe to use from
// any thread.
class UserDefaults {
 public:
  UserDefaults(std::shared_ptr<FileSystem> fileSystem, std::filesystem::path file);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  std::optional<Json> objectForKey(std::string_view key) const;
  void setObject(const Json& value, std::string_view key);
  void removeObjectForKey(std::string_view key);

  // False when absent; a stored number is true when non-zero; any other kind is false.
  bool boolForKey(std::string_view key) const;
  void setBool(bool value, std::string_view key);

  std::optional<std::string> stringForKey(std::string_view key) const;
  std::optional<Bytes> dataForKey(std::string_view key) const;
  void setData(const Bytes& data, std::string_view key);

  // Retries a write that failed earlier; true when the file holds every change.
  bool synchronize();

  const std::filesystem::path& path() const noexcept { return file_; }

 private:
  void writeLocked();

  std::shared_ptr<FileSystem> fileSystem_;
  std::filesystem::path file_;
  mutable std::mutex mutex_;
  std::unique_ptr<Json> values_;  // a JSON object
  bool dirty_ = false;
};

}  // namespace trevalo::platform
