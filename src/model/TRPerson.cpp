#include "trevalo/model/TRPerson.h"

#include "json/ParserUtils.h"
#include "model/ModelValues.h"

namespace trevalo {

std::shared_ptr<TRPerson> TRPerson::initWithDictionary(const Json* dictionary) {
  auto person = std::make_shared<TRPerson>();
  person->deviceId = model_detail::stringMember(dictionary, "device_id");
  return person;
}

std::vector<std::shared_ptr<TRPerson>> TRPerson::personsWithJson(const Json& json) {
  std::vector<std::shared_ptr<TRPerson>> persons;
  const Json* list = ParserUtils::array(json, "people");
  if (!list) return persons;
  persons.reserve(list->size());
  for (const Json& element : *list)
    persons.push_back(initWithDictionary(element));
  return persons;
}

}  // namespace trevalo
