// The SQLite store, read back whole after it was closed and opened again.
#include "service/ServiceStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "support/TemporaryDirectory.h"

namespace trevalo::service {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(ServiceStoreTest, EverythingWrittenIsThereAfterReopening) {
  trevalo::testing::TemporaryDirectory directory;
  const std::string path = (directory.path() / "service.sqlite").string();
  const LoggedVisit visit{"dev-1",       "cafe",
                          "a-cafe",      48.85,
                          2.35,          1717225200000,
                          1717228800000, Json{{"venue_id", "cafe"}, {"start_time", 1717225200000}}};
  {
    ServiceStore store(path);
    EXPECT_TRUE(store.logVisit(visit, 1717228801.0));
    // The same visit sent again (its answer was lost) is stored once; another visit at the
    // same place is another row.
    EXPECT_FALSE(store.logVisit(visit, 1717228802.0));
    EXPECT_TRUE(
        store.logVisit({"dev-2", "home", "a-home", 48.84, 2.33, 1, 0, Json::object()}, 2.0));
    EXPECT_TRUE(
        store.logVisit({"dev-2", "home", "a-home", 48.84, 2.33, 1, 9, Json::object()}, 3.0));
    store.saveUserValues("dev-1", {{"name", "Ann"}, {"age", 30}}, Json{{"device_id", "dev-1"}},
                         3.0);
    store.saveUserValues("dev-1", {{"age", 31}, {"gender", "f"}}, Json{{"device_id", "dev-1"}},
                         4.0);
    store.recordLocations("s1", {Json{{"latitude", 1.0}}, Json{{"latitude", 2.0}}});
    store.recordVisits("s1", {Json{{"start_time", 5}}});
    store.logEvent("dev-1", "12_30_05", "hello \"world\"");
  }
  ServiceStore store(path);
  EXPECT_THAT(store.visits("dev-1"), ElementsAre(visit));
  EXPECT_EQ(store.visits().size(), 3u);
  EXPECT_TRUE(store.visits("dev-3").empty());
  // Later uploads overwrite a key's value and keep its place.
  EXPECT_THAT(
      store.userValues("dev-1"),
      ElementsAre(Pair("name", Json("Ann")), Pair("age", Json(31)), Pair("gender", Json("f"))));
  EXPECT_THAT(store.recordedLocations("s1"),
              ElementsAre(Json{{"latitude", 1.0}}, Json{{"latitude", 2.0}}));
  EXPECT_TRUE(store.recordedLocations("s2").empty());
  EXPECT_THAT(store.recordedVisits("s1"), ElementsAre(Json{{"start_time", 5}}));
  EXPECT_THAT(store.events("dev-1"), ElementsAre(Pair("12_30_05", "hello \"world\"")));
}

TEST(ServiceStoreTest, AFileThatIsNoDatabaseIsRefused) {
  trevalo::testing::TemporaryDirectory directory;
  const auto path = directory.path() / "not.sqlite";
  std::ofstream(path) << "this is not a database, it is a text file of some length.........";
  EXPECT_THROW(ServiceStore(path.string()), SqliteError);
  EXPECT_THROW(ServiceStore((directory.path() / "missing" / "x.sqlite").string()), SqliteError);
}

}  // namespace
}  // namespace trevalo::service
