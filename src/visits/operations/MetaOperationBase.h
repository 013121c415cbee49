#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Error.h"

namespace trevalo {

class VisitTracker;

// A piece of visit work written down before it is done: resolve a stay through the service,
// resolve a location through the platform geocoder, or log a finished visit. Descriptors live
// in the visit tracker's persisted list until their operation succeeds, so they survive a
// restart; the tracker turns each into an executable operation (TROperationFactory).
//
// The tracker that made a descriptor is kept as its delegate, weakly (the tracker owns its
// list, so a strong reference would keep both alive for ever), and is not archived: a restored
// descriptor has none.
class MetaOperationBase : public platform::Archivable {
 public:
  using Handler = std::function<void(std::optional<Json>, std::optional<Error>)>;

  // The name of the Exception raised by executeWithHandler.
  static constexpr const char* kAbstractMethodException = "Abstract method cannot be called";

  ~MetaOperationBase() override = default;
  MetaOperationBase(const MetaOperationBase&) = delete;
  MetaOperationBase& operator=(const MetaOperationBase&) = delete;

  // Registers the three kinds with the archive registry.
  static void registerArchivableSubclasses();

  std::shared_ptr<VisitTracker> delegate() const { return delegate_.lock(); }
  const std::weak_ptr<VisitTracker>& weakDelegate() const noexcept { return delegate_; }

  // Never to be called: descriptors are carried out by executable operations.
  [[noreturn]] void executeWithHandler(const Handler& handler, const Json& array) const;

  // The descriptor itself, or another of the same kind describing the same work (each kind
  // says what that is). The tracker's list removal relies on it.
  virtual bool isEqual(const platform::Archivable* object) const = 0;
  // Equal descriptors have equal hashes.
  virtual std::size_t hash() const = 0;
  virtual std::string description() const = 0;

 protected:
  MetaOperationBase() = default;
  explicit MetaOperationBase(std::weak_ptr<VisitTracker> delegate)
      : delegate_(std::move(delegate)) {}

 private:
  std::weak_ptr<VisitTracker> delegate_;
};

}  // namespace trevalo
