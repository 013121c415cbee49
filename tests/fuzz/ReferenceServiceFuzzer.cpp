// The reference service's request handling: an input is up to kRequests requests, separated
// by lines "%%", each "METHOD TARGET" on its first line and the body after it, answered in
// turn by one service on a fresh in-memory store (so a visit logged by one request is there
// for the next). Every answer must be one of the statuses the service documents for what it is
// sent, go out as valid JSON, and a refused request must store nothing.
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "service/ReferenceService.h"

using namespace trevalo;
using namespace trevalo::service;

namespace {

constexpr std::size_t kRequests = 8;

// A building, a shop 60 m from it and two points far away, around 48.85 N, 2.35 E.
constexpr std::string_view kVenues = R"({"type": "FeatureCollection", "features": [
  {"type": "Feature", "id": "cafe",
   "properties": {"name": "Café", "category": "food", "subcategory": "cafe",
                  "street_number": "12", "street_name": "Rue Haute", "locality": "Paris",
                  "country_code": "FR"},
   "geometry": {"type": "Polygon", "coordinates": [[[2.3500, 48.8500], [2.3504, 48.8500],
                [2.3504, 48.8503], [2.3500, 48.8503], [2.3500, 48.8500]]]}},
  {"type": "Feature", "properties": {"id": "bakery", "name": "Boulangerie", "category": "food"},
   "geometry": {"type": "Point", "coordinates": [2.3510, 48.85015]}},
  {"type": "Feature", "properties": {"id": "office", "category": "work", "address_id": "a-7"},
   "geometry": {"type": "Point", "coordinates": [2.3700, 48.8600]}},
  {"type": "Feature", "properties": {"id": "home", "category": "residence"},
   "geometry": {"type": "Point", "coordinates": [2.3300, 48.8400]}}]})";

const VenueTable& venues() {
  static const VenueTable table = VenueTable::fromGeoJson(kVenues);
  return table;
}

std::vector<ServiceRequest> requestsOf(std::string_view input) {
  std::vector<ServiceRequest> requests;
  while (requests.size() < kRequests) {
    const auto separator = input.find("\n%%\n");
    const std::string_view text = input.substr(0, separator);
    const auto newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    const auto space = line.find(' ');
    ServiceRequest request;
    request.method = std::string(line.substr(0, space));
    request.url = space == std::string_view::npos ? "" : std::string(line.substr(space + 1));
    request.body = newline == std::string_view::npos ? "" : std::string(text.substr(newline + 1));
    requests.push_back(std::move(request));
    if (separator == std::string_view::npos) break;
    input.remove_prefix(separator + 4);
  }
  return requests;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto store = std::make_shared<ServiceStore>(":memory:");
  ReferenceService service(venues(), store, [] { return Date(1767225600.0); });
  for (const ServiceRequest& request :
       requestsOf(std::string_view(reinterpret_cast<const char*>(data), size))) {
    const std::size_t visitsBefore = store->visits().size();
    const ServiceResponse response = service.handle(request);
    // 500 is for a store that fails; an in-memory one does not, so a 500 here is a bad
    // request that slipped past the checks into a handler.
    TREVALO_FUZZ_CHECK(response.status == 200 || response.status == 400 || response.status == 401 ||
                       response.status == 404 || response.status == 405);
    TREVALO_FUZZ_CHECK(!Json::parse(response.bodyText(), nullptr, false).is_discarded());
    if (response.status != 200) {
      TREVALO_FUZZ_CHECK(response.body.is_object() && response.body.contains("error"));
      TREVALO_FUZZ_CHECK(store->visits().size() == visitsBefore);
    }
  }
  return 0;
}
