// The tolerant JSON value helpers, on every member of any JSON value, and the insertion rule
// through which every request body is written.
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "json/ParserUtils.h"
#include "utils/TRUtils.h"

using namespace trevalo;

namespace {

void readMember(const Json& value, std::string_view key, Json& written) {
  (void)ParserUtils::object(&value, key);
  (void)ParserUtils::map(&value, key);
  (void)ParserUtils::array(&value, key);
  (void)ParserUtils::stringValue(&value, key);
  (void)ParserUtils::numberValue(&value, key);
  (void)ParserUtils::intValue(&value, key);
  (void)ParserUtils::intValue(&value, key, -7);
  (void)ParserUtils::floatValue(&value, key);
  (void)ParserUtils::doubleValue(&value, key);
  (void)ParserUtils::boolValueForKey(&value, key);
  (void)ParserUtils::boolValueForKeyWithDefault(&value, key, true);
  (void)ParserUtils::forceNumber(&value, key);
  (void)ParserUtils::dateDoubleMilliseconds(&value, key);
  (void)TRUtils::millisecondsSince1970(ParserUtils::dateFromMilliseconds(&value, key));
  if (const Json* text = ParserUtils::stringValue(&value, key)) {
    (void)ParserUtils::hexValue(text->get_ref<const std::string&>());
  }
  const Json* member = ParserUtils::object(&value, key);
  ParserUtils::addToDictionary(written, key, member ? std::optional<Json>(*member) : std::nullopt);
}

void readValue(const Json& value, Json& written) {
  (void)ParserUtils::numberValueForObject(&value);
  (void)ParserUtils::boolValue(&value);
  (void)ParserUtils::boolValueWithDefault(&value, true);
  if (value.is_string()) (void)ParserUtils::hexValue(value.get_ref<const std::string&>());
  ParserUtils::addToArray(written, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto value = fuzzing::serviceAnswer(data, size);
  if (!value) {
    // Top-level fragments too, as the location dictionary reads them.
    const Json fragment = Json::parse(data, data + size, nullptr, false);
    if (fragment.is_discarded()) return 0;
    Json written = Json::array();
    readValue(fragment, written);
    fuzzing::requireSerialisable(written);
    return 0;
  }
  Json dictionary = Json::object();
  Json array = Json::array();
  readValue(*value, array);
  std::vector<std::string> keys = {"id", "", "lat"};
  if (value->is_object()) {
    for (const auto& [key, member] : value->items()) {
      keys.push_back(key);
      readValue(member, array);
    }
  } else {
    for (const Json& element : *value) {
      readValue(element, array);
      if (element.is_object()) {
        for (const auto& [key, member] : element.items())
          readMember(element, key, dictionary);
      }
    }
  }
  for (const auto& key : keys)
    readMember(*value, key, dictionary);
  fuzzing::requireSerialisable(dictionary);
  fuzzing::requireSerialisable(array);
  return 0;
}
