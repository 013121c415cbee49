// The child of the crash harness: runs the rest of the scripted day on a documents directory
// until it is done or killed.
//   trevalo_crash_child DOCUMENTS STATE
// Prints "ready" once the SDK's state is restored; exits 0 when the day is done and all its
// work drained, 3 when work is left over.
#include <exception>
#include <iostream>

#include "CrashDay.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: trevalo_crash_child DOCUMENTS STATE\n";
    return 2;
  }
  try {
    return trevalo::crash::CrashDay::run(argv[1], argv[2], std::cout) ? 0 : 3;
  } catch (const std::exception& e) {
    std::cerr << "the day failed: " << e.what() << "\n";
    return 4;
  }
}
