#include "tools/nccore/program_arguments.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// after windows.h
#include <shellapi.h>
#endif

namespace nc::host {

#ifdef _WIN32

namespace {

constexpr UINT kLibraryCodePage = 1251;

// UTF-16 to code page 1251 with no best-fit guesses; false when a character
// has no place in the code page.
bool To1251(const wchar_t* wide, std::string* out) {
  BOOL lossy = FALSE;
  int length = ::WideCharToMultiByte(kLibraryCodePage, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0,
                                     nullptr, &lossy);
  if (length <= 0 || lossy) return false;
  out->assign(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(kLibraryCodePage, WC_NO_BEST_FIT_CHARS, wide, -1, out->data(), length,
                        nullptr, &lossy);
  out->resize(static_cast<std::size_t>(length - 1));
  return !lossy;
}

}  // namespace

bool ProgramArguments(int argc, char** argv, std::vector<std::string>* arguments,
                      std::string* error) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr || count != argc) {
    // The C runtime split the line another way: take its arguments as they are.
    if (wide != nullptr) ::LocalFree(wide);
    arguments->assign(argv, argv + argc);
    return true;
  }
  arguments->assign(static_cast<std::size_t>(count), std::string());
  bool ok = true;
  for (int i = 0; i < count && ok; ++i) {
    if (!To1251(wide[i], &(*arguments)[static_cast<std::size_t>(i)])) {
      *error = "argument " + std::to_string(i) +
               " holds a character that code page 1251 has no place for";
      ok = false;
    }
  }
  ::LocalFree(wide);
  return ok;
}

#else

bool ProgramArguments(int argc, char** argv, std::vector<std::string>* arguments, std::string*) {
  arguments->assign(argv, argv + argc);
  return true;
}

#endif

}  // namespace nc::host
