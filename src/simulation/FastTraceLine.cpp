#include "simulation/FastTraceLine.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace trevalo::simulation {

namespace {

// One member of the line. Numbers keep their value; strings their text (without escapes);
// `samples` the triples of an array of [x, y, z] arrays.
struct Member {
  enum class Kind { kNumber, kString, kNull, kOther, kTriples };
  std::string_view key;
  Kind kind = Kind::kOther;
  double number = 0.0;
  std::string_view text;
};

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  // The members of a flat object; false for anything the quick way does not take.
  bool object(std::array<Member, 12>& members, std::size_t& count,
              std::vector<platform::Acceleration>& triples) {
    count = 0;
    skipSpace();
    if (!take('{')) return false;
    skipSpace();
    if (take('}')) return atEnd();
    while (true) {
      if (count == members.size()) return false;
      Member& member = members[count];
      skipSpace();
      if (!string(member.key)) return false;
      for (std::size_t i = 0; i < count; ++i) {
        if (members[i].key == member.key) return false;
      }
      skipSpace();
      if (!take(':')) return false;
      skipSpace();
      if (!value(member, triples)) return false;
      ++count;
      skipSpace();
      if (take(',')) continue;
      if (take('}')) return atEnd();
      return false;
    }
  }

 private:
  bool atEnd() {
    skipSpace();
    return at_ == text_.size();
  }
  void skipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n'))
      ++at_;
  }
  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool word(std::string_view expected) {
    if (text_.substr(at_, expected.size()) != expected) return false;
    at_ += expected.size();
    return true;
  }
  // A string of printable ASCII without escapes: anything else goes the full way, which
  // checks the encoding.
  bool string(std::string_view& out) {
    if (!take('"')) return false;
    const std::size_t start = at_;
    while (at_ < text_.size()) {
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        out = text_.substr(start, at_ - start);
        ++at_;
        return true;
      }
      if (c == '\\' || c < 0x20 || c >= 0x7f) return false;
      ++at_;
    }
    return false;
  }
  // A number as JSON writes it: -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number(double& out) {
    const std::size_t start = at_;
    take('-');
    if (take('0')) {
    } else if (digits() == 0) {
      return false;
    }
    if (take('.') && digits() == 0) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (digits() == 0) return false;
    }
    const char* first = text_.data() + start;
    const char* last = text_.data() + at_;
    const auto [end, error] = std::from_chars(first, last, out);
    return error == std::errc() && end == last && std::isfinite(out);
  }
  std::size_t digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9')
      ++at_;
    return at_ - start;
  }
  bool value(Member& member, std::vector<platform::Acceleration>& triples) {
    if (at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '"') {
      member.kind = Member::Kind::kString;
      return string(member.text);
    }
    if (c == 'n') {
      member.kind = Member::Kind::kNull;
      return word("null");
    }
    if (c == 't' || c == 'f') {
      member.kind = Member::Kind::kOther;
      return word(c == 't' ? "true" : "false");
    }
    if (c == '[') {
      // Only the readings come as an array.
      if (member.key != "samples") return false;
      member.kind = Member::Kind::kTriples;
      return tripleArray(triples);
    }
    member.kind = Member::Kind::kNumber;
    return number(member.number);
  }
  // [[x, y, z], ...]; an array of anything else goes the full way.
  bool tripleArray(std::vector<platform::Acceleration>& triples) {
    triples.clear();
    if (!take('[')) return false;
    skipSpace();
    if (take(']')) return true;
    while (true) {
      skipSpace();
      if (!take('[')) return false;
      platform::Acceleration a;
      double* const axes[] = {&a.x, &a.y, &a.z};
      for (int i = 0; i < 3; ++i) {
        skipSpace();
        if (i > 0 && !take(',')) return false;
        skipSpace();
        if (!number(*axes[i])) return false;
      }
      skipSpace();
      if (!take(']')) return false;
      triples.push_back(a);
      skipSpace();
      if (take(',')) continue;
      return take(']');
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

const Member* find(const std::array<Member, 12>& members, std::size_t count, std::string_view key) {
  for (std::size_t i = 0; i < count; ++i) {
    if (members[i].key == key) return &members[i];
  }
  return nullptr;
}

// A number member, or (with `optional`) a missing or null one as `fallback`; false when the
// member is there but not a number.
bool numberOf(const std::array<Member, 12>& members, std::size_t count, std::string_view key,
              bool optional, std::optional<double>& out) {
  const Member* member = find(members, count, key);
  if (!member || member->kind == Member::Kind::kNull) {
    out.reset();
    return optional;
  }
  if (member->kind != Member::Kind::kNumber) return false;
  out = member->number;
  return true;
}

}  // namespace

std::optional<JsonTraceLine> FastTraceLine::parse(std::string_view text) {
  std::array<Member, 12> members;
  std::size_t count = 0;
  std::vector<platform::Acceleration> triples;
  if (!Scanner(text).object(members, count, triples)) return std::nullopt;

  std::optional<double> t;
  if (!numberOf(members, count, "t", false, t)) return std::nullopt;
  const Member* type = find(members, count, "type");
  if (!type || type->kind != Member::Kind::kString) return std::nullopt;

  JsonTraceLine line;
  line.time = Date(*t);
  if (type->text == "fix") {
    line.type = JsonTraceLine::Type::kFix;
    std::optional<double> latitude, longitude, accuracy, course, speed, altitude, vertical;
    if (!numberOf(members, count, "lat", false, latitude) ||
        !numberOf(members, count, "lng", false, longitude) ||
        !numberOf(members, count, "acc", false, accuracy) ||
        !numberOf(members, count, "course", true, course) ||
        !numberOf(members, count, "speed", true, speed) ||
        !numberOf(members, count, "alt", true, altitude) ||
        !numberOf(members, count, "vacc", true, vertical)) {
      return std::nullopt;
    }
    if (*latitude < -90.0 || *latitude > 90.0 || *longitude < -180.0 || *longitude > 180.0) {
      return std::nullopt;
    }
    line.fix = Location({*latitude, *longitude}, altitude.value_or(0.0), *accuracy,
                        vertical.value_or(altitude ? 1.5 * *accuracy : -1.0), course.value_or(-1.0),
                        speed.value_or(-1.0), line.time);
    return line;
  }
  if (type->text == "accel") {
    line.type = JsonTraceLine::Type::kAccelerometer;
    const Member* samples = find(members, count, "samples");
    if (!samples) {
      std::optional<double> x, y, z;
      if (!numberOf(members, count, "x", false, x) || !numberOf(members, count, "y", false, y) ||
          !numberOf(members, count, "z", false, z)) {
        return std::nullopt;
      }
      line.samples.push_back({*x, *y, *z});
      return line;
    }
    std::optional<double> hz;
    if (samples->kind != Member::Kind::kTriples || !numberOf(members, count, "hz", false, hz) ||
        *hz <= 0.0) {
      return std::nullopt;
    }
    line.sampleRate = *hz;
    line.samples = std::move(triples);
    return line;
  }
  return std::nullopt;
}

}  // namespace trevalo::simulation
