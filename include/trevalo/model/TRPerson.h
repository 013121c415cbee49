#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "trevalo/Json.h"

namespace trevalo {

// Another device seen at the same venue or nearby. A plain record.
class TRPerson {
 public:
  std::optional<std::string> deviceId;  // "device_id"

  TRPerson() = default;

  static std::shared_ptr<TRPerson> initWithDictionary(const Json* dictionary);
  static std::shared_ptr<TRPerson> initWithDictionary(const Json& dictionary) {
    return initWithDictionary(&dictionary);
  }
  // One person per element of the answer's "people" array, in order; none without the array.
  static std::vector<std::shared_ptr<TRPerson>> personsWithJson(const Json& json);
};

}  // namespace trevalo
