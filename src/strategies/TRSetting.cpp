#include "trevalo/strategies/TRSetting.h"

#include "trevalo/platform/LocationManager.h"

namespace trevalo {

TRSetting::TRSetting(TRSettingType type) : type_(type) {
  assignValues();
}

void TRSetting::assignValues() {
  switch (type_) {
    case TRSettingTypeNone:
      desiredAccuracy = -1.0;
      distanceFilter = -1.0;
      break;
    case TRSettingTypeLow:
      desiredAccuracy = platform::kLocationAccuracyThreeKilometers;
      distanceFilter = 999.0;
      break;
    case TRSettingTypeMedium:
      desiredAccuracy = platform::kLocationAccuracyHundredMeters;
      distanceFilter = 10.0;
      break;
    case TRSettingTypeHigh:
      desiredAccuracy = platform::kLocationAccuracyBest;
      distanceFilter = 1.0;
      break;
    default:
      break;
  }
}

}  // namespace trevalo
