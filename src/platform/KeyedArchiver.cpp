#include "platform/KeyedArchiver.h"

#include <string_view>
#include <typeindex>
#include <unordered_map>

#include "platform/ArchiveFormat.h"
#include "platform/CborWriter.h"
#include "platform/Envelope.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/FileSystem.h"
#include "trevalo/platform/Platform.h"

namespace trevalo::platform {

namespace format = archive_format;

// The archive is written as CBOR straight into byte buffers as the records encode themselves;
// no document tree is built. A record is an indefinite-length array [class index, key, value,
// ...]. Records take their index when they are complete, so a record's children come before
// it in the object table and a finished record is appended to the table's bytes at once. The
// record under way is written into a buffer of its nesting level; those buffers are reused
// from record to record, so writing many small records allocates next to nothing.
namespace {

// Lets the key table be searched with a string_view, without making a string for every field.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept {
    return std::hash<std::string_view>{}(text);
  }
};

using TextIds = std::unordered_map<std::string, std::size_t, TextHash, std::equal_to<>>;

std::size_t intern(std::vector<std::string>& table, TextIds& ids, std::string_view text) {
  if (const auto it = ids.find(text); it != ids.end()) return it->second;
  ids.emplace(std::string(text), table.size());
  table.emplace_back(text);
  return table.size() - 1;
}

}  // namespace

struct KeyedArchiver::State {
  struct Record {
    Bytes bytes;
    std::size_t firstKey = 0;  // where this record's keys start in `writtenKeys`
  };

  static constexpr std::size_t kInProgress = static_cast<std::size_t>(-1);

  Bytes objects;  // the finished records, in index order
  std::size_t objectCount = 0;
  std::vector<Record> levels;  // levels[d]: the record under way at nesting depth d + 1
  std::size_t depth = 0;       // 0: the top level is being written
  std::vector<std::string> classes;
  std::vector<std::string> keys;
  std::unordered_map<std::type_index, std::size_t> classIds;  // by the record's type
  TextIds keyIds;
  std::unordered_map<const void*, std::size_t> objectIds;
  // The keys written by the records under way, innermost last, to refuse a key written twice.
  std::vector<std::size_t> writtenKeys;
  // Every encoded record stays alive until the archive is done, so that no address can be
  // reused by another record and mistaken for an object already written.
  std::vector<std::shared_ptr<const Archivable>> keepAlive;
  Record top;
  bool finished = false;

  Record& record() { return depth == 0 ? top : levels[depth - 1]; }

  std::size_t classId(const Archivable& object) {
    const std::type_index type(typeid(object));
    if (const auto it = classIds.find(type); it != classIds.end()) return it->second;
    const std::string name = object.archiveClassName();
    std::size_t id = classes.size();
    for (std::size_t i = 0; i < classes.size(); ++i) {
      if (classes[i] == name) id = i;  // two types sharing one name share one entry
    }
    if (id == classes.size()) classes.push_back(name);
    classIds.emplace(type, id);
    return id;
  }

  // Starts a field of the current record and returns the writer for its value.
  CborWriter field(std::string_view key) {
    if (finished) throw Exception(Exception::kInternalInconsistency, "archive already finished");
    if (format::isReservedKey(key)) {
      throw Exception(Exception::kInvalidArgument,
                      "archive keys starting with '$' are reserved: " + std::string(key));
    }
    const std::size_t id = intern(keys, keyIds, key);
    Record& target = record();
    for (std::size_t i = target.firstKey; i < writtenKeys.size(); ++i) {
      if (writtenKeys[i] == id) {
        throw Exception(Exception::kInvalidArgument,
                        "archive key written twice in one record: " + std::string(key));
      }
    }
    writtenKeys.push_back(id);
    CborWriter writer(target.bytes);
    writer.unsignedInteger(id);
    return writer;
  }

  static void writeTagged(CborWriter& writer, std::int64_t tag, std::size_t payloadItems) {
    writer.arrayHeader(payloadItems + 1);
    writer.integer(tag);
  }

  // Writes the record (once) and returns its index; nothing for a null record.
  std::optional<std::size_t> reference(KeyedArchiver& archiver,
                                       const std::shared_ptr<const Archivable>& object) {
    if (!object) return std::nullopt;
    const void* identity = object.get();
    const auto [it, inserted] = objectIds.try_emplace(identity, kInProgress);
    if (!inserted) {
      if (it->second == kInProgress) {
        throw Exception(Exception::kInvalidArgument,
                        "cannot archive a cycle through " + object->archiveClassName());
      }
      return it->second;
    }
    keepAlive.push_back(object);

    if (levels.size() == depth) levels.emplace_back();
    {
      Record& record = levels[depth];
      record.bytes.clear();
      record.firstKey = writtenKeys.size();
      CborWriter writer(record.bytes);
      writer.beginIndefiniteArray();
      writer.unsignedInteger(classId(*object));
    }
    struct Restore {
      State& state;
      std::size_t keys;
      ~Restore() {
        --state.depth;
        state.writtenKeys.resize(keys);
      }
    } restore{*this, writtenKeys.size()};
    ++depth;
    object->encodeWithCoder(archiver);

    Record& finished = levels[depth - 1];
    CborWriter(finished.bytes).endIndefinite();
    objects.insert(objects.end(), finished.bytes.begin(), finished.bytes.end());
    // Looked up again: encoding the record may have added entries and rehashed the map.
    const std::size_t index = objectCount++;
    objectIds[identity] = index;
    return index;
  }

  static void writeReference(CborWriter& writer, std::optional<std::size_t> index) {
    if (!index) {
      writer.null();
      return;
    }
    writeTagged(writer, format::kReferenceTag, 1);
    writer.unsignedInteger(*index);
  }
};

KeyedArchiver::KeyedArchiver() : state_(std::make_unique<State>()) {
  CborWriter(state_->top.bytes).beginIndefiniteArray();
  state_->objectIds.reserve(256);
}

KeyedArchiver::~KeyedArchiver() = default;

void KeyedArchiver::encodeBool(bool value, std::string_view key) {
  state_->field(key).boolean(value);
}

void KeyedArchiver::encodeInt(std::int32_t value, std::string_view key) {
  state_->field(key).integer(value);
}

void KeyedArchiver::encodeInt64(std::int64_t value, std::string_view key) {
  state_->field(key).integer(value);
}

void KeyedArchiver::encodeDouble(double value, std::string_view key) {
  state_->field(key).floating(value);
}

void KeyedArchiver::encodeObject(const std::shared_ptr<const Archivable>& object,
                                 std::string_view key) {
  // The record is written before the field that refers to it: encoding it may write fields
  // of its own, which must not land between this field's key and its value.
  const auto index = state_->reference(*this, object);
  auto writer = state_->field(key);
  State::writeReference(writer, index);
}

void KeyedArchiver::encodeString(const std::optional<std::string>& value, std::string_view key) {
  auto writer = state_->field(key);
  if (value) {
    writer.text(*value);
  } else {
    writer.null();
  }
}

void KeyedArchiver::encodeDate(const std::optional<Date>& value, std::string_view key) {
  auto writer = state_->field(key);
  if (!value) {
    writer.null();
    return;
  }
  State::writeTagged(writer, format::kDateTag, 1);
  writer.floating(value->timeIntervalSince1970());
}

void KeyedArchiver::encodeLocation(const std::optional<Location>& value, std::string_view key) {
  auto writer = state_->field(key);
  if (!value) {
    writer.null();
    return;
  }
  State::writeTagged(writer, format::kLocationTag, 8);
  for (const double component :
       {value->coordinate().latitude, value->coordinate().longitude, value->altitude(),
        value->horizontalAccuracy(), value->verticalAccuracy(), value->course(), value->speed(),
        value->timestamp().timeIntervalSince1970()}) {
    writer.floating(component);
  }
}

void KeyedArchiver::encodeJson(const Json& value, std::string_view key) {
  auto writer = state_->field(key);
  State::writeTagged(writer, format::kJsonTag, 1);
  writer.json(value);
}

void KeyedArchiver::encodeObjectList(const std::vector<std::shared_ptr<const Archivable>>& objects,
                                     std::string_view key) {
  std::vector<std::optional<std::size_t>> indices;
  indices.reserve(objects.size());
  for (const auto& object : objects)
    indices.push_back(state_->reference(*this, object));
  auto writer = state_->field(key);
  writer.arrayHeader(indices.size() + 1);
  writer.integer(format::kListTag);
  for (const auto& index : indices)
    State::writeReference(writer, index);
}

Bytes KeyedArchiver::encodedData() {
  if (state_->finished) {
    throw Exception(Exception::kInternalInconsistency, "archive already finished");
  }
  state_->finished = true;
  CborWriter(state_->top.bytes).endIndefinite();

  const std::size_t size = state_->top.bytes.size() + state_->objects.size() + 256;
  Bytes document;
  document.reserve(size);
  CborWriter writer(document);
  writer.mapHeader(6);
  writer.text(format::kArchiverKey);
  writer.text(format::kArchiverName);
  writer.text(format::kVersionKey);
  writer.integer(format::kVersion);
  writer.text(format::kClassesKey);
  writer.arrayHeader(state_->classes.size());
  for (const auto& name : state_->classes)
    writer.text(name);
  writer.text(format::kKeysKey);
  writer.arrayHeader(state_->keys.size());
  for (const auto& key : state_->keys)
    writer.text(key);
  writer.text(format::kObjectsKey);
  writer.arrayHeader(state_->objectCount);
  writer.raw(state_->objects);
  writer.text(format::kTopKey);
  writer.raw(state_->top.bytes);

  state_->objects = Bytes();
  state_->levels.clear();
  state_->keepAlive.clear();
  return Envelope::seal(format::kMagic, document);
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
