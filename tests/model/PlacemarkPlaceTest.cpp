// Places built from a geocoder's placemarks are named by what the placemark says.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"

namespace trevalo {
namespace {

using testing::CaseName;
using testing::PrintTo;

platform::Placemark cafe() {
  platform::Placemark made;
  made.name = "Cafe des Arts";
  made.location = Location(Coordinate{48.8606, 2.3376});
  made.country = "France";
  made.locality = "Paris";
  made.ISOcountryCode = "FR";
  made.thoroughfare = "Rue de Rivoli";
  made.subThoroughfare = "12";
  made.postalCode = "75001";
  return made;
}

std::shared_ptr<TRPlace> placeOf(const platform::Placemark& placemark) {
  return TRPlace::initWithPlacemarks({placemark});
}

TEST(PlacemarkPlaceTest, TheSamePlacemarkGivesTheSameIdentifiersWhereverItWasAskedFor) {
  const auto first = placeOf(cafe());
  auto elsewhere = cafe();
  elsewhere.location = Location(Coordinate{48.8608, 2.3379});
  const auto second = placeOf(elsewhere);

  const std::regex uuid("[0-9A-F]{8}-[0-9A-F]{4}-5[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
  ASSERT_TRUE(first->venue->venueId && first->address->addressId);
  EXPECT_TRUE(std::regex_match(*first->venue->venueId, uuid)) << *first->venue->venueId;
  EXPECT_TRUE(std::regex_match(*first->address->addressId, uuid)) << *first->address->addressId;
  EXPECT_NE(first->venue->venueId, first->address->addressId);
  EXPECT_EQ(second->identityKey(), first->identityKey());
  EXPECT_TRUE(first->isEqual(second.get()));
  // Kept through the archive of the visit that holds it.
  EXPECT_EQ(testing::archiveRoundTrip(first)->identityKey(), first->identityKey());

  auto missing = cafe();
  missing.postalCode.reset();
  auto empty = cafe();
  empty.postalCode = "";
  EXPECT_EQ(placeOf(missing)->identityKey(), placeOf(empty)->identityKey())
      << "empty text is no text";
}

// Which identifiers a change of one field of the placemark changes.
struct FieldChange {
  const char* name;
  std::function<void(platform::Placemark&)> change;
  bool addressChanges;
  bool venueChanges;
};

class PlacemarkFieldTest : public ::testing::TestWithParam<FieldChange> {};

TEST_P(PlacemarkFieldTest, EachFieldNamesThePlace) {
  const auto& c = GetParam();
  auto changed = cafe();
  c.change(changed);
  const auto before = placeOf(cafe());
  const auto after = placeOf(changed);
  EXPECT_EQ(after->address->addressId != before->address->addressId, c.addressChanges);
  EXPECT_EQ(after->venue->venueId != before->venue->venueId, c.venueChanges);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, PlacemarkFieldTest,
    ::testing::Values(
        FieldChange{"Name", [](auto& p) { p.name = "Cafe Marly"; }, false, true},
        FieldChange{"NoName", [](auto& p) { p.name.reset(); }, false, true},
        FieldChange{"Country", [](auto& p) { p.country = "Belgium"; }, true, true},
        FieldChange{"CountryCode", [](auto& p) { p.ISOcountryCode = "BE"; }, true, true},
        FieldChange{"Locality", [](auto& p) { p.locality = "Lyon"; }, true, true},
        FieldChange{"PostalCode", [](auto& p) { p.postalCode = "75004"; }, true, true},
        FieldChange{"Street", [](auto& p) { p.thoroughfare = "Rue Oberkampf"; }, true, true},
        FieldChange{"Number", [](auto& p) { p.subThoroughfare = "14"; }, true, true},
        // Text moved from one field to the next is another address.
        FieldChange{"NumberAsStreet",
                    [](auto& p) {
                      p.thoroughfare = "12";
                      p.subThoroughfare = "Rue de Rivoli";
                    },
                    true, true},
        FieldChange{"Location", [](auto& p) { p.location.reset(); }, false, false},
        FieldChange{"NothingChanged", [](auto&) {}, false, false}),
    CaseName());

// A placemark with no address text gives an address that names nothing.
TEST(PlacemarkPlaceTest, WithoutAddressTextOnlyTheVenueHasAnIdentifier) {
  platform::Placemark named;
  named.name = "Cafe des Arts";
  named.location = Location(Coordinate{48.8606, 2.3376});
  const auto place = placeOf(named);
  EXPECT_FALSE(place->address->addressId);
  EXPECT_TRUE(place->venue->venueId);
  EXPECT_TRUE(place->hasValue());
  EXPECT_EQ(place->address->coordinate(), (Coordinate{48.8606, 2.3376}));
  named.locality = "Paris";
  EXPECT_TRUE(placeOf(named)->address->addressId);
}

}  // namespace
}  // namespace trevalo
