// trevalo-archive-dump FILE: prints a keyed archive written by the SDK as indented JSON
// (records with their class names, then the top-level keys). Exit status 1 when the file
// cannot be read, 2 when it is not an intact archive.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "platform/KeyedUnarchiver.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: trevalo-archive-dump FILE\n";
    return 1;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "trevalo-archive-dump: cannot read " << argv[1] << "\n";
    return 1;
  }
  const trevalo::platform::Bytes bytes{std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
  try {
    std::cout << trevalo::platform::KeyedUnarchiver::dumpAsJson(bytes).dump(2) << "\n";
  } catch (const trevalo::platform::ArchiveError& error) {
    std::cerr << "trevalo-archive-dump: " << argv[1] << ": " << error.what() << "\n";
    return 2;
  }
  return 0;
}
