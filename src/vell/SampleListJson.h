#pragma once

#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "json/ParserUtils.h"
#include "trevalo/Json.h"

namespace trevalo::vell_detail {

// The JSON list of sensor samples: one map a sample, its own members written by `fill`, then
// "timeStamp" from `stamp`. Collector snapshots and recorded locations share the shape and
// differ only in member names and in the time they stamp.
template <class Sample, class Fill, class Stamp>
Json sampleListJson(const std::vector<Sample>& samples, Fill fill, Stamp stamp) {
  Json list = Json::array();
  for (const auto& sample : samples) {
    Json map = Json::object();
    fill(map, sample);
    ParserUtils::addToDictionary(map, "timeStamp", stamp(sample));
    list.push_back(std::move(map));
  }
  return list;
}

// The three members of an axis reading (acceleration or rotation rate).
template <class Axes>
void addAxes(Json& map, const Axes& axes, const char* x, const char* y, const char* z) {
  ParserUtils::addToDictionary(map, x, axes.x);
  ParserUtils::addToDictionary(map, y, axes.y);
  ParserUtils::addToDictionary(map, z, axes.z);
}

}  // namespace trevalo::vell_detail
