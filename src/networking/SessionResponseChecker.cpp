#include "networking/SessionResponseChecker.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string_view>

#include "utils/TRUtils.h"
#include "utils/TextScanning.h"

namespace trevalo {

namespace {

constexpr std::int64_t kUnknownServerError = -9999;
constexpr std::int64_t kServerStatusError = -9992;

// Brackets outside strings, counted without parsing: a body too deep is refused before a
// value is built from it.
bool nestsDeeperThan(const platform::Bytes& data, std::size_t limit) {
  std::size_t depth = 0;
  bool inString = false;
  bool escaped = false;
  for (const auto byte : data) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (byte == '\\') {
        escaped = true;
      } else if (byte == '"') {
        inString = false;
      }
    } else if (byte == '"') {
      inString = true;
    } else if (byte == '[' || byte == '{') {
      if (++depth > limit) return true;
    } else if ((byte == ']' || byte == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace

std::optional<Json> SessionResponseChecker::checkData(const platform::Bytes* data,
                                                      const platform::HttpResponse* response,
                                                      const Error* sessionError,
                                                      std::optional<Error>* error) {
  auto fail = [error](Error failure) -> std::optional<Json> {
    if (error) *error = std::move(failure);
    return std::nullopt;
  };
  if (sessionError) return fail(*sessionError);
  const int status = response ? response->statusCode : 0;
  if (status != 200 && status != 201) return fail(getErrorRes(response));
  if (!data || data->empty()) return std::nullopt;
  if (nestsDeeperThan(*data, kMaximumNestingDepth)) {
    return fail(TRUtils::errorWithCode(kUnknownServerError));
  }
  Json parsed = Json::parse(data->begin(), data->end(), nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded() || !(parsed.is_object() || parsed.is_array())) {
    return fail(TRUtils::errorWithCode(kUnknownServerError));
  }
  return parsed;
}

Error SessionResponseChecker::getErrorRes(const platform::HttpResponse* /*response*/) {
  return TRUtils::errorWithCode(kServerStatusError);
}

std::optional<std::string> SessionResponseChecker::stringFromData(const platform::Bytes& data) {
  const auto end = std::find(data.begin(), data.end(), std::uint8_t{0});
  std::string text(data.begin(), end);
  for (std::size_t position = 0; position < text.size();) {
    const auto decoded = text_scanning::decodeUtf8At(text, position);
    if (decoded.length == 0) return std::nullopt;
    position += decoded.length;
  }
  return text;
}

}  // namespace trevalo
