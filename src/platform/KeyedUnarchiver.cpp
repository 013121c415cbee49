#include "trevalo/platform/KeyedUnarchiver.h"

#include <cmath>
#include <limits>
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

// A tagged map {"<tag>": value} as written by the archiver.
const Json* tagged(const Json& value, const char* tag) {
  if (!value.is_object() || value.size() != 1) return nullptr;
  const auto it = value.find(tag);
  return it == value.end() ? nullptr : &*it;
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

  const auto require = [](bool condition, const char* what) {
    if (!condition) throw ArchiveError(std::string("malformed archive: ") + what);
  };
  require(document.is_object(), "the document is not a map");
  const auto archiver = document.find(format::kArchiverKey);
  require(archiver != document.end() && *archiver == format::kArchiverName, "unknown archiver");
  const auto version = document.find(format::kVersionKey);
  require(version != document.end() && version->is_number_integer(), "missing version");
  if (version->get<std::int64_t>() != format::kVersion) {
    throw ArchiveError("unsupported archive version " + version->dump());
  }
  const auto classes = document.find(format::kClassesKey);
  require(classes != document.end() && classes->is_array(), "missing class table");
  for (const auto& name : *classes)
    require(name.is_string(), "class names must be text");
  const auto objects = document.find(format::kObjectsKey);
  require(objects != document.end() && objects->is_array(), "missing object table");
  for (const auto& object : *objects) {
    require(object.is_object(), "objects must be maps");
    const auto id = object.find(format::kClassKey);
    require(id != object.end() && id->is_number_unsigned() &&
                id->get<std::uint64_t>() < classes->size(),
            "object without a known class");
  }
  const auto top = document.find(format::kTopKey);
  require(top != document.end() && top->is_object(), "missing top level");
  return document;
}

}  // namespace

struct KeyedUnarchiver::State {
  Json document;
  const Json* classes = nullptr;
  const Json* objects = nullptr;
  std::vector<std::shared_ptr<Archivable>> decoded;
  std::vector<char> decoding;
  const Json* current = nullptr;

  const Json* field(std::string_view key) const {
    if (format::isReservedKey(key)) return nullptr;
    const auto it = current->find(key);
    return it == current->end() ? nullptr : &*it;
  }

  [[noreturn]] static void wrongKind(std::string_view key, const char* expected) {
    throw ArchiveError("the value for key " + inQuotes(key) + " is not " + expected);
  }

  std::shared_ptr<Archivable> object(KeyedUnarchiver& coder, std::size_t index) {
    if (index >= decoded.size()) throw ArchiveError("reference to a missing object");
    if (decoded[index]) return decoded[index];
    if (decoding[index]) throw ArchiveError("the archive holds a cycle");

    const Json& fields = (*objects)[index];
    const auto& name =
        (*classes)[fields[format::kClassKey].get<std::size_t>()].get_ref<const std::string&>();
    const auto decoder = ArchiveRegistry::shared().decoderForClass(name);
    if (!decoder) throw ArchiveError("unknown record class " + inQuotes(name));

    const Json* const saved = current;
    current = &fields;
    decoding[index] = 1;
    struct Restore {
      State& state;
      const Json* saved;
      std::size_t index;
      ~Restore() {
        state.current = saved;
        state.decoding[index] = 0;
      }
    } restore{*this, saved, index};

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
    const Json* reference = tagged(value, format::kReferenceTag);
    if (!reference || !reference->is_number_unsigned()) wrongKind(key, "a record");
    return object(coder, reference->get<std::size_t>());
  }
};

KeyedUnarchiver::KeyedUnarchiver(std::span<const std::uint8_t> data)
    : state_(std::make_unique<State>()) {
  state_->document = parseDocument(data);
  state_->classes = &state_->document[format::kClassesKey];
  state_->objects = &state_->document[format::kObjectsKey];
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
  const Json* seconds = tagged(*value, format::kDateTag);
  if (!seconds || !seconds->is_number()) State::wrongKind(key, "a date");
  return Date(seconds->get<double>());
}

std::optional<Location> KeyedUnarchiver::decodeLocation(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  const Json* fields = tagged(*value, format::kLocationTag);
  if (!fields || !fields->is_array() || fields->size() != 8) State::wrongKind(key, "a location");
  double v[8];
  for (std::size_t i = 0; i < 8; ++i) {
    if (!(*fields)[i].is_number()) State::wrongKind(key, "a location");
    v[i] = (*fields)[i].get<double>();
  }
  return Location(Coordinate{v[0], v[1]}, v[2], v[3], v[4], v[5], v[6], Date(v[7]));
}

std::optional<Json> KeyedUnarchiver::decodeJson(std::string_view key) const {
  const Json* value = state_->field(key);
  if (!value || value->is_null()) return std::nullopt;
  const Json* json = tagged(*value, format::kJsonTag);
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
  const Json* list = tagged(*value, format::kListTag);
  if (!list || !list->is_array()) State::wrongKind(key, "a list of records");
  std::vector<std::shared_ptr<Archivable>> result;
  result.reserve(list->size());
  for (const auto& element : *list)
    result.push_back(state_->fromValue(*this, element, key));
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

Json KeyedUnarchiver::dumpAsJson(std::span<const std::uint8_t> data) {
  Json document = parseDocument(data);
  const Json& classes = document[format::kClassesKey];
  Json objects = Json::array();
  for (auto& object : document[format::kObjectsKey]) {
    Json readable = Json::object();
    readable["$class"] = classes[object[format::kClassKey].get<std::size_t>()];
    for (auto& [key, value] : object.items()) {
      if (key != format::kClassKey) readable[key] = value;
    }
    objects.push_back(std::move(readable));
  }
  return Json::object({{"objects", std::move(objects)}, {"top", document[format::kTopKey]}});
}

ArchiveError KeyedUnarchiver::unexpectedClass(const Archivable& object) {
  return ArchiveError("unexpected record class " + inQuotes(object.archiveClassName()));
}

std::optional<Bytes> KeyedUnarchiver::readArchiveFile(const std::filesystem::path& file) {
  return Platform::current().fileSystem().readFile(file);
}

}  // namespace trevalo::platform
