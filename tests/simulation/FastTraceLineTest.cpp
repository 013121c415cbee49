// The quick way through fix and accelerometer lines gives what the full parse gives, and
// leaves every line it is not sure of to the full parse.
#include "simulation/FastTraceLine.h"

#include <gtest/gtest.h>

#include <string>

namespace trevalo::simulation {
namespace {

void expectSame(const JsonTraceLine& quick, const JsonTraceLine& full) {
  EXPECT_EQ(quick.time, full.time);
  EXPECT_EQ(quick.type, full.type);
  EXPECT_EQ(quick.fix, full.fix);
  EXPECT_EQ(quick.samples, full.samples);
  EXPECT_EQ(quick.sampleRate, full.sampleRate);
}

TEST(FastTraceLineTest, TakesTheUsualLinesAsTheFullParseReadsThem) {
  const char* const lines[] = {
      R"({"t":1717390800,"type":"fix","lat":48.842979,"lng":2.339115,"acc":33})",
      R"({"t": 1717390800.25, "type": "fix", "lat": -33.5, "lng": 151.2, "acc": 5,
          "course": 90, "speed": 1.4, "alt": 35.5, "vacc": 3})",
      R"({"type":"fix","t":1.7e9,"lat":0,"lng":-180,"acc":0,"course":null,"speed":null,"alt":12})",
      R"(  {"t":5,"type":"fix","lat":90,"lng":180,"acc":-1,"note":"kept aside","ok":true}  )",
      R"({"t":1717390800,"type":"accel","hz":20,"samples":[[0.01,-0.02,-1.002],[0,0,-1E0]]})",
      R"({"t":1717390800,"type":"accel","hz":0.5,"samples":[]})",
      R"({"t":1717390800,"type":"accel","x":0,"y":-1,"z":0.25})",
      R"({"t":-0,"type":"accel","x":-0.0,"y":1e-3,"z":2.5e+1})"};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const auto quick = FastTraceLine::parse(line);
    ASSERT_TRUE(quick.has_value());
    expectSame(*quick, JsonTraceLine::parseDocument(line));
  }
}

TEST(FastTraceLineTest, LeavesTheRestToTheFullParse) {
  const char* const lines[] = {
      // Other types.
      R"({"t":1,"type":"wifi","ssid":"Home"})", R"({"t":1,"type":"heading","magnetic":90})",
      // What the full parse refuses, with its own words.
      R"({"t":1,"type":"fix","lat":91,"lng":2,"acc":5})",
      R"({"t":1,"type":"fix","lat":48,"lng":-180.5,"acc":5})",
      R"({"t":1,"type":"fix","lat":48,"acc":5})",
      R"({"t":1,"type":"fix","lat":"48","lng":2,"acc":5})",
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":true})",
      R"({"t":1,"type":"accel","hz":0,"samples":[[0,0,1]]})",
      R"({"t":1,"type":"accel","hz":20,"samples":[[0,0]]})",
      R"({"t":1,"type":"accel","samples":[[0,0,1]]})", R"({"type":"fix","lat":48,"lng":2,"acc":5})",
      // Not JSON, or JSON the quick way does not read.
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":5)",
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":5} x)",
      R"({"t":01,"type":"fix","lat":48,"lng":2,"acc":5})",
      R"({"t":1.,"type":"fix","lat":48,"lng":2,"acc":5})",
      R"({"t":+1,"type":"fix","lat":48,"lng":2,"acc":5})",
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":1e999})",
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":5,"lat":47})",
      R"({"t":1,"type":"f\u0069x","lat":48,"lng":2,"acc":5})",
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":5,"meta":{"a":1}})",
      R"({"t":1,"type":"fix","lat":48,"lng":2,"acc":5,"list":[1,2]})", R"([1,"fix"])", ""};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(FastTraceLine::parse(line).has_value());
  }
  // And what parse() gives for them is the full parse's answer, errors included.
  EXPECT_EQ(JsonTraceLine::parse(R"({"t":1,"type":"f\u0069x","lat":48,"lng":2,"acc":5})").type,
            JsonTraceLine::Type::kFix);
  EXPECT_THROW(JsonTraceLine::parse(R"({"t":1,"type":"fix","lat":91,"lng":2,"acc":5})"),
               TraceLineError);
}

}  // namespace
}  // namespace trevalo::simulation
