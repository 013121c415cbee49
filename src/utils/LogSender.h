#pragma once

#include <memory>
#include <string_view>

namespace trevalo {

// A second debug logger, kept for applications that call it. It discards everything.
class LogSender {
 public:
  LogSender() = default;
  LogSender(const LogSender&) = delete;
  LogSender& operator=(const LogSender&) = delete;

  // The shared sender, made once on first use.
  static std::shared_ptr<LogSender> instance();

  void send(std::string_view text) const;
  void clearLog();
};

}  // namespace trevalo
