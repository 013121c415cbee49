#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "model/ModelTestSupport.h"
#include "platform/ArchiveError.h"
#include "platform/KeyedArchiver.h"
#include "trevalo/platform/Application.h"
#include "trevalo/platform/LocalFileSystem.h"
#include "visits/VisitTestSupport.h"
#include "visits/operations/MetaOperationGetAppleVenue.h"

namespace trevalo {
namespace {

using platform::Bytes;
using testing::VisitTrackerTest;

using testing::kLogPath;
using testing::kResolvePath;

void writeFile(const Bytes& bytes) {
  ASSERT_TRUE(
      platform::LocalFileSystem().writeFileAtomically(VisitTracker::venueCachePath(), bytes));
}

// A file that says it holds a tracker, with whatever fields a test puts in.
class ForgedTracker final : public platform::Archivable {
 public:
  std::shared_ptr<TRCachedVisit> visit;
  std::vector<std::shared_ptr<const platform::Archivable>> operations;

  std::string archiveClassName() const override { return VisitTracker::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.encodeObject(visit, "_currentVisit");
    coder.encodeObjectList(operations, "self.operationsQueue");
  }
};

std::shared_ptr<TRCachedVisit> visitAt(const std::string& venueId) {
  return TRCachedVisit::initWithResult(testing::placeWith("A", venueId), Date(1000), true);
}

// A record under the cached visit's name that holds none of its members.
class EmptyVisitRecord final : public platform::Archivable {
 public:
  std::string archiveClassName() const override { return TRCachedVisit::kArchiveClassName; }
  void encodeWithCoder(platform::KeyedArchiver&) const override {}
};

TEST(TRCachedVisitTest, TruncatesToMillisecondsAndRefusesAnArchiveWithoutItsStart) {
  const auto visit =
      TRCachedVisit::initWithResult(testing::placeWith("A", "V"), Date(1500000000.9999), true);
  const Json body = visit->dictionaryRepresentation();
  EXPECT_EQ(body.at("start_time"), 1500000000999);
  EXPECT_EQ(body.at("end_time"), 0);  // an open visit

  const auto bytes =
      platform::KeyedArchiver::archivedDataWithRootObject(std::make_shared<EmptyVisitRecord>());
  EXPECT_THROW(platform::KeyedUnarchiver::unarchiveObjectOfClass<TRCachedVisit>(bytes),
               platform::ArchiveError);
}

TEST_F(VisitTrackerTest, ADamagedFileGivesAFreshTrackerAndIsDeleted) {
  tracker_->assignNewCurrentVenue(testing::placeWith("A1", "V1"), now());
  resolveStayAt(40.0, -73.0);
  const Bytes intact = platform::LocalFileSystem().readFile(VisitTracker::venueCachePath()).value();
  Bytes changed = intact;
  changed[changed.size() / 2] ^= 0x20;
  const std::pair<const char*, Bytes> table[] = {
      {"truncated", Bytes(intact.begin(), intact.begin() + intact.size() / 2)},
      {"one byte changed", changed},
      {"another record",
       platform::KeyedArchiver::archivedDataWithRootObject(testing::placeWith("A1", "V1"))}};
  for (const auto& [name, bytes] : table) {
    SCOPED_TRACE(name);
    writeFile(bytes);
    restartTracker();
    EXPECT_FALSE(tracker_->currentVisit());
    EXPECT_TRUE(tracker_->operationsQueue().empty());
    EXPECT_FALSE(std::filesystem::exists(VisitTracker::venueCachePath()));
  }
  EXPECT_EQ(transport().sentCount(), 1u);
}

TEST_F(VisitTrackerTest, UnreadableDescriptorsAreDroppedAndTheVisitKept) {
  // A visit where a descriptor belongs.
  ForgedTracker forged;
  forged.visit = visitAt("1");
  forged.operations = {std::make_shared<MetaOperationDepart>(visitAt("2"), Date(2000)),
                       visitAt("3")};
  writeFile(platform::KeyedArchiver::archivedDataWithRootObject(
      std::shared_ptr<const platform::Archivable>(&forged, [](const auto*) {})));

  restartTracker();
  ASSERT_TRUE(tracker_->currentVisit());
  EXPECT_EQ(tracker_->currentVisit()->cachedVisitId(), "A1");
  EXPECT_TRUE(tracker_->operationsQueue().empty());
  // What could be read was written back; the unreadable part is gone for good.
  EXPECT_TRUE(saved() && saved()->currentVisit());
  EXPECT_EQ(savedOperationCount(), 0u);
}

TEST_F(VisitTrackerTest, AFullListKeepsTheTenOldestAndTheNewestAndSurvivesARestartWhole) {
  for (int i = 0; i < 12; ++i)
    tracker_->reportEndVisit(visitAt(std::to_string(i)), now());
  runUntilIdle();
  restartTracker();
  std::vector<std::string> kept;
  for (const auto& operation : tracker_->operationsQueue())
    kept.push_back(
        std::dynamic_pointer_cast<MetaOperationDepart>(operation)->visit()->cachedVisitId());
  EXPECT_EQ(kept, (std::vector<std::string>{"A0", "A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8",
                                            "A9", "A11"}));
  // All twelve went out before the restart (the dropped one was already under way).
  EXPECT_EQ(transport().sentCount(), 12u + 11u);
}

// The file as the dump tool shows it, and the keys each class wrote there, in order.
Json dumpOfFile() {
  return platform::KeyedUnarchiver::dumpAsJson(
      platform::LocalFileSystem().readFile(VisitTracker::venueCachePath()).value());
}
Json keysByClass(const Json& dump) {
  Json keys = Json::object();
  for (const auto& object : dump["objects"]) {
    auto& names = keys[object["$class"].get<std::string>()] = Json::array();
    for (const auto& [key, value] : object.items())
      if (key != "$class") names.push_back(key);
  }
  return keys;
}

// Later versions read these files: every record keeps its keys, and a tracker read back writes
// the very file it was read from, so no field is forgotten on either side.
TEST_F(VisitTrackerTest, ATrackerReadBackAfterARestartWritesTheSameFileAndRunsItsWorkAgain) {
  auto filter = std::make_shared<TRFilter>();
  filter->venueName = "Deli";
  filter->radius = 12.5;
  tracker_->assignNewCurrentVenue(
      TRPlace::initWithDictionary(testing::readModelJson("reverse_geocode.json")),
      now().dateByAddingTimeInterval(-7200));
  const Date departed = now().dateByAddingTimeInterval(-600);
  tracker_->updateDepartureDate(departed);
  resolveStayAt(40.0, -73.0, std::vector{filter});
  tracker_->addOperation(std::make_shared<MetaOperationGetAppleVenue>(
      tracker_, Location(Coordinate{45.5, -73.6}), now().dateByAddingTimeInterval(-60)));
  const auto earlier = TRCachedVisit::initWithResult(testing::placeWith("A2", "V2"),
                                                     now().dateByAddingTimeInterval(-9000), true);
  earlier->setEndDate(now().dateByAddingTimeInterval(-8000));
  tracker_->reportEndVisit(earlier, now().dateByAddingTimeInterval(-7200));
  runUntilIdle();
  const Json before = dumpOfFile();

  restartTracker();
  ASSERT_TRUE(tracker_->saveTracker());
  EXPECT_EQ(dumpOfFile(), before);
  ASSERT_TRUE(tracker_->currentVisit());
  EXPECT_EQ(tracker_->currentVisit()->endDate(), departed);
  ASSERT_EQ(tracker_->operationsQueue().size(), 3u);
  // The saved work has run again, in list order, and runs only once however often it is queued.
  tracker_->addArchivedOperations();
  runUntilIdle();
  ASSERT_EQ(paths(), (std::vector<std::string>{kResolvePath, kLogPath, kResolvePath, kLogPath}));
  EXPECT_EQ(body(2), body(0));
  EXPECT_EQ(body(3), body(1));

  const Json keys = keysByClass(before);
  const std::pair<const char*, Json> expected[] = {
      {VisitTracker::kArchiveClassName, {"_currentVisit", "self.operationsQueue"}},
      {TRCachedVisit::kArchiveClassName,
       {"self.startDate", "self.geocodeResult", "self.appActive", "self.endDate"}},
      {MetaOperationGetVenueByLocations::kArchiveClassName,
       {"self.locations", "self.startDate", "self.filters"}},
      {MetaOperationGetAppleVenue::kArchiveClassName, {"self.location", "self.startDate"}},
      {MetaOperationDepart::kArchiveClassName, {"self.endDate", "self.visit"}}};
  for (const auto& [className, names] : expected)
    EXPECT_EQ(keys.value(className, Json()), names) << className;
}

// Each change to the current visit is on disk as soon as it is made, not at the next write.
TEST_F(VisitTrackerTest, EachChangeToTheVisitReachesTheFileAtOnce) {
  auto& application = platform().application();
  application.setApplicationState(platform::ApplicationState::kBackground);
  runUntilIdle();
  const Date start = now();
  tracker_->assignNewCurrentVenue(testing::placeWith("A1", "V1"), start);
  ASSERT_TRUE(saved()->currentVisit());
  EXPECT_EQ(saved()->currentVisit()->startDate(), start);
  EXPECT_FALSE(saved()->currentVisit()->appActive());

  advanceBy(600);
  tracker_->updateDepartureDate(now());
  EXPECT_EQ(saved()->currentVisit()->endDate(), now());

  application.setApplicationState(platform::ApplicationState::kActive);
  runUntilIdle();
  EXPECT_TRUE(saved()->currentVisit()->appActive());

  advanceBy(600);
  tracker_->endVisit(now());
  EXPECT_FALSE(saved()->currentVisit());
  ASSERT_EQ(saved()->operationsQueue().size(), 1u);
  const auto logged =
      std::dynamic_pointer_cast<MetaOperationDepart>(saved()->operationsQueue().front());
  ASSERT_TRUE(logged);
  EXPECT_EQ(logged->endDate(), now());
  EXPECT_EQ(logged->visit()->endDate(), now());
  EXPECT_TRUE(logged->visit()->appActive());
}

// --- Order of writes and requests ------------------------------------------------------------

// The local file system, with writes that fail while `failWrites` is set (a full disk, say)
// or once `writesLeft` is used up (the process killed after that many writes).
class FailingFileSystem final : public platform::FileSystem {
 public:
  std::atomic<bool> failWrites{false};
  std::atomic<int> writesLeft{std::numeric_limits<int>::max()};

  std::optional<Bytes> readFile(const std::filesystem::path& path) const override {
    return files_.readFile(path);
  }
  bool writeFileAtomically(const std::filesystem::path& path,
                           std::span<const std::uint8_t> bytes) override {
    return !failWrites && writesLeft.fetch_sub(1) > 0 && files_.writeFileAtomically(path, bytes);
  }
  bool removeFile(const std::filesystem::path& path) override { return files_.removeFile(path); }
  bool fileExists(const std::filesystem::path& path) const override {
    return files_.fileExists(path);
  }

 private:
  platform::LocalFileSystem files_;
};

class VisitTrackerStorageFailureTest : public VisitTrackerTest {
 protected:
  void customize(platform::SimulatedPlatform::Options& options) override {
    options.fileSystem = files_;
  }
  std::shared_ptr<FailingFileSystem> files_ = std::make_shared<FailingFileSystem>();
};

TEST_F(VisitTrackerStorageFailureTest, ADescriptorIsOnDiskBeforeItsRequestAndLeavesAfterSuccess) {
  std::vector<std::size_t> onDiskAtSend;
  transport().setResponder([&](const platform::HttpRequest&) {
    onDiskAtSend.push_back(savedOperationCount());
    return std::optional<platform::SimulatedHttpTransport::Answer>();
  });
  // A full disk: the descriptor waits in memory and no request goes out, even when resent.
  files_->failWrites = true;
  resolveStayAt(40.0, -73.0);
  tracker_->resendAllPendingOperations();
  runUntilIdle();
  EXPECT_TRUE(onDiskAtSend.empty());
  EXPECT_EQ(tracker_->operationsQueue().size(), 1u);

  files_->failWrites = false;
  tracker_->resendAllPendingOperations();
  tracker_->assignNewCurrentVenue(testing::placeWith("A1", "V1"), now());
  tracker_->endVisit(now());
  runUntilIdle();
  answer(500);
  answer(503);
  advanceBy(121);
  tracker_->resendAllPendingOperations();
  runUntilIdle();
  EXPECT_EQ(onDiskAtSend, (std::vector<std::size_t>{1, 2, 2, 2}));
  answer(200, testing::placeJson("A2", "V2"));
  EXPECT_EQ(savedOperationCount(), 1u);

  // A success whose removal cannot be written leaves the descriptor on disk: after a restart
  // the work is done again rather than lost.
  files_->failWrites = true;
  answer(200);
  EXPECT_TRUE(tracker_->operationsQueue().empty());
  EXPECT_EQ(savedOperationCount(), 1u);
  files_->failWrites = false;
  tracker_->appBecomeActive();
  EXPECT_EQ(savedOperationCount(), 0u);
}

TEST_F(VisitTrackerStorageFailureTest, ANewVisitAndTheOldOnesLogReachTheFileInOneWrite) {
  tracker_->assignNewCurrentVenue(testing::placeWith("A1", "V1"),
                                  now().dateByAddingTimeInterval(-3600));
  resolveStayAt(40.0, -73.0);

  // Killed right after the first write that follows an answer naming another place: the file
  // must already hold both the new visit and the descriptor that logs the old one.
  files_->writesLeft = 1;
  answer(200, testing::placeJson("A2", "V2"));
  const auto onDisk = saved();
  ASSERT_TRUE(onDisk && onDisk->currentVisit());
  EXPECT_EQ(onDisk->currentVisit()->cachedVisitId(), "A2V2");
  const auto& operations = onDisk->operationsQueue();
  EXPECT_TRUE(std::any_of(operations.begin(), operations.end(), [](const auto& operation) {
    const auto departure = std::dynamic_pointer_cast<MetaOperationDepart>(operation);
    return departure && departure->visit()->cachedVisitId() == "A1V1";
  }));
}

}  // namespace
}  // namespace trevalo
