#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <utility>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/utils/TROptionValue.h"

namespace trevalo::platform {
class KeyedUnarchiver;
}

namespace trevalo {

// The options dictionary of a start: string keys (TROptionWhenInUseOnly, ...) to JSON values
// or lists of records (the filters under TROptionFilter). The SDK keeps the dictionary of the
// last start in the user defaults as a keyed archive, records and all, so that a relaunch
// starts with the same options.
//
//   TROptions options{{TROptionTimedUpdatesInterval, 30.0}, {TROptionFilter, filters}};
class TROptions final : public platform::Archivable {
 public:
  static constexpr const char* kArchiveClassName = "TROptions";
  using Entries = std::map<std::string, TROptionValue, std::less<>>;

  TROptions() = default;
  TROptions(std::initializer_list<Entries::value_type> entries) : entries_(entries) {}
  // Each member of a JSON object as an option; anything but an object gives no options.
  static TROptions withJson(const Json& object);

  void set(std::string key, TROptionValue value);
  void erase(std::string_view key);
  // The value under `key`; nothing when there is none.
  const TROptionValue* find(std::string_view key) const;

  const Entries& entries() const noexcept { return entries_; }
  std::size_t size() const noexcept { return entries_.size(); }
  bool empty() const noexcept { return entries_.empty(); }

  // The JSON options as one JSON object, without the lists of records.
  Json jsonValues() const;

  bool operator==(const TROptions& other) const { return entries_ == other.entries_; }

  // Records are read back through the archive registry: the classes of the records stored
  // must be registered (ArchiveRegistry) before reading, or the read raises ArchiveError.
  static std::shared_ptr<TROptions> initWithCoder(platform::KeyedUnarchiver& coder);
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override;

 private:
  Entries entries_;
};

}  // namespace trevalo
