#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trevalo::platform {

// The header fields of an HTTP request or response, in the order they were set. Field names
// compare without regard to case, as HTTP requires; setting a field that is present replaces
// its value in place, so the order stays that of first appearance.
class HttpHeaders {
 public:
  using Field = std::pair<std::string, std::string>;

  HttpHeaders() = default;
  HttpHeaders(std::initializer_list<Field> fields);

  void setValue(std::string value, std::string_view field);
  // Adds a field even when one of the same name exists (responses may repeat fields).
  void addValue(std::string value, std::string_view field);
  void remove(std::string_view field);
  // The first value of `field`, or nothing.
  std::optional<std::string> valueForField(std::string_view field) const;

  const std::vector<Field>& fields() const noexcept { return fields_; }
  bool empty() const noexcept { return fields_.empty(); }
  std::size_t size() const noexcept { return fields_.size(); }

  bool operator==(const HttpHeaders&) const = default;

  static bool namesEqual(std::string_view a, std::string_view b) noexcept;

 private:
  std::vector<Field> fields_;
};

}  // namespace trevalo::platform
