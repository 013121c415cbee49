// Reading a 24-hour trace at 1 Hz: as GPX, and as JSON Lines with 20 Hz accelerometer
// readings (a batch a second).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "simulation/GpxReader.h"
#include "simulation/JsonLinesReader.h"
#include "simulation/TimeText.h"

namespace {

constexpr int kSeconds = 24 * 3600;
constexpr double kStart = 1717372800.0;  // 2024-06-03T00:00:00Z

const std::string& gpx() {
  static const std::string text = [] {
    std::string gpx =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"bench\">\n"
        "<trk><trkseg>\n";
    char point[256];
    for (int t = 0; t < kSeconds; ++t) {
      std::snprintf(point, sizeof point,
                    "<trkpt lat=\"%.6f\" lon=\"%.6f\"><ele>35.0</ele><time>%s</time>"
                    "<hdop>1.2</hdop></trkpt>\n",
                    48.85 + 1e-6 * (t % 5000), 2.35 + 1e-6 * (t % 7000),
                    trevalo::simulation::TimeText::iso8601(trevalo::Date(kStart + t)).c_str());
      gpx += point;
    }
    return gpx + "</trkseg></trk>\n</gpx>\n";
  }();
  return text;
}

const std::string& jsonLines() {
  static const std::string text = [] {
    std::string lines;
    char line[256];
    for (int t = 0; t < kSeconds; ++t) {
      std::snprintf(
          line, sizeof line,
          "{\"t\":%.0f,\"type\":\"fix\",\"lat\":%.6f,\"lng\":%.6f,\"acc\":5,\"speed\":1.4,"
          "\"course\":90}\n",
          kStart + t, 48.85 + 1e-6 * (t % 5000), 2.35 + 1e-6 * (t % 7000));
      lines += line;
      std::snprintf(line, sizeof line, "{\"t\":%.0f,\"type\":\"accel\",\"hz\":20,\"samples\":[",
                    kStart + t);
      lines += line;
      for (int i = 0; i < 20; ++i) {
        std::snprintf(line, sizeof line, "%s[%.3f,%.3f,-1.002]", i ? "," : "", 0.01 * (i % 7),
                      -0.02 * (i % 5));
        lines += line;
      }
      lines += "]}\n";
    }
    return lines;
  }();
  return text;
}

template <class Reader>
void read(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    const auto trace = Reader::read(text);
    benchmark::DoNotOptimize(trace.fixes.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
}

void BM_ReadDayOfGpx(benchmark::State& state) {
  read<trevalo::simulation::GpxReader>(state, gpx());
}
BENCHMARK(BM_ReadDayOfGpx)->Unit(benchmark::kMillisecond);

void BM_ReadDayOfJsonLinesWithAccelerometer(benchmark::State& state) {
  read<trevalo::simulation::JsonLinesReader>(state, jsonLines());
}
BENCHMARK(BM_ReadDayOfJsonLinesWithAccelerometer)->Unit(benchmark::kMillisecond);

}  // namespace
