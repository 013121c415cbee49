#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "trevalo/platform/Archivable.h"

namespace trevalo::platform {

// Maps the class names written into archives back to the code that rebuilds the records.
// Typed decoding (KeyedUnarchiver::decodeObjectOfClass<T>) registers T, and the subclasses of
// T when T names them, on first use; other classes can be registered explicitly.
class ArchiveRegistry {
 public:
  using Decoder = std::function<std::shared_ptr<Archivable>(KeyedUnarchiver&)>;

  static ArchiveRegistry& shared();

  void registerClass(std::string name, Decoder decoder);

  template <DecodableRecord T>
  void registerClass() {
    registerClass(T::kArchiveClassName, [](KeyedUnarchiver& coder) -> std::shared_ptr<Archivable> {
      if constexpr (requires { T::initWithCoder(coder); }) {
        return T::initWithCoder(coder);
      } else {
        return std::make_shared<T>(coder);
      }
    });
  }

  // The decoder of a registered class; empty when the name is unknown.
  Decoder decoderForClass(std::string_view name) const;

 private:
  ArchiveRegistry() = default;

  mutable std::mutex mutex_;
  std::map<std::string, Decoder, std::less<>> decoders_;
};

}  // namespace trevalo::platform
