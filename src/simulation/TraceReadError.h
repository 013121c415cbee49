#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace trevalo::simulation {

// A trace that cannot be read at all: the line where reading stopped and why. `what()` reads
// "line N: why".
class TraceReadError : public std::runtime_error {
 public:
  TraceReadError(std::size_t line, const std::string& reason)
      : std::runtime_error("line " + std::to_string(line) + ": " + reason),
        line_(line),
        reason_(reason) {}

  std::size_t line() const noexcept { return line_; }
  const std::string& reason() const noexcept { return reason_; }

 private:
  std::size_t line_;
  std::string reason_;
};

}  // namespace trevalo::simulation
