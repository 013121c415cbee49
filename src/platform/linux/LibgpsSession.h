#pragma once

#include <gps.h>

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/linux/GpsdSession.h"

namespace trevalo::platform {

// A gpsd session through libgps, in gpsd's JSON protocol.
class LibgpsSession final : public GpsdSession {
 public:
  LibgpsSession(std::string host, std::string port);
  ~LibgpsSession() override;

  bool open() override;
  Read read(double timeoutSeconds, GpsdFix& fix) override;

  // The fix of one report that libgps has unpacked into `data`, `message` being the report's
  // JSON text: nothing unless it is a position report (TPV) with a 2D or 3D fix, a time and a
  // position.
  static std::optional<GpsdFix> fixFromReport(std::string_view message, const gps_data_t& data);

 private:
  const std::string host_;
  const std::string port_;
  gps_data_t data_{};
  // The text of the last report read: the class of a report is told from it.
  std::array<char, 16 * 1024> message_{};
  bool open_ = false;
};

}  // namespace trevalo::platform
