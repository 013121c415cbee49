#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "trevalo/Json.h"
#include "trevalo/platform/Date.h"
#include "trevalo/platform/Error.h"
#include "trevalo/utils/TROptions.h"
#include "utils/StrategyType.h"
#include "utils/TRMode.h"

namespace trevalo {

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
struct IsSharedPtr : std::false_type {};
template <class T>
struct IsSharedPtr<std::shared_ptr<T>> : std::true_type {};

}  // namespace detail

// Small things several subsystems share: flags and options kept in the user defaults, the
// device identifier and descriptors, the version text, time conversion, rolling lists, the
// SDK's errors and the display names of the mode and strategy enums. Everything reads the
// services of the installed platform.
class TRUtils {
 public:
  TRUtils() = delete;

  // Whether the SDK was running when the process last ended. False on a fresh installation.
  static void saveWasRunning(bool wasRunning);
  static bool wasRunning();

  static void saveGeofenceState(bool on);
  static bool geofenceOn();

  // The options dictionary of the last start, as a keyed archive. Saving nothing makes
  // `options()` read nothing; a stored archive that cannot be read (damaged, not an archive, or
  // holding a record whose class is not registered) also reads as nothing.
  static void saveOptions(const std::optional<TROptions>& options);
  static std::optional<TROptions> options();

  // The device identifier: the advertising identifier when the platform has one, otherwise the
  // identifier kept in the user defaults (see below).
  static std::optional<std::string> IFA();
  // The identifier stored in the user defaults; when none is stored, the vendor identifier of
  // the device, stored for next time. Nothing when neither exists.
  static std::optional<std::string> requestUUIDFromUserDefaultsAndSave();

  // A marketing name for the hardware machine identifier of the current device; an identifier
  // the SDK does not know comes back as itself (or as its family name).
  static std::string deviceName();
  static std::optional<std::string> carrier();
  // The name of the Wi-Fi network the device is on.
  static std::optional<std::string> fetchSSIDInfo();
  static std::optional<std::string> version();

  // Milliseconds since 1970, truncated toward zero. Instants that an unsigned 64-bit count
  // cannot hold saturate instead: anything before 1970 (and negative infinity) gives 0,
  // anything beyond the largest count (and positive infinity) gives the largest count, and a
  // NaN instant gives 0.
  static std::uint64_t millisecondsSince1970(Date date);

  // Appends `item` to `array` and then drops the oldest entries so that at most `limit` remain.
  // An absent item (a null shared_ptr, an empty optional) leaves the list untouched. Works with
  // any sequence that has push_back and erase (std::vector, std::deque).
  template <class Item, class Sequence>
  static void addRollingData(Item&& item, Sequence& array, std::size_t limit) {
    if (!appendItem(std::forward<Item>(item), array)) return;
    if (array.size() > limit) {
      const auto excess = static_cast<std::ptrdiff_t>(array.size() - limit);
      array.erase(array.begin(), std::next(array.begin(), excess));
    }
  }

  // The SDK's error for `code`; unknown codes give the generic "TRError" error (code -888).
  static Error errorWithCode(std::int64_t code);
  // Code 1 raises the invalid-argument Exception about the filter option; other codes do
  // nothing.
  static void raiseException(std::int64_t code);

  static std::string strForStrategy(StrategyType strategy);
  static std::string strForMode(TRMode mode);

  static std::filesystem::path getDocumentsPath();

 private:
  template <class Item, class Sequence>
  static bool appendItem(Item&& item, Sequence& array) {
    using Plain = std::remove_cvref_t<Item>;
    if constexpr (detail::IsOptional<Plain>::value) {
      if (!item) return false;
      return appendItem(*std::forward<Item>(item), array);
    } else if constexpr (std::is_null_pointer_v<Plain>) {
      return false;
    } else {
      if constexpr (detail::IsSharedPtr<Plain>::value) {
        if (!item) return false;
      }
      array.push_back(std::forward<Item>(item));
      return true;
    }
  }
};

}  // namespace trevalo
