#pragma once

#include "trevalo/strategies/TRSettingType.h"

namespace trevalo {

// The application's custom accuracy and distance filter, imposed on every strategy the state
// machine enters while the setting is in force. A plain value: whoever holds one holds its own
// copy, so no other thread can change it underneath a strategy decision.
class TRSetting {
 public:
  // Stores the type and takes the type's values; a type beyond TRSettingTypeHigh leaves both
  // values 0.
  explicit TRSetting(TRSettingType type);

  TRSettingType type() const noexcept { return type_; }

  double desiredAccuracy = 0.0;  // metres
  double distanceFilter = 0.0;   // metres

 private:
  void assignValues();

  TRSettingType type_;
};

}  // namespace trevalo
