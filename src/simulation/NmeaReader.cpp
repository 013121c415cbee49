#include "simulation/NmeaReader.h"

#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "simulation/NmeaSentence.h"
#include "simulation/TimeText.h"
#include "simulation/TraceReadError.h"

namespace trevalo::simulation {

namespace {

constexpr double kDay = 86400.0;

// What the sentences of one epoch said.
struct Epoch {
  double timeOfDay = 0.0;
  std::optional<double> day;  // the day known when the epoch ended, seconds since 1970
  std::optional<double> latitude;
  std::optional<double> longitude;
  std::optional<double> altitude;
  std::optional<double> speed;
  std::optional<double> course;
  std::optional<double> hdop;
  std::optional<double> vdop;
  bool positionSentence = false;  // an RMC or GGA was part of it
  std::size_t line = 0;
};

class Assembler {
 public:
  explicit Assembler(Trace& trace) : trace_(trace) {}

  // Reads one sentence; false when it is broken, with `why` set.
  bool take(const NmeaSentence& s, std::size_t line, const char*& why) {
    const std::string_view type = s.type();
    if (type == "RMC") return rmc(s, line, why);
    if (type == "GGA") return gga(s, line, why);
    if (type == "GSA") return gsa(s);
    if (type == "VTG") return vtg(s);
    if (type == "ZDA") return zda(s, line, why);
    ++trace_.notes.ignored;
    return true;
  }

  void finish() {
    flush();
    dateFixes();
  }

 private:
  // Starts the epoch of `timeOfDay`, ending the one before when its time differs.
  void enter(double timeOfDay, std::size_t line) {
    if (epoch_ && std::fabs(epoch_->timeOfDay - timeOfDay) < 1e-6) return;
    flush();
    epoch_.emplace();
    epoch_->timeOfDay = timeOfDay;
    epoch_->line = line;
  }

  void flush() {
    if (!epoch_) return;
    epoch_->day = day_;
    if (epoch_->latitude && epoch_->longitude) {
      epochs_.push_back(*epoch_);
    } else if (epoch_->positionSentence) {
      ++trace_.notes.withoutFix;
    }
    epoch_.reset();
  }

  static std::optional<std::pair<double, double>> position(const NmeaSentence& s,
                                                           std::size_t latIndex) {
    const auto latitude = NmeaSentence::angle(s.field(latIndex), s.field(latIndex + 1), 90.0);
    const auto longitude = NmeaSentence::angle(s.field(latIndex + 2), s.field(latIndex + 3), 180.0);
    if (!latitude || !longitude) return std::nullopt;
    return std::pair{*latitude, *longitude};
  }

  bool rmc(const NmeaSentence& s, std::size_t line, const char*& why) {
    const auto time = NmeaSentence::timeOfDay(s.field(1));
    if (!time) {
      // Receivers without a fix often send RMC with every field empty.
      if (s.field(2) == "V") return noFix();
      why = "RMC without a usable time";
      return false;
    }
    std::optional<double> day;
    if (const auto date = s.field(9); !date.empty()) {
      day = dayFromDdmmyy(date);
      if (!day) {
        why = "RMC with an unusable date";
        return false;
      }
    }
    const bool valid = s.field(2) == "A";  // status V: the receiver has no fix
    const auto where = valid ? position(s, 3) : std::nullopt;
    if (valid && !where) {
      why = "unusable position";
      return false;
    }
    // The date belongs to this sentence's epoch, not to the one it ends.
    enter(*time, line);
    epoch_->positionSentence = true;
    if (day) day_ = day;
    if (!valid) return true;
    epoch_->latitude = where->first;
    epoch_->longitude = where->second;
    if (const auto knots = NmeaSentence::number(s.field(7))) {
      epoch_->speed = *knots * NmeaReader::kKnot;
    }
    if (const auto course = NmeaSentence::number(s.field(8))) epoch_->course = *course;
    return true;
  }

  bool gga(const NmeaSentence& s, std::size_t line, const char*& why) {
    const auto quality = NmeaSentence::number(s.field(6));
    const auto time = NmeaSentence::timeOfDay(s.field(1));
    if (!time) {
      if (!quality || *quality == 0.0) return noFix();
      why = "GGA without a usable time";
      return false;
    }
    const bool valid = quality && *quality != 0.0;
    const auto where = valid ? position(s, 2) : std::nullopt;
    if (valid && !where) {
      why = "unusable position";
      return false;
    }
    enter(*time, line);
    epoch_->positionSentence = true;
    if (!valid) return true;
    if (!epoch_->latitude) {
      epoch_->latitude = where->first;
      epoch_->longitude = where->second;
    }
    if (const auto hdop = NmeaSentence::number(s.field(8)); hdop && *hdop > 0.0) {
      epoch_->hdop = hdop;
    }
    if (const auto altitude = NmeaSentence::number(s.field(9))) epoch_->altitude = altitude;
    return true;
  }

  bool gsa(const NmeaSentence& s) {
    if (!epoch_) return true;
    if (const auto hdop = NmeaSentence::number(s.field(16)); hdop && *hdop > 0.0 && !epoch_->hdop) {
      epoch_->hdop = hdop;
    }
    if (const auto vdop = NmeaSentence::number(s.field(17)); vdop && *vdop > 0.0) {
      epoch_->vdop = vdop;
    }
    return true;
  }

  bool vtg(const NmeaSentence& s) {
    if (!epoch_) return true;
    // Since NMEA 2.0 each value is followed by its unit letter: course T, course M, speed N,
    // speed K. Older receivers send the four values bare.
    const bool lettered = s.field(2) == "T";
    const auto course = NmeaSentence::number(s.field(1));
    const auto kmh = NmeaSentence::number(s.field(lettered ? 7 : 4));
    if (course && !epoch_->course) epoch_->course = course;
    if (kmh && !epoch_->speed) epoch_->speed = *kmh / 3.6;
    return true;
  }

  bool zda(const NmeaSentence& s, std::size_t line, const char*& why) {
    if (const auto time = NmeaSentence::timeOfDay(s.field(1))) enter(*time, line);
    const auto day = NmeaSentence::number(s.field(2));
    const auto month = NmeaSentence::number(s.field(3));
    const auto year = NmeaSentence::number(s.field(4));
    if (!day && !month && !year) return true;  // no date known to the receiver yet
    const auto start = day && month && year ? TimeText::dayStart(static_cast<int>(*year),
                                                                 static_cast<unsigned>(*month),
                                                                 static_cast<unsigned>(*day))
                                            : std::nullopt;
    if (!start) {
      why = "ZDA with an unusable date";
      return false;
    }
    day_ = start->timeIntervalSince1970();
    return true;
  }

  bool noFix() {
    ++trace_.notes.withoutFix;
    return true;
  }

  static std::optional<double> dayFromDdmmyy(std::string_view text) {
    if (text.size() != 6) return std::nullopt;
    int parts[3];
    for (int i = 0; i < 3; ++i) {
      const char a = text[static_cast<std::size_t>(2 * i)];
      const char b = text[static_cast<std::size_t>(2 * i + 1)];
      if (a < '0' || a > '9' || b < '0' || b > '9') return std::nullopt;
      parts[i] = (a - '0') * 10 + (b - '0');
    }
    // Two-digit years: receivers of this century, or logs from the 1980s and 1990s.
    const int year = parts[2] < 80 ? 2000 + parts[2] : 1900 + parts[2];
    const auto start =
        TimeText::dayStart(year, static_cast<unsigned>(parts[1]), static_cast<unsigned>(parts[0]));
    if (!start) return std::nullopt;
    return start->timeIntervalSince1970();
  }

  // Gives every epoch its day: the day known when it ended; before the first date, the
  // first date (the day before for times later than the first dated epoch's); and one more
  // each time the time of day runs back past midnight on the same known day.
  void dateFixes() {
    if (epochs_.empty()) return;
    const Epoch* firstDated = nullptr;
    for (const Epoch& epoch : epochs_) {
      if (epoch.day) {
        firstDated = &epoch;
        break;
      }
    }
    if (!firstDated) {
      throw TraceReadError(epochs_.front().line,
                           "the log has positions but no date: neither RMC nor ZDA gives one");
    }
    std::optional<double> previousBase;
    double previousTime = 0.0;
    double daysPassed = 0.0;
    trace_.fixes.reserve(epochs_.size());
    for (const Epoch& epoch : epochs_) {
      const double day =
          epoch.day ? *epoch.day
                    : *firstDated->day - (epoch.timeOfDay > firstDated->timeOfDay ? kDay : 0.0);
      if (previousBase != day) {
        daysPassed = 0.0;  // a new date says which day it is
      } else if (epoch.timeOfDay + kDay / 2.0 < previousTime) {
        daysPassed += 1.0;
      }
      previousBase = day;
      previousTime = epoch.timeOfDay;
      const double accuracy = epoch.hdop ? *epoch.hdop * NmeaReader::kRangeErrorMeters
                                         : NmeaReader::kAccuracyWithoutHdop;
      const double verticalAccuracy = !epoch.altitude ? -1.0
                                      : epoch.vdop    ? *epoch.vdop * NmeaReader::kRangeErrorMeters
                                                      : 1.5 * accuracy;
      trace_.fixes.emplace_back(Coordinate{*epoch.latitude, *epoch.longitude},
                                epoch.altitude.value_or(0.0), accuracy, verticalAccuracy,
                                epoch.course.value_or(-1.0), epoch.speed.value_or(-1.0),
                                Date(day + daysPassed * kDay + epoch.timeOfDay));
    }
  }

  Trace& trace_;
  std::optional<Epoch> epoch_;
  std::optional<double> day_;
  std::vector<Epoch> epochs_;
};

}  // namespace

Trace NmeaReader::read(std::string_view bytes) {
  Trace trace;
  trace.format = TraceFormat::kNmea;
  Assembler assembler(trace);
  NmeaSentence sentence;
  std::size_t lineNumber = 0;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const void* newline = std::memchr(bytes.data() + at, '\n', bytes.size() - at);
    const std::size_t end =
        newline ? static_cast<std::size_t>(static_cast<const char*>(newline) - bytes.data())
                : bytes.size();
    const std::string_view line = bytes.substr(at, end - at);
    at = end + 1;
    ++lineNumber;

    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') continue;
    if (line[first] == '!') {  // encapsulated (AIS) sentences
      ++trace.notes.ignored;
      continue;
    }
    const char* why = sentence.parse(line);
    if (!why && assembler.take(sentence, lineNumber, why)) continue;
    ++trace.notes.broken;
    trace.notes.warn(lineNumber, why);
  }
  assembler.finish();
  trace.normalise();
  return trace;
}

}  // namespace trevalo::simulation
