#pragma once

#include <cstdint>
#include <string_view>

namespace trevalo::platform::archive_format {

// The layout of a keyed archive (CBOR inside an Envelope):
//   {"$archiver": kArchiverName, "$version": kVersion,
//    "$classes": [class names], "$keys": [field keys],
//    "$objects": [[class index, key index, value, key index, value, ...], ...],
//    "$top": [key index, value, ...]}
// Records are arrays and their keys are indices into one shared key table, so a list of many
// records of one kind repeats no text and decodes without a string allocation per field.
//
// A value is a CBOR null, Boolean, number or text, or a tagged array [tag, payload...]:
inline constexpr std::int64_t kReferenceTag = 0;  // [0, object index]
inline constexpr std::int64_t kListTag = 1;       // [1, value, value, ...]
inline constexpr std::int64_t kDateTag = 2;       // [2, seconds since 1970]
inline constexpr std::int64_t kLocationTag = 3;   // [3, latitude, longitude, altitude,
                                                  //  horizontal accuracy, vertical accuracy,
                                                  //  course, speed, timestamp]
inline constexpr std::int64_t kJsonTag = 4;       // [4, any JSON value]

inline constexpr std::string_view kMagic = "TRKA";
inline constexpr std::string_view kArchiverName = "trevalo.keyed-archive";
inline constexpr int kVersion = 1;

inline constexpr const char* kArchiverKey = "$archiver";
inline constexpr const char* kVersionKey = "$version";
inline constexpr const char* kClassesKey = "$classes";
inline constexpr const char* kKeysKey = "$keys";
inline constexpr const char* kObjectsKey = "$objects";
inline constexpr const char* kTopKey = "$top";

// Keys starting with "$" are the container's own.
inline bool isReservedKey(std::string_view key) {
  return !key.empty() && key.front() == '$';
}

}  // namespace trevalo::platform::archive_format
