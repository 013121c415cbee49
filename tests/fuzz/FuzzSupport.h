#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string_view>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"
#include "trevalo/platform/Bytes.h"

// What every fuzz target shares: the service answer as the SDK reads it, the archive bytes an
// input stands for, and the checks that turn a wrong result into a crash the fuzzer reports.
namespace trevalo::fuzzing {

// Stops the process with a message: the fuzzer keeps the input that got here.
[[noreturn]] void fail(const char* what, const char* file, int line);

#define TREVALO_FUZZ_CHECK(condition)                                           \
  do {                                                                          \
    if (!(condition)) ::trevalo::fuzzing::fail(#condition, __FILE__, __LINE__); \
  } while (false)

// The input as a 200 answer of the service, through the network client's response checker
// (so bodies nested too deeply or that are not JSON are refused as they are in the SDK).
std::optional<Json> serviceAnswer(const std::uint8_t* data, std::size_t size);

// The input as the payload of a file of the platform's format `magic`, sealed with its
// checksum, so that mutations reach the decoder instead of failing the checksum.
platform::Bytes sealedPayload(std::string_view magic, const std::uint8_t* data, std::size_t size);

// Whether writing `record`, reading it back as T and writing that again gives the same bytes.
template <class T>
bool archivesStably(const std::shared_ptr<T>& record) {
  const auto first = platform::KeyedArchiver::archivedDataWithRootObject(record);
  const auto restored = platform::KeyedUnarchiver::unarchiveObjectOfClass<T>(first);
  if (!restored) return !record;
  return platform::KeyedArchiver::archivedDataWithRootObject(restored) == first;
}

// Every JSON value the SDK writes into a request body or a log must serialise.
void requireSerialisable(const Json& value);

}  // namespace trevalo::fuzzing
