#include "platform/win32/startup.h"

#include <commctrl.h>

#include <atomic>
#include <cstring>

#include "platform/win32/keep_last_error.h"
#include "platform/win32/text_convert.h"

namespace nc::platform::win32 {

namespace {

// The generators' texts: length in bits and attempt, then the stages q, Q
// and p. 256 bytes each, as the progress callbacks expect.
constexpr int kFirstStartUpText = 10003;
constexpr int kStartUpTexts = 4;
constexpr std::size_t kStartUpTextSize = 256;
char g_texts[kStartUpTexts][kStartUpTextSize];
std::atomic<bool> g_textsLoaded{false};
std::atomic<bool> g_controlsReady{false};

// A string of the module's STRINGTABLE through the kernel's resource calls
// (LoadString lives in user32, which a DLL's entry point should not need):
// strings are stored in blocks of 16, each a length word and UTF-16 text.
bool LoadStartUpText(HINSTANCE instance, int id, char* buffer, std::size_t size) {
  buffer[0] = '\0';
  HRSRC found =
      ::FindResourceW(instance, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6) /* RT_STRING */);
  if (found == nullptr) return false;
  HGLOBAL loaded = ::LoadResource(instance, found);
  const auto* at = static_cast<const WORD*>(loaded != nullptr ? ::LockResource(loaded) : nullptr);
  if (at == nullptr) return false;
  const DWORD bytes = ::SizeofResource(instance, found);
  const WORD* end = at + bytes / sizeof(WORD);
  for (int index = 0; index < id % 16; ++index) {
    if (at >= end) return false;
    at += 1 + *at;
  }
  if (at >= end || at + 1 + *at > end) return false;
  const int length = *at;
  int written = ::WideCharToMultiByte(kTextCodePage, 0, reinterpret_cast<const wchar_t*>(at + 1),
                                      length, buffer, static_cast<int>(size - 1), nullptr, nullptr);
  if (written < 0) written = 0;
  buffer[written] = '\0';
  return length > 0;
}

}  // namespace

void StartUpLibrary(HINSTANCE instance) {
  KeepLastError keep;
  for (int i = 0; i < kStartUpTexts; ++i)
    LoadStartUpText(instance, kFirstStartUpText + i, g_texts[i], kStartUpTextSize);
  g_textsLoaded.store(true);
  InitCommonControlsOnce();
}

void InitCommonControlsOnce() {
  if (g_controlsReady.load()) return;
  KeepLastError keep;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof controls;
  controls.dwICC = ICC_ANIMATE_CLASS | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
  if (::InitCommonControlsEx(&controls)) g_controlsReady.store(true);
}

bool StartUpText(int id, std::string* text) {
  if (!g_textsLoaded.load() || id < kFirstStartUpText || id >= kFirstStartUpText + kStartUpTexts)
    return false;
  const char* loaded = g_texts[id - kFirstStartUpText];
  if (*loaded == '\0') return false;
  text->assign(loaded, std::strlen(loaded));
  return true;
}

}  // namespace nc::platform::win32
