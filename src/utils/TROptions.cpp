#include "trevalo/utils/TROptions.h"

#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"

namespace trevalo {

namespace {

// The JSON options are kept together as one object; each list of records under a key of its
// own, named in a list so that the reader knows which keys to look for.
constexpr const char* kValuesKey = "values";
constexpr const char* kRecordKeysKey = "recordKeys";

std::string recordsKey(std::string_view option) {
  return "records." + std::string(option);
}

}  // namespace

TROptions TROptions::withJson(const Json& object) {
  TROptions options;
  if (!object.is_object()) return options;
  for (const auto& [key, value] : object.items())
    options.set(key, TROptionValue(value));
  return options;
}

void TROptions::set(std::string key, TROptionValue value) {
  entries_.insert_or_assign(std::move(key), std::move(value));
}

void TROptions::erase(std::string_view key) {
  if (const auto found = entries_.find(key); found != entries_.end()) entries_.erase(found);
}

const TROptionValue* TROptions::find(std::string_view key) const {
  const auto found = entries_.find(key);
  return found == entries_.end() ? nullptr : &found->second;
}

Json TROptions::jsonValues() const {
  Json values = Json::object();
  for (const auto& [key, value] : entries_) {
    if (const Json* json = value.json()) values[key] = *json;
  }
  return values;
}

void TROptions::encodeWithCoder(platform::KeyedArchiver& coder) const {
  coder.encodeJson(jsonValues(), kValuesKey);
  Json recordKeys = Json::array();
  for (const auto& [key, value] : entries_) {
    if (const auto* records = value.records()) {
      recordKeys.push_back(key);
      coder.encodeObjectList(*records, recordsKey(key));
    }
  }
  coder.encodeJson(recordKeys, kRecordKeysKey);
}

std::shared_ptr<TROptions> TROptions::initWithCoder(platform::KeyedUnarchiver& coder) {
  auto options = std::make_shared<TROptions>();
  const auto values = coder.decodeJson(kValuesKey);
  if (values && !values->is_object()) throw platform::ArchiveError("options values not a map");
  if (values) *options = withJson(*values);

  const auto recordKeys = coder.decodeJson(kRecordKeysKey);
  if (!recordKeys) return options;
  if (!recordKeys->is_array()) throw platform::ArchiveError("option record keys not a list");
  for (const Json& key : *recordKeys) {
    if (!key.is_string()) throw platform::ArchiveError("option record key not a text");
    auto list = coder.decodeObjectList(recordsKey(key.get<std::string>()));
    if (!list) throw platform::ArchiveError("option records missing");
    options->set(key.get<std::string>(), TROptionValue(*list));
  }
  return options;
}

}  // namespace trevalo
