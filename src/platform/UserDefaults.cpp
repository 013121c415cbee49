#include "trevalo/platform/UserDefaults.h"

#include <nlohmann/json.hpp>

#include "platform/Envelope.h"

namespace trevalo::platform {

namespace {
constexpr std::string_view kMagic = "TRUD";

Json load(const FileSystem& fileSystem, const std::filesystem::path& file) {
  const auto bytes = fileSystem.readFile(file);
  if (!bytes) return Json::object();
  const auto opened = Envelope::open(kMagic, *bytes);
  if (opened.status != Envelope::Status::kOk) return Json::object();
  // Without exceptions the reader still throws for a container that announces more members
  // than memory holds; a file that cannot be read is an empty one, as for any other damage.
  try {
    Json values = Json::from_cbor(opened.payload, true, false);
    return values.is_object() ? values : Json::object();
  } catch (const Json::exception&) {
    return Json::object();
  }
}
}  // namespace

UserDefaults::UserDefaults(std::shared_ptr<FileSystem> fileSystem, std::filesystem::path file)
    : fileSystem_(std::move(fileSystem)),
      file_(std::move(file)),
      values_(std::make_unique<Json>(load(*fileSystem_, file_))) {}

UserDefaults::~UserDefaults() = default;

std::optional<Json> UserDefaults::objectForKey(std::string_view key) const {
  const std::lock_guard lock(mutex_);
  const auto it = values_->find(key);
  if (it == values_->end()) return std::nullopt;
  return *it;
}

void UserDefaults::setObject(const Json& value, std::string_view key) {
  const std::lock_guard lock(mutex_);
  (*values_)[std::string(key)] = value;
  writeLocked();
}

void UserDefaults::removeObjectForKey(std::string_view key) {
  const std::lock_guard lock(mutex_);
  if (values_->erase(std::string(key)) > 0) writeLocked();
}

bool UserDefaults::boolForKey(std::string_view key) const {
  const auto value = objectForKey(key);
  if (!value) return false;
  if (value->is_boolean()) return value->get<bool>();
  if (value->is_number()) return value->get<double>() != 0.0;
  return false;
}

void UserDefaults::setBool(bool value, std::string_view key) {
  setObject(Json(value), key);
}

std::optional<std::string> UserDefaults::stringForKey(std::string_view key) const {
  const auto value = objectForKey(key);
  if (!value || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

std::optional<Bytes> UserDefaults::dataForKey(std::string_view key) const {
  const auto value = objectForKey(key);
  if (!value || !value->is_binary()) return std::nullopt;
  const auto& binary = value->get_binary();
  return Bytes(binary.begin(), binary.end());
}

void UserDefaults::setData(const Bytes& data, std::string_view key) {
  setObject(Json::binary(data), key);
}

bool UserDefaults::synchronize() {
  const std::lock_guard lock(mutex_);
  if (dirty_) writeLocked();
  return !dirty_;
}

void UserDefaults::writeLocked() {
  const auto sealed = Envelope::seal(kMagic, Json::to_cbor(*values_));
  dirty_ = !fileSystem_->writeFileAtomically(file_, sealed);
}

}  // namespace trevalo::platform
