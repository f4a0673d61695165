// Helpers for the tests of the platform pieces the carriers use and of the
// carriers themselves: environment variables set for one test, a private
// settings store and runtime folder per test (natively every test runs in a
// process of its own, in parallel with the others), and the mutex helper
// program started as a second process.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "frame_test_support.h"
#include "platform/settings.h"

namespace nc::test {

inline void SetEnv(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value != nullptr ? value : "");
#else
  if (value != nullptr) {
    ::setenv(name, value, 1);
  } else {
    ::unsetenv(name);
  }
#endif
}

inline std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

// Sets an environment variable (null: removes it) and restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name), old_(GetEnv(name)) {
    SetEnv(name, value);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { SetEnv(name_.c_str(), old_ ? old_->c_str() : nullptr); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The settings store and the named mutexes of one test, apart from every
// other test: on POSIX a store file and a lock-file folder in the test's own
// folder; on Windows (the registry and kernel names are machine-wide; the
// unit tests run one after the other in one process there) the keys the
// test names are removed before and after it.
class PrivateMachine {
 public:
  explicit PrivateMachine(std::vector<std::string> keys = {})
      : keys_(std::move(keys)),
        settings_("NCCORE_SETTINGS", (folder_ / "settings.ini").c_str()),
        runtime_("NCCORE_RUNTIME_DIR", (folder_ / "run").c_str()) {
    for (const std::string& key : keys_) nc::platform::DeleteSettingsKey(key.c_str());
  }
  ~PrivateMachine() {
    for (const std::string& key : keys_) nc::platform::DeleteSettingsKey(key.c_str());
  }
  const TempFolder& folder() const { return folder_; }

 private:
  TempFolder folder_;
  std::vector<std::string> keys_;
  ScopedEnv settings_;
  ScopedEnv runtime_;
};

// Waits (in real time) until `path` exists; false after `limitMs`. Only a
// guard against a hanging helper, never a measurement.
inline bool WaitForFile(const std::filesystem::path& path, int limitMs = 120000) {
  for (int waited = 0; waited < limitMs; waited += 5) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return std::filesystem::exists(path);
}

inline void TouchFile(const std::filesystem::path& path) { WriteFileText(path.string(), "x"); }

#ifdef NCCORE_MUTEX_HELPER
// The helper program (tests/tools/mutex_helper.cpp) as a second process:
//   mutex_helper <mutex name> <folder> hold|exit
// It takes the mutex (waiting up to 300000 ms), writes <folder>/result with
// the wait's outcome and creates <folder>/held, then waits for
// <folder>/release. "hold" then creates <folder>/released and releases the
// mutex; "exit" ends the process without releasing it.
class MutexHelper {
 public:
  MutexHelper(const std::string& name, const std::filesystem::path& folder, const char* mode) {
#ifdef _WIN32
    // The helper's Unix path, seen through Wine's Z: drive (a Windows path
    // is taken as it is).
    std::string program = NCCORE_MUTEX_HELPER;
    if (!program.empty() && program[0] == '/') program = "Z:" + program;
    for (char& c : program)
      if (c == '/') c = '\\';
    std::string folderText = folder.string();
    std::string line = "\"" + program + "\" \"" + name + "\" \"" + folderText + "\" " + mode;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    started_ = ::CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                nullptr, &startup, &info) != 0;
    if (started_) {
      ::CloseHandle(info.hThread);
      process_ = info.hProcess;
    }
#else
    std::string folderText = folder.string();
    std::string program = NCCORE_MUTEX_HELPER;
    std::vector<char*> argv = {program.data(), const_cast<char*>(name.c_str()), folderText.data(),
                               const_cast<char*>(mode), nullptr};
    started_ = ::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
#endif
    EXPECT_TRUE(started_) << "cannot start " << NCCORE_MUTEX_HELPER;
  }
  MutexHelper(const MutexHelper&) = delete;
  MutexHelper& operator=(const MutexHelper&) = delete;
  ~MutexHelper() {
    if (started_ && !ended_) {
      Kill();
    }
#ifdef _WIN32
    if (process_ != nullptr) ::CloseHandle(process_);
#endif
  }

  bool started() const { return started_; }

  void Kill() {
    if (!started_ || ended_) return;
#ifdef _WIN32
    ::TerminateProcess(process_, 9);
#else
    ::kill(pid_, SIGKILL);
#endif
    Join();
  }

  // Waits for the helper to end; its exit code.
  int Join() {
    if (!started_) return -1;
    if (ended_) return exitCode_;
#ifdef _WIN32
    ::WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(process_, &code);
    exitCode_ = static_cast<int>(code);
#else
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0) {
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
    ended_ = true;
    return exitCode_;
  }

 private:
  bool started_ = false;
  bool ended_ = false;
  int exitCode_ = -1;
#ifdef _WIN32
  HANDLE process_ = nullptr;
#else
  pid_t pid_ = 0;
#endif
};
#endif

// A mutex name no other test or test run uses.
inline std::string UniqueMutexName(const char* what) {
#ifdef _WIN32
  unsigned long pid = ::GetCurrentProcessId();
#else
  unsigned long pid = static_cast<unsigned long>(::getpid());
#endif
  static int counter = 0;
  return std::string("NccoreTest-") + what + "-" + std::to_string(pid) + "-" +
         std::to_string(++counter);
}

}  // namespace nc::test

// ---------------------------------------------------------------------------
// The dongle and token tests' common ground: a private machine (settings
// and lock files), the instant test clock, and simulated devices installed
// for the test; the layers' process-wide state is reset afterwards.
#include "carriers/activator.h"
#include "carriers/quadra.h"
#include "platform/clock.h"
#include "platform/exception_guard.h"
#include "platform/named_mutex.h"
#include "testsupport/carriers/simulated_devices.h"

namespace nc::test {

class CarrierTest : public ::testing::Test {
 protected:
  ~CarrierTest() override {
    nc::carriers::QuadraClose();
    nc::carriers::ActivatorClose();
    nc::carriers::ActivatorForgetCalibration();
  }
  PrivateMachine machine_{{"SOFTWARE\\Corvane Technologies\\NCX\\2.0"}};
  nc::platform::InstantClock clock_;
  nc::platform::ScopedClock useClock_{&clock_};
  nc::carriers::SimulatedDevices devices_;
  nc::carriers::ScopedSimulatedDevices installed_{&devices_};
};

// Runs `work` on a thread of its own under the fault guard, then `after`
// on the same thread; true when `work` ended without a fault. The thread
// ends afterwards, as a polling thread would.
template <typename Work, typename After>
bool RunGuardedOnThread(Work work, After after) {
  bool finished = false;
  std::thread thread([&] {
    finished =
        nc::platform::RunGuarded([](void* context) { (*static_cast<Work*>(context))(); }, &work);
    after();
  });
  thread.join();
  return finished;
}

// Opens the named mutex on a new thread and waits for it without waiting
// (timeout 0); releases it if taken. The outcome.
inline nc::platform::MutexWait WaitOnOtherThread(const char* name) {
  nc::platform::MutexWait result = nc::platform::MutexWait::Failed;
  std::thread other([&] {
    nc::platform::NamedMutexHandle mutex = nc::platform::CreateNamedMutex(name);
    result = nc::platform::WaitNamedMutex(mutex, 0);
    if (result == nc::platform::MutexWait::Acquired ||
        result == nc::platform::MutexWait::Abandoned) {
      nc::platform::ReleaseNamedMutex(mutex);
    }
    nc::platform::CloseNamedMutex(mutex);
  });
  other.join();
  return result;
}

// Holds a named mutex on a thread of its own until Release() (or the end of
// the object), as another user of a dongle would.
class MutexHolder {
 public:
  explicit MutexHolder(const char* name) : mutex_(nc::platform::CreateNamedMutex(name)) {
    thread_ = std::thread([this] {
      nc::platform::MutexWait wait = nc::platform::WaitNamedMutex(mutex_, 0);
      bool taken =
          wait == nc::platform::MutexWait::Acquired || wait == nc::platform::MutexWait::Abandoned;
      state_ = taken ? 1 : 2;
      while (!done_) std::this_thread::yield();
      if (taken) nc::platform::ReleaseNamedMutex(mutex_);
    });
    while (state_ == 0) std::this_thread::yield();
  }
  MutexHolder(const MutexHolder&) = delete;
  MutexHolder& operator=(const MutexHolder&) = delete;
  ~MutexHolder() {
    Release();
    nc::platform::CloseNamedMutex(mutex_);
  }
  // Whether the holder got the mutex.
  bool held() const { return state_ == 1; }
  void Release() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  nc::platform::NamedMutexHandle mutex_;
  std::atomic<int> state_{0};  // 0 trying, 1 holding, 2 failed
  std::atomic<bool> done_{false};
  std::thread thread_;
};

// A clock that sleeps for real and counts the sleeps: a test can see that a
// wait is in progress without measuring it.
class CountingClock : public nc::platform::Clock {
 public:
  std::uint64_t NowMs() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now().time_since_epoch())
                                          .count());
  }
  void SleepMs(std::uint32_t ms) override {
    ++sleeps_;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
  std::uint64_t sleeps() const { return sleeps_.load(); }

 private:
  std::atomic<std::uint64_t> sleeps_{0};
};

}  // namespace nc::test
