#include "FuzzSupport.h"

#include <nlohmann/json.hpp>

#include "networking/SessionResponseChecker.h"
#include "platform/Envelope.h"
#include "trevalo/platform/HttpResponse.h"

namespace trevalo::fuzzing {

void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

std::optional<Json> serviceAnswer(const std::uint8_t* data, std::size_t size) {
  platform::HttpResponse response;
  response.statusCode = 200;
  response.body.assign(data, data + size);
  std::optional<Error> error;
  auto value = SessionResponseChecker::checkData(&response.body, &response, nullptr, &error);
  TREVALO_FUZZ_CHECK(!(value && error));
  return value;
}

platform::Bytes sealedPayload(std::string_view magic, const std::uint8_t* data, std::size_t size) {
  return platform::Envelope::seal(magic, std::span<const std::uint8_t>(data, size));
}

void requireSerialisable(const Json& value) {
  try {
    (void)value.dump();
  } catch (const nlohmann::json::exception& e) {
    fail(e.what(), __FILE__, __LINE__);
  }
}

}  // namespace trevalo::fuzzing
