#include "tools/nccore/host_flags.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string_view>

#include "tools/nccore/carriers_flag.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// after windows.h
#include <io.h>
#include <shellapi.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace nc::host {

namespace {

struct FlagInfo {
  const char* name;
  std::string HostFlags::*value;
  const char* what;  // what the value is, for messages
};

constexpr FlagInfo kFlags[] = {
    {"--password-file", &HostFlags::passwordFile, "a file name"},
    {"--password-fd", &HostFlags::passwordFd, "a descriptor number"},
    {"--password-encoding", &HostFlags::passwordEncoding, "an encoding (utf-8 or cp1251)"},
    {"--carriers", &HostFlags::carriers, "a file name"},
};

// The encoding of password lines when no flag names one: what the
// platform's text files are usually written in.
#ifdef _WIN32
constexpr const char* kDefaultPasswordEncoding = "cp1251";
#else
constexpr const char* kDefaultPasswordEncoding = "utf-8";
#endif

// A decimal number without sign that fits an int.
bool ParseDescriptor(const std::string& text, int* number) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *number = value;
  return true;
}

bool SetVariable(const char* name, const std::string& value) {
#ifdef _WIN32
  // Both the C runtime's copy and the process environment, whichever the
  // library reads.
  return _putenv_s(name, value.c_str()) == 0 && ::SetEnvironmentVariableA(name, value.c_str());
#else
  return ::setenv(name, value.c_str(), 1) == 0;
#endif
}

#ifdef _WIN32

std::string SystemMessage(DWORD code) {
  char text[256] = "";
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                        text[length - 1] == ' ' || text[length - 1] == '.'))
    text[--length] = '\0';
  return length > 0 ? std::string(text) : "error " + std::to_string(code);
}

// The text of argument `index` from character `skip` on, exactly as typed,
// in UTF-16 from the wide command line; when that cannot be had (index -1),
// `narrow` read as UTF-8, else in the ANSI code page.
std::wstring WideArgument(int index, std::size_t skip, const char* narrow) {
  int count = 0;
  if (index < 0) {
    // no argument to look up
  } else if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count); wide != nullptr) {
    std::wstring out;
    bool found = index < count && std::wcslen(wide[index]) >= skip;
    if (found) out = wide[index] + skip;
    ::LocalFree(wide);
    if (found) return out;
  }
  for (UINT codePage : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    DWORD strict = codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    int length = ::MultiByteToWideChar(codePage, strict, narrow, -1, nullptr, 0);
    if (length <= 0) continue;
    std::wstring out(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, strict, narrow, -1, out.data(), length);
    out.resize(static_cast<std::size_t>(length - 1));
    return out;
  }
  return std::wstring();
}

void __cdecl IgnoreInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned int,
                                    uintptr_t) {}

// Opens the password source; its HANDLE value in decimal goes to `value`.
// A handle opened here stays open for the whole run.
bool OpenPasswordSource(const HostFlags& flags, std::string* value, std::string* error) {
  if (!flags.passwordFile.empty()) {
    std::wstring name =
        WideArgument(flags.passwordFileIndex, flags.passwordFileSkip, flags.passwordFile.c_str());
    HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      *error = "--password-file " + flags.passwordFile +
               ": cannot open: " + SystemMessage(::GetLastError());
      return false;
    }
    *value = std::to_string(reinterpret_cast<std::uintptr_t>(handle));
    return true;
  }
  int fd = 0;
  if (!ParseDescriptor(flags.passwordFd, &fd)) {
    *error = "--password-fd " + flags.passwordFd + ": not a descriptor number";
    return false;
  }
  // A C runtime that checks its arguments would end the process on a bad
  // descriptor; here it is only refused.
  _invalid_parameter_handler previous = _set_invalid_parameter_handler(IgnoreInvalidParameter);
  intptr_t handle = _get_osfhandle(fd);
  _set_invalid_parameter_handler(previous);
  if (handle == -1 || handle == -2) {
    *error = "--password-fd " + flags.passwordFd + ": not an open descriptor";
    return false;
  }
  *value = std::to_string(static_cast<std::uintptr_t>(handle));
  return true;
}

void ClosePasswordSource(const HostFlags& flags, const std::string& value) {
  if (flags.passwordFile.empty()) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(std::strtoull(value.c_str(), nullptr, 10)));
}

#else  // POSIX

// Opens the password source; its descriptor number goes to `value`. A
// descriptor opened here stays open for the whole run.
bool OpenPasswordSource(const HostFlags& flags, std::string* value, std::string* error) {
  if (!flags.passwordFile.empty()) {
    int fd = ::open(flags.passwordFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = "--password-file " + flags.passwordFile + ": cannot open: " + std::strerror(errno);
      return false;
    }
    struct stat info {};
    bool known = ::fstat(fd, &info) == 0;
    if (known && S_ISDIR(info.st_mode)) {
      ::close(fd);
      *error = "--password-file " + flags.passwordFile + ": is a folder";
      return false;
    }
    if (known && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0) {
      std::fprintf(stderr,
                   "nccore: warning: others may read the password file %s; "
                   "keep it readable only by you (chmod 600)\n",
                   flags.passwordFile.c_str());
    }
    *value = std::to_string(fd);
    return true;
  }
  int fd = 0;
  if (!ParseDescriptor(flags.passwordFd, &fd)) {
    *error = "--password-fd " + flags.passwordFd + ": not a descriptor number";
    return false;
  }
  int status = ::fcntl(fd, F_GETFL);
  if (status == -1) {
    *error = "--password-fd " + flags.passwordFd + ": not an open descriptor";
    return false;
  }
  if ((status & O_ACCMODE) == O_WRONLY) {
    *error = "--password-fd " + flags.passwordFd + ": not open for reading";
    return false;
  }
  *value = flags.passwordFd;
  return true;
}

void ClosePasswordSource(const HostFlags& flags, const std::string& value) {
  if (!flags.passwordFile.empty()) ::close(std::atoi(value.c_str()));
}

#endif

}  // namespace

bool ParseHostFlags(int argc, char** argv, HostFlags* flags, int* next, std::string* error) {
  int i = 1;
  for (; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      flags->help = true;
      continue;
    }
    if (argument == "--version") {
      flags->version = true;
      continue;
    }
    if (argument == "--self-test") {
      flags->selfTest = true;
      continue;
    }
    if (argument.size() < 2 || argument.substr(0, 2) != "--") break;  // the operation
    const FlagInfo* flag = nullptr;
    std::string value;
    bool hasValue = false;
    for (const FlagInfo& candidate : kFlags) {
      std::string_view name = candidate.name;
      if (argument == name) {
        flag = &candidate;
      } else if (argument.size() > name.size() && argument.substr(0, name.size()) == name &&
                 argument[name.size()] == '=') {
        flag = &candidate;
        value = std::string(argument.substr(name.size() + 1));
        hasValue = true;
      }
      if (flag != nullptr) break;
    }
    if (flag == nullptr) {
      *error = "unknown host flag '" + std::string(argument) + "'";
      return false;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        *error = std::string(flag->name) + " needs " + flag->what;
        return false;
      }
      value = argv[++i];
    }
    if (value.empty()) {
      *error = std::string(flag->name) + " needs " + flag->what + ", not an empty text";
      return false;
    }
    std::string& slot = flags->*(flag->value);
    if (!slot.empty()) {
      *error = std::string(flag->name) + " is given twice";
      return false;
    }
    slot = value;
    if (flag->value == &HostFlags::passwordFile) {
      flags->passwordFileIndex = i;
      flags->passwordFileSkip = hasValue ? std::strlen(flag->name) + 1 : 0;
    }
  }
  if (!flags->passwordFile.empty() && !flags->passwordFd.empty()) {
    *error = "--password-file and --password-fd exclude each other";
    return false;
  }
  if (!flags->passwordEncoding.empty()) {
    if (flags->passwordEncoding != "utf-8" && flags->passwordEncoding != "cp1251") {
      *error =
          "--password-encoding " + flags->passwordEncoding + ": unknown encoding (utf-8 or cp1251)";
      return false;
    }
    if (flags->passwordFile.empty() && flags->passwordFd.empty()) {
      *error = "--password-encoding needs --password-file or --password-fd";
      return false;
    }
  }
  *next = i;
  return true;
}

bool ApplyHostFlags(const HostFlags& flags, std::string* error) {
  if (!flags.carriers.empty() && !UseSimulatedCarriers(flags.carriers, error)) return false;
  std::string source;
  if (!flags.passwordFile.empty() || !flags.passwordFd.empty()) {
    if (!OpenPasswordSource(flags, &source, error)) return false;
  }
  bool set = true;
  if (!source.empty()) {
    // Always named, so that a value inherited from the caller's environment
    // cannot change how the lines are read.
    set = SetVariable("NCCORE_PASSWORD_FD", source) &&
          SetVariable("NCCORE_PASSWORD_ENCODING", flags.passwordEncoding.empty()
                                                      ? kDefaultPasswordEncoding
                                                      : flags.passwordEncoding);
  }
  if (!set) {
    if (!source.empty()) ClosePasswordSource(flags, source);
    *error = "cannot set the environment";
    return false;
  }
  return true;
}

}  // namespace nc::host
