#include "trevalo/platform/KeyedArchiver.h"

#include <nlohmann/json.hpp>
#include <unordered_map>
#include <unordered_set>

#include "platform/ArchiveFormat.h"
#include "platform/Envelope.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/FileSystem.h"
#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

namespace format = archive_format;

namespace {

Json tagged(std::int64_t tag, Json payload) {
  Json value = Json::array();
  value.push_back(tag);
  value.push_back(std::move(payload));
  return value;
}

}  // namespace

struct KeyedArchiver::State {
  Json objects = Json::array();
  Json classes = Json::array();
  Json keys = Json::array();
  std::unordered_map<std::string, std::size_t> classIds;
  std::unordered_map<std::string, std::size_t> keyIds;
  std::unordered_map<const void*, std::size_t> objectIds;
  std::unordered_set<const void*> inProgress;
  // Every encoded record stays alive until the archive is done, so that no address can be
  // reused by another record and mistaken for an object already written.
  std::vector<std::shared_ptr<const Archivable>> keepAlive;
  Json top = Json::array();
  Json* current = &top;  // the [key, value, ...] pairs of the record being written
  std::size_t firstField = 0;
  bool finished = false;

  static std::size_t intern(Json& table, std::unordered_map<std::string, std::size_t>& ids,
                            std::string_view text) {
    const auto [it, inserted] = ids.try_emplace(std::string(text), table.size());
    if (inserted) table.push_back(it->first);
    return it->second;
  }

  void put(std::string_view key, Json value) {
    if (finished) throw Exception(Exception::kInternalInconsistency, "archive already finished");
    if (format::isReservedKey(key)) {
      throw Exception(Exception::kInvalidArgument,
                      "archive keys starting with '$' are reserved: " + std::string(key));
    }
    const std::size_t id = intern(keys, keyIds, key);
    auto& fields = *current;
    for (std::size_t i = firstField; i + 1 < fields.size(); i += 2) {
      if (fields[i].get<std::size_t>() == id) {  // a key written twice keeps the last value
        fields[i + 1] = std::move(value);
        return;
      }
    }
    fields.push_back(id);
    fields.push_back(std::move(value));
  }

  Json reference(KeyedArchiver& archiver, const std::shared_ptr<const Archivable>& object) {
    if (!object) return nullptr;
    const void* identity = object.get();
    if (const auto it = objectIds.find(identity); it != objectIds.end()) {
      if (inProgress.contains(identity)) {
        throw Exception(Exception::kInvalidArgument,
                        "cannot archive a cycle through " + object->archiveClassName());
      }
      return tagged(format::kReferenceTag, it->second);
    }
    const std::size_t index = objects.size();
    objects.push_back(nullptr);
    objectIds.emplace(identity, index);
    inProgress.insert(identity);
    keepAlive.push_back(object);

    Json fields = Json::array();
    fields.push_back(intern(classes, classIds, object->archiveClassName()));
    struct Restore {
      State& state;
      Json* current;
      std::size_t firstField;
      ~Restore() {
        state.current = current;
        state.firstField = firstField;
      }
    } restore{*this, current, firstField};
    current = &fields;
    firstField = 1;
    object->encodeWithCoder(archiver);

    objects[index] = std::move(fields);
    inProgress.erase(identity);
    return tagged(format::kReferenceTag, index);
  }
};

KeyedArchiver::KeyedArchiver() : state_(std::make_unique<State>()) {}

KeyedArchiver::~KeyedArchiver() = default;

void KeyedArchiver::encodeBool(bool value, std::string_view key) {
  state_->put(key, value);
}

void KeyedArchiver::encodeInt(std::int32_t value, std::string_view key) {
  state_->put(key, value);
}

void KeyedArchiver::encodeInt64(std::int64_t value, std::string_view key) {
  state_->put(key, value);
}

void KeyedArchiver::encodeDouble(double value, std::string_view key) {
  state_->put(key, value);
}

void KeyedArchiver::encodeObject(const std::shared_ptr<const Archivable>& object,
                                 std::string_view key) {
  state_->put(key, state_->reference(*this, object));
}

void KeyedArchiver::encodeString(const std::optional<std::string>& value, std::string_view key) {
  state_->put(key, value ? Json(*value) : Json(nullptr));
}

void KeyedArchiver::encodeDate(const std::optional<Date>& value, std::string_view key) {
  state_->put(key,
              value ? tagged(format::kDateTag, value->timeIntervalSince1970()) : Json(nullptr));
}

void KeyedArchiver::encodeLocation(const std::optional<Location>& value, std::string_view key) {
  if (!value) {
    state_->put(key, nullptr);
    return;
  }
  state_->put(key,
              Json::array({format::kLocationTag, value->coordinate().latitude,
                           value->coordinate().longitude, value->altitude(),
                           value->horizontalAccuracy(), value->verticalAccuracy(), value->course(),
                           value->speed(), value->timestamp().timeIntervalSince1970()}));
}

void KeyedArchiver::encodeJson(const Json& value, std::string_view key) {
  state_->put(key, tagged(format::kJsonTag, value));
}

void KeyedArchiver::encodeObjectList(const std::vector<std::shared_ptr<const Archivable>>& objects,
                                     std::string_view key) {
  Json list = Json::array();
  list.get_ref<Json::array_t&>().reserve(objects.size() + 1);
  list.push_back(format::kListTag);
  for (const auto& object : objects)
    list.push_back(state_->reference(*this, object));
  state_->put(key, std::move(list));
}

Bytes KeyedArchiver::encodedData() {
  if (state_->finished) {
    throw Exception(Exception::kInternalInconsistency, "archive already finished");
  }
  state_->finished = true;
  Json document = Json::object();
  document[format::kArchiverKey] = format::kArchiverName;
  document[format::kVersionKey] = format::kVersion;
  document[format::kClassesKey] = std::move(state_->classes);
  document[format::kKeysKey] = std::move(state_->keys);
  document[format::kObjectsKey] = std::move(state_->objects);
  document[format::kTopKey] = std::move(state_->top);
  state_->keepAlive.clear();
  return Envelope::seal(format::kMagic, Json::to_cbor(document));
}

Bytes KeyedArchiver::archivedDataWithRootObject(const std::shared_ptr<const Archivable>& root) {
  KeyedArchiver archiver;
  archiver.encodeObject(root, kRootKey);
  return archiver.encodedData();
}

bool KeyedArchiver::archiveRootObject(const std::shared_ptr<const Archivable>& root,
                                      const std::filesystem::path& file) {
  const Bytes data = archivedDataWithRootObject(root);
  return Platform::current().fileSystem().writeFileAtomically(file, data);
}

}  // namespace trevalo::platform
