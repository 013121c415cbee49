#pragma once

#include <cstdint>

namespace trevalo {

// The application's custom location settings. A plain enum with a fixed width, so that a value
// outside the named ones stays representable (such a setting leaves its values unset).
enum TRSettingType : std::uint64_t {
  TRSettingTypeNone = 0,
  TRSettingTypeLow = 1,
  TRSettingTypeMedium = 2,
  TRSettingTypeHigh = 3,
};

}  // namespace trevalo
