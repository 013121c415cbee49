#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/KeyedArchiver.h"
#include "platform/KeyedUnarchiver.h"
#include "trevalo/Json.h"
#include "trevalo/model/TRAddress.h"
#include "trevalo/model/TREvent.h"
#include "trevalo/model/TRGeometry.h"
#include "trevalo/model/TRPlace.h"
#include "trevalo/model/TRVenue.h"
#include "trevalo/model/shape/TRMultiPolygon.h"
#include "trevalo/model/shape/TRPoint.h"
#include "trevalo/model/shape/TRSinglePolygon.h"

// Helpers for the model tests: service answers from tests/data/model, archive round trips, and
// "snapshots" that spell out every field of a record as JSON, so that two records can be
// compared field by field (and a failure shows which field differs).
namespace trevalo::testing {

// Table rows of parameterised tests carry a `name`; it names the test and is what gtest prints.
template <class Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

inline Json readModelJson(const std::string& name) {
  std::ifstream in(std::string(TREVALO_TEST_DATA_DIR) + "/model/" + name);
  return Json::parse(in);
}

template <class T>
std::shared_ptr<T> archiveRoundTrip(const std::shared_ptr<T>& record) {
  const auto data = platform::KeyedArchiver::archivedDataWithRootObject(record);
  return platform::KeyedUnarchiver::unarchiveObjectOfClass<T>(data);
}

// A place with only the two identifiers that make its identity key.
inline std::shared_ptr<TRPlace> placeWithIds(std::optional<std::string> addressId,
                                             std::optional<std::string> venueId) {
  auto place = std::make_shared<TRPlace>();
  place->address = std::make_shared<TRAddress>();
  place->address->addressId = std::move(addressId);
  place->venue = std::make_shared<TRVenue>();
  place->venue->venueId = std::move(venueId);
  return place;
}

inline Json snap(const std::optional<std::string>& text) {
  return text ? Json(*text) : Json();
}

inline Json snap(const std::optional<Date>& date) {
  return date ? Json(date->timeIntervalSince1970()) : Json();
}

inline Json snapshot(const std::shared_ptr<TRVenue>& venue) {
  if (!venue) return Json();
  return {{"venueId", snap(venue->venueId)},
          {"addressId", snap(venue->addressId)},
          {"name", snap(venue->name)},
          {"category", snap(venue->category)},
          {"subcategory", snap(venue->subcategory)}};
}

inline Json snapshot(const std::shared_ptr<TRAddress>& address) {
  if (!address) return Json();
  return {{"addressId", snap(address->addressId)},
          {"geometryId", snap(address->geometryId)},
          {"coordinatesType", snap(address->coordinatesType)},
          {"country", snap(address->country)},
          {"locality", snap(address->locality)},
          {"countryCode", snap(address->countryCode)},
          {"streetName", snap(address->streetName)},
          {"streetNumber", snap(address->streetNumber)},
          {"postalCode", snap(address->postalCode)},
          {"region", snap(address->region)},
          {"venueCount", address->venueCount},
          {"lat", address->lat},
          {"lon", address->lon}};
}

inline Json snapshot(const std::shared_ptr<TREvent>& event) {
  if (!event) return Json();
  return {{"lat", event->lat},
          {"lon", event->lon},
          {"eventId", snap(event->eventId)},
          {"name", snap(event->name)},
          {"url", snap(event->url)},
          {"startTime", snap(event->startTime)},
          {"stopTime", snap(event->stopTime)},
          {"addressId", snap(event->addressId)},
          {"venueId", snap(event->venueId)}};
}

inline Json snapshot(const std::shared_ptr<TRGeometryShape>& shape) {
  if (!shape) return Json();
  Json result = {{"class", shape->archiveClassName()}, {"type", snap(shape->type())}};
  if (auto point = std::dynamic_pointer_cast<TRPoint>(shape)) {
    result["coordinates"] = point->coordinates();
  } else if (auto polygon = std::dynamic_pointer_cast<TRSinglePolygon>(shape)) {
    result["coordinates"] = polygon->coordinates();
  } else if (auto multi = std::dynamic_pointer_cast<TRMultiPolygon>(shape)) {
    result["coordinates"] = Json::array();
    for (const auto& member : multi->coordinates())
      result["coordinates"].push_back(snapshot(std::shared_ptr<TRGeometryShape>(member)));
  }
  return result;
}

inline Json snapshot(const std::shared_ptr<TRGeometry>& geometry) {
  if (!geometry) return Json();
  return {{"geometryId", snap(geometry->geometryId)},
          {"geometryClass", snap(geometry->geometryClass)},
          {"type", snap(geometry->type)},
          {"geometry", geometry->geometry ? *geometry->geometry : Json()},
          {"geometryShape", snapshot(geometry->geometryShape)},
          {"inside", geometry->inside},
          {"dist", geometry->dist}};
}

inline Json snapshot(const std::shared_ptr<TRPlace>& place);

template <class T>
Json snapshotList(const std::optional<std::vector<std::shared_ptr<T>>>& list) {
  if (!list) return Json();
  Json result = Json::array();
  for (const auto& item : *list)
    result.push_back(snapshot(item));
  return result;
}

inline Json snapshot(const std::shared_ptr<TRPlace>& place) {
  if (!place) return Json();
  return {{"address", snapshot(place->address)},
          {"venue", snapshot(place->venue)},
          {"events", snapshotList(place->events)},
          {"alternatives", snapshotList(place->alternatives)},
          {"geometry", snapshot(place->geometry)}};
}

}  // namespace trevalo::testing
