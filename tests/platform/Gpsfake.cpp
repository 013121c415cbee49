#include "platform/Gpsfake.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/linux/GpsdProbe.h"

namespace trevalo::testing {

namespace {

constexpr double kKnot = 1852.0 / 3600.0;

bool executableOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream directories(std::string(path ? path : "") + ":/usr/sbin:/sbin");
  std::string directory;
  while (std::getline(directories, directory, ':')) {
    if (!directory.empty() && ::access((directory + "/" + name).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// Seconds since 1970 of an NMEA date (ddmmyy) and time (hhmmss.sss), UTC.
double nmeaTime(const std::string& date, const std::string& time) {
  std::tm parts{};
  parts.tm_mday = std::stoi(date.substr(0, 2));
  parts.tm_mon = std::stoi(date.substr(2, 2)) - 1;
  parts.tm_year = 100 + std::stoi(date.substr(4, 2));
  parts.tm_hour = std::stoi(time.substr(0, 2));
  parts.tm_min = std::stoi(time.substr(2, 2));
  const double seconds = std::stod(time.substr(4));
  return static_cast<double>(::timegm(&parts)) + seconds;
}

double nmeaDegrees(const std::string& value, const std::string& hemisphere, int degreeDigits) {
  const double degrees =
      std::stod(value.substr(0, degreeDigits)) + std::stod(value.substr(degreeDigits)) / 60.0;
  return hemisphere == "S" || hemisphere == "W" ? -degrees : degrees;
}

std::vector<std::string> fields(const std::string& sentence) {
  std::vector<std::string> result;
  std::stringstream stream(sentence.substr(0, sentence.find('*')));
  std::string field;
  while (std::getline(stream, field, ','))
    result.push_back(field);
  return result;
}

}  // namespace

std::optional<std::string> Gpsfake::unavailableReason() {
  for (const char* program : {"gpsfake", "gpsd"}) {
    if (!executableOnPath(program)) {
      return std::string("gpsd cannot run here: ") + program +
             " is not installed (scripts/install-deps.sh installs gpsd and gpsd-tools)";
    }
  }
  return std::nullopt;
}

Gpsfake::Gpsfake(const std::filesystem::path& log, double cycleSeconds)
    : cycleSeconds_(cycleSeconds), port_(freeLoopbackPort()) {
  replay_ = std::filesystem::temp_directory_path() /
            ("trevalo-gpsfake-" + std::to_string(::getpid()) + "-" + port_ + ".log");
  {
    std::ofstream replay(replay_, std::ios::binary);
    for (int i = 0; i < 300; ++i)
      replay << "$GPRMC,,V,,,,,,,,,,N*53\r\n";
    std::ifstream original(log, std::ios::binary);
    replay << original.rdbuf();
  }
  start();
}

Gpsfake::~Gpsfake() {
  kill();
  std::error_code ignored;
  std::filesystem::remove(replay_, ignored);
}

void Gpsfake::start() {
  // gpsfake starts its gpsd with "-S <port>".
  process_.emplace(std::vector<std::string>{"gpsfake", "-1", "-n", "-q", "-P", port_, "-c",
                                            std::to_string(cycleSeconds_), replay_.string()},
                   ChildProcess::Options{.daemonMarker = std::string("-S") + '\0' + port_ + '\0'});
  for (int i = 0; i < 400; ++i) {
    if (platform::GpsdProbe::answers("127.0.0.1", port_, 0.5)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ADD_FAILURE() << "the gpsd of gpsfake did not answer on port " << port_;
}

void Gpsfake::kill() {
  process_.reset();
}

void Gpsfake::restart() {
  kill();
  start();
}

std::vector<NmeaFix> readNmeaFixes(const std::filesystem::path& log) {
  std::ifstream file(log, std::ios::binary);
  std::map<std::string, double> hdopAt;  // GGA time field -> HDOP
  std::vector<std::pair<NmeaFix, std::string>> fixes;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find('$');
    if (start == std::string::npos || line.size() < start + 6) continue;
    const auto f = fields(line.substr(start));
    const std::string type = f[0].substr(3);
    if (type == "GGA" && f.size() > 8 && !f[1].empty() && !f[8].empty()) {
      hdopAt[f[1]] = std::stod(f[8]);
    } else if (type == "RMC" && f.size() > 9 && f[2] == "A") {
      NmeaFix fix;
      fix.time = nmeaTime(f[9], f[1]);
      fix.latitude = nmeaDegrees(f[3], f[4], 2);
      fix.longitude = nmeaDegrees(f[5], f[6], 3);
      if (!f[7].empty()) fix.speed = std::stod(f[7]) * kKnot;
      if (!f[8].empty()) fix.course = std::stod(f[8]);
      fixes.push_back({fix, f[1]});
    }
  }
  std::vector<NmeaFix> result;
  for (auto& [fix, time] : fixes) {
    if (const auto found = hdopAt.find(time); found != hdopAt.end()) fix.hdop = found->second;
    result.push_back(fix);
  }
  return result;
}

}  // namespace trevalo::testing
