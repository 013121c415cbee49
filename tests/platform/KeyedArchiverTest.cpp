#include "platform/KeyedArchiver.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "platform/KeyedUnarchiver.h"
#include "support/PlatformTest.h"

namespace trevalo::platform {
namespace {

struct Point final : Archivable {
  static constexpr const char* kArchiveClassName = "TestPoint";
  Point(double x, double y) : x(x), y(y) {}
  explicit Point(KeyedUnarchiver& coder) : x(coder.decodeDouble("x")), y(coder.decodeDouble("y")) {}
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeDouble(x, "x");
    coder.encodeDouble(y, "y");
  }
  double x;
  double y;
};

// A record reached twice, a null in a list, and the fields whose exactness the model's own
// round trips (tests/model, tests/vell) do not show: a date's fraction, JSON member order, a
// 64-bit integer past a double's precision.
struct Route final : Archivable {
  static constexpr const char* kArchiveClassName = "TestRoute";
  Route() = default;
  static std::shared_ptr<Route> initWithCoder(KeyedUnarchiver& coder) {
    auto route = std::make_shared<Route>();
    route->name = coder.decodeString("name");
    route->points = coder.decodeArrayOfObjectsOfClass<Point>("points");
    route->start = coder.decodeObjectOfClass<Point>("start");
    route->created = coder.decodeDate("created");
    route->extra = coder.decodeJson("extra");
    route->big = coder.decodeInt64("big");
    return route;
  }
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override {
    coder.encodeString(name, "name");
    if (points) coder.encodeObjects(*points, "points");
    coder.encodeObject(start, "start");
    coder.encodeDate(created, "created");
    if (extra) coder.encodeJson(*extra, "extra");
    coder.encodeInt64(big, "big");
  }

  std::optional<std::string> name;
  std::optional<std::vector<std::shared_ptr<Point>>> points;
  std::shared_ptr<Point> start;
  std::optional<Date> created;
  std::optional<Json> extra;
  std::int64_t big = 0;
};

// A base whose subclasses are found through it.
struct Shape : Archivable {
  static void registerArchivableSubclasses();
  virtual double area() const = 0;
};
struct Square final : Shape {
  static constexpr const char* kArchiveClassName = "TestSquare";
  explicit Square(double side) : side(side) {}
  explicit Square(KeyedUnarchiver& coder) : side(coder.decodeDouble("side")) {}
  std::string archiveClassName() const override { return kArchiveClassName; }
  void encodeWithCoder(KeyedArchiver& coder) const override { coder.encodeDouble(side, "side"); }
  double area() const override { return side * side; }
  double side;
};
void Shape::registerArchivableSubclasses() {
  ArchiveRegistry::shared().registerClass<Square>();
}

// Written by someone whose class this process does not know.
struct Stranger final : Archivable {
  std::string archiveClassName() const override { return "NobodyKnowsMe"; }
  void encodeWithCoder(KeyedArchiver&) const override {}
};

// Refers to itself.
struct Loop final : Archivable {
  std::string archiveClassName() const override { return "TestLoop"; }
  void encodeWithCoder(KeyedArchiver& coder) const override { coder.encodeObject(next, "next"); }
  std::shared_ptr<Loop> next;
};

std::shared_ptr<Route> sampleRoute() {
  auto route = std::make_shared<Route>();
  auto a = std::make_shared<Point>(1.5, -2.25);
  auto b = std::make_shared<Point>(3.0, 4.0);
  route->name = "home → work";
  route->points = std::vector{a, b, std::shared_ptr<Point>()};
  route->start = a;
  route->created = Date(1500000000.9999);
  route->extra = Json::parse(R"({"z": 1, "a": [true, null, "x"], "m": {"k": 2.5}})");
  route->big = 9007199254740993LL;
  return route;
}

class KeyedArchiverTest : public testing::PlatformTest {};

TEST_F(KeyedArchiverTest, FieldsRoundTripExactlyAndSharedRecordsStayShared) {
  const auto data = KeyedArchiver::archivedDataWithRootObject(sampleRoute());
  const auto route = KeyedUnarchiver::unarchiveObjectOfClass<Route>(data);
  ASSERT_TRUE(route);
  const auto expected = sampleRoute();
  EXPECT_EQ(route->name, expected->name);
  ASSERT_EQ(route->points->size(), 3u);
  EXPECT_EQ((*route->points)[1]->x, 3.0);
  EXPECT_EQ((*route->points)[2], nullptr);
  EXPECT_EQ(route->start, (*route->points)[0]) << "one object reached twice stays one object";
  EXPECT_EQ(route->created, expected->created);
  EXPECT_EQ(route->extra, expected->extra);
  EXPECT_EQ(route->extra->begin().key(), "z") << "JSON members keep their order";
  EXPECT_EQ(route->big, 9007199254740993LL);
}

TEST_F(KeyedArchiverTest, DamagedTruncatedAndForeignBytesRaiseArchiveError) {
  const auto data = KeyedArchiver::archivedDataWithRootObject(sampleRoute());
  std::vector<Bytes> bad = {{}, {'T', 'R'}, {'n', 'o', 't', ' ', 'a', 'n', ' ', 'a', 'r', 'c'}};
  for (std::size_t cut : {std::size_t{9}, data.size() / 2, data.size() - 1}) {
    bad.emplace_back(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(cut));
  }
  for (std::size_t i = 4; i < data.size(); i += 7) {
    auto flipped = data;
    flipped[i] ^= 0x10;
    bad.push_back(std::move(flipped));
  }
  for (const auto& bytes : bad) {
    EXPECT_THROW(KeyedUnarchiver::unarchiveObjectOfClass<Route>(bytes), ArchiveError)
        << bytes.size() << " bytes";
  }
}

TEST_F(KeyedArchiverTest, ValuesReadOnlyAsTheKindAndClassTheyWereWrittenAsOrAsAbsent) {
  KeyedArchiver archiver;
  EXPECT_THROW(archiver.encodeBool(true, "$c"), Exception) << "reserved for the format";
  archiver.encodeObject(std::make_shared<Square>(3.0), "shape");
  archiver.encodeString("text", "text");
  archiver.encodeInt64(std::int64_t{1} << 40, "wide");
  archiver.encodeObject(std::make_shared<Point>(1, 2), "point");
  archiver.encodeObject(std::make_shared<Stranger>(), "stranger");
  const auto data = archiver.encodedData();
  KeyedUnarchiver coder(data);
  EXPECT_THROW(coder.decodeDouble("text"), ArchiveError);
  EXPECT_THROW(coder.decodeInt("wide"), ArchiveError) << "does not fit 32 bits";
  EXPECT_THROW(coder.decodeObjectOfClass<Route>("point"), ArchiveError);
  EXPECT_THROW(coder.decodeObject("stranger"), ArchiveError);
  EXPECT_EQ(coder.decodeObjectOfClass<Shape>("shape")->area(), 9.0);
  EXPECT_EQ(coder.decodeInt("absent"), 0);
  EXPECT_FALSE(coder.decodeString("absent"));
  EXPECT_FALSE(coder.decodeArrayOfObjectsOfClass<Point>("absent")) << "absent is not empty";
}

TEST_F(KeyedArchiverTest, TextThatIsNotUtf8IsReadWithReplacementsAndValidTextAsItWas) {
  KeyedArchiver archiver;
  archiver.encodeString("Caf\xe9 \xff", "legacy");
  archiver.encodeString("Caf\xc3\xa9", "valid");
  archiver.encodeJson(Json::object({{"k\xe9y", "v\xe9"}}), "map");
  const auto data = archiver.encodedData();
  KeyedUnarchiver coder(data);
  EXPECT_EQ(coder.decodeString("legacy"), "Caf\xef\xbf\xbd \xef\xbf\xbd");
  EXPECT_EQ(coder.decodeString("valid"), "Caf\xc3\xa9");
  EXPECT_EQ(coder.decodeJson("map"), Json::object({{"k\xef\xbf\xbdy", "v\xef\xbf\xbd"}}));
  EXPECT_NO_THROW((void)KeyedUnarchiver::dumpAsJson(data).dump());
}

TEST_F(KeyedArchiverTest, ACycleIsRefusedWhenWriting) {
  auto loop = std::make_shared<Loop>();
  loop->next = loop;
  EXPECT_THROW(KeyedArchiver::archivedDataWithRootObject(loop), Exception);
  loop->next.reset();
}

// A process killed at any instant of a write leaves a file that reads back whole: the old
// archive or the new one, never a mixture.
TEST_F(KeyedArchiverTest, AWriteKilledAtAnyInstantLeavesAWholeArchive) {
  const auto file = documentsDirectory() / "nested" / "big.dat";
  EXPECT_EQ(KeyedUnarchiver::unarchiveObjectOfClassWithFile<Route>(file), nullptr);
  auto make = [](int count) {
    auto route = std::make_shared<Route>();
    route->big = count;
    route->points.emplace();
    for (int i = 0; i < 2000; ++i)
      route->points->push_back(std::make_shared<Point>(i, count));
    return route;
  };
  const auto first = make(1);
  const auto second = make(2);
  ASSERT_TRUE(KeyedArchiver::archiveRootObject(first, file));

  for (int round = 0; round < 6; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        if (!KeyedArchiver::archiveRootObject(second, file)) ::_exit(3);
        if (!KeyedArchiver::archiveRootObject(first, file)) ::_exit(3);
      }
    }
    ::usleep(static_cast<useconds_t>(3000 + round * 4100));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    const auto route = KeyedUnarchiver::unarchiveObjectOfClassWithFile<Route>(file);
    ASSERT_TRUE(route);
    ASSERT_TRUE(route->big == 1 || route->big == 2);
    ASSERT_EQ(route->points->size(), 2000u);
    EXPECT_EQ(route->points->back()->y, static_cast<double>(route->big));
  }
}

}  // namespace
}  // namespace trevalo::platform
