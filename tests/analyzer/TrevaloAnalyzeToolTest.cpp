// Runs the trevalo-analyze program on small traces and checks what it prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/TemporaryDirectory.h"
#include "trevalo/Json.h"

namespace trevalo {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct ToolRun {
  int status = -1;
  std::vector<Json> lines;
  std::string out;
  std::string err;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class AnalyzeToolTest : public ::testing::Test {
 protected:
  // Runs the tool on `trace` (written to a file) with `arguments` after the file name.
  ToolRun run(const std::string& trace, const std::string& arguments = "") {
    const auto input = directory.path() / "trace.jsonl";
    std::ofstream(input) << trace;
    return runCommand("'" + input.string() + "' " + arguments);
  }

  ToolRun runCommand(const std::string& arguments) {
    const auto out = directory.path() / "out";
    const auto err = directory.path() / "err";
    const std::string command = std::string("'") + TREVALO_ANALYZE_TOOL + "' " + arguments +
                                " > '" + out.string() + "' 2> '" + err.string() + "'";
    const int status = std::system(command.c_str());
    ToolRun result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(out);
    result.err = readFile(err);
    std::istringstream lines(result.out);
    for (std::string text; std::getline(lines, text);)
      result.lines.push_back(Json::parse(text));
    return result;
  }

  // "<t - 1000> <event> [to]": the calls of a run, without the location lines.
  static std::vector<std::string> calls(const ToolRun& run) {
    std::vector<std::string> result;
    for (const Json& printed : run.lines) {
      const std::string event = printed["event"];
      if (event == "location") continue;
      std::ostringstream text;
      text << printed["t"].get<double>() - 1000.0 << ' ' << event;
      if (event == "mode") text << ' ' << printed["to"].get<int>();
      result.push_back(text.str());
    }
    return result;
  }

  // One trace line; `more` holds further members, each led by a comma.
  static std::string line(double t, const std::string& type, const std::string& more = "") {
    std::ostringstream text;
    text.precision(17);
    text << R"({"t": )" << t << R"(, "type": ")" << type << '"' << more << "}\n";
    return text.str();
  }

  static std::string fixAt(double t, double latitude = 48.9) {
    return line(t, "fix", R"(, "lat": )" + std::to_string(latitude) + R"(, "lng": 2.35, "acc": 5)");
  }

  // Five fixes one second apart, 100 m from each other: afterwards the analyzer is in the
  // initial mode, its timer due at 1121.
  static std::string warmUp() {
    std::string trace;
    for (int i = 1; i <= 5; ++i)
      trace += fixAt(1000 + i, 48.85 + 0.001 * i);
    return trace;
  }

  testing::TemporaryDirectory directory;
};

TEST_F(AnalyzeToolTest, AShortDayMatchesItsRecordedOutput) {
  const std::string data = TREVALO_TEST_DATA_DIR "/analyzer/";
  const ToolRun result = runCommand("'" + data + "short-day.jsonl'");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, readFile(data + "short-day.expected.jsonl"));
}

TEST_F(AnalyzeToolTest, LinesCarryTheDocumentedFieldsAndNumbersReadBackExactly) {
  const ToolRun result =
      run(warmUp() + line(1006.125, "fix",
                          R"(, "lat": 48.123456789012345, "lng": -0.1, "acc": 70,)"
                          R"( "course": null)"));
  ASSERT_EQ(result.status, 0) << result.err;
  ASSERT_EQ(result.lines.size(), 6u);
  EXPECT_EQ(
      result.lines[0].dump(),
      R"({"t":1001.0,"event":"location","lat":48.851,"lng":2.35,"indoor":null,"score":null})");
  const Json& last = result.lines[5];
  EXPECT_EQ(last["t"], 1006.125);
  EXPECT_EQ(last["lat"].get<double>(), 48.123456789012345);
  EXPECT_EQ(last["indoor"], true);
  EXPECT_EQ(last["score"], 1.4);  // 70 m (1.0), no course (0.2), no speed given (0.2)
}

TEST_F(AnalyzeToolTest, ATimerDueWithAnEventFiresAfterItAndOneDueBeforeFiresFirst) {
  // The initial mode's 120 s end at 1121: a fix stamped 1121 is still handled in it.
  ToolRun result = run(warmUp() + fixAt(1121) + fixAt(1121));
  ASSERT_EQ(result.status, 0) << result.err;
  ASSERT_EQ(result.lines.size(), 8u);
  EXPECT_EQ(result.lines[6]["event"], "location");
  EXPECT_EQ(result.lines[7]["event"], "mode");
  EXPECT_EQ(result.lines[7]["t"], 1121.0);

  result = run(warmUp() + fixAt(1121.5));
  ASSERT_EQ(result.lines.size(), 7u);
  EXPECT_EQ(result.lines[5]["event"], "mode");
  EXPECT_EQ(result.lines[5]["t"], 1121.0);
  EXPECT_EQ(result.lines[6]["event"], "location");
}

TEST_F(AnalyzeToolTest, PostedWorkRunsBeforeTheNextEventAtTheSameTime) {
  // A region event puts the analyzer in visit-walking with no stay point: the first outdoor fix
  // confirms a departure. A second region event at the same instant comes after the report.
  const ToolRun result =
      run(warmUp() + line(1010, "region_exit") + fixAt(1020) + line(1020, "region_exit"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(calls(result), ElementsAre("10 mode 5", "20 mode 1", "20 departed", "20 mode 5"));
  EXPECT_EQ(result.lines.back()["to"], 5);
  EXPECT_EQ(result.lines[result.lines.size() - 2]["end"], 1020.0);
}

TEST_F(AnalyzeToolTest, TimersRunToTheLastEventOrOnToUntil) {
  // The initial mode's timer is due at 1121: with the last event at that very instant it fires
  // at the end of the run.
  EXPECT_THAT(calls(run(warmUp() + line(1121, "wifi_check"))), ElementsAre("121 mode 1"));
  const std::string trace = warmUp() + line(1100, "wifi_check");
  EXPECT_TRUE(calls(run(trace)).empty());
  EXPECT_THAT(calls(run(trace, "--until 1200")), ElementsAre("121 mode 1"));
  EXPECT_TRUE(calls(run(trace, "--until 1050")).empty());
}

TEST_F(AnalyzeToolTest, WifiNamesReachTheAnalyzerThroughChecks) {
  // A region event without a stay point, then a fix long after the walking it implies: a new
  // stop, a burst, and a visit from 1260.
  const ToolRun result = run(warmUp() + line(1006, "region_exit") + fixAt(1200) +
                             line(1265, "wifi", R"(, "ssid": "Home")") + line(1270, "wifi_check") +
                             line(1280, "wifi", R"(, "ssid": null)") + line(1290, "wifi_check"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(calls(result),
              ElementsAre("6 mode 5", "200 mode 2", "200 reverseGeocode", "260 mode 4",
                          "260 sendCollectedPoints", "270 mode 7", "290 mode 5"));
}

TEST_F(AnalyzeToolTest, AMalformedLineStopsTheRunWithItsNumber) {
  struct BadLine {
    const char* line;
    const char* message;
  };
  const BadLine cases[] = {
      {R"({"t": 1001, "type": )", "not valid JSON"},
      {"[1001, \"fix\"]", "not a JSON object"},
      {R"({"type": "wifi_check"})", "missing \"t\""},
      {R"({"t": "1001", "type": "wifi_check"})", "\"t\" must be a number"},
      {R"({"t": 999, "type": "wifi_check"})", "back in time"},
      {R"({"t": 1001, "type": "teleport"})", "unknown \"type\""},
      {R"({"t": 1001, "type": "fix", "lng": 2, "acc": 5})", "missing \"lat\""},
      {R"({"t": 1001, "type": "fix", "lat": 91, "lng": 2, "acc": 5})", "\"lat\""},
      {R"({"t": 1001, "type": "fix", "lat": 1, "lng": 2, "acc": 5, "course": "N"})",
       "\"course\" must be a number"},
      {R"({"t": 1001, "type": "activity", "value": -1})", "non-negative integer"},
      {R"({"t": 1001, "type": "activity", "value": 2.5})", "non-negative integer"},
      {R"({"t": 1001, "type": "wifi"})", "missing \"ssid\""},
      {R"({"t": 1001, "type": "wifi", "ssid": 7})", "\"ssid\" must be a string or null"}};
  for (const BadLine& c : cases) {
    SCOPED_TRACE(c.line);
    // A blank line counts: the bad one is line 3.
    const ToolRun result = run(fixAt(1000) + "\n" + c.line + "\n" + fixAt(1200));
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, HasSubstr("trace.jsonl:3: "));
    EXPECT_THAT(result.err, HasSubstr(c.message));
    // What came before the bad line was printed; nothing after it.
    ASSERT_EQ(result.lines.size(), 1u);
    EXPECT_EQ(result.lines[0]["t"], 1000.0);
  }
}

TEST_F(AnalyzeToolTest, UsageErrorsExitWithStatusTwo) {
  EXPECT_EQ(runCommand("").status, 2);
  EXPECT_EQ(runCommand("'" + (directory.path() / "missing.jsonl").string() + "'").status, 2);
  const ToolRun badUntil = run(fixAt(1000), "--until soon");
  EXPECT_EQ(badUntil.status, 2);
  EXPECT_THAT(badUntil.err, HasSubstr("--until"));
  EXPECT_EQ(run(fixAt(1000), "--until").status, 2);
  EXPECT_EQ(run(fixAt(1000), "extra").status, 2);
  EXPECT_EQ(run("").status, 0);
}

}  // namespace
}  // namespace trevalo
