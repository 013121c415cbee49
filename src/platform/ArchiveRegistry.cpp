#include "platform/ArchiveRegistry.h"

namespace trevalo::platform {

ArchiveRegistry& ArchiveRegistry::shared() {
  static ArchiveRegistry registry;
  return registry;
}

void ArchiveRegistry::registerClass(std::string name, Decoder decoder) {
  const std::lock_guard lock(mutex_);
  decoders_.insert_or_assign(std::move(name), std::move(decoder));
}

ArchiveRegistry::Decoder ArchiveRegistry::decoderForClass(std::string_view name) const {
  const std::lock_guard lock(mutex_);
  const auto it = decoders_.find(name);
  return it == decoders_.end() ? Decoder() : it->second;
}

}  // namespace trevalo::platform
