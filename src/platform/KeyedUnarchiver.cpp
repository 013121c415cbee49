#include "platform/KeyedUnarchiver.h"

#include <cmath>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>

#include "platform/ArchiveFormat.h"
#include "platform/Envelope.h"
#include "trevalo/platform/FileSystem.h"
#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

namespace format = archive_format;

namespace {

std::string inQuotes(std::string_view key) {
  return "'" + std::string(key) + "'";
}

// The payload of a tagged value [tag, payload...], or nothing when `value` is not one.
const Json* taggedPayload(const Json& value, std::int64_t tag, std::size_t payloadSize) {
  if (!value.is_array() || value.size() != payloadSize + 1) return nullptr;
  const Json& first = value[0];
  if (!first.is_number_integer() || first.get<std::int64_t>() != tag) return nullptr;
  return &value[1];
}

bool isIndexBelow(const Json& value, std::size_t bound) {
  return value.is_number_unsigned() && value.get<std::uint64_t>() < bound;
}

// Text in an archive is UTF-8 when the SDK wrote it from valid text; an application's bytes
// that are not (a name in a legacy encoding, say) were written as they came. Such text is read
// with U+FFFD for each byte that is not UTF-8, so that what is restored can always be written
// out again as JSON (an upload, a dump) instead of failing there.
std::string validText(const std::string& text) {
  return Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace))
      .get<std::string>();
}

void replaceInvalidText(Json& value) {
  if (value.is_string()) {
    value = validText(value.get_ref<const std::string&>());
  } else if (value.is_object()) {
    Json rebuilt = Json::object();
    for (auto& [key, element] : value.items()) {
      replaceInvalidText(element);
      rebuilt[validText(key)] = std::move(element);
    }
    value = std::move(rebuilt);
  } else if (value.is_array()) {
    for (auto& element : value)
      replaceInvalidText(element);
  }
}

void makeTextValid(Json& document) {
  try {
    (void)document.dump();
  } catch (const nlohmann::json::type_error&) {
    replaceInvalidText(document);
  }
}

Json parseDocument(std::span<const std::uint8_t> data) {
  const auto opened = Envelope::open(format::kMagic, data);
  if (opened.status == Envelope::Status::kForeign) throw ArchiveError("not a keyed archive");
  if (opened.status == Envelope::Status::kDamaged) {
    throw ArchiveError("the archive is damaged or incomplete");
  }
  Json document;
  try {
    document = Json::from_cbor(opened.payload);
  } catch (const nlohmann::json::exception& e) {
    throw ArchiveError(std::string("unreadable archive: ") + e.what());
  }
  makeTextValid(document);

  const auto require = [](bool condition, const char* what) {
    if (!condition) throw ArchiveError(std::string("malformed archive: ") + what);
  };
  const auto member = [&](const char* key) -> const Json& {
    const auto it = document.find(key);
    require(it != document.end(), "a table is missing");
    return *it;
  };
  require(document.is_object(), "the document is not a map");
  require(member(format::kArchiverKey) == format::kArchiverName, "unknown archiver");
  const Json& version = member(format::kVersionKey);
  require(version.is_number_integer(), "missing version");
  if (version.get<std::int64_t>() != format::kVersion) {
    throw ArchiveError("unsupported archive version " + version.dump());
  }
  const Json& classes = member(format::kClassesKey);
  const Json& keys = member(format::kKeysKey);
  require(classes.is_array() && keys.is_array(), "the class and key tables must be lists");
  for (const auto& name : classes)
    require(name.is_string(), "class names must be text");
  for (const auto& key : keys)
    require(key.is_string(), "keys must be text");

  const auto checkFields = [&](const Json& fields, std::size_t first) {
    require(fields.is_array() && (fields.size() - first) % 2 == 0, "a record is malformed");
    for (std::size_t i = first; i < fields.size(); i += 2) {
      require(isIndexBelow(fields[i], keys.size()), "a field has an unknown key");
    }
  };
  const Json& objects = member(format::kObjectsKey);
  require(objects.is_array(), "missing object table");
  for (const auto& object : objects) {
    require(object.is_array() && !object.empty() && isIndexBelow(object[0], classes.size()),
            "a record has no known class");
    checkFields(object, 1);
  }
  checkFields(member(format::kTopKey), 0);
  return document;
}

}  // namespace

struct KeyedUnarchiver::State {
  Json document;
  const Json* classes = nullptr;
  const Json* objects = nullptr;
  std::map<std::string, std::size_t, std::less<>> keyIds;
  std::vector<std::shared_ptr<Archivable>> decoded;
  std::vector<char> decoding;
  const Json* current = nullptr;  // [key index, value, ...] pairs of the record being read
  std::size_t firstField = 0;

  const Json* field(std::string_view key) const {
    const auto id = keyIds.find(key);
    if (id == keyIds.end()) return nullptr;
    const auto& fields = *current;
    for (std::size_t i = firstField; i + 1 < fields.size(); i += 2) {
      if (fields[i].get<std::size_t>() == id->second) return &fields[i + 1];
    }
    return nullptr;
  }

  [[noreturn]] static void wrongKind(std::string_view key, const char* expected) {
    throw ArchiveError("the value for key " + inQuotes(key) + " is not " + expected);
  }

  std::shared_ptr<Archivable> object(KeyedUnarchiver& coder, std::size_t index) {
    if (index >= decoded.size()) throw ArchiveError("reference to a missing object");
    if (decoded[index]) return decoded[index];
    if (decoding[index]) throw ArchiveError("the archive holds a cycle");

    const Json& fields = (*objects)[index];
    const auto& name = (*classes)[fields[0].get<std::size_t>()].get_ref<const std::string&>();
    const auto decoder = ArchiveRegistry::shared().decoderForClass(name);
    if (!decoder) throw ArchiveError("unknown record class " + inQuotes(name));

    struct Restore {
      State& state;
      const Json* current;
      std::size_t firstField;
      std::size_t index;
      ~Restore() {
        state.current = current;
        state.firstField = firstField;
        state.decoding[index] = 0;
      }
    } restore{*this, current, firstField, index};
    current = &fields;
    firstField = 1;
    decoding[index] = 1;

    std::shared_ptr<Archivable> result;
    try {
      result = decoder(coder);
    } catch (const nlohmann::json::exception& e) {
      throw ArchiveError("record " + inQuotes(name) + " could not be read: " + e.what());
    }
    if (!result) throw ArchiveError("record " + inQuotes(name) + " could not be read");
    decoded[index] = result;
    return result;
  }

  std::shared_ptr<Archivable> fromValue(KeyedUnarchiver& coder, const Json& value,
                                        std::string_view key) {
    if (value.is_null()) return nullptr;
    const Json* reference = taggedPayload(value, format::kReferenceTag, 1);
    if (!reference || !reference->is_number_unsigned()) wrongKind(key, "a record");
    return object(coder, reference->get<std::size_t>());
  }
};

KeyedUnarchiver::KeyedUnarchiver(std::span<const std::uint8_t> data)
    : state_(std::make_unique<State>()) {
  state_->document = parseDocument(data);
  state_->classes = &state_->document[format::kClassesKey];
  state_->objects = &state_->document[format::kObjectsKey];
  const Json& keys = state_->document[format::kKeysKey];
  for (std::size_t i = 0; i < keys.size(); ++i) {
    state_->keyIds.emplace(keys[i].get<std::string>(), i);
  }
  state_->decoded.resize(state_->objects->size());
  state_->decoding.resize(state_->objects->size(), 0);
  state_->current = &state_->document[format::kTopKey];
}

KeyedUnarchiver::~KeyedUnarchiver() = default;

bool KeyedUnarchiver::containsValueForKey(std::string_view key) const {
  return state_->field(key) != nullptr;
}

bool KeyedUnarchiver::decodeBool(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value) return false;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_number()) return value->get<double>() != 0.0;
  State::wrongKind(key, "a Boolean");
}

namespace {

template <class Integer>
Integer integerValue(const Json* value, std::string_view key) {
  if (!value) return 0;
  if (value->is_number_integer()) {
    if (value->is_number_unsigned()) {
      const auto v = value->get<std::uint64_t>();
      if (v <= static_cast<std::uint64_t>(std::numeric_limits<Integer>::max())) {
        return static_cast<Integer>(v);
      }
    } else {
      const auto v = value->get<std::int64_t>();
      if (v >= std::numeric_limits<Integer>::min() && v <= std::numeric_limits<Integer>::max()) {
        return static_cast<Integer>(v);
      }
    }
    throw ArchiveError("the value for key " + inQuotes(key) + " is out of range");
  }
  if (value->is_number_float()) {
    const double v = value->get<double>();
    // The bounds are powers of two, so they convert exactly.
    if (std::isfinite(v) && v >= static_cast<double>(std::numeric_limits<Integer>::min()) &&
        v < -static_cast<double>(std::numeric_limits<Integer>::min())) {
      return static_cast<Integer>(v);
    }
    throw ArchiveError("the value for key " + inQuotes(key) + " is out of range");
  }
  if (value->is_boolean()) return value->get<bool>() ? 1 : 0;
  throw ArchiveError("the value for key " + inQuotes(key) + " is not a number");
}

}  // namespace

std::int32_t KeyedUnarchiver::decodeInt(std::string_view key) const {
  return integerValue<std::int32_t>(state_->field(key), key);
}

std::int64_t KeyedUnarchiver::decodeInt64(std::string_view key) const {
  return integerValue<std::int64_t>(state_->field(key), key);
}

double KeyedUnarchiver::decodeDouble(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value) return 0.0;
  if (value->is_number()) return value->get<double>();
  State::wrongKind(key, "a number");
}

std::optional<std::string> KeyedUnarchiver::decodeString(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  if (!value->is_string()) State::wrongKind(key, "text");
  return value->get<std::string>();
}

std::optional<Date> KeyedUnarchiver::decodeDate(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  const Json* seconds = taggedPayload(*value, format::kDateTag, 1);
  if (!seconds || !seconds->is_number()) State::wrongKind(key, "a date");
  return Date(seconds->get<double>());
}

std::optional<Location> KeyedUnarchiver::decodeLocation(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  if (!taggedPayload(*value, format::kLocationTag, 8)) State::wrongKind(key, "a location");
  double v[8];
  for (std::size_t i = 0; i < 8; ++i) {
    const Json& component = (*value)[i + 1];
    if (!component.is_number()) State::wrongKind(key, "a location");
    v[i] = component.get<double>();
  }
  return Location(Coordinate{v[0], v[1]}, v[2], v[3], v[4], v[5], v[6], Date(v[7]));
}

std::optional<Json> KeyedUnarchiver::decodeJson(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  const Json* json = taggedPayload(*value, format::kJsonTag, 1);
  if (!json) State::wrongKind(key, "a JSON value");
  return *json;
}

std::shared_ptr<Archivable> KeyedUnarchiver::decodeObject(std::string_view key) {
  const Json* value = state_->field(key);
  if (!value) return nullptr;
  return state_->fromValue(*this, *value, key);
}

std::optional<std::vector<std::shared_ptr<Archivable>>> KeyedUnarchiver::decodeObjectList(
    std::string_view key) {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  if (!value->is_array() || value->empty() || !(*value)[0].is_number_integer() ||
      (*value)[0].get<std::int64_t>() != format::kListTag) {
    State::wrongKind(key, "a list of records");
  }
  std::vector<std::shared_ptr<Archivable>> result;
  result.reserve(value->size() - 1);
  for (std::size_t i = 1; i < value->size(); ++i) {
    result.push_back(state_->fromValue(*this, (*value)[i], key));
  }
  return result;
}

std::shared_ptr<Archivable> KeyedUnarchiver::unarchiveObjectWithData(
    std::span<const std::uint8_t> data) {
  KeyedUnarchiver coder(data);
  return coder.decodeObject(KeyedArchiver::kRootKey);
}

std::shared_ptr<Archivable> KeyedUnarchiver::unarchiveObjectWithFile(
    const std::filesystem::path& file) {
  const auto data = readArchiveFile(file);
  if (!data) return nullptr;
  return unarchiveObjectWithData(*data);
}

namespace {

// A value as a person reads it: the tags of records, lists, dates and locations spelled out.
Json readableValue(const Json& value) {
  if (!value.is_array() || value.empty() || !value[0].is_number_integer()) return value;
  const auto tag = value[0].get<std::int64_t>();
  if (tag == format::kReferenceTag && value.size() == 2) return {{"$ref", value[1]}};
  if (tag == format::kDateTag && value.size() == 2 && value[1].is_number()) {
    return {{"$date", value[1]}};
  }
  if (tag == format::kJsonTag && value.size() == 2) return {{"$json", value[1]}};
  if (tag == format::kLocationTag) return {{"$location", Json(value.begin() + 1, value.end())}};
  if (tag == format::kListTag) {
    Json list = Json::array();
    for (std::size_t i = 1; i < value.size(); ++i)
      list.push_back(readableValue(value[i]));
    return list;
  }
  return value;
}

Json readableFields(const Json& fields, std::size_t first, const Json& keys) {
  Json readable = Json::object();
  for (std::size_t i = first; i + 1 < fields.size(); i += 2) {
    readable[keys[fields[i].get<std::size_t>()].get<std::string>()] = readableValue(fields[i + 1]);
  }
  return readable;
}

}  // namespace

Json KeyedUnarchiver::dumpAsJson(std::span<const std::uint8_t> data) {
  const Json document = parseDocument(data);
  const Json& classes = document[format::kClassesKey];
  const Json& keys = document[format::kKeysKey];
  Json objects = Json::array();
  for (const auto& object : document[format::kObjectsKey]) {
    Json readable = Json::object();
    readable["$class"] = classes[object[0].get<std::size_t>()];
    readable.update(readableFields(object, 1, keys));
    objects.push_back(std::move(readable));
  }
  return Json::object({{"objects", std::move(objects)},
                       {"top", readableFields(document[format::kTopKey], 0, keys)}});
}

ArchiveError KeyedUnarchiver::unexpectedClass(const Archivable& object) {
  return ArchiveError("unexpected record class " + inQuotes(object.archiveClassName()));
}

std::optional<Bytes> KeyedUnarchiver::readArchiveFile(const std::filesystem::path& file) {
  return Platform::current().fileSystem().readFile(file);
}

}  // namespace trevalo::platform
