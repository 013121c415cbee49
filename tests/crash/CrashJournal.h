#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace trevalo::crash {

// A file of lines that a process appends to and another reads after the writer is gone. Each
// line goes out in one write to a file opened for appending, so a kill leaves whole lines
// behind (and at worst a last line without its end, which reading drops).
class CrashJournal {
 public:
  explicit CrashJournal(const std::filesystem::path& path);
  ~CrashJournal();
  CrashJournal(const CrashJournal&) = delete;
  CrashJournal& operator=(const CrashJournal&) = delete;

  void append(const std::string& line) const;

  // Every complete line of the file, in order; none when there is no file.
  static std::vector<std::string> read(const std::filesystem::path& path);

 private:
  int fd_;
};

}  // namespace trevalo::crash
