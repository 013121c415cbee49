// Choosing the reader by content, and the errors for content that is no trace.
#include "simulation/TraceReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "simulation/TraceReadError.h"

namespace trevalo::simulation {
namespace {

using ::testing::HasSubstr;

// What detection names no format, reading refuses at line one.
TEST(TraceReaderTest, TheContentChoosesTheFormat) {
  const std::pair<std::string, std::optional<TraceFormat>> cases[] = {
      {"<?xml version=\"1.0\"?>\n<gpx/>", TraceFormat::kGpx},
      {"\xEF\xBB\xBF  <gpx version=\"1.1\"></gpx>", TraceFormat::kGpx},
      {"\n{\"t\": 1, \"type\": \"wifi_check\"}\n", TraceFormat::kJsonLines},
      {"# receiver log\n$GPGGA,,,,,,0,,,,M,,M,,*66\n", TraceFormat::kNmea},
      {"\x01\x7f binary noise\nmore noise\n\x02$GNRMC,000941.00,A,*00\n", TraceFormat::kNmea},
      {"latitude,longitude\n48.85,2.35\n", std::nullopt},
      {"$ not a sentence\n", std::nullopt},
      {"   \n\n", std::nullopt},
      {"", std::nullopt}};
  for (const auto& [content, format] : cases) {
    SCOPED_TRACE(content);
    EXPECT_EQ(TraceReader::detect(content), format);
    if (!format) {
      try {
        TraceReader::read(content);
        ADD_FAILURE() << "read what is no trace";
      } catch (const TraceReadError& error) {
        EXPECT_EQ(error.line(), 1u);
      }
    }
  }
  try {
    TraceReader::readFile("/nonexistent/trace.gpx");
    FAIL();
  } catch (const TraceReadError& error) {
    EXPECT_THAT(error.what(), HasSubstr("cannot open"));
  }
}

}  // namespace
}  // namespace trevalo::simulation
