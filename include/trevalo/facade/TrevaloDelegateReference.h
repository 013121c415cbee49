#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "trevalo/facade/TrevaloDelegate.h"

namespace trevalo {

// How the facade holds the application's delegate: weakly, together with the callbacks the
// delegate implements. Made implicitly from a std::shared_ptr to any delegate class, whose
// type tells which callbacks it overrides (TrevaloDelegate::implementedBy), or from nullptr.
class TrevaloDelegateReference {
 public:
  TrevaloDelegateReference() = default;
  TrevaloDelegateReference(std::nullptr_t) {}  // NOLINT: implicit, as a pointer is

  template <std::derived_from<TrevaloDelegate> D>
  TrevaloDelegateReference(const std::shared_ptr<D>& delegate)  // NOLINT: implicit
      : delegate_(delegate), callbacks_(delegate ? TrevaloDelegate::implementedBy(*delegate) : 0) {}

  // The delegate, while it exists.
  std::shared_ptr<TrevaloDelegate> lock() const { return delegate_.lock(); }
  // Whether the delegate implements `callback` (a TrevaloDelegate::Callback bit). Nothing is
  // implemented without a delegate.
  bool implements(TrevaloDelegate::Callback callback) const noexcept {
    return (callbacks_ & callback) != 0;
  }
  std::uint32_t implementedCallbacks() const noexcept { return callbacks_; }

 private:
  std::weak_ptr<TrevaloDelegate> delegate_;
  std::uint32_t callbacks_ = 0;
};

}  // namespace trevalo
