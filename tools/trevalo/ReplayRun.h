#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "ScratchDirectory.h"
#include "simulation/RunSummary.h"
#include "simulation/SdkReplay.h"
#include "simulation/Trace.h"
#include "trevalo/utils/TROptions.h"

namespace trevalo::platform {
class CurlHttpTransport;
}
namespace trevalo::service {
class ReferenceService;
}

namespace trevalo::tools {

// Input a replay cannot use (the venues, the options, a service URL), with what is wrong.
class ReplayInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One `trevalo replay`: the trace read from its file, the SDK replayed on it against the
// embedded reference service (or a real one), and the outputs made from the recorded run.
class ReplayRun {
 public:
  struct Settings {
    std::filesystem::path tracePath;
    std::optional<std::filesystem::path> venuesPath;
    // The embedded service's store; a file in a scratch directory when missing.
    std::optional<std::filesystem::path> databasePath;
    std::optional<TROptions> options;
    // A real service instead of the embedded one.
    std::optional<std::string> serviceUrl;
    std::string token = "replay";
  };

  // Reads the trace (TraceReadError for one that cannot be read) and the venues, and sets up
  // the replay (ReplayInputError for input it cannot use).
  explicit ReplayRun(const Settings& settings);
  ~ReplayRun();
  ReplayRun(const ReplayRun&) = delete;
  ReplayRun& operator=(const ReplayRun&) = delete;

  // The start options of `--options`: a JSON object, or ReplayInputError.
  static TROptions parseOptions(const std::string& json);

  void play();
  // Made from the recorded run when first asked, after play().
  const simulation::RunSummary& summary();

  // Each writes its file and reports on stderr why it could not; whether it could.
  bool writeEvents(const std::filesystem::path& path) const;
  bool writeReport(const std::filesystem::path& path);

  const simulation::Trace& trace() const noexcept { return *trace_; }
  simulation::SdkReplay& replay() noexcept { return *replay_; }
  const simulation::RecordedRun& recordedRun() const noexcept { return replay_->recordedRun(); }
  service::ReferenceService* service() const noexcept { return service_.get(); }
  // The embedded service's store file; empty with a real service.
  const std::filesystem::path& databasePath() const noexcept { return databasePath_; }

 private:
  ScratchDirectory scratch_;
  std::string traceName_;
  std::shared_ptr<const simulation::Trace> trace_;
  std::filesystem::path databasePath_;
  std::shared_ptr<service::ReferenceService> service_;
  std::shared_ptr<platform::CurlHttpTransport> transport_;
  std::optional<simulation::SdkReplay> replay_;
  std::optional<simulation::RunSummary> summary_;
};

}  // namespace trevalo::tools
