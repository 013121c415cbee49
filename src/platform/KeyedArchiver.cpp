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

struct KeyedArchiver::State {
  Json objects = Json::array();
  Json classes = Json::array();
  std::unordered_map<std::string, std::size_t> classIds;
  std::unordered_map<const void*, std::size_t> objectIds;
  std::unordered_set<const void*> inProgress;
  // Every encoded record stays alive until the archive is done, so that no address can be
  // reused by another record and mistaken for an object already written.
  std::vector<std::shared_ptr<const Archivable>> keepAlive;
  Json top = Json::object();
  Json* current = &top;
  bool finished = false;

  void put(std::string_view key, Json value) {
    if (finished) throw Exception(Exception::kInternalInconsistency, "archive already finished");
    if (format::isReservedKey(key)) {
      throw Exception(Exception::kInvalidArgument,
                      "archive keys starting with '$' are reserved: " + std::string(key));
    }
    (*current)[std::string(key)] = std::move(value);
  }

  std::size_t classId(const std::string& name) {
    const auto [it, inserted] = classIds.try_emplace(name, classes.size());
    if (inserted) classes.push_back(name);
    return it->second;
  }

  Json reference(KeyedArchiver& archiver, const std::shared_ptr<const Archivable>& object) {
    if (!object) return nullptr;
    const void* identity = object.get();
    if (const auto it = objectIds.find(identity); it != objectIds.end()) {
      if (inProgress.contains(identity)) {
        throw Exception(Exception::kInvalidArgument,
                        "cannot archive a cycle through " + object->archiveClassName());
      }
      return Json::object({{format::kReferenceTag, it->second}});
    }
    const std::size_t index = objects.size();
    objects.push_back(nullptr);
    objectIds.emplace(identity, index);
    inProgress.insert(identity);
    keepAlive.push_back(object);

    Json fields = Json::object();
    fields[format::kClassKey] = classId(object->archiveClassName());
    Json* const saved = current;
    current = &fields;
    struct Restore {
      Json*& current;
      Json* saved;
      ~Restore() { current = saved; }
    } restore{current, saved};
    object->encodeWithCoder(archiver);

    objects[index] = std::move(fields);
    inProgress.erase(identity);
    return Json::object({{format::kReferenceTag, index}});
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
  state_->put(key, value ? Json::object({{format::kDateTag, value->timeIntervalSince1970()}})
                         : Json(nullptr));
}

void KeyedArchiver::encodeLocation(const std::optional<Location>& value, std::string_view key) {
  if (!value) {
    state_->put(key, nullptr);
    return;
  }
  Json fields =
      Json::array({value->coordinate().latitude, value->coordinate().longitude, value->altitude(),
                   value->horizontalAccuracy(), value->verticalAccuracy(), value->course(),
                   value->speed(), value->timestamp().timeIntervalSince1970()});
  state_->put(key, Json::object({{format::kLocationTag, std::move(fields)}}));
}

void KeyedArchiver::encodeJson(const Json& value, std::string_view key) {
  state_->put(key, Json::object({{format::kJsonTag, value}}));
}

void KeyedArchiver::encodeObjectList(const std::vector<std::shared_ptr<const Archivable>>& objects,
                                     std::string_view key) {
  Json list = Json::array();
  for (const auto& object : objects)
    list.push_back(state_->reference(*this, object));
  state_->put(key, Json::object({{format::kListTag, std::move(list)}}));
}

Bytes KeyedArchiver::encodedData() {
  if (state_->finished)
    throw Exception(Exception::kInternalInconsistency, "archive already finished");
  state_->finished = true;
  Json document = Json::object();
  document[format::kArchiverKey] = format::kArchiverName;
  document[format::kVersionKey] = format::kVersion;
  document[format::kClassesKey] = std::move(state_->classes);
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
