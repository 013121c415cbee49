// Reading a 100 MB NMEA 0183 log (made here: a receiver's RMC, GGA, GSA, GSV and VTG at 1 Hz,
// with a broken checksum now and then). Target: at least 100 MB/s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "simulation/NmeaReader.h"

namespace {

std::string sentence(const char* body) {
  unsigned checksum = 0;
  for (const char* c = body; *c; ++c)
    checksum ^= static_cast<unsigned char>(*c);
  char text[160];
  std::snprintf(text, sizeof text, "$%s*%02X\r\n", body, checksum);
  return text;
}

const std::string& log() {
  static const std::string text = [] {
    std::string log;
    log.reserve(101 * 1000 * 1000);
    char body[160];
    for (long second = 0; log.size() < 100 * 1000 * 1000; ++second) {
      const long t = second % 86400;
      const double minutes = 51.0 + 0.0001 * static_cast<double>(second % 9000);
      const int hh = static_cast<int>(t / 3600), mm = static_cast<int>(t / 60 % 60),
                ss = static_cast<int>(t % 60);
      std::snprintf(body, sizeof body,
                    "GPGGA,%02d%02d%02d.00,48%07.4f,N,00221.0000,E,1,08,1.2,35.0,M,47.0,M,,", hh,
                    mm, ss, minutes);
      log += sentence(body);
      log += sentence("GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,2.0,1.2,1.6");
      log += sentence("GPGSV,2,1,08,01,40,083,46,02,17,308,41,03,07,344,39,04,22,228,45");
      std::snprintf(body, sizeof body,
                    "GPRMC,%02d%02d%02d.00,A,48%07.4f,N,00221.0000,E,2.5,90.0,030624,,,A", hh, mm,
                    ss, minutes);
      std::string rmc = sentence(body);
      if (second % 1000 == 999) rmc[rmc.size() - 3] ^= 1;  // a broken checksum
      log += rmc;
      log += sentence("GPVTG,90.0,T,,M,2.5,N,4.6,K,A");
    }
    return log;
  }();
  return text;
}

void BM_ReadNmeaLog(benchmark::State& state) {
  const std::string& text = log();
  std::size_t fixes = 0;
  for (auto _ : state) {
    const auto trace = trevalo::simulation::NmeaReader::read(text);
    fixes = trace.fixes.size();
    benchmark::DoNotOptimize(fixes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.counters["fixes"] = static_cast<double>(fixes);
}
BENCHMARK(BM_ReadNmeaLog)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
