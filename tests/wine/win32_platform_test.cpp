// Tests of the Win32 platform layer: the fault guard, files with code page
// 1251 names, the string table in the resources, and the two user-interface
// backends, and the rights the settings ask of the registry. Run under Wine
// (with a display for the message boxes).
//
//   win32_tests.exe [gtest options]
//   win32_tests.exe --ask-console <hex>   (child process of the console test)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/exception_guard.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/settings.h"
#include "platform/string_table.h"
#include "platform/ui.h"
#include "platform/win32/module.h"
#include "platform/win32/windows_api.h"
// after windows.h
#include <sddl.h>

namespace {

using nc::platform::RunGuarded;
namespace platform = nc::platform;

// ============================================================================
// Fault guard
// ============================================================================

volatile std::uintptr_t g_badAddress = 0x10;  // volatile: the compiler must not see the fault
volatile LONG g_observedCode = 0;
volatile LONG g_unwindCalls = 0;

LONG CALLBACK ObserveCode(EXCEPTION_POINTERS* info) {
  g_observedCode = static_cast<LONG>(info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_CONTINUE_SEARCH;
}

void WriteWild() { *reinterpret_cast<volatile int*>(g_badAddress) = 1; }
void ReadWild() { (void)*reinterpret_cast<volatile int*>(g_badAddress); }
void ExecuteUd2() { asm volatile("ud2"); }
void RaiseAccessViolation() { ::RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr); }

struct Fault {
  const char* name;
  void (*raise)();
  DWORD code;
};

const Fault kFaults[] = {
    {"write to a wild address", WriteWild, EXCEPTION_ACCESS_VIOLATION},
    {"read from a wild address", ReadWild, EXCEPTION_ACCESS_VIOLATION},
    {"illegal instruction", ExecuteUd2, EXCEPTION_ILLEGAL_INSTRUCTION},
    {"raised access violation", RaiseAccessViolation, EXCEPTION_ACCESS_VIOLATION},
};

TEST(FaultGuard, CatchesAccessViolationsAndIllegalInstructions) {
  for (const Fault& fault : kFaults) {
    SCOPED_TRACE(fault.name);
    // The observer is registered inside the region, so it sees the fault
    // before the guard does and records its code.
    struct Trial {
      const Fault* fault;
      void* observer;
    } trial = {&fault, nullptr};
    g_observedCode = 0;
    ::SetLastError(0);
    bool returned = platform::RunGuarded(
        [](void* context) {
          auto* t = static_cast<Trial*>(context);
          t->observer = ::AddVectoredExceptionHandler(1, ObserveCode);
          ::SetLastError(1305);
          t->fault->raise();
        },
        &trial);
    ::RemoveVectoredExceptionHandler(trial.observer);
    EXPECT_FALSE(returned);
    EXPECT_EQ(static_cast<DWORD>(g_observedCode), fault.code);
    EXPECT_EQ(::GetLastError(), 1305u) << "the last error set before the fault is kept";
  }
}

TEST(FaultGuard, WorkThatReturnsKeepsItsLastError) {
  int ran = 0;
  EXPECT_TRUE(platform::RunGuarded(
      [](void* context) {
        ++*static_cast<int*>(context);
        ::SetLastError(1392);
      },
      &ran));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(::GetLastError(), 1392u);
}

// Exceptions the guard does not take reach the host's handlers; this one is
// registered last and lets the raise return.
constexpr ULONG_PTR kMarker = 0x4E43;
volatile LONG g_passedOn = 0;

LONG CALLBACK HostHandler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->NumberParameters != 1 || record->ExceptionInformation[0] != kMarker)
    return EXCEPTION_CONTINUE_SEARCH;
  g_passedOn = static_cast<LONG>(record->ExceptionCode);
  return EXCEPTION_CONTINUE_EXECUTION;
}

class HostHandlerScope {
 public:
  HostHandlerScope() : handle_(::AddVectoredExceptionHandler(0, HostHandler)) {}
  ~HostHandlerScope() { ::RemoveVectoredExceptionHandler(handle_); }

 private:
  void* handle_;
};

void RaiseMarked(DWORD code) {
  ULONG_PTR marker = kMarker;
  ::RaiseException(code, 0, 1, &marker);
}

TEST(FaultGuard, OtherExceptionsGoOnToTheHost) {
  HostHandlerScope host;
  for (DWORD code : {DWORD{EXCEPTION_INT_DIVIDE_BY_ZERO}, DWORD{EXCEPTION_STACK_OVERFLOW},
                     DWORD{EXCEPTION_PRIV_INSTRUCTION}, DWORD{0xE0434352}}) {
    SCOPED_TRACE(code);
    g_passedOn = 0;
    DWORD raised = code;
    EXPECT_TRUE(
        platform::RunGuarded([](void* c) { RaiseMarked(*static_cast<DWORD*>(c)); }, &raised));
    EXPECT_EQ(static_cast<DWORD>(g_passedOn), code);
  }
}

TEST(FaultGuard, FaultsOnThreadsOutsideARegionGoOnToTheHost) {
  HostHandlerScope host;
  HANDLE inside = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  struct Events {
    HANDLE inside, release;
  } events = {inside, release};
  bool guardedReturned = true;
  std::thread guarded([&] {
    guardedReturned = platform::RunGuarded(
        [](void* c) {
          auto* e = static_cast<Events*>(c);
          ::SetEvent(e->inside);
          ::WaitForSingleObject(e->release, INFINITE);
          WriteWild();
        },
        &events);
  });
  ::WaitForSingleObject(inside, INFINITE);
  // This thread is outside any region while the other one is inside.
  g_passedOn = 0;
  RaiseMarked(EXCEPTION_ACCESS_VIOLATION);
  EXPECT_EQ(static_cast<DWORD>(g_passedOn), DWORD{EXCEPTION_ACCESS_VIOLATION});
  ::SetEvent(release);
  guarded.join();
  EXPECT_FALSE(guardedReturned);
  ::CloseHandle(inside);
  ::CloseHandle(release);
}

TEST(FaultGuard, NestedRegionsRecoverToTheInnermost) {
  std::vector<int> trace;
  bool outer = platform::RunGuarded(
      [](void* c) {
        auto* t = static_cast<std::vector<int>*>(c);
        t->push_back(1);
        t->push_back(platform::RunGuarded([](void*) { ExecuteUd2(); }, nullptr) ? 10 : 20);
        t->push_back(platform::RunGuarded([](void*) {}, nullptr) ? 30 : 40);
        WriteWild();
        t->push_back(99);
      },
      &trace);
  EXPECT_FALSE(outer);
  EXPECT_EQ(trace, (std::vector<int>{1, 20, 30}));
  EXPECT_TRUE(platform::RunGuarded([](void*) {}, nullptr)) << "no region is left active";
}

TEST(FaultGuard, ManyThreadsAtOnce) {
  std::vector<std::thread> threads;
  std::vector<int> caught(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&caught, t] {
      for (int i = 0; i < 50; ++i) {
        nc::platform::GuardedWork read = [](void*) { ReadWild(); };
        nc::platform::GuardedWork ud2 = [](void*) { ExecuteUd2(); };
        bool returned = platform::RunGuarded(i % 2 ? read : ud2, nullptr);
        caught[t] += !returned;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(caught, (std::vector<int>{50, 50, 50, 50}));
}

#if defined(__i386__)
// Structured exception frames registered inside the region (as Windows code
// does on 32-bit x86; x86_64 finds its handlers through tables) are unwound, their handlers called
// with the unwinding flag, and the thread's frame chain is back where it was at entry.
EXCEPTION_DISPOSITION NTAPI RecordUnwind(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if (record->ExceptionFlags & EXCEPTION_UNWINDING) ::InterlockedIncrement(&g_unwindCalls);
  return ExceptionContinueSearch;
}

// The thread's frame chain head, at FS:0.
EXCEPTION_REGISTRATION_RECORD* FrameChain() {
  EXCEPTION_REGISTRATION_RECORD* frames;
  asm volatile("movl %%fs:0, %0" : "=r"(frames));
  return frames;
}

void SetFrameChain(EXCEPTION_REGISTRATION_RECORD* frames) {
  asm volatile("movl %0, %%fs:0" : : "r"(frames) : "memory");
}

TEST(FaultGuard, UnwindsFramesRegisteredInsideTheRegion) {
  EXCEPTION_REGISTRATION_RECORD* before = FrameChain();
  g_unwindCalls = 0;
  bool returned = RunGuarded(
      [](void*) {
        EXCEPTION_REGISTRATION_RECORD frames[2];
        for (EXCEPTION_REGISTRATION_RECORD& frame : frames) {
          frame.Next = FrameChain();
          frame.Handler = RecordUnwind;
          SetFrameChain(&frame);
        }
        WriteWild();
      },
      nullptr);
  EXPECT_FALSE(returned);
  EXPECT_EQ(g_unwindCalls, 2);
  EXPECT_EQ(FrameChain(), before);
}
#endif

// ============================================================================
// Files
// ============================================================================

// A scratch folder of its own for each test, removed afterwards.
class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = std::wstring(temp) + L"nc-win32-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(++counter_);
    ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    // The same folder as a code page 1251 name (it is ASCII).
    for (wchar_t c : folder_) narrowFolder_.push_back(static_cast<char>(c));
  }
  void TearDown() override {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") ::DeleteFileW((folder_ + L"\\" + name).c_str());
      } while (::FindNextFileW(search, &found));
      ::FindClose(search);
    }
    ::RemoveDirectoryW(folder_.c_str());
  }
  std::string Path(const char* name) const { return narrowFolder_ + "\\" + name; }
  std::wstring WidePath(const wchar_t* name) const { return folder_ + L"\\" + name; }
  bool Write(const char* name, const std::string& bytes) const {
    platform::ScopedFile file(platform::CreateAlways(Path(name).c_str()));
    std::uint32_t done = 0;
    return file.valid() &&
           platform::WriteFile(file.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                               &done) &&
           done == bytes.size();
  }
  std::string Read(const char* name) const {
    platform::ScopedFile file(platform::OpenForRead(Path(name).c_str()));
    std::string bytes(4096, '\0');
    std::uint32_t done = 0;
    if (!file.valid() || !platform::ReadFile(file.get(), bytes.data(), 4096, &done))
      return "<failed>";
    bytes.resize(done);
    return bytes;
  }

  std::wstring folder_;
  std::string narrowFolder_;
  static inline int counter_ = 0;
};

TEST_F(Files, NamesAreCodePage1251WhateverTheAnsiCodePage) {
  const char* name = "\xD4\xE0\xE9\xEB \xF2\xE5\xF1\xF2.txt";  // "Файл тест.txt" in 1251
  ASSERT_TRUE(Write(name, "abc"));
  EXPECT_NE(::GetFileAttributesW(
                WidePath(L"\u0424\u0430\u0439\u043b \u0442\u0435\u0441\u0442.txt").c_str()),
            INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(platform::FileExists(Path(name).c_str()));
  EXPECT_EQ(Read(name), "abc");
  EXPECT_TRUE(platform::DeleteFile(Path(name).c_str()));
  EXPECT_FALSE(platform::FileExists(Path(name).c_str()));
}

TEST_F(Files, FailuresCarryTheWindowsCodes) {
  ASSERT_TRUE(Write("there", "x"));
  std::string missing = Path("missing");
  std::string there = Path("there");
  struct Case {
    const char* what;
    bool (*call)(const std::string& missing, const std::string& there, const std::string& folder);
    std::uint32_t error;
  };
  const Case cases[] = {
      {"open a missing file",
       [](const std::string& m, const std::string&, const std::string&) {
         return platform::OpenForRead(m.c_str()) != platform::kInvalidFile;
       },
       platform::kErrorFileNotFound},
      {"create a new file over an existing one",
       [](const std::string&, const std::string& t, const std::string&) {
         return platform::CreateNewFile(t.c_str(), false) != platform::kInvalidFile;
       },
       platform::kErrorFileExists},
      {"open a folder",
       [](const std::string&, const std::string&, const std::string& f) {
         return platform::OpenForRead(f.c_str()) != platform::kInvalidFile;
       },
       platform::kErrorAccessDenied},
      {"open a device",
       [](const std::string&, const std::string&, const std::string&) {
         return platform::OpenForRead("NUL") != platform::kInvalidFile;
       },
       platform::kErrorAccessDenied},
      {"delete a missing file",
       [](const std::string& m, const std::string&, const std::string&) {
         return platform::DeleteFile(m.c_str());
       },
       platform::kErrorFileNotFound},
      {"rename a missing file",
       [](const std::string& m, const std::string& t, const std::string&) {
         return platform::ReplaceFile(m.c_str(), t.c_str());
       },
       platform::kErrorFileNotFound},
      {"rename onto an existing file without replacing it",
       [](const std::string&, const std::string& t, const std::string& f) {
         std::string from = f + "\\moved";
         platform::ScopedFile made(platform::CreateNewFile(from.c_str(), false));
         made.Close();
         bool renamed = platform::RenameWithoutReplacing(from.c_str(), t.c_str());
         std::uint32_t error = platform::GetLastErrorCode();
         platform::DeleteFile(from.c_str());
         platform::SetLastErrorCode(error);
         return renamed;
       },
       platform::kErrorAlreadyExists},
      {"write an output over a folder",
       [](const std::string&, const std::string&, const std::string& f) {
         std::string target;
         bool exists = false;
         return platform::FindOutputTarget(f.c_str(), &target, &exists);
       },
       platform::kErrorAccessDenied},
      {"open a name longer than the platform's",
       [](const std::string&, const std::string&, const std::string& f) {
         std::string name = f + "\\" + std::string(platform::kMaxPath, 'n');
         return platform::OpenForRead(name.c_str()) != platform::kInvalidFile;
       },
       platform::kErrorPathNotFound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    platform::SetLastErrorCode(0);
    EXPECT_FALSE(c.call(missing, there, narrowFolder_));
    EXPECT_EQ(platform::GetLastErrorCode(), c.error);
  }
}

TEST_F(Files, ReadsAreShortOnlyAtTheEnd) {
  ASSERT_TRUE(Write("ten", "0123456789"));
  platform::ScopedFile file(platform::OpenForRead(Path("ten").c_str()));
  ASSERT_TRUE(file.valid());
  char buffer[64];
  std::uint32_t done = 99;
  EXPECT_TRUE(platform::ReadFile(file.get(), buffer, 4, &done));
  EXPECT_EQ(done, 4u);
  EXPECT_TRUE(platform::ReadFile(file.get(), buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 6u);
  EXPECT_EQ(std::string(buffer, 6), "456789");
  EXPECT_TRUE(platform::ReadFile(file.get(), buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);
}

TEST_F(Files, SizesAndPositionsAre64Bit) {
  platform::ScopedFile file(platform::CreateAlways(Path("big").c_str()));
  ASSERT_TRUE(file.valid());
  const std::uint64_t big = (std::uint64_t{5} << 30) + 3;  // beyond 32 bits, sparse
  std::uint64_t at = 0;
  ASSERT_TRUE(platform::SeekFile(file.get(), static_cast<std::int64_t>(big),
                                 platform::SeekOrigin::Begin, &at));
  EXPECT_EQ(at, big);
  ASSERT_TRUE(platform::SetEndOfFile(file.get()));
  std::uint64_t size = 0;
  ASSERT_TRUE(platform::GetFileSize(file.get(), &size));
  EXPECT_EQ(size, big);
  ASSERT_TRUE(platform::SeekFile(file.get(), -3, platform::SeekOrigin::End, &at));
  EXPECT_EQ(at, big - 3);
  ASSERT_TRUE(platform::SeekFile(file.get(), 1, platform::SeekOrigin::Current, &at));
  EXPECT_EQ(at, big - 2);
  ASSERT_TRUE(platform::SetEndOfFile(file.get()));
  ASSERT_TRUE(platform::GetFileSize(file.get(), &size));
  EXPECT_EQ(size, big - 2);
  EXPECT_TRUE(platform::FlushFile(file.get()));
}

TEST_F(Files, CreateAlwaysTruncatesAndReplaceFileReplaces) {
  ASSERT_TRUE(Write("a", "old contents"));
  ASSERT_TRUE(Write("a", "new"));
  EXPECT_EQ(Read("a"), "new");
  ASSERT_TRUE(Write("b", "replacement"));
  EXPECT_TRUE(platform::ReplaceFile(Path("b").c_str(), Path("a").c_str()));
  EXPECT_EQ(Read("a"), "replacement");
  EXPECT_FALSE(platform::FileExists(Path("b").c_str()));
}

TEST_F(Files, OpenFilesShareReadingOnly) {
  ASSERT_TRUE(Write("f", "x"));
  platform::ScopedFile reader(platform::OpenForRead(Path("f").c_str()));
  ASSERT_TRUE(reader.valid());
  platform::ScopedFile second(platform::OpenForRead(Path("f").c_str()));
  EXPECT_TRUE(second.valid()) << "readers share";
  platform::ScopedFile writer(platform::CreateAlways(Path("f").c_str()));
  EXPECT_FALSE(writer.valid()) << "no writer while reading";
  reader.Close();
  second.Close();
  platform::ScopedFile exclusive(platform::CreateAlways(Path("f").c_str()));
  ASSERT_TRUE(exclusive.valid());
  platform::ScopedFile blocked(platform::OpenForRead(Path("f").c_str()));
  EXPECT_FALSE(blocked.valid()) << "a file being written is not shared";
}

TEST_F(Files, CloseKeepsTheLastError) {
  platform::FileHandle file = platform::CreateNewFile(Path("c").c_str(), false);
  ASSERT_NE(file, platform::kInvalidFile);
  platform::SetLastErrorCode(platform::kErrorFileCorrupt);
  platform::CloseFile(file);
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileCorrupt);
}

// Access goes to the current user alone (and to the system account, which
// Wine adds to every file's list it reports); nobody else is listed.
TEST_F(Files, OwnerOnlyFilesGrantTheCurrentUserAlone) {
  platform::ScopedFile file(platform::CreateNewFile(Path("secret").c_str(), true));
  ASSERT_TRUE(file.valid());
  file.Close();
  EXPECT_EQ(Read("secret"), "") << "the owner can open it";

  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  std::vector<unsigned char> user(256);
  DWORD userSize = 0;
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), 256, &userSize));
  ::CloseHandle(token);
  PSID userSid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID systemSid = nullptr;
  ASSERT_TRUE(::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0,
                                         &systemSid));

  DWORD size = 0;
  std::wstring path = WidePath(L"secret");
  ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<unsigned char> descriptor(size);
  ASSERT_TRUE(
      ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size));
  BOOL present = FALSE, defaulted = FALSE;
  ACL* acl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl != nullptr) << "a missing list would grant everyone";
  bool userListed = false;
  for (WORD i = 0; i < acl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    PSID sid = &ace->SidStart;
    if (::EqualSid(sid, userSid)) {
      userListed = true;
      EXPECT_EQ(ace->Mask & FILE_ALL_ACCESS, DWORD{FILE_ALL_ACCESS});
    } else {
      EXPECT_TRUE(::EqualSid(sid, systemSid)) << "entry " << i << " grants someone else";
    }
  }
  EXPECT_TRUE(userListed);
  ::FreeSid(systemSid);
}

// ============================================================================
// Settings: registry rights
// ============================================================================

// A key under HKEY_LOCAL_MACHINE that everyone may read and nobody may
// write, as the Touch Memory driver's parameters are for a normal user.
// Its values are written before the key is locked; it is unlocked and
// removed afterwards.
class ReadOnlySettings : public ::testing::Test {
 protected:
  ReadOnlySettings()
      : key_("SOFTWARE\\NCCORE-tests\\ReadOnly-" + std::to_string(::GetCurrentProcessId())) {}
  void SetUp() override {
    ASSERT_TRUE(platform::WriteSettingDword(key_.c_str(), "AdpType", 9));
    ASSERT_TRUE(platform::WriteSettingText(key_.c_str(), "Port", "COM2"));
    // Read rights (KR) for everyone; the right to change the list (WD) and
    // to delete (SD) only so that the test can clean up.
    Secure(L"D:P(A;;KR;;;WD)(A;;WDSD;;;WD)");
  }
  void TearDown() override {
    Secure(L"D:P(A;;KA;;;WD)");
    platform::DeleteSettingsKey("SOFTWARE\\NCCORE-tests");
  }
  void Secure(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    HKEY handle = nullptr;
    std::wstring path(key_.begin(), key_.end());
    ASSERT_EQ(::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &handle),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetKeySecurity(handle, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    ::RegCloseKey(handle);
    ::LocalFree(descriptor);
  }
  LONG OpenWith(REGSAM access) {
    HKEY handle = nullptr;
    std::wstring path(key_.begin(), key_.end());
    LONG status = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &handle);
    if (status == ERROR_SUCCESS) ::RegCloseKey(handle);
    return status;
  }
  std::string key_;
};

// The Touch Memory library's way in (create the key when missing, then read
// its values) works on a key the user may only read: every read asks for
// query rights alone. Asking for full access, as before, fails here.
TEST_F(ReadOnlySettings, ReadsAskOnlyForQueryRights) {
  ASSERT_EQ(OpenWith(KEY_ALL_ACCESS), ERROR_ACCESS_DENIED) << "the key is not locked";
  ASSERT_EQ(OpenWith(KEY_QUERY_VALUE), ERROR_SUCCESS);

  const char* key = key_.c_str();
  std::uint32_t type = 0;
  std::string port;
  struct Case {
    const char* call;
    bool result, expected;
  };
  const Case cases[] = {
      {"CreateSettingsKey", platform::CreateSettingsKey(key), true},
      {"SettingsKeyExists", platform::SettingsKeyExists(key), true},
      {"ReadSettingDword", platform::ReadSettingDword(key, "AdpType", &type), true},
      {"ReadSettingText", platform::ReadSettingText(key, "Port", &port), true},
      {"ReadSettingDword of a missing value", platform::ReadSettingDword(key, "TMEX", nullptr),
       false},
      // Writing is what the lock forbids: refused, and nothing changes.
      {"WriteSettingDword", platform::WriteSettingDword(key, "SSI_ACT", 10), false},
      {"WriteSettingText", platform::WriteSettingText(key, "Port", "COM3"), false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.call;
  EXPECT_EQ(type, 9u);
  EXPECT_EQ(port, "COM2");
  EXPECT_FALSE(platform::ReadSettingDword(key, "SSI_ACT", nullptr));
}

// ============================================================================
// String table
// ============================================================================

std::string To1251(const std::wstring& wide) {
  int size = ::WideCharToMultiByte(1251, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                   nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(1251, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
  return out;
}

std::wstring FromUtf8(const std::string& text) {
  int size =
      ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

TEST(StringTable, EveryTextOfTheSourceTableLoadsInCodePage1251) {
  std::ifstream in(NCCORE_STRINGS_TXT, std::ios::binary);
  ASSERT_TRUE(in) << NCCORE_STRINGS_TXT;
  std::string line;
  int checked = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    int id = std::stoi(line.substr(0, tab));
    std::string text = line.substr(tab + 1);
    for (std::size_t at; (at = text.find("\\n")) != std::string::npos;) text.replace(at, 2, "\n");
    EXPECT_EQ(nc::platform::LoadText(id), To1251(FromUtf8(text))) << "id " << id;
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(StringTable, KnownTextsByteForByte) {
  struct Known {
    int id;
    const char* bytes;
  };
  const Known known[] = {
      // "00: Операция выполнена успешно"
      {1000,
       "00: \xCE\xEF\xE5\xF0\xE0\xF6\xE8\xFF \xE2\xFB\xEF\xEE\xEB\xED\xE5\xED\xE0 "
       "\xF3\xF1\xEF\xE5\xF8\xED\xEE"},
      // "02: Ошибка чтения файла: " with its trailing blank
      {1002, "02: \xCE\xF8\xE8\xE1\xEA\xE0 \xF7\xF2\xE5\xED\xE8\xFF \xF4\xE0\xE9\xEB\xE0: "},
      // "Файл " and " уже существует. Перезаписать файл?"
      {10001, "\xD4\xE0\xE9\xEB "},
      {10002,
       " \xF3\xE6\xE5 \xF1\xF3\xF9\xE5\xF1\xF2\xE2\xF3\xE5\xF2. "
       "\xCF\xE5\xF0\xE5\xE7\xE0\xEF\xE8\xF1\xE0\xF2\xFC \xF4\xE0\xE9\xEB?"},
      // "Сравнение содержимого файла:\n     %s\nс содержимым файла:\n     %s"
      {2014,
       "\xD1\xF0\xE0\xE2\xED\xE5\xED\xE8\xE5 \xF1\xEE\xE4\xE5\xF0\xE6\xE8\xEC\xEE\xE3\xEE "
       "\xF4\xE0\xE9\xEB\xE0:\n     %s\n\xF1 \xF1\xEE\xE4\xE5\xF0\xE6\xE8\xEC\xFB\xEC "
       "\xF4\xE0\xE9\xEB\xE0:\n     %s"},
      {113, ""},  // not in the table
  };
  for (const Known& k : known) EXPECT_EQ(nc::platform::LoadText(k.id), k.bytes) << "id " << k.id;
}

TEST(StringTable, BufferFormCutsAndTerminates) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(nc::platform::LoadText(1000, buffer, 5), 4u);
  EXPECT_STREQ(buffer, "00: ");
  EXPECT_EQ(nc::platform::LoadText(113, buffer, sizeof buffer), 0u);
  EXPECT_STREQ(buffer, "");
}

TEST(StringTable, TextsComeFromTheModuleHoldingTheCode) {
  EXPECT_EQ(nc::platform::win32::LibraryModule(), ::GetModuleHandleW(nullptr));
  ::SetLastError(1326);
  nc::platform::LoadText(113);
  EXPECT_EQ(::GetLastError(), 1326u) << "loading a text keeps the last error";
}

// ============================================================================
// User interface
// ============================================================================

// Finds the message box titled `caption`, reports its text and presses
// `button`. Runs beside the thread that shows the box.
void PressButton(const std::wstring& caption, int button, std::wstring* text) {
  HWND box = nullptr;
  for (int attempt = 0; attempt < 3000 && box == nullptr; ++attempt) {
    box = ::FindWindowW(L"#32770", caption.c_str());
    if (box == nullptr) ::Sleep(10);
  }
  if (box == nullptr) return;
  wchar_t shown[512] = L"";
  ::GetDlgItemTextW(box, 0xFFFF, shown, 512);  // the message's static control
  *text = shown;
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

TEST(Win32Ui, MessageBoxesShowTheTextsAndReportTheAnswer) {
  // "Вопрос" / "Перезаписать файл?" in code page 1251.
  const char* caption = "\xC2\xEE\xEF\xF0\xEE\xF1";
  const char* question = "\xCF\xE5\xF0\xE5\xE7\xE0\xEF\xE8\xF1\xE0\xF2\xFC \xF4\xE0\xE9\xEB?";
  const std::wstring wideCaption = L"\u0412\u043e\u043f\u0440\u043e\u0441";
  const std::wstring wideQuestion =
      L"\u041f\u0435\u0440\u0435\u0437\u0430\u043f\u0438\u0441\u0430\u0442\u044c "
      L"\u0444\u0430\u0439\u043b?";
  struct Case {
    int button;
    bool yes;
  };
  for (const Case c : {Case{IDYES, true}, Case{IDNO, false}}) {
    std::wstring shown;
    std::thread presser(PressButton, wideCaption, c.button, &shown);
    bool answer = platform::Win32Ui().AskYesNo(nullptr, caption, question);
    presser.join();
    EXPECT_EQ(answer, c.yes) << "button " << c.button;
    EXPECT_EQ(shown, wideQuestion);
  }
  std::wstring shown;
  std::thread presser(PressButton, wideCaption, IDOK, &shown);
  platform::Win32Ui().ShowInfo(nullptr, caption, question);
  presser.join();
  EXPECT_EQ(shown, wideQuestion);
}

// The console backend reads its answer from the console; the question runs
// in a child process whose console input is filled beforehand (or which has
// no console at all), and the child's exit code is the answer.
// The child's input arrives as hex digits of its UTF-8 bytes, so that the
// command line's code page does not matter; "none" means no console.
std::string FromHex(const char* hex) {
  std::string bytes;
  for (; hex[0] != '\0' && hex[1] != '\0'; hex += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex, 2), nullptr, 16)));
  return bytes;
}

std::wstring ToHex(const std::string& bytes) {
  std::wstring hex;
  const wchar_t* digits = L"0123456789abcdef";
  for (unsigned char c : bytes) {
    hex.push_back(digits[c >> 4]);
    hex.push_back(digits[c & 15]);
  }
  return hex;
}

int AskOnConsole(const char* hex) {
  if (std::strcmp(hex, "none") != 0) {
    if (!::AllocConsole()) return 3;
    HANDLE in =
        ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    std::wstring keys = FromUtf8(FromHex(hex));
    std::vector<INPUT_RECORD> records;
    for (wchar_t key : keys) {
      INPUT_RECORD record = {};
      record.EventType = KEY_EVENT;
      record.Event.KeyEvent.bKeyDown = TRUE;
      record.Event.KeyEvent.wRepeatCount = 1;
      record.Event.KeyEvent.uChar.UnicodeChar = key;
      record.Event.KeyEvent.wVirtualKeyCode = key == L'\r' ? VK_RETURN : 0;
      records.push_back(record);
    }
    DWORD written = 0;
    if (in == INVALID_HANDLE_VALUE ||
        !::WriteConsoleInputW(in, records.data(), static_cast<DWORD>(records.size()), &written))
      return 4;
    ::CloseHandle(in);
  }
  return platform::TerminalUi().AskYesNo(nullptr, "caption", "question") ? 1 : 0;
}

DWORD RunChild(const std::string& input) {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --ask-console " +
                         (input == "<none>" ? std::wstring(L"none") : ToHex(input));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process))
    return 100;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 101;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return code;
}

TEST(ConsoleUi, AnswersFromTheConsoleAndNoWithoutOne) {
  struct Case {
    const char* input;  // UTF-8; "<none>": no console at all
    DWORD answer;
  };
  const Case cases[] = {
      {"<none>", 0},
      {"y\r", 1},
      {"  Yes \r", 1},
      {"\xD0\x94\xD0\xB0\r", 1} /* Да */,
      {"\xD0\xB4\r", 1} /* д */,
      {"n\r", 0},
      {"maybe\r", 0},
      {"\r", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(RunChild(c.input), c.answer) << c.input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--ask-console") == 0) return AskOnConsole(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
