#pragma once

#include <string_view>

namespace trevalo::platform::archive_format {

// The layout of a keyed archive (CBOR inside an Envelope):
//   {"$archiver": kArchiverName, "$version": 1, "$classes": [class names],
//    "$objects": [{"$c": class index, <key>: <value>, ...}, ...], "$top": {<key>: <value>}}
// A value is a CBOR number, Boolean, text or null, or one of the tagged maps
//   {"$r": object index}, {"$a": [values]}, {"$d": seconds since 1970},
//   {"$l": [latitude, longitude, altitude, horizontal accuracy, vertical accuracy, course,
//           speed, timestamp]}, {"$j": any JSON value}.
inline constexpr std::string_view kMagic = "TRKA";
inline constexpr std::string_view kArchiverName = "trevalo.keyed-archive";
inline constexpr int kVersion = 1;

inline constexpr const char* kArchiverKey = "$archiver";
inline constexpr const char* kVersionKey = "$version";
inline constexpr const char* kClassesKey = "$classes";
inline constexpr const char* kObjectsKey = "$objects";
inline constexpr const char* kTopKey = "$top";
inline constexpr const char* kClassKey = "$c";

inline constexpr const char* kReferenceTag = "$r";
inline constexpr const char* kListTag = "$a";
inline constexpr const char* kDateTag = "$d";
inline constexpr const char* kLocationTag = "$l";
inline constexpr const char* kJsonTag = "$j";

inline bool isReservedKey(std::string_view key) {
  return !key.empty() && key.front() == '$';
}

}  // namespace trevalo::platform::archive_format
