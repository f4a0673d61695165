// A second process for the named-mutex tests: takes a named mutex, tells the
// test through marker files, and then releases it or ends without releasing.
//
//   mutex_helper <mutex name> <folder> hold|exit
//
// 1. Opens the mutex and waits for it (at most 300000 ms, the carriers' wait).
// 2. Writes the outcome ("acquired", "abandoned", "timeout", "failed") to
//    <folder>/result, then creates <folder>/held.
// 3. Waits until <folder>/release exists (the test may kill it meanwhile).
// 4. "hold": creates <folder>/released, then releases the mutex; exit code 0.
//    "exit": ends at once without releasing; exit code 3.
// Exit code 2: bad arguments or the mutex could not be taken.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/named_mutex.h"

namespace {

void Write(const std::filesystem::path& path, const char* text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

}  // namespace

int main(int argc, char** argv) {
  using nc::platform::MutexWait;
  if (argc != 4 || (std::strcmp(argv[3], "hold") != 0 && std::strcmp(argv[3], "exit") != 0)) {
    std::fprintf(stderr, "usage: mutex_helper <mutex name> <folder> hold|exit\n");
    return 2;
  }
  const std::filesystem::path folder = argv[2];
  nc::platform::NamedMutexHandle mutex = nc::platform::CreateNamedMutex(argv[1]);
  if (mutex == nc::platform::kNoMutex) {
    Write(folder / "result", "failed");
    return 2;
  }
  MutexWait wait = nc::platform::WaitNamedMutex(mutex, 300000);
  const char* outcome = wait == MutexWait::Acquired    ? "acquired"
                        : wait == MutexWait::Abandoned ? "abandoned"
                        : wait == MutexWait::TimedOut  ? "timeout"
                                                       : "failed";
  Write(folder / "result", outcome);
  if (wait != MutexWait::Acquired && wait != MutexWait::Abandoned) return 2;
  Write(folder / "held", "held");
  while (!std::filesystem::exists(folder / "release")) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (std::strcmp(argv[3], "exit") == 0) {
    std::fflush(nullptr);
    std::_Exit(3);  // no release, no handle closed by the program
  }
  Write(folder / "released", "released");
  nc::platform::ReleaseNamedMutex(mutex);
  nc::platform::CloseNamedMutex(mutex);
  return 0;
}
