#pragma once

#include <concepts>
#include <memory>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "trevalo/Json.h"
#include "trevalo/platform/Archivable.h"

namespace trevalo {

class TROptionValue;

namespace detail {

template <class T>
struct IsRecordList : std::false_type {};
template <class T>
requires std::derived_from<std::remove_const_t<T>, platform::Archivable>
struct IsRecordList<std::vector<std::shared_ptr<T>>> : std::true_type {
};

}  // namespace detail

// One value of the options dictionary: a JSON value (a number, a flag, a text, ...) or a list
// of the SDK's records, such as the filters under TROptionFilter. A plain value; the records
// are shared, not copied.
class TROptionValue {
 public:
  using Records = std::vector<std::shared_ptr<const platform::Archivable>>;

  TROptionValue() = default;

  // Anything a JSON value is made from: `30.0`, `true`, `"text"`, `Json::array()`.
  template <class Value>
  requires(!std::same_as<std::remove_cvref_t<Value>, TROptionValue> &&
           !detail::IsRecordList<std::remove_cvref_t<Value>>::value &&
           std::constructible_from<Json, Value&&>)
      TROptionValue(Value&& value)  // NOLINT: implicit, so that options read like a dictionary
      : value_(std::in_place_type<Json>, std::forward<Value>(value)) {}

  // A list of records, for example std::vector<std::shared_ptr<TRFilter>>.
  template <class Record>
  requires std::derived_from<std::remove_const_t<Record>, platform::Archivable> TROptionValue(
      const std::vector<std::shared_ptr<Record>>& records)  // NOLINT: implicit
      : value_(std::in_place_type<Records>, records.begin(), records.end()) {}

  // The JSON value; nothing when this is a list of records.
  const Json* json() const noexcept { return std::get_if<Json>(&value_); }
  // The records; nothing when this is a JSON value.
  const Records* records() const noexcept { return std::get_if<Records>(&value_); }

  // Equal JSON values, or lists of records whose archived forms are equal one by one.
  bool operator==(const TROptionValue& other) const;

 private:
  std::variant<Json, Records> value_;
};

}  // namespace trevalo
