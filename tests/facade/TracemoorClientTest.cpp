#include "facade/TracemoorClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "FacadeTestSupport.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using testing::metres;

constexpr const char* kVendorId = "11111111-2222-3333-4444-555555555555";

TEST(TracemoorClientNameTest, EveryCharacterOtherThanAWordCharacterBecomesOneUnderscore) {
  const std::pair<const char*, const char*> names[] = {
      {"Ann's phone", "Ann_s_phone"},
      {"Zo\xC3\xAB\xE2\x80\x99s iPhone", "Zo__s_iPhone"},  // a letter and a quote, both 2+ bytes
      {"dev_1-2", "dev_1_2"},
      {"\xFF\xC3", "__"},  // bytes that are no UTF-8 each count as one
      {"", ""},
  };
  for (const auto& [name, cleaned] : names) {
    EXPECT_EQ(TracemoorClient::cleanDeviceName(name), cleaned) << name;
  }
}

class TracemoorClientTest : public testing::FacadeTest {
 protected:
  void SetUp() override {
    // Days are local days; the test's days are those of UTC.
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    FacadeTest::SetUp();
    platform().device().setDescription({"Ann's phone", "Linux", "6.1", "Computer", "x86_64"});
    platform().device().overrideIdentifierForVendor(kVendorId);
  }
};

TEST_F(TracemoorClientTest, SessionsCountWithinADayAndStartAgainOnTheNext) {
  TracemoorClient recorder(context);
  EXPECT_EQ(recorder.currentSessionStr(),
            std::string("Ann_s_phone-") + kVendorId + "-2026-01-01-0");
  recorder.newSession();
  recorder.newSession();
  EXPECT_EQ(recorder.sessionId(), 2);
  EXPECT_EQ(recorder.currentSessionStr(),
            std::string("Ann_s_phone-") + kVendorId + "-2026-01-01-2");

  client->setApiKey("token");
  advanceBy(86400.0);
  recorder.sendLocations({std::make_shared<TRVellLocation>(fixAt(metres(0, 0)))});
  EXPECT_EQ(recorder.sessionId(), 0);
  EXPECT_EQ(recorder.sessionYYYMMDD(), "2026-01-02");
  ASSERT_EQ(transport().sentCount(), 1u);
  const auto request = transport().sentRequests()[0];
  EXPECT_EQ(pathOf(request.url), "/wicked_smaht");
  const Json body = bodyOf(request);
  EXPECT_EQ(body["session"], std::string("Ann_s_phone-") + kVendorId + "-2026-01-02-0");
  EXPECT_EQ(body["locations"].size(), 1u);
  // The answer, whatever it is, changes nothing.
  answer(500);
  EXPECT_EQ(recorder.sessionId(), 0);

  platform().device().overrideIdentifierForVendor(std::nullopt);
  recorder.generateSessionIdString();
  EXPECT_EQ(recorder.currentSessionStr(),
            "Ann_s_phone-00000000-0000-0000-0000-000000000000-2026-01-02-0");
}

TEST_F(TracemoorClientTest, TheFacadeRecordsEveryFixOnlyWithAClientAttached) {
  start();
  trevalo->newTracemoorSession();  // nothing attached: nothing happens
  deliver(metres(0, 0));
  EXPECT_EQ(transport().sentCount(), 0u);

  trevalo->setTracemoorClient(std::make_shared<TracemoorClient>(context));
  trevalo->newTracemoorSession();
  deliver({fixAt(metres(0, 0)), fixAt(metres(0, 5))});
  std::vector<std::string> sessions;
  for (const auto& request : transport().sentRequests()) {
    const Json body = bodyOf(request);
    EXPECT_EQ(body["locations"].size(), 1u);
    sessions.push_back(body["session"].get<std::string>().substr(49));
  }
  EXPECT_THAT(sessions, ElementsAre("2026-01-01-1", "2026-01-01-1"));
}

}  // namespace
}  // namespace trevalo
