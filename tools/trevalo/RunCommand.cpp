// trevalo run [--gpsd HOST:PORT] [--service URL] [--token T] [--options JSON] [--data-dir DIR]
//             [--clock-rate R]
//
// The SDK live on this machine with the system platform: fixes from gpsd, the Wi-Fi name from
// the kernel, the service (and the reverse geocoder) at --service through the curl transport,
// its files in --data-dir. Prints what the application sees, one JSON object a line, in the
// format of `trevalo replay --events`.
//
// At start the SDK relaunches from what the data directory kept (handleAppLaunch): when it was
// running as the last run ended, it goes on with the options it kept. With --options, or when
// it was not running, it starts afresh with the options given. A machine without motion sensors
// tells walking from driving by the receiver's speed, through the platform's activity
// classifier: the options ask for it ("use_ios_motion_activity") unless they say otherwise.
//
// --clock-rate R runs the SDK's clock R times faster than real time, to play a recorded log
// through gpsfake at R times its pace (a day in minutes). SIGINT or SIGTERM ends the run
// the way the end of an application's process does, once the requests in flight are answered
// (five seconds at most): the SDK's files stay as they are, and it was running, so the next
// `trevalo run` on the same directory takes up from there.
//
// Exit status: 0 after a signal; 2 for a command line or options that cannot be used; 1 when
// the SDK cannot be started.
#include <signal.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>

#include "Commands.h"
#include "networking/TRNetworkClient.h"
#include "simulation/RunRecorder.h"
#include "trevalo/facade/TRContext.h"
#include "trevalo/facade/Trevalo.h"
#include "trevalo/platform/Exception.h"
#include "trevalo/platform/Platform.h"
#include "trevalo/platform/Timer.h"
#include "trevalo/platform/linux/CurlHttpTransport.h"
#include "trevalo/platform/linux/SystemPlatform.h"
#include "trevalo/utils/TRConstants.h"
#include "trevalo/utils/TROptions.h"

namespace trevalo::tools {

namespace {

using namespace std::chrono_literals;

constexpr auto kDrainSeconds = 5s;
constexpr double kDrainPoll = 0.05;  // real seconds

struct RunSettings {
  std::string gpsd = "localhost:2947";
  std::string service;
  std::string token = "trevalo-run";
  std::string options;
  std::string dataDirectory;
  double clockRate = 1.0;
};

// "host:port", "[v6 address]:port" or a bare host (gpsd's own port).
std::optional<platform::GpsdLocationManager::Options> gpsdAddress(const std::string& text) {
  platform::GpsdLocationManager::Options options;
  std::string host = text;
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    if (close == std::string::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    if (close + 1 < text.size()) {
      if (text[close + 1] != ':') return std::nullopt;
      options.port = text.substr(close + 2);
    }
  } else if (const auto colon = text.rfind(':');
             colon != std::string::npos && text.find(':') == colon) {
    host = text.substr(0, colon);
    options.port = text.substr(colon + 1);
  }
  if (host.empty() || options.port.empty() ||
      options.port.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  options.host = host;
  return options;
}

// The options as a JSON object, given inline or as a file holding one; the activity classifier
// asked for unless they say otherwise.
std::optional<TROptions> readOptions(const std::string& given) {
  Json json = Json::object();
  if (!given.empty()) {
    std::string text = given;
    const auto start = given.find_first_not_of(" \t\r\n");
    if (start != std::string::npos && given[start] != '{') {
      std::ifstream in(given, std::ios::binary);
      if (!in) {
        std::cerr << "trevalo run: --options is neither a JSON object nor a readable file\n";
        return std::nullopt;
      }
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    json = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (json.is_discarded() || !json.is_object()) {
      std::cerr << "trevalo run: --options must be a JSON object\n";
      return std::nullopt;
    }
  }
  if (!json.contains(TROptionUseiOSMotionActivity)) json[TROptionUseiOSMotionActivity] = true;
  return TROptions::withJson(json);
}

// Every base URL of the SDK on the one service.
TRNetworkClient::Hosts hostsAt(std::string url) {
  while (!url.empty() && url.back() == '/')
    url.pop_back();
  return {.serviceApi = url, .peopleSearch = url, .recordingService = url, .eventLogStore = url};
}

// Prints each event as a line of its own, whole, even when events come from several threads.
class EventPrinter {
 public:
  void print(const simulation::RunEvent& event) {
    const std::string line = event.toJson().dump(-1, ' ', false, Json::error_handler_t::replace);
    const std::lock_guard lock(mutex_);
    std::cout << line << std::endl;
  }

 private:
  std::mutex mutex_;
};

int run(const RunSettings& settings) {
  const auto gpsd = gpsdAddress(settings.gpsd);
  if (!gpsd) {
    std::cerr << "trevalo run: --gpsd must be HOST:PORT, not \"" << settings.gpsd << "\"\n";
    return kBadInput;
  }
  const std::optional<TROptions> options = readOptions(settings.options);
  if (!options) return kBadInput;
  if (!(settings.clockRate > 0.0) || !std::isfinite(settings.clockRate)) {
    std::cerr << "trevalo run: --clock-rate must be a positive number\n";
    return kBadInput;
  }
  if (settings.token.empty()) {
    std::cerr << "trevalo run: --token must not be empty\n";
    return kBadInput;
  }

  // Every thread the platform starts inherits this mask: the stop signals arrive only at the
  // thread that waits for them below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  platform::SystemPlatform::Options platformOptions;
  if (!settings.dataDirectory.empty()) {
    std::error_code failed;
    std::filesystem::create_directories(settings.dataDirectory, failed);
    if (failed) {
      std::cerr << "trevalo run: cannot make " << settings.dataDirectory << ": " << failed.message()
                << "\n";
      return kBadInput;
    }
    platformOptions.documentsDirectory = settings.dataDirectory;
  }
  platformOptions.runLoopOnOwnThread = false;
  platformOptions.clockRate = settings.clockRate;
  platformOptions.gpsd = *gpsd;
  if (!settings.service.empty()) platformOptions.reverseGeocodingBaseUrl = settings.service;
  const auto platform = platform::SystemPlatform::make(std::move(platformOptions));
  const auto previous = platform::Platform::install(platform);
  auto& runLoop = platform->realTimeRunLoop();

  EventPrinter printer;
  const auto recorder = std::make_shared<simulation::RunRecorder>(
      [&printer](const simulation::RunEvent& event) { printer.print(event); });
  std::shared_ptr<Trevalo> trevalo;
  int status = kDone;
  // The SDK is made and started on the run loop, its main thread, which runs on this thread.
  runLoop.post([&] {
    try {
      auto client = std::make_shared<TRNetworkClient>();
      if (!settings.service.empty()) client->setHosts(hostsAt(settings.service));
      trevalo = Trevalo::initWithContext(std::make_shared<TRContext>(client));
      recorder->attach(trevalo);
      const char* how = "started";
      if (!settings.options.empty()) {
        trevalo->startWithApiToken(settings.token, recorder, options);
      } else {
        trevalo->handleAppLaunch(settings.token, recorder);
        if (trevalo->isRunning()) {
          how = "relaunched from its kept state";
        } else {
          trevalo->startWithApiToken(settings.token, recorder, options);
        }
      }
      std::cerr << "trevalo run: " << how << ", files in "
                << platform->documentsDirectory().string() << std::endl;
    } catch (const std::exception& error) {
      std::cerr << "trevalo run: the SDK cannot start: " << error.what() << "\n";
      status = kFailed;
      runLoop.stop();
    }
  });

  // After the signal the loop goes on until the requests in flight are answered (at most
  // kDrainSeconds), so that work the service has taken is not sent again at the next start.
  const auto transport =
      std::dynamic_pointer_cast<platform::CurlHttpTransport>(platform->httpTransport());
  std::shared_ptr<platform::Timer> drain;
  std::thread waiter([&] {
    int signal = 0;
    while (::sigwait(&stopSignals, &signal) != 0) {
    }
    runLoop.post([&] {
      const auto deadline = std::chrono::steady_clock::now() + kDrainSeconds;
      auto settled = std::make_shared<int>(0);
      drain = runLoop.scheduleTimer(
          kDrainPoll * platform->clock().rate(), true, [&, deadline, settled] {
            // Two quiet polls in a row: the last completion has had its turn on this loop.
            *settled = transport && transport->pendingCount() > 0 ? 0 : *settled + 1;
            if (*settled >= 2 || std::chrono::steady_clock::now() >= deadline) runLoop.stop();
          });
    });
  });
  runLoop.run();
  // A start that failed stopped the loop before any signal came: wake the waiter.
  if (status != kDone) ::pthread_kill(waiter.native_handle(), SIGTERM);
  waiter.join();
  if (drain) drain->invalidate();

  trevalo.reset();
  platform::Platform::install(previous);
  return status;
}

}  // namespace

void addRunCommand(CLI::App& app, int& status) {
  auto* command = app.add_subcommand(
      "run",
      "Run the SDK live on this machine (fixes from gpsd, the service at --service) and print "
      "what the application sees, one JSON line per event, until SIGINT or SIGTERM");
  auto settings = std::make_shared<RunSettings>();
  command->add_option("--gpsd", settings->gpsd, "where gpsd answers")->capture_default_str();
  command->add_option("--service", settings->service,
                      "the base URL of the service (every host of the SDK, and the reverse "
                      "geocoder), e.g. the URL `trevalo serve` prints");
  command->add_option("--token", settings->token, "the API token")->capture_default_str();
  command->add_option("--options", settings->options,
                      "the start options, a JSON object or a file holding one");
  command->add_option("--data-dir", settings->dataDirectory,
                      "the SDK's documents directory (default $XDG_DATA_HOME/trevalo)");
  command
      ->add_option("--clock-rate", settings->clockRate,
                   "run the SDK's clock this many times faster than real time, to play a "
                   "recorded log through gpsfake faster")
      ->capture_default_str();
  command->callback(
      [&status, settings] { status = reportingFailure("run", [&] { return run(*settings); }); });
}

}  // namespace trevalo::tools
