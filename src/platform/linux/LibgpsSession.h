#pragma once

#include <gps.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/GpsdSession.h"

namespace trevalo::platform {

// A gpsd session through libgps, in gpsd's JSON protocol. libgps opens the session and asks
// for the reports; the reports are then read off the socket here, a line each, and only the
// position reports (TPV) are handed to libgps to unpack: gpsd sends a sky view and more with
// every fix, and unpacking those would cost more than everything else done per fix.
class LibgpsSession final : public GpsdSession {
 public:
  LibgpsSession(std::string host, std::string port);
  ~LibgpsSession() override;

  bool open() override;
  Read read(double timeoutSeconds, GpsdFix& fix) override;
  int descriptor() const override { return open_ ? data_.gps_fd : -1; }

  // The fix of one report that libgps has unpacked into `data`, `message` being the report's
  // JSON text: nothing unless it is a position report (TPV) with a 2D or 3D fix, a time and a
  // position.
  static std::optional<GpsdFix> fixFromReport(std::string_view message, const gps_data_t& data);

 private:
  const std::string host_;
  const std::string port_;
  // The next complete line in the buffer, taken out of it; nothing when none is complete.
  std::optional<std::string> nextLine();

  gps_data_t data_{};
  std::string buffer_;  // bytes read and not yet taken as lines
  bool open_ = false;
  bool drained_ = false;  // the last read found less than it could take
};

}  // namespace trevalo::platform
