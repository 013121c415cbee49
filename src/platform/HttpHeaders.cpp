#include "trevalo/platform/HttpHeaders.h"

#include <algorithm>

namespace trevalo::platform {

namespace {

char lower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

HttpHeaders::HttpHeaders(std::initializer_list<Field> fields) {
  for (const auto& [name, value] : fields)
    setValue(value, name);
}

bool HttpHeaders::namesEqual(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

void HttpHeaders::setValue(std::string value, std::string_view field) {
  const auto it = std::find_if(fields_.begin(), fields_.end(),
                               [&](const Field& f) { return namesEqual(f.first, field); });
  if (it == fields_.end()) {
    fields_.emplace_back(std::string(field), std::move(value));
    return;
  }
  it->second = std::move(value);
  // Later duplicates (from addValue) would contradict the value just set.
  fields_.erase(std::remove_if(std::next(it), fields_.end(),
                               [&](const Field& f) { return namesEqual(f.first, field); }),
                fields_.end());
}

void HttpHeaders::addValue(std::string value, std::string_view field) {
  fields_.emplace_back(std::string(field), std::move(value));
}

void HttpHeaders::remove(std::string_view field) {
  std::erase_if(fields_, [&](const Field& f) { return namesEqual(f.first, field); });
}

std::optional<std::string> HttpHeaders::valueForField(std::string_view field) const {
  for (const auto& [name, value] : fields_) {
    if (namesEqual(name, field)) return value;
  }
  return std::nullopt;
}

}  // namespace trevalo::platform
