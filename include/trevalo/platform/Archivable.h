#pragma once

#include <concepts>
#include <memory>
#include <string>

namespace trevalo::platform {

class KeyedArchiver;
class KeyedUnarchiver;

// A record with identity that can be written into a keyed archive.
//
// A concrete archivable class T also provides
//   static constexpr const char* kArchiveClassName;          // the name written into archives
//   and either a constructor T(KeyedUnarchiver&) or
//   static std::shared_ptr<T> initWithCoder(KeyedUnarchiver&);
// so that the archive registry can rebuild it. An abstract base whose subclasses may appear
// where the base is expected provides `static void registerArchivableSubclasses()`, which
// registers each of them (ArchiveRegistry::registerClass<Subclass>()).
class Archivable {
 public:
  virtual ~Archivable() = default;

  // The name written into archives. It must be the same for every object of a class (archives
  // look it up once per class).
  virtual std::string archiveClassName() const = 0;
  virtual void encodeWithCoder(KeyedArchiver& coder) const = 0;
};

template <class T>
concept DecodableRecord = std::derived_from<T, Archivable> && requires {
  T::kArchiveClassName;
} &&(requires(KeyedUnarchiver& coder) {
  { T::initWithCoder(coder) } -> std::convertible_to<std::shared_ptr<T>>;
} || std::constructible_from<T, KeyedUnarchiver&>);

}  // namespace trevalo::platform
