#include "CrashJournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace trevalo::crash {

CrashJournal::CrashJournal(const std::filesystem::path& path)
    : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {
  if (fd_ < 0) throw std::runtime_error("cannot open the journal " + path.string());
}

CrashJournal::~CrashJournal() {
  ::close(fd_);
}

void CrashJournal::append(const std::string& line) const {
  const std::string text = line + "\n";
  if (::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    throw std::runtime_error("cannot append to the journal");
  }
}

std::vector<std::string> CrashJournal::read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  const std::string all = text.str();
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end = all.find('\n'); end != std::string::npos; end = all.find('\n', start)) {
    lines.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace trevalo::crash
