#include "CrashHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "CrashDay.h"
#include "CrashJournal.h"
#include "CrashService.h"
#include "analyzer/TRGeofencesManager.h"
#include "platform/ArchiveError.h"
#include "platform/Envelope.h"
#include "platform/KeyedUnarchiver.h"
#include "platform/TemporaryFiles.h"
#include "trevalo/model/TRUserValues.h"
#include "trevalo/platform/simulated/SimulatedPlatform.h"
#include "visits/VisitTracker.h"
#include "visits/operations/MetaOperationDepart.h"

namespace trevalo::crash {

namespace {

using Clock = std::chrono::steady_clock;

struct Life {
  pid_t pid = -1;
  int output = -1;  // the read end of the child's standard output
};

Life spawn(const std::filesystem::path& child, const std::filesystem::path& documents,
           const std::filesystem::path& state, const std::filesystem::path& errors) {
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("no fork");
  if (pid == 0) {
    ::dup2(pipeEnds[1], STDOUT_FILENO);
    const int error = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (error >= 0) ::dup2(error, STDERR_FILENO);
    ::execl(child.c_str(), child.c_str(), documents.c_str(), state.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipeEnds[1]);
  return {pid, pipeEnds[0]};
}

// Waits until the child has written "ready" or `deadline` passes; whether it did.
bool waitForReady(int output, std::string& seen, Clock::time_point deadline) {
  while (seen.find("ready") == std::string::npos) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd entry{output, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
    char buffer[256];
    const ssize_t n = ::read(output, buffer, sizeof buffer);
    if (n <= 0) return false;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

void drain(int output, std::string& seen) {
  ::fcntl(output, F_SETFL, O_NONBLOCK);
  char buffer[256];
  for (ssize_t n; (n = ::read(output, buffer, sizeof buffer)) > 0;)
    seen.append(buffer, static_cast<std::size_t>(n));
}

std::optional<platform::Bytes> fileBytes(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return platform::Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string textOf(const std::filesystem::path& path) {
  const auto bytes = fileBytes(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

std::set<std::string> temporariesIn(const std::filesystem::path& directory) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    const auto name = entry.path().filename().string();
    if (platform::TemporaryFiles::writerOf(name)) names.insert(name);
  }
  return names;
}

// What the journals of a day say so far.
struct Journals {
  std::set<std::string> acceptedStays;
  std::set<std::string> endedVisits;
  int lastValues = -1;
  int lastStep = 0;
  bool complete = false;
  std::set<std::string> answeredStays;
  std::map<std::string, std::vector<std::string>> logBodies;  // of the visits logged

  static Journals read(const std::filesystem::path& state) {
    Journals journals;
    for (const auto& line : CrashJournal::read(state / CrashDay::kEventsJournal)) {
      std::istringstream words(line);
      std::string kind, value;
      words >> kind >> value;
      if (kind == "accepted") journals.acceptedStays.insert(value);
      if (kind == "ended") journals.endedVisits.insert(value);
      if (kind == "values") journals.lastValues = std::max(journals.lastValues, std::stoi(value));
      if (kind == "step") journals.lastStep = std::max(journals.lastStep, std::stoi(value));
      if (kind == "complete") journals.complete = true;
    }
    for (const auto& line : CrashJournal::read(state / CrashDay::kServiceJournal)) {
      std::istringstream words(line);
      std::string kind, key;
      words >> kind >> key;
      if (kind == "locate-ok") journals.answeredStays.insert(key);
      if (kind == "log-ok") {
        std::string body;
        std::getline(words >> std::ws, body);
        journals.logBodies[key].push_back(body);
      }
    }
    return journals;
  }
};

// Checks the documents of a day after a life; adds what is wrong to `failures`.
class DayCheck {
 public:
  DayCheck(const std::filesystem::path& documents, const Journals& journals,
           CrashHarness::Report& report, std::string context)
      : documents_(documents), journals_(journals), report_(report), context_(std::move(context)) {}

  void run(bool final) {
    checkTracker(final);
    checkGeofences();
    checkUserValues();
    checkUserDefaults();
    checkLogs(final);
  }

 private:
  void fail(const std::string& what) { report_.failures.push_back(context_ + ": " + what); }

  void checkTracker(bool final) {
    const auto bytes = fileBytes(documents_ / VisitTracker::kFileName);
    if (!bytes) {
      if (!journals_.acceptedStays.empty()) fail("trVenue.dat is missing");
      return;
    }
    std::shared_ptr<VisitTracker> tracker;
    std::size_t written = 0;
    try {
      const Json dump = platform::KeyedUnarchiver::dumpAsJson(*bytes);
      const Json& root = dump["objects"][dump["top"]["root"]["$ref"].get<std::size_t>()];
      if (root.contains("self.operationsQueue") && root["self.operationsQueue"].is_array())
        written = root["self.operationsQueue"].size();
      tracker = platform::KeyedUnarchiver::unarchiveObjectOfClass<VisitTracker>(*bytes);
    } catch (const std::exception& error) {
      fail(std::string("trVenue.dat does not load: ") + error.what());
      return;
    }
    if (!tracker || tracker->operationsQueue().size() != written) {
      fail("trVenue.dat loads only in part");
      return;
    }
    ++report_.filesLoaded;

    std::set<std::string> stays;
    std::multiset<std::string> departures;
    for (const auto& operation : tracker->operationsQueue()) {
      if (const auto* depart = dynamic_cast<const MetaOperationDepart*>(operation.get())) {
        departures.insert(CrashService::visitKey(depart->visit()->dictionaryRepresentation()));
      } else if (const auto* stay =
                     dynamic_cast<const MetaOperationGetVenueByLocations*>(operation.get())) {
        stays.insert(
            CrashService::stayKey(stay->locations().back()->location.coordinate().latitude));
      }
    }
    for (const auto& key : journals_.acceptedStays) {
      if (journals_.answeredStays.contains(key)) continue;
      ++report_.descriptorsChecked;
      if (!stays.contains(key)) fail("the accepted stay " + key + " is lost");
    }
    for (const auto& key : journals_.endedVisits) {
      if (journals_.logBodies.contains(key)) continue;
      ++report_.descriptorsChecked;
      if (!departures.contains(key)) fail("the log of the ended visit " + key + " is lost");
    }
    for (const auto& key : departures) {
      if (departures.count(key) > 1) fail("the visit " + key + " is queued for logging twice");
    }
    // A stay resolved only after its departure opens a visit that stays open (the tracker's
    // rule); an open visit at the end is therefore no failure, but left work is.
    if (final && !tracker->operationsQueue().empty()) fail("work is left at the end of the day");
  }

  // Loads `name` as a T if the file is there; `sound` says what is wrong with it, if anything.
  template <class T>
  void checkArchive(const char* name, bool required,
                    const std::function<std::string(const std::shared_ptr<T>&)>& sound) {
    const auto bytes = fileBytes(documents_ / name);
    if (!bytes) {
      if (required) fail(std::string(name) + " is missing");
      return;
    }
    try {
      const std::string wrong = sound(platform::KeyedUnarchiver::unarchiveObjectOfClass<T>(*bytes));
      if (wrong.empty()) {
        ++report_.filesLoaded;
      } else {
        fail(std::string(name) + " " + wrong);
      }
    } catch (const std::exception& error) {
      fail(std::string(name) + " does not load: " + error.what());
    }
  }

  void checkGeofences() {
    checkArchive<TRGeofencesManager>(
        TRGeofencesManager::kArchiveFileName, false, [](const auto& manager) {
          const bool whole = manager && manager->filters().size() == 1 && manager->geofences() &&
                             manager->geofences()->size() == 3;
          return whole ? "" : "does not hold the fetched geofences";
        });
  }

  void checkUserValues() {
    checkArchive<TRUserValues>("saveduser", journals_.lastValues >= 0, [&](const auto& values) {
      const int age = values ? values->dictionary.value("age", -1) : -1;
      return age < journals_.lastValues ? "went back to age " + std::to_string(age) : "";
    });
  }

  void checkUserDefaults() {
    const auto bytes = fileBytes(documents_ / "user-defaults");
    if (!bytes) {
      if (journals_.lastStep > 0) fail("the user defaults are missing");
      return;
    }
    const auto opened = platform::Envelope::open("TRUD", *bytes);
    const Json values = opened.status == platform::Envelope::Status::kOk
                            ? Json::from_cbor(opened.payload, true, false)
                            : Json();
    const int step = values.is_object() ? values.value(CrashDay::kStepKey, 0) : -1;
    if (step < journals_.lastStep) {
      fail("the user defaults do not load or went back to step " + std::to_string(step));
    } else {
      ++report_.filesLoaded;
    }
  }

  void checkLogs(bool final) {
    for (const auto& [key, bodies] : journals_.logBodies) {
      if (std::adjacent_find(bodies.begin(), bodies.end(), std::not_equal_to<>()) != bodies.end())
        fail("the visit " + key + " was logged twice with different records");
    }
    if (!final) return;
    for (const auto& key : journals_.endedVisits) {
      if (!journals_.logBodies.contains(key)) fail("the ended visit " + key + " was never logged");
    }
    if (!journals_.complete) fail("the day did not complete");
  }

  std::filesystem::path documents_;
  const Journals& journals_;
  CrashHarness::Report& report_;
  std::string context_;
};

}  // namespace

std::string CrashHarness::Report::summary() const {
  std::ostringstream text;
  text << kills << " kills (" << killsWhileRestoring << " while restoring) over " << lives
       << " lives and " << daysCompleted << " completed days; " << failures.size() << " failures; "
       << filesLoaded << " files loaded whole after kills; " << descriptorsChecked
       << " accepted descriptors found after kills; " << temporariesLeft
       << " temporary files left by kills, " << temporariesSwept << " swept by the next life; "
       << visitsLogged << " visits logged, " << logsReceivedAgain
       << " logs received again after a kill";
  return text.str();
}

CrashHarness::CrashHarness(Options options) : options_(std::move(options)) {}

CrashHarness::Report CrashHarness::run() {
  Report report;
  std::mt19937_64 random(options_.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);

  // The checks read archives through the SDK, which wants a platform.
  std::filesystem::create_directories(options_.directory / "parent");
  const auto platform =
      platform::SimulatedPlatform::make({.documentsDirectory = options_.directory / "parent"});
  const auto previous = platform::Platform::install(platform);

  int day = 0;
  std::filesystem::path documents, state;
  const auto newDay = [&] {
    const auto root = options_.directory / ("day-" + std::to_string(++day));
    documents = root / "documents";
    state = root / "state";
    std::filesystem::create_directories(documents);
    std::filesystem::create_directories(state);
  };
  newDay();

  double restoringMilliseconds = 50.0;  // how long restoring took, last seen
  std::set<std::string> leftovers;      // temporaries the last kill left

  // The temporaries the last kill left must be gone once a new life has started.
  const auto sweep = [&](const std::string& context) {
    for (const auto& name : leftovers) {
      if (std::filesystem::exists(documents / name)) {
        report.failures.push_back(context + ": the leftover " + name + " was not swept");
      } else {
        ++report.temporariesSwept;
      }
    }
    leftovers.clear();
  };
  const auto finishDay = [&](const std::string& context) {
    const auto journals = Journals::read(state);
    DayCheck(documents, journals, report, context).run(true);
    for (const auto& [key, bodies] : journals.logBodies) {
      ++report.visitsLogged;
      report.logsReceivedAgain += static_cast<int>(bodies.size()) - 1;
    }
    ++report.daysCompleted;
  };

  // After the last kill, the day under way runs to its end.
  while (report.failures.empty()) {
    const bool last = report.kills >= options_.kills;
    const auto errors = state / ("life-" + std::to_string(report.lives + 1) + ".err");
    const auto started = Clock::now();
    Life life = spawn(options_.child, documents, state, errors);
    ++report.lives;
    std::string output;
    if (last) {
      // Not killed: waited for below.
    } else if (unit(random) < 0.2) {
      std::this_thread::sleep_for(
          std::chrono::duration<double, std::milli>(unit(random) * restoringMilliseconds));
    } else if (waitForReady(life.output, output, Clock::now() + std::chrono::seconds(60))) {
      restoringMilliseconds =
          std::chrono::duration<double, std::milli>(Clock::now() - started).count();
      std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(
          unit(random) * options_.maximumDelayMilliseconds));
    }
    if (!last) ::kill(life.pid, SIGKILL);
    int status = 0;
    ::waitpid(life.pid, &status, 0);
    drain(life.output, output);
    ::close(life.output);
    const bool ready = output.find("ready") != std::string::npos;
    const std::string context = "day " + std::to_string(day) + ", life " +
                                std::to_string(report.lives) + (last ? ", the last" : "") +
                                " (seed " + std::to_string(options_.seed) + ")";

    if (ready) sweep(context);

    if (WIFEXITED(status)) {
      if (WEXITSTATUS(status) != 0) {
        report.failures.push_back(context + ": the child exited with status " +
                                  std::to_string(WEXITSTATUS(status)) + ": " + textOf(errors));
        break;
      }
      finishDay(context);
      if (last) break;
      newDay();
      leftovers.clear();
      continue;
    }
    if (last || !WIFSIGNALED(status) || WTERMSIG(status) != SIGKILL) {
      report.failures.push_back(context + ": the child died on its own: " + textOf(errors));
      break;
    }
    ++report.kills;
    if (!ready) ++report.killsWhileRestoring;
    const auto journals = Journals::read(state);
    DayCheck(documents, journals, report, context).run(false);
    for (const auto& name : temporariesIn(documents)) {
      if (leftovers.insert(name).second) ++report.temporariesLeft;
    }
  }
  platform::Platform::install(previous);
  return report;
}

}  // namespace trevalo::crash
