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
    for (std::string line; std::getline(lines, line);)
      result.lines.push_back(Json::parse(line));
    return result;
  }

  // "<t - 1000> <event> [to]": the calls of a run, without the location lines.
  static std::vector<std::string> calls(const ToolRun& run) {
    std::vector<std::string> result;
    for (const Json& line : run.lines) {
      const std::string event = line["event"];
      if (event == "location") continue;
      std::ostringstream text;
      text << line["t"].get<double>() - 1000.0 << ' ' << event;
      if (event == "mode") text << ' ' << line["to"].get<int>();
      result.push_back(text.str());
    }
    return result;
  }

  // Five fixes one second apart, 100 m from each other: afterwards the analyzer is in the
  // initial mode, its timer due at 1121.
  static std::string warmUp() {
    std::string trace;
    for (int i = 1; i <= 5; ++i) {
      trace += R"({"t": )" + std::to_string(1000 + i) + R"(, "type": "fix", "lat": )" +
               std::to_string(48.85 + 0.001 * i) + R"(, "lng": 2.35, "acc": 5})" + "\n";
    }
    return trace;
  }

  static std::string fixAt(double t) {
    std::ostringstream line;
    line.precision(17);
    line << R"({"t": )" << t << R"(, "type": "fix", "lat": 48.9, "lng": 2.35, "acc": 5})" << '\n';
    return line.str();
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
      run(warmUp() + R"({"t": 1006.125, "type": "fix", "lat": 48.123456789012345,)"
                     R"( "lng": -0.1, "acc": 70, "course": null})"
                     "\n");
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
  const std::string trace = warmUp() +
                            R"({"t": 1010, "type": "region_exit"})"
                            "\n" +
                            fixAt(1020) +
                            R"({"t": 1020, "type": "region_exit"})"
                            "\n";
  const ToolRun result = run(trace);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(calls(result), ElementsAre("10 mode 5", "20 mode 1", "20 departed", "20 mode 5"));
  EXPECT_EQ(result.lines.back()["to"], 5);
  EXPECT_EQ(result.lines[result.lines.size() - 2]["end"], 1020.0);
}

TEST_F(AnalyzeToolTest, TimersRunToTheLastEventOrOnToUntil) {
  // The initial mode's timer is due at 1121: with the last event at that very instant it fires
  // at the end of the run.
  EXPECT_THAT(calls(run(warmUp() + R"({"t": 1121, "type": "wifi_check"})"
                                   "\n")),
              ElementsAre("121 mode 1"));
  const std::string trace = warmUp() + R"({"t": 1100, "type": "wifi_check"})"
                                       "\n";
  EXPECT_TRUE(calls(run(trace)).empty());
  EXPECT_THAT(calls(run(trace, "--until 1200")), ElementsAre("121 mode 1"));
  EXPECT_TRUE(calls(run(trace, "--until 1050")).empty());
}

TEST_F(AnalyzeToolTest, WifiNamesReachTheAnalyzerThroughChecks) {
  // A region event without a stay point, then a fix long after the walking it implies: a new
  // stop, a burst, and a visit from 1260.
  std::string trace = warmUp();
  trace += R"({"t": 1006, "type": "region_exit"})"
           "\n";
  trace += fixAt(1200);
  trace += R"({"t": 1265, "type": "wifi", "ssid": "Home"})"
           "\n";
  trace += R"({"t": 1270, "type": "wifi_check"})"
           "\n";
  trace += R"({"t": 1280, "type": "wifi", "ssid": null})"
           "\n";
  trace += R"({"t": 1290, "type": "wifi_check"})"
           "\n";
  const ToolRun result = run(trace);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(calls(result),
              ElementsAre("6 mode 5", "200 mode 2", "200 reverseGeocode", "260 mode 4",
                          "260 sendCollectedPoints", "270 mode 7", "290 mode 5"));
}

struct BadLine {
  const char* name;
  const char* line;
  const char* message;
};

void PrintTo(const BadLine& c, std::ostream* out) {
  *out << c.name;
}

class AnalyzeToolInputTest : public AnalyzeToolTest,
                             public ::testing::WithParamInterface<BadLine> {};

TEST_P(AnalyzeToolInputTest, AMalformedLineStopsTheRunWithItsNumber) {
  const std::string trace =
      std::string(R"({"t": 1000, "type": "fix", "lat": 1, "lng": 2, "acc": 5})") + "\n\n" +
      GetParam().line + "\n" + fixAt(1200);
  const ToolRun result = run(trace);
  EXPECT_EQ(result.status, 2);
  EXPECT_THAT(result.err, HasSubstr("trace.jsonl:3: "));
  EXPECT_THAT(result.err, HasSubstr(GetParam().message));
  // What came before the bad line was printed; nothing after it.
  ASSERT_EQ(result.lines.size(), 1u);
  EXPECT_EQ(result.lines[0]["t"], 1000.0);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, AnalyzeToolInputTest,
    ::testing::Values(
        BadLine{"NotJson", R"({"t": 1001, "type": )", "not valid JSON"},
        BadLine{"NotAnObject", "[1001, \"fix\"]", "not a JSON object"},
        BadLine{"NoTime", R"({"type": "wifi_check"})", "missing \"t\""},
        BadLine{"TimeAsText", R"({"t": "1001", "type": "wifi_check"})", "\"t\" must be a number"},
        BadLine{"TimeGoesBack", R"({"t": 999, "type": "wifi_check"})", "back in time"},
        BadLine{"UnknownType", R"({"t": 1001, "type": "teleport"})", "unknown \"type\""},
        BadLine{"FixWithoutLatitude", R"({"t": 1001, "type": "fix", "lng": 2, "acc": 5})",
                "missing \"lat\""},
        BadLine{"LatitudeOutOfRange",
                R"({"t": 1001, "type": "fix", "lat": 91, "lng": 2, "acc": 5})", "\"lat\""},
        BadLine{"CourseAsText",
                R"({"t": 1001, "type": "fix", "lat": 1, "lng": 2, "acc": 5, "course": "N"})",
                "\"course\" must be a number"},
        BadLine{"NegativeActivity", R"({"t": 1001, "type": "activity", "value": -1})",
                "non-negative integer"},
        BadLine{"FractionalActivity", R"({"t": 1001, "type": "activity", "value": 2.5})",
                "non-negative integer"},
        BadLine{"WifiWithoutName", R"({"t": 1001, "type": "wifi"})", "missing \"ssid\""},
        BadLine{"WifiNameAsNumber", R"({"t": 1001, "type": "wifi", "ssid": 7})",
                "\"ssid\" must be a string or null"}),
    [](const auto& info) { return std::string(info.param.name); });

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
