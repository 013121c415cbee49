// Runs the trevalo program's subcommands on small inputs and checks what they print.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ToolProcess.h"
#include "support/TemporaryDirectory.h"
#include "trevalo/Json.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::readFile;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// "<t - 1000> <event> [to]" for each line printed after the warm-up's five fixes.
std::vector<std::string> calls(const ToolRun& run) {
  std::vector<std::string> result;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);) {
    const Json printed = Json::parse(line);
    if (printed["t"].get<double>() <= 1005.0) continue;
    std::ostringstream text;
    text << printed["t"].get<double>() - 1000.0 << ' ' << printed["event"].get<std::string>();
    if (printed["event"] == "mode") text << ' ' << printed["to"].get<int>();
    result.push_back(text.str());
  }
  return result;
}

// One trace line; `more` holds further members, each led by a comma.
std::string line(double t, const std::string& type, const std::string& more = "") {
  std::ostringstream text;
  text << R"({"t": )" << t << R"(, "type": ")" << type << '"' << more << "}\n";
  return text.str();
}

std::string fixAt(double t, double latitude = 48.9) {
  return line(t, "fix", R"(, "lat": )" + std::to_string(latitude) + R"(, "lng": 2.35, "acc": 5)");
}

// Five fixes one second apart, 100 m from each other: afterwards the analyzer is in the initial
// mode, its timer due at 1121.
std::string warmUp() {
  std::string trace;
  for (int i = 1; i <= 5; ++i)
    trace += fixAt(1000 + i, 48.85 + 0.001 * i);
  return trace;
}

class AnalyzeToolTest : public ::testing::Test {
 protected:
  // Runs the tool with `arguments`; with a `trace`, on that trace written to a file first.
  ToolRun run(const std::optional<std::string>& trace, const std::string& arguments = "") {
    const auto file = directory.path();
    if (trace) std::ofstream(file / "trace.jsonl") << *trace;
    const std::string command = std::string("'") + TREVALO_TOOL + "' " + subcommand + " " +
                                (trace ? "'" + (file / "trace.jsonl").string() + "' " : "") +
                                arguments + " > '" + (file / "out").string() + "' 2> '" +
                                (file / "err").string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(file / "out"),
            readFile(file / "err")};
  }

  testing::TemporaryDirectory directory;
  std::string subcommand = "analyze";
};

TEST_F(AnalyzeToolTest, AShortDayMatchesItsRecordedOutput) {
  const std::string data = TREVALO_TEST_DATA_DIR "/analyzer/";
  const ToolRun result = run(std::nullopt, "'" + data + "short-day.jsonl'");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, readFile(data + "short-day.expected.jsonl"));
}

// On a tie, the event is handled first and a timer due at its time fires after it; work the
// event posts runs before the next event with the same time stamp.
TEST_F(AnalyzeToolTest, TiesBetweenEventsTimersAndPostedWork) {
  // The initial mode's 120 s end at 1121: a fix stamped 1121 is still handled in it.
  EXPECT_THAT(calls(run(warmUp() + fixAt(1121) + fixAt(1121.5))),
              ElementsAre("121 location", "121 mode 1", "121.5 location"));
  // A region event puts the analyzer in visit-walking with no stay point: the first outdoor
  // fix confirms a departure, reported before the second region event at the same instant.
  EXPECT_THAT(
      calls(run(warmUp() + line(1010, "region_exit") + fixAt(1020) + line(1020, "region_exit"))),
      ElementsAre("10 mode 5", "20 mode 1", "20 location", "20 departed", "20 mode 5"));
  // Timers run on to the last event, or to --until.
  const std::string trace = warmUp() + line(1100, "wifi_check");
  EXPECT_TRUE(calls(run(trace)).empty());
  EXPECT_THAT(calls(run(trace, "--until 1200")), ElementsAre("121 mode 1"));
}

TEST_F(AnalyzeToolTest, BadInputStopsTheRunWithStatusTwo) {
  // The line's own faults are the trace reader's (JsonLinesReaderTest); a few stand for them.
  const std::pair<const char*, const char*> cases[] = {
      {"[1001, \"fix\"]", "not a JSON object"},
      {R"({"t": 999, "type": "wifi_check"})", "back in time"},
      {R"({"t": 1001, "type": "activity", "value": 2.5})", "non-negative integer"}};
  for (const auto& [bad, message] : cases) {
    SCOPED_TRACE(bad);
    // A blank line counts: the bad one is line 7. What came before it was printed; nothing
    // after it.
    const ToolRun result = run(warmUp() + "\n" + bad + "\n" + fixAt(1200));
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr("trace.jsonl:7: "));
    EXPECT_THAT(result.err, HasSubstr(message));
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 5);
  }
  EXPECT_EQ(run(std::nullopt).status, 2);
  EXPECT_EQ(run(std::nullopt, "'" + (directory.path() / "missing.jsonl").string() + "'").status, 2);
  EXPECT_EQ(run(warmUp(), "--until soon").status, 2);
  EXPECT_EQ(run("").status, 0);
}

class TrevaloCommandTest : public AnalyzeToolTest {};

TEST_F(TrevaloCommandTest, InfoTellsWhatATraceHoldsAndStopsOnOneItCannotRead) {
  subcommand = "info";
  const ToolRun nmea = run(std::nullopt, "'" TREVALO_TEST_DATA_DIR "/nmea/ublox-8.log'");
  ASSERT_EQ(nmea.status, 0) << nmea.err;
  EXPECT_THAT(nmea.out, HasSubstr("NMEA 0183"));
  EXPECT_THAT(nmea.out, HasSubstr("fixes 72,"));
  EXPECT_THAT(nmea.out, HasSubstr("line 1018: no checksum"));
  const ToolRun gpx = run("<?xml version=\"1.0\"?>\n<gpx>\n<trk>\n</gpx>\n");
  EXPECT_EQ(gpx.status, 2);
  EXPECT_THAT(gpx.err, HasSubstr("trace.jsonl:4: not well-formed XML"));
  EXPECT_EQ(run("").status, 2);
}

TEST_F(TrevaloCommandTest, DumpRefusesWhatIsNoArchiveAndAnUnknownSubcommandIsRefused) {
  subcommand = "dump";
  EXPECT_EQ(run(std::nullopt, "'" + (directory.path() / "missing").string() + "'").status, 1);
  EXPECT_EQ(run("not an archive").status, 2);
  subcommand = "teleport";
  EXPECT_EQ(run(std::nullopt).status, 2);
}

// A short walk through the replay: the summary on the terminal, the events and the report in
// files; input it cannot use stops it with status 2 before anything runs.
TEST_F(TrevaloCommandTest, ReplayPrintsTheSummaryWritesItsFilesAndRefusesBadInput) {
  subcommand = "replay";
  const auto events = directory.path() / "events.jsonl";
  const auto report = directory.path() / "report.html";
  const auto database = directory.path() / "service.sqlite";
  const ToolRun done =
      run(warmUp() + fixAt(1200) + fixAt(1300),
          "--events '" + events.string() + "' --report '" + report.string() + "' --db '" +
              database.string() + "' --options '{\"_DEBUG_MODE\": 1}'");
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_THAT(done.out, HasSubstr("Visits: 0"));
  EXPECT_THAT(done.out, HasSubstr("delivered of 7 in the trace"));
  EXPECT_THAT(done.out, HasSubstr(database.string()));
  std::istringstream lines(readFile(events));
  std::vector<std::string> names;
  for (std::string line; std::getline(lines, line);)
    names.push_back(Json::parse(line)["event"].get<std::string>());
  EXPECT_NE(std::find(names.begin(), names.end(), "strategy"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "fix"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "didUpdateLocation"), names.end());
  EXPECT_THAT(readFile(report), HasSubstr("<svg"));
  EXPECT_TRUE(std::filesystem::exists(database));

  const ToolRun broken = run(warmUp() + "\n{\"t\": 1001, \"type\": \"teleport\"}\n");
  EXPECT_EQ(broken.status, 2);
  EXPECT_THAT(broken.err, HasSubstr("trace.jsonl:7: "));
  EXPECT_TRUE(broken.out.empty());
  EXPECT_EQ(run(warmUp(), "--options '[6]'").status, 2);
  EXPECT_EQ(run(warmUp(), "--options '{'").status, 2);
  EXPECT_EQ(run(warmUp(), "--service https://example.invalid").status, 2);
  EXPECT_EQ(run(warmUp(), "--service 'not a url' --token t").status, 2);
  EXPECT_EQ(run(warmUp(), "--venues '" + (directory.path() / "none.geojson").string() + "'").status,
            2);
  EXPECT_EQ(run("").status, 2);
}

TEST_F(TrevaloCommandTest, ExampleWritesTheBundledDayAgainByteForByte) {
  subcommand = "example";
  const ToolRun made = run(std::nullopt, "'" + (directory.path() / "day").string() + "'");
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string examples = TREVALO_SOURCE_DIR "/examples/";
  EXPECT_TRUE(readFile(directory.path() / "day" / "day.jsonl") == readFile(examples + "day.jsonl"));
  EXPECT_EQ(readFile(directory.path() / "day" / "venues.geojson"),
            readFile(examples + "venues.geojson"));
}

}  // namespace
}  // namespace trevalo
