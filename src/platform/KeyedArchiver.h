#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Location.h"

namespace trevalo::platform {

// Writes a graph of records into a keyed archive. Each record writes its fields under string
// keys (keys starting with "$" are reserved). A record reached twice is written once, and
// reading gives back one object in both places. Cycles are refused.
//
// The archive is self-checking: reading it back detects truncation, damage and files of
// another format (KeyedUnarchiver).
class KeyedArchiver {
 public:
  // The key under which the `...RootObject` operations store the root.
  static constexpr const char* kRootKey = "root";

  KeyedArchiver();
  ~KeyedArchiver();
  KeyedArchiver(const KeyedArchiver&) = delete;
  KeyedArchiver& operator=(const KeyedArchiver&) = delete;

  void encodeBool(bool value, std::string_view key);
  void encodeInt(std::int32_t value, std::string_view key);
  void encodeInt64(std::int64_t value, std::string_view key);
  void encodeDouble(double value, std::string_view key);

  // Objects. Nothing (or a null record) is written as an explicit null, which reads back as
  // nothing.
  void encodeObject(const std::shared_ptr<const Archivable>& object, std::string_view key);
  void encodeString(const std::optional<std::string>& value, std::string_view key);
  void encodeDate(const std::optional<Date>& value, std::string_view key);
  void encodeLocation(const std::optional<Location>& value, std::string_view key);
  void encodeJson(const Json& value, std::string_view key);

  template <class T>
  void encodeObjects(const std::vector<std::shared_ptr<T>>& objects, std::string_view key) {
    std::vector<std::shared_ptr<const Archivable>> list(objects.begin(), objects.end());
    encodeObjectList(list, key);
  }
  void encodeObjectList(const std::vector<std::shared_ptr<const Archivable>>& objects,
                        std::string_view key);

  // The finished archive. The archiver cannot be used afterwards.
  Bytes encodedData();

  static Bytes archivedDataWithRootObject(const std::shared_ptr<const Archivable>& root);
  // Writes the archive of `root` to `file` atomically; false when the file could not be
  // written (the previous file is then untouched).
  [[nodiscard]] static bool archiveRootObject(const std::shared_ptr<const Archivable>& root,
                                              const std::filesystem::path& file);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace trevalo::platform
