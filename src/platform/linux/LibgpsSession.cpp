#include "platform/linux/LibgpsSession.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cmath>

#include "platform/linux/GpsdProbe.h"

namespace trevalo::platform {

namespace {

// How long connecting and gpsd's greeting may take before the attempt counts as failed.
constexpr double kConnectTimeoutSeconds = 3.0;
constexpr std::size_t kMaximumLine = 256 * 1024;

}  // namespace

LibgpsSession::LibgpsSession(std::string host, std::string port)
    : host_(std::move(host)), port_(std::move(port)) {}

LibgpsSession::~LibgpsSession() {
  if (!open_) return;
  gps_stream(&data_, WATCH_DISABLE, nullptr);
  gps_close(&data_);
}

bool LibgpsSession::open() {
  if (open_) return true;
  // libgps connects without a deadline; asking first bounds the wait for a host that does not
  // answer at all.
  if (!GpsdProbe::answers(host_, port_, kConnectTimeoutSeconds)) return false;
  if (gps_open(host_.c_str(), port_.c_str(), &data_) != 0) return false;
  open_ = true;
  return gps_stream(&data_, WATCH_ENABLE | WATCH_JSON, nullptr) == 0;
}

std::optional<std::string> LibgpsSession::nextLine() {
  const auto end = buffer_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, end + 1);
  return line;
}

GpsdSession::Read LibgpsSession::read(double timeoutSeconds, GpsdFix& fix) {
  if (!open_) return Read::kLost;
  for (;;) {
    if (auto line = nextLine()) {
      if (line->find("\"class\":\"TPV\"") == std::string::npos) return Read::kOther;
      if (gps_unpack(line->data(), &data_) != 0) return Read::kOther;
      auto found = fixFromReport(*line, data_);
      if (!found) return Read::kOther;
      fix = *found;
      return Read::kFix;
    }
    // gpsd's lines are short; one that never ends is no protocol this session speaks.
    if (buffer_.size() > kMaximumLine) return Read::kLost;
    if (timeoutSeconds <= 0.0 && drained_) {
      // The last read took all there was: asking again would only hear that nothing is there.
      drained_ = false;
      return Read::kNothing;
    }
    if (timeoutSeconds > 0.0) {
      pollfd descriptor{data_.gps_fd, POLLIN, 0};
      const int ready = ::poll(&descriptor, 1, static_cast<int>(std::lround(timeoutSeconds * 1e3)));
      if (ready == 0) return Read::kNothing;
      if (ready < 0) return errno == EINTR ? Read::kNothing : Read::kLost;
    }
    char chunk[8192];
    const auto length = ::recv(data_.gps_fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (length == 0) return Read::kLost;
    if (length < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return Read::kNothing;
      return Read::kLost;
    }
    buffer_.append(chunk, static_cast<std::size_t>(length));
    drained_ = static_cast<std::size_t>(length) < sizeof chunk;
  }
}

std::optional<GpsdFix> LibgpsSession::fixFromReport(std::string_view message,
                                                    const gps_data_t& data) {
  if (message.find("\"class\":\"TPV\"") == std::string_view::npos) return std::nullopt;
  const gps_fix_t& reported = data.fix;
  if ((data.set & MODE_SET) == 0 || reported.mode < MODE_2D) return std::nullopt;
  if ((data.set & TIME_SET) == 0 || (data.set & LATLON_SET) == 0) return std::nullopt;
  if (!std::isfinite(reported.latitude) || !std::isfinite(reported.longitude)) {
    return std::nullopt;
  }
  GpsdFix fix;
  fix.time = Date(static_cast<double>(reported.time.tv_sec) +
                  static_cast<double>(reported.time.tv_nsec) * 1e-9);
  fix.coordinate = {reported.latitude, reported.longitude};
  fix.threeDimensional = reported.mode >= MODE_3D;
  fix.altitude = reported.altMSL;
  fix.ellipsoidAltitude = reported.altHAE;
  fix.horizontalError = reported.eph;
  fix.longitudeError = reported.epx;
  fix.latitudeError = reported.epy;
  fix.verticalError = reported.epv;
  fix.track = reported.track;
  fix.magneticTrack = reported.magnetic_track;
  fix.trackError = reported.epd;
  fix.speed = reported.speed;
  return fix;
}

}  // namespace trevalo::platform
