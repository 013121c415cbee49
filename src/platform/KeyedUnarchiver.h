#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ArchiveError.h"
#include "platform/ArchiveRegistry.h"
#include "platform/KeyedArchiver.h"
#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Bytes.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Location.h"

namespace trevalo::platform {

// Reads what KeyedArchiver wrote. An absent key reads as nothing, 0 or false. Anything that
// does not fit (bytes of another format, a damaged or truncated archive, a value of another
// kind under a key, an unknown record class, a record of an unexpected class) raises
// ArchiveError; no partially read object is handed back silently.
class KeyedUnarchiver {
 public:
  // Opens an archive; raises ArchiveError when the bytes are not an intact archive.
  explicit KeyedUnarchiver(std::span<const std::uint8_t> data);
  ~KeyedUnarchiver();
  KeyedUnarchiver(const KeyedUnarchiver&) = delete;
  KeyedUnarchiver& operator=(const KeyedUnarchiver&) = delete;

  bool containsValueForKey(std::string_view key) const;

  bool decodeBool(std::string_view key) const;
  std::int32_t decodeInt(std::string_view key) const;
  std::int64_t decodeInt64(std::string_view key) const;
  double decodeDouble(std::string_view key) const;

  std::optional<std::string> decodeString(std::string_view key) const;
  std::optional<Date> decodeDate(std::string_view key) const;
  std::optional<Location> decodeLocation(std::string_view key) const;
  std::optional<Json> decodeJson(std::string_view key) const;

  // Any registered record.
  std::shared_ptr<Archivable> decodeObject(std::string_view key);

  // A record of class T (or a subclass T registers); nothing when absent or null.
  template <class T>
  std::shared_ptr<T> decodeObjectOfClass(std::string_view key) {
    ensureRegistered<T>();
    return castTo<T>(decodeObject(key));
  }

  // A list of records of class T; nothing when absent. Null entries are kept as null.
  template <class T>
  std::optional<std::vector<std::shared_ptr<T>>> decodeArrayOfObjectsOfClass(std::string_view key) {
    ensureRegistered<T>();
    auto list = decodeObjectList(key);
    if (!list) return std::nullopt;
    std::vector<std::shared_ptr<T>> result;
    result.reserve(list->size());
    for (auto& object : *list)
      result.push_back(castTo<T>(std::move(object)));
    return result;
  }

  std::optional<std::vector<std::shared_ptr<Archivable>>> decodeObjectList(std::string_view key);

  // The root record of an archive.
  template <class T>
  static std::shared_ptr<T> unarchiveObjectOfClass(std::span<const std::uint8_t> data) {
    KeyedUnarchiver coder(data);
    return coder.decodeObjectOfClass<T>(KeyedArchiver::kRootKey);
  }
  // The root record of an archive file; nothing when the file does not exist or cannot be
  // read, ArchiveError when it is not an intact archive.
  template <class T>
  static std::shared_ptr<T> unarchiveObjectOfClassWithFile(const std::filesystem::path& file) {
    const auto data = readArchiveFile(file);
    if (!data) return nullptr;
    return unarchiveObjectOfClass<T>(*data);
  }
  static std::shared_ptr<Archivable> unarchiveObjectWithData(std::span<const std::uint8_t> data);
  static std::shared_ptr<Archivable> unarchiveObjectWithFile(const std::filesystem::path& file);

  // The archive as readable JSON, for debugging tools.
  static Json dumpAsJson(std::span<const std::uint8_t> data);

 private:
  template <class T>
  static void ensureRegistered() {
    if constexpr (requires { T::registerArchivableSubclasses(); }) {
      static const bool once = (T::registerArchivableSubclasses(), true);
      (void)once;
    }
    if constexpr (DecodableRecord<T>) {
      static const bool once = (ArchiveRegistry::shared().registerClass<T>(), true);
      (void)once;
    }
  }

  template <class T>
  static std::shared_ptr<T> castTo(std::shared_ptr<Archivable> object) {
    if (!object) return nullptr;
    auto typed = std::dynamic_pointer_cast<T>(object);
    if (!typed) throw unexpectedClass(*object);
    return typed;
  }

  static ArchiveError unexpectedClass(const Archivable& object);
  static std::optional<Bytes> readArchiveFile(const std::filesystem::path& file);

  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace trevalo::platform
