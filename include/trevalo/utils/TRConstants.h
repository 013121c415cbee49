#pragma once

namespace trevalo {

// Keys of the options dictionary given to the start call.
inline constexpr const char* TROptionWhenInUseOnly = "when_in_use_only";
inline constexpr const char* TROptionUseiOSMotionActivity = "use_ios_motion_activity";
inline constexpr const char* TROptionTimedUpdatesInterval = "timed_updates_interval";
inline constexpr const char* TROptionFilter = "options_filter";

// Keys of the user-values dictionary.
inline constexpr const char* TRUserValueIdentifier = "identifier";
inline constexpr const char* TRUserValueName = "name";
inline constexpr const char* TRUserValueGender = "gender";
inline constexpr const char* TRUserValueAge = "age";
inline constexpr const char* TRUserValueIncome = "income";
inline constexpr const char* TRUserValueOccupation = "occupation";
inline constexpr const char* TRUserValueMaritalStatus = "marital_status";
inline constexpr const char* TRUserValueHasInAppPurchases = "has_in_app_purchases";
inline constexpr const char* TRUserValueInAppPurchaseTotal = "in_app_purchases";
inline constexpr const char* TRUserValueDateInstalled = "date_installed";

inline constexpr double TrevaloVersionNumber = 1.0;
// A what(1)-style identification string, so that the version can be found in a linked binary.
inline constexpr const char* TrevaloVersionString = "@(#)PROGRAM:Trevalo  PROJECT:Trevalo-1\n";

// Heading filters (degrees) of the compass-on and compass-off presets.
inline constexpr int headingFilterHigh = 1;
inline constexpr int headingFilterLow = 90;

// The geofence exit margin, in metres.
inline constexpr int windowRadius = 15;

}  // namespace trevalo
