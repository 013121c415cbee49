// `trevalo run` refuses a command line it cannot use before it starts anything.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ToolProcess.h"
#include "support/TemporaryDirectory.h"

namespace trevalo {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using testing::ToolProcess;

TEST(RunCommandTest, UnusableArgumentsAreRefusedWithStatusTwo) {
  testing::TemporaryDirectory directory;
  std::ofstream(directory.path() / "list.json") << "[1, 2]";
  struct Case {
    std::vector<std::string> arguments;
    const char* why;
  };
  const std::vector<Case> cases = {
      {{"--gpsd", "gnss-box:port"}, "--gpsd must be HOST:PORT"},
      {{"--gpsd", "[::1"}, "--gpsd must be HOST:PORT"},
      {{"--gpsd", ":2947"}, "--gpsd must be HOST:PORT"},
      {{"--options", "{\"a\": "}, "--options must be a JSON object"},
      {{"--options", (directory.path() / "list.json").string()}, "--options must be a JSON object"},
      {{"--options", (directory.path() / "missing.json").string()}, "neither a JSON object"},
      {{"--token", ""}, "--token must not be empty"},
  };
  for (const Case& refused : cases) {
    SCOPED_TRACE(refused.arguments.back());
    std::vector<std::string> arguments = {TREVALO_TOOL, "run", "--data-dir",
                                          (directory.path() / "sdk").string()};
    arguments.insert(arguments.end(), refused.arguments.begin(), refused.arguments.end());
    ToolProcess run(arguments, directory.path() / "err");
    EXPECT_FALSE(run.readLine(20s));
    EXPECT_EQ(run.wait(20s), 2);
    std::stringstream error;
    error << std::ifstream(directory.path() / "err").rdbuf();
    EXPECT_THAT(error.str(), HasSubstr(refused.why));
  }
  // Nothing was started, so nothing was kept.
  EXPECT_FALSE(std::filesystem::exists(directory.path() / "sdk"));
}

}  // namespace
}  // namespace trevalo
