// The library's windows on Windows, driven through real window messages
// while an operation runs: the file jobs' progress window, the generator's
// progress window and the carrier dialog, and the resources they are made
// from, read out of the built NCCORE21.DLL.
//
// Jobs run on a thread of their own (as a host's caller thread would), with
// a hook that records what their windows were sent; the test's thread finds
// the windows, reads their controls and presses their buttons. The
// operations run in NCCORE21.DLL, loaded from this program's folder, except
// the cases with a simulated carrier: simulators are not part of the DLL,
// so those call the same code linked in with the test support.
//
// NCCORE_UI=win32 must be set (the DLL reads its own copy of the
// environment). With NCCORE_SHOT_DIR set, the test stops at each window and
// asks for a screenshot: it creates <dir>/<name>.want and waits until that
// file is gone (tests/wine/dialog_shots.sh takes the picture).
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"
// After <windows.h>:
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nccore21.h"
#include "platform/ui.h"
#include "testsupport/carriers/simulated_devices.h"

namespace fs = std::filesystem;

namespace {

using Operation = std::int32_t(NCAPI*)(void*, const char*, char*, std::int32_t);

// ---- the DLL ---------------------------------------------------------------------------

HMODULE Dll() {
  static HMODULE module = ::LoadLibraryW(L"NCCORE21.DLL");
  return module;
}

Operation DllOperation(const char* name) {
  return reinterpret_cast<Operation>(reinterpret_cast<void*>(::GetProcAddress(Dll(), name)));
}

// ---- a job and what its windows were sent -----------------------------------------------

struct Sent {
  int control;  // the control's id; 0 for a top-level window
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result;
  std::wstring text;  // WM_SETTEXT's text; at WM_INITDIALOG, the percentage's
};

class Job;
thread_local Job* t_job = nullptr;

class Job {
 public:
  Job(Operation operation, std::string options) {
    thread_ = std::thread([this, operation, options] {
      t_job = this;
      threadId_.store(::GetCurrentThreadId());
      HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROCRET, Record, nullptr, ::GetCurrentThreadId());
      char result[512] = "";
      code_ = operation(nullptr, options.c_str(), result, sizeof result);
      result_ = result;
      if (hook != nullptr) ::UnhookWindowsHookEx(hook);
      done_.store(true);
    });
    while (threadId_.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;
  ~Job() { thread_.join(); }

  DWORD thread() const { return threadId_.load(); }
  bool done() const { return done_.load(); }
  // Waits for the operation's end (at most `ms`); its code, or -1.
  int Finish(int ms = 60000) {
    for (int waited = 0; !done_.load() && waited < ms; waited += 10) ::Sleep(10);
    return done_.load() ? code_ : -1;
  }
  const std::string& result() const { return result_; }
  std::vector<Sent> sent() {
    std::lock_guard<std::mutex> hold(lock_);
    return sent_;
  }

 private:
  static LRESULT CALLBACK Record(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && t_job != nullptr) {
      const bool child = (::GetWindowLongPtrW(call->hwnd, GWL_STYLE) & WS_CHILD) != 0;
      Sent sent{child ? ::GetDlgCtrlID(call->hwnd) : 0,
                call->message,
                call->wParam,
                call->lParam,
                call->lResult,
                {}};
      bool keep = true;
      if (call->message == WM_SETTEXT && call->lParam != 0) {
        sent.text = reinterpret_cast<const wchar_t*>(call->lParam);
      } else if (call->message == WM_INITDIALOG) {
        wchar_t text[64] = {};
        ::GetDlgItemTextW(call->hwnd, 1019, text, 64);
        sent.text = text;
      } else {
        keep = call->message == ACM_OPENW || call->message == PBM_SETPOS;
      }
      if (keep) {
        std::lock_guard<std::mutex> hold(t_job->lock_);
        t_job->sent_.push_back(sent);
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  std::thread thread_;
  std::atomic<DWORD> threadId_{0};
  std::atomic<bool> done_{false};
  int code_ = -1;
  std::string result_;
  std::mutex lock_;
  std::vector<Sent> sent_;
};

// ---- windows -----------------------------------------------------------------------------

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

// The text of a window of another thread, without waiting for ever.
std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000,
                        &length);
  return text;
}

std::wstring ControlText(HWND dialog, int id) { return TextOf(::GetDlgItem(dialog, id)); }

struct Search {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  if (ClassOf(window) == L"#32770" && ::IsWindowVisible(window) &&
      TextOf(window) == search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// The job's visible dialog with this caption (null after `ms`, or when the
// job has ended).
HWND FindDialog(Job& job, const wchar_t* caption, int ms = 30000) {
  for (int waited = 0; waited < ms && !job.done(); waited += 10) {
    Search search{caption, nullptr};
    ::EnumThreadWindows(job.thread(), MatchDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    ::Sleep(10);
  }
  return nullptr;
}

// Waits until `condition` holds (at most `ms`), looking every `stepMs`.
template <typename Condition>
bool WaitUntil(Condition condition, int ms = 20000, int stepMs = 10) {
  for (int waited = 0; waited < ms; waited += stepMs) {
    if (condition()) return true;
    ::Sleep(stepMs);
  }
  return condition();
}

void Press(HWND dialog, int button) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
}

void Type(HWND dialog, int control, const wchar_t* text) {
  DWORD_PTR ignored = 0;
  ::SendMessageTimeoutW(::GetDlgItem(dialog, control), WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, &ignored);
}

// A screenshot of the screen as it is now, when the suite asks for them.
void Shot(const char* name) {
  const char* folder = std::getenv("NCCORE_SHOT_DIR");
  if (folder == nullptr || *folder == '\0') return;
  fs::path want = fs::path(folder) / (std::string(name) + ".want");
  std::ofstream(want) << name;
  WaitUntil([&] { return !fs::exists(want); }, 20000);
}

// ---- files -------------------------------------------------------------------------------

// A folder of its own for each test, made the working folder.
class Folder {
 public:
  Folder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = fs::current_path() / (std::string("dialogs-") + test->name());
    fs::remove_all(path_);
    fs::create_directories(path_);
    old_ = fs::current_path();
    fs::current_path(path_);
  }
  ~Folder() { fs::current_path(old_); }

 private:
  fs::path path_, old_;
};

void WriteFile(const char* name, const std::string& bytes) {
  std::ofstream(name, std::ios::binary) << bytes;
}

std::string ReadFile(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + (i >> 9));
  return bytes;
}

bool TemporaryLeft() {
  for (const auto& entry : fs::directory_iterator(fs::current_path()))
    if (entry.path().filename().string().rfind("~nc", 0) == 0) return true;
  return false;
}

// ---- the resources of the DLL -----------------------------------------------------------

struct TemplateItem {
  int id;
  std::wstring windowClass;  // a name, or the predefined class's name
  int x, y, cx, cy;
  std::uint32_t style = 0;
  std::wstring title;
};

struct DialogTemplate {
  bool found = false;
  std::uint32_t style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::wstring caption, font;
  int pointSize = 0;
  std::vector<TemplateItem> items;
};

// Reads an extended dialog template (DLGTEMPLATEEX) of the DLL in Russian.
DialogTemplate ReadTemplate(const wchar_t* name) {
  DialogTemplate form;
  HRSRC found = ::FindResourceExW(Dll(), MAKEINTRESOURCEW(5) /* RT_DIALOG */, name,
                                  MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT));
  if (found == nullptr) return form;
  const auto* base = static_cast<const std::uint8_t*>(::LockResource(::LoadResource(Dll(), found)));
  const std::uint8_t* end = base + ::SizeofResource(Dll(), found);
  const std::uint8_t* at = base;
  auto word = [&]() -> int {
    if (at + 2 > end) return 0;
    int value = at[0] | at[1] << 8;
    at += 2;
    return static_cast<std::int16_t>(value);
  };
  auto dword = [&]() -> std::uint32_t {
    std::uint32_t low = static_cast<std::uint16_t>(word());
    return low | static_cast<std::uint32_t>(static_cast<std::uint16_t>(word())) << 16;
  };
  auto text = [&]() -> std::wstring {  // sz_Or_Ord
    std::wstring value;
    int first = static_cast<std::uint16_t>(word());
    if (first == 0xFFFF) {
      int ordinal = static_cast<std::uint16_t>(word());
      const wchar_t* known[] = {L"Button",  L"Edit",      L"Static",
                                L"ListBox", L"ScrollBar", L"ComboBox"};
      return ordinal >= 0x80 && ordinal <= 0x85 ? known[ordinal - 0x80]
                                                : L"#" + std::to_wstring(ordinal);
    }
    for (int c = first; c != 0 && at <= end; c = static_cast<std::uint16_t>(word()))
      value.push_back(static_cast<wchar_t>(c));
    return value;
  };
  auto align = [&] { at = base + ((at - base + 3) & ~3); };
  if (word() != 1 || static_cast<std::uint16_t>(word()) != 0xFFFF) return form;
  dword();  // help id
  form.exStyle = dword();
  const std::uint32_t style = form.style = dword();
  int count = word();
  form.x = word();
  form.y = word();
  form.cx = word();
  form.cy = word();
  text();  // menu
  text();  // class
  form.caption = text();
  if (style & DS_SETFONT) {
    form.pointSize = word();
    word();  // weight
    word();  // italic, character set
    form.font = text();
  }
  for (int i = 0; i < count && at < end; ++i) {
    align();
    dword();  // help id
    dword();  // extended style
    TemplateItem item;
    item.style = dword();
    item.x = word();
    item.y = word();
    item.cx = word();
    item.cy = word();
    item.id = static_cast<std::int32_t>(dword());
    item.windowClass = text();
    item.title = text();
    int extra = word();
    at += extra;
    form.items.push_back(item);
  }
  form.found = true;
  return form;
}

const TemplateItem* ItemOf(const DialogTemplate& form, int id) {
  for (const TemplateItem& item : form.items)
    if (item.id == id) return &item;
  return nullptr;
}

bool SameClass(const std::wstring& a, const wchar_t* b) { return ::lstrcmpiW(a.c_str(), b) == 0; }

TEST(DialogResources, ProgressWindowTemplateIsAsDrawn) {
  DialogTemplate form = ReadTemplate(L"DLGPROGRESSEX");
  ASSERT_TRUE(form.found);
  EXPECT_EQ(form.cx, 202);
  EXPECT_EQ(form.cy, 125);
  EXPECT_EQ(form.font, L"MS Sans Serif");
  EXPECT_EQ(form.pointSize, 8);
  struct Expected {
    int id;
    const wchar_t* windowClass;
    int x, y, cx, cy;
  };
  const Expected expected[] = {{1021, L"SysAnimate32", 13, 7, 174, 26},
                               {1020, L"Static", 7, 43, 188, 35},
                               {1019, L"Static", 72, 79, 59, 8},
                               {1018, L"msctls_progress32", 7, 88, 188, 11},
                               {2, L"Button", 73, 104, 59, 14}};
  ASSERT_EQ(form.items.size(), std::size(expected));
  for (const Expected& want : expected) {
    const TemplateItem* item = ItemOf(form, want.id);
    ASSERT_NE(item, nullptr) << want.id;
    EXPECT_TRUE(SameClass(item->windowClass, want.windowClass)) << want.id;
    EXPECT_EQ(item->x, want.x) << want.id;
    EXPECT_EQ(item->y, want.y) << want.id;
    EXPECT_EQ(item->cx, want.cx) << want.id;
    EXPECT_EQ(item->cy, want.cy) << want.id;
  }
}

TEST(DialogResources, GeneratorAndCarrierTemplatesHoldTheirControls) {
  struct Expected {
    const wchar_t* name;
    int cx, cy;
    const wchar_t* caption;
    std::vector<std::pair<int, const wchar_t*>> controls;
  };
  const Expected expected[] = {
      {L"DLGGOSCPROGRESS",
       273,
       87,
       L"Генератор общих чисел p, q, a ЭЦП ГОСТ",
       {{1004, L"Button"},
        {1001, L"Edit"},
        {1000, L"Edit"},
        {1009, L"Edit"},
        {1002, L"Edit"},
        {2, L"Button"}}},
      {L"DLGHRD",
       377,
       214,
       L"Авторизация доступа к криптографическим ключам",
       {{1, L"Button"},
        {2, L"Button"},
        {9, L"Button"},
        {1009, L"Static"},
        {1017, L"Button"},
        {1011, L"Static"},
        {1001, L"Edit"},
        {1012, L"Static"},
        {1013, L"Edit"},
        {1014, L"Static"},
        {1015, L"Edit"},
        {1019, L"Static"},
        {1018, L"Edit"},
        {1022, L"Static"},
        {1023, L"Edit"}}},
  };
  for (const Expected& want : expected) {
    DialogTemplate form = ReadTemplate(want.name);
    ASSERT_TRUE(form.found) << want.name;
    EXPECT_EQ(form.cx, want.cx) << want.name;
    EXPECT_EQ(form.cy, want.cy) << want.name;
    EXPECT_EQ(form.caption, want.caption);
    EXPECT_EQ(form.font, L"MS Sans Serif");
    for (const auto& [id, windowClass] : want.controls) {
      const TemplateItem* item = ItemOf(form, id);
      ASSERT_NE(item, nullptr) << id;
      EXPECT_TRUE(SameClass(item->windowClass, windowClass)) << id;
    }
  }
}

TEST(DialogResources, RsaGeneratorTemplateIsAsDrawn) {
  DialogTemplate form = ReadTemplate(L"DLGRSAKPROGRESS");
  ASSERT_TRUE(form.found);
  EXPECT_EQ(form.cx, 305);
  EXPECT_EQ(form.cy, 80);
  EXPECT_EQ(form.caption, L"Генератор пар ключей RSA");
  EXPECT_EQ(form.font, L"MS Sans Serif");
  EXPECT_EQ(form.pointSize, 8);
  const std::uint32_t style = DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND | DS_3DLOOK |
                              DS_NOIDLEMSG | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
  EXPECT_EQ(form.style & style, style);
  EXPECT_TRUE(form.exStyle & WS_EX_CONTROLPARENT);
  struct Expected {
    int id;
    const wchar_t* windowClass;
    const wchar_t* title;
    int x, y, cx, cy;
    std::uint32_t style;  // what the control's style must include
  };
  const Expected expected[] = {
      {2, L"Button", L"&Прервать генерацию", 188, 59, 102, 14, BS_DEFPUSHBUTTON},
      {-1, L"Static", L"Генерация цисла P :", 8, 9, 74, 8, SS_RIGHT},
      {1000, L"Edit", L"", 84, 8, 205, 12, ES_READONLY | ES_AUTOHSCROLL | WS_BORDER},
      {-1, L"Static", L"Генерация цисла Q :", 8, 23, 74, 8, SS_RIGHT},
      {1002, L"Edit", L"", 84, 22, 205, 12, ES_READONLY},
      {-1, L"Static", L"Генерация цисла E :", 8, 38, 74, 8, SS_RIGHT},
      {1003, L"Edit", L"", 84, 36, 205, 12, ES_READONLY},
  };
  ASSERT_EQ(form.items.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const Expected& want = expected[i];
    const TemplateItem& item = form.items[i];
    EXPECT_EQ(item.id, want.id) << i;
    EXPECT_TRUE(SameClass(item.windowClass, want.windowClass)) << i;
    EXPECT_EQ(item.title, want.title) << i;
    EXPECT_EQ(item.x, want.x) << i;
    EXPECT_EQ(item.y, want.y) << i;
    EXPECT_EQ(item.cx, want.cx) << i;
    EXPECT_EQ(item.cy, want.cy) << i;
    EXPECT_EQ(item.style & want.style, want.style) << i;
  }
}

TEST(DialogResources, HelpTemplatesOneForEachOperation) {
  for (int id = 109; id <= 121; ++id)
    EXPECT_NE(::FindResourceW(Dll(), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)), nullptr) << id;
}

TEST(DialogResources, ClipsPlayAndTheBitmapLoads) {
  ::InitCommonControls();
  HWND owner = ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 300, 60, nullptr, nullptr,
                                 nullptr, nullptr);
  for (int clip : {110, 136, 137, 138, 139, 142}) {
    HWND animation = ::CreateWindowExW(0, ANIMATE_CLASSW, L"", WS_CHILD | ACS_CENTER, 0, 0, 300, 60,
                                       owner, nullptr, nullptr, nullptr);
    EXPECT_TRUE(::SendMessageW(animation, ACM_OPENW, reinterpret_cast<WPARAM>(Dll()),
                               reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(clip))))
        << clip;
    EXPECT_TRUE(::SendMessageW(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, -1)))
        << clip;
    ::DestroyWindow(animation);
  }
  ::DestroyWindow(owner);
  HANDLE bitmap = ::LoadImageW(Dll(), MAKEINTRESOURCEW(105), IMAGE_BITMAP, 0, 0, 0);
  EXPECT_NE(bitmap, nullptr);
  if (bitmap != nullptr) ::DeleteObject(bitmap);
}

TEST(DialogResources, TextsAreRussian) {
  wchar_t text[128] = {};
  ::LoadStringW(Dll(), 1010, text, 128);
  EXPECT_STREQ(text, L"10: Пользователь прервал работу");
  ::LoadStringW(Dll(), 10004, text, 128);
  EXPECT_STREQ(text, L" Генерация числа q ");
}

// ---- the file jobs' progress window -----------------------------------------------------

const wchar_t kDesTitle[] = L"Файловый криптопроцессор DES";

std::vector<unsigned> Percentages(const std::vector<Sent>& sent) {
  std::vector<unsigned> values;
  for (const Sent& s : sent)
    if (s.message == WM_SETTEXT && s.control == 1019) values.push_back(std::stoul(s.text));
  return values;
}

void MakeKey(const char* name) {
  char result[512];
  ASSERT_EQ(DllOperation("ZqDESK")(nullptr, (std::string("/NOLOGO ") + name).c_str(), result,
                                   sizeof result),
            0)
      << result;
}

TEST(ProgressWindow, EachJobShowsItsClipAndGrowsToOneHundred) {
  Folder folder;
  MakeKey("k.dek");
  WriteFile("plain", Pattern(3 << 20));
  WriteFile("copy", Pattern(3 << 20));
  struct Case {
    const char* options;
    int clip;
    const wchar_t* words;  // the description begins with them
  };
  const Case cases[] = {
      {R"("plain" "cipher" /CBC /KEY:"k.dek")", 110,
       L"Зашифрование  исходного файла:\n     plain\n"},
      {R"("cipher" "back" /D /KEY:"k.dek")", 136,
       L"Расшифрование  шифртекста из файла:\n     cipher\n"},
      {R"("plain" "digest" /HASH /KEY:"k.dek")", 137, L"Вычисление хеш-функции исходного файла:"},
      {R"("plain" "copy" /COMP)", 142, L"Сравнение содержимого файла:\n     plain\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    Job job(DllOperation("ZqDESF"), c.options);
    ASSERT_EQ(job.Finish(), 0) << job.result();
    std::vector<Sent> sent = job.sent();
    bool initialised = false, clipOpened = false, described = false;
    for (const Sent& s : sent) {
      if (s.message == WM_INITDIALOG && s.control == 0) {
        initialised = true;
        EXPECT_EQ(s.text, L"0%");  // the percentage when the window opens
      }
      if (s.message == ACM_OPENW && s.control == 1021) {
        clipOpened = s.lParam == c.clip && s.result != 0;
      }
      if (s.message == WM_SETTEXT && s.control == 1020) described = s.text.rfind(c.words, 0) == 0;
      if (s.message == WM_SETTEXT && s.control == 0) {
        EXPECT_EQ(s.text, kDesTitle);
      }
    }
    EXPECT_TRUE(initialised);
    EXPECT_TRUE(clipOpened) << "clip " << c.clip;
    EXPECT_TRUE(described);
    std::vector<unsigned> percentages = Percentages(sent);
    ASSERT_FALSE(percentages.empty());
    for (std::size_t i = 1; i < percentages.size(); ++i)
      EXPECT_LE(percentages[i - 1], percentages[i]);
    EXPECT_EQ(percentages.back(), 100u);
  }
  EXPECT_EQ(ReadFile("back"), ReadFile("plain"));
}

TEST(ProgressWindow, ControlsWhileRunningAndCancelKeepsTheDestination) {
  Folder folder;
  MakeKey("k.dek");
  WriteFile("big", "");
  fs::resize_file("big", std::uintmax_t{4} << 30);  // sparse: made at once, enciphered slowly
  WriteFile("old.enc", "the previous contents");
  Job job(DllOperation("ZqDESF"), R"("big" "old.enc" /CBC /KEY:"k.dek" /Y)");
  HWND dialog = FindDialog(job, kDesTitle);
  ASSERT_NE(dialog, nullptr) << job.Finish() << " " << job.result();
  EXPECT_EQ(ClassOf(::GetDlgItem(dialog, 1021)), L"SysAnimate32");
  EXPECT_EQ(ClassOf(::GetDlgItem(dialog, 1018)), L"msctls_progress32");
  DWORD_PTR high = 0;
  ::SendMessageTimeoutW(::GetDlgItem(dialog, 1018), PBM_GETRANGE, FALSE, 0, SMTO_BLOCK, 5000,
                        &high);
  EXPECT_EQ(high, 100u);
  std::wstring description = ControlText(dialog, 1020);
  EXPECT_NE(description.find(L"\n     big\n"), std::wstring::npos);
  EXPECT_NE(description.find(L"\n     old.enc"), std::wstring::npos);
  EXPECT_EQ(ControlText(dialog, 2), L"&Прервать");
  EXPECT_TRUE(WaitUntil([&] { return ControlText(dialog, 1019) != L"0%"; }));
  Shot("progress");
  Press(dialog, 2);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(dialog); }, 2000));
  EXPECT_EQ(job.Finish(), 10);
  EXPECT_EQ(ReadFile("old.enc"), "the previous contents");
  EXPECT_FALSE(TemporaryLeft());
}

// ---- the generator's progress window ---------------------------------------------------------

const wchar_t kGeneratorCaption[] = L"Генератор общих чисел p, q, a ЭЦП ГОСТ";

bool CountersShown(HWND dialog) {
  return !ControlText(dialog, 1001).empty() && !ControlText(dialog, 1000).empty() &&
         !ControlText(dialog, 1002).empty() && ControlText(dialog, 1009).size() == 8;
}

// Whether the job's fields 1000, 1001, 1002 and 1009 were each given a text
// (the hook records what the job's windows were sent, so this holds after
// the window is gone too).
bool FieldsWereFilled(Job& job) {
  bool filled[4] = {};
  for (const Sent& s : job.sent()) {
    if (s.message != WM_SETTEXT || s.text.empty()) continue;
    for (int i = 0; i < 4; ++i)
      if (s.control == (i < 3 ? 1000 + i : 1009)) filled[i] = true;
  }
  return filled[0] && filled[1] && filled[2] && filled[3];
}

TEST(GeneratorWindow, ShowsTheCountersAndEscapeAborts) {
  Folder folder;
  // A generation can be over before the test sees its counters (the time
  // it takes varies widely): then it is run again, until Escape reaches a
  // running one.
  bool escaped = false;
  for (int attempt = 0; attempt < 5 && !escaped; ++attempt) {
    Job job(DllOperation("ZqGOSC"), "/P:1024 /Y out.pqa");
    HWND dialog = FindDialog(job, kGeneratorCaption);
    if (dialog == nullptr) {
      ASSERT_EQ(job.Finish(), 0) << job.result();  // over before its window was seen
      EXPECT_TRUE(FieldsWereFilled(job));
      continue;
    }
    EXPECT_EQ(ControlText(dialog, 2), L"Прервать генерацию");
    // The counters fill in as the primitive reports; Escape at once, while
    // the generation has far to go.
    WaitUntil([&] { return CountersShown(dialog) || job.done(); }, 60000, 5);
    if (job.done()) {
      EXPECT_EQ(job.Finish(), 0) << job.result();
      EXPECT_TRUE(FieldsWereFilled(job));
      continue;
    }
    fs::remove("out.pqa");
    ::PostMessageW(::GetDlgItem(dialog, 2), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(dialog) || job.done(); }, 5000));
    const int code = job.Finish();
    if (code == 0) continue;  // it ended just before the key was read
    EXPECT_EQ(code, 10) << job.result();
    EXPECT_FALSE(fs::exists("out.pqa"));
    escaped = true;
  }
  EXPECT_TRUE(escaped) << "every generation ended before the test could press Escape";
}

// The Windows interface with a gate in the generator's window: the worker
// stops in its first update of the field `holdAt` (after a stage caption
// when `afterStage`), until the test opens the gate, so that a fast
// generation cannot end while the test looks. (The same code as the DLL's,
// linked in.)
class GatedUi final : public nc::platform::UiBackend {
 public:
  GatedUi(nc::platform::GeneratorField holdAt, bool afterStage)
      : holdAt_(holdAt), afterStage_(afterStage) {}
  bool AskYesNo(nc::platform::WindowHandle parent, const char* caption, const char* text) override {
    return nc::platform::Win32Ui().AskYesNo(parent, caption, text);
  }
  void ShowInfo(nc::platform::WindowHandle parent, const char* caption, const char* text) override {
    nc::platform::Win32Ui().ShowInfo(parent, caption, text);
  }
  std::unique_ptr<nc::platform::GeneratorView> OpenGenerator(
      nc::platform::WindowHandle parent, nc::platform::ProgressWord& word,
      nc::platform::GeneratorKind kind) override {
    auto real = nc::platform::Win32Ui().OpenGenerator(parent, word, kind);
    if (real == nullptr) return nullptr;
    return std::make_unique<View>(std::move(real), *this);
  }
  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = true;
    changed_.notify_all();
  }
  bool held() {
    std::lock_guard<std::mutex> hold(lock_);
    return held_;
  }

 private:
  class View final : public nc::platform::GeneratorView {
   public:
    View(std::unique_ptr<nc::platform::GeneratorView> real, GatedUi& ui)
        : real_(std::move(real)), ui_(ui) {}
    void SetStage(const char* caption) override {
      real_->SetStage(caption);
      staged_ = true;
    }
    void SetField(nc::platform::GeneratorField field, const char* text) override {
      real_->SetField(field, text);
      if ((ui_.afterStage_ && !staged_) || field != ui_.holdAt_) return;
      std::unique_lock<std::mutex> hold(ui_.lock_);
      ui_.held_ = true;
      ui_.changed_.wait(hold, [this] { return ui_.open_; });
    }

   private:
    std::unique_ptr<nc::platform::GeneratorView> real_;
    GatedUi& ui_;
    bool staged_ = false;
  };

  const nc::platform::GeneratorField holdAt_;
  const bool afterStage_;
  std::mutex lock_;
  std::condition_variable changed_;
  bool held_ = false;
  bool open_ = false;
};

// On every way out of a gated test, before the job is joined: the gate
// opens, the interface is the default again.
struct GateRelease {
  GatedUi& ui;
  ~GateRelease() {
    ui.Open();
    nc::platform::SetUi(nullptr);
  }
};

TEST(GeneratorWindow, NamesTheStageAndAbortsFromTheButton) {
  Folder folder;
  GatedUi ui(nc::platform::GeneratorField::Elapsed, true);
  nc::platform::SetUi(&ui);
  Job job(ZqGOSC, "/P:1024 out.pqa");
  GateRelease release{ui};
  HWND dialog = FindDialog(job, kGeneratorCaption);
  ASSERT_NE(dialog, nullptr) << job.Finish() << " " << job.result();
  EXPECT_TRUE(WaitUntil([&] { return ui.held(); }, 60000));
  EXPECT_TRUE(WaitUntil([&] { return CountersShown(dialog); }, 5000));
  EXPECT_TRUE(ControlText(dialog, 1004).starts_with(L" Генерация числа "));
  Shot("generator");
  Press(dialog, 2);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(dialog); }, 5000));
  ui.Open();  // the next report sees the abort
  EXPECT_EQ(job.Finish(), 10) << job.result();
  EXPECT_FALSE(fs::exists("out.pqa"));
}

// The RSA generator's window, held at Q's first line: P's line is closed
// with " ... OK", Q's shows its first attempt, E's is still empty; the
// button hides the window and the next report stops the generation.
TEST(GeneratorWindow, RsaLinesAndAbortFromTheButton) {
  Folder folder;
  GatedUi ui(nc::platform::GeneratorField::PrimeQ, false);
  nc::platform::SetUi(&ui);
  Job job(ZqRSAK, R"(/N:1024-1024 /SECRET:"a.rsk" /PUBLIC:"a.rpk")");
  GateRelease release{ui};
  HWND dialog = FindDialog(job, L"Генератор пар ключей RSA");
  ASSERT_NE(dialog, nullptr) << job.Finish() << " " << job.result();
  EXPECT_TRUE(WaitUntil([&] { return ui.held(); }, 60000));
  EXPECT_TRUE(WaitUntil([&] { return !ControlText(dialog, 1002).empty(); }, 5000));
  const std::wstring p = ControlText(dialog, 1000), q = ControlText(dialog, 1002);
  EXPECT_TRUE(p.starts_with(L"длина в битах 512, попытка ")) << p.c_str();
  EXPECT_TRUE(p.ends_with(L" ... OK")) << p.c_str();
  EXPECT_TRUE(q.starts_with(L"длина в битах ") && q.ends_with(L", попытка 1")) << q.c_str();
  EXPECT_EQ(ControlText(dialog, 1003), L"");
  EXPECT_EQ(ControlText(dialog, 2), L"&Прервать генерацию");
  Press(dialog, 2);
  EXPECT_TRUE(WaitUntil([&] { return !::IsWindowVisible(dialog); }, 5000));
  ui.Open();  // the next report sees the abort
  EXPECT_EQ(job.Finish(), 10) << job.result();
  EXPECT_FALSE(fs::exists("a.rsk"));
  EXPECT_FALSE(fs::exists("a.rpk"));
}

// ---- the carrier dialog ----------------------------------------------------------------------

const wchar_t kCarrierCaption[] = L"Авторизация доступа к криптографическим ключам";

TEST(CarrierDialog, PasswordOnlyKeyIsMadeAndOpened) {
  Folder folder;
  WriteFile("small", Pattern(5000));
  {
    Job job(DllOperation("ZqDESK"), "PWD:pk.dek");
    HWND dialog = FindDialog(job, kCarrierCaption);
    ASSERT_NE(dialog, nullptr) << job.Finish() << " " << job.result();
    EXPECT_EQ(ControlText(dialog, 1009), L"\t1. Ввести Ваш пароль\n");
    for (int status : {1013, 1015, 1018, 1023}) {
      EXPECT_EQ(ControlText(dialog, status), L"Не требуется") << status;
      EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, status))) << status;
    }
    EXPECT_TRUE(::IsWindowEnabled(::GetDlgItem(dialog, 1)));
    EXPECT_EQ(ClassOf(::GetDlgItem(dialog, 1001)), L"Edit");
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(dialog, 1001), GWL_STYLE) & ES_PASSWORD);
    Shot("carrier");
    Press(dialog, 1);  // an empty password: the dialog stays
    ::Sleep(300);
    EXPECT_TRUE(::IsWindowVisible(dialog));
    Type(dialog, 1001, L"пароль");
    Press(dialog, 1);
    ASSERT_EQ(job.Finish(), 0) << job.result();
  }
  // ZqDESF with the key: the password typed and OK pressed, or (null)
  // Cancel pressed; the result code (-2: no dialog).
  auto encipher = [](const wchar_t* password) {
    Job job(DllOperation("ZqDESF"), R"("small" "small.enc" /CBC /KEY:"pk.dek" /Y)");
    HWND dialog = FindDialog(job, kCarrierCaption);
    if (dialog == nullptr) {
      job.Finish();
      return -2;
    }
    if (password != nullptr) Type(dialog, 1001, password);
    Press(dialog, password != nullptr ? 1 : 2);
    return job.Finish();
  };
  EXPECT_EQ(encipher(L"не тот"), 31);
  EXPECT_EQ(encipher(L"пароль"), 0);
  EXPECT_EQ(encipher(nullptr), 25);
}

// A Tessel token, plugged in and pulled out by the test.
nc::carriers::SimTesselToken Token() {
  std::array<std::uint8_t, 36> body{};
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(0x30 + i);
  const std::string key = "dialog test key";
  return nc::carriers::MakeTesselToken({1, 2, 3, 4, 5, 6, 7, 8}, body,
                                       std::vector<std::uint8_t>(key.begin(), key.end()));
}

TEST(CarrierDialog, OkWaitsForTheCarrier) {
  Folder folder;
  WriteFile("small", Pattern(5000));
  nc::carriers::SimulatedDevices devices;
  devices.tessel.push_back(Token());
  nc::carriers::ScopedSimulatedDevices installed(&devices);
  {
    Job job(ZqDESK, "TESSEL,PWD:tk.dek");
    HWND dialog = FindDialog(job, kCarrierCaption);
    ASSERT_NE(dialog, nullptr) << job.Finish() << " " << job.result();
    EXPECT_TRUE(WaitUntil([&] { return ControlText(dialog, 1023) == L"OK"; }));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, 1)) != 0; }));
    Type(dialog, 1001, L"пароль");
    Press(dialog, 1);
    ASSERT_EQ(job.Finish(), 0) << job.result();
  }
  {
    std::lock_guard<std::recursive_mutex> hold(devices.lock());
    devices.tessel.clear();  // pulled out
  }
  Job job(ZqDESF, R"("small" "small.enc" /CBC /KEY:"tk.dek" /Y)");
  HWND dialog = FindDialog(job, kCarrierCaption);
  ASSERT_NE(dialog, nullptr) << job.Finish() << " " << job.result();
  EXPECT_EQ(ControlText(dialog, 1009),
            L"\t1. Ввести Ваш пароль\n\t2. Присоединить Tessel к разъему USB-порта");
  EXPECT_TRUE(WaitUntil(
      [&] { return ControlText(dialog, 1023) == L"Присоедините Tessel к разъему USB-порта"; }));
  Type(dialog, 1001, L"пароль");
  ::Sleep(1000);  // several polling rounds
  EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(dialog, 1)));
  {
    std::lock_guard<std::recursive_mutex> hold(devices.lock());
    devices.tessel.push_back(Token());  // plugged in
  }
  EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(::GetDlgItem(dialog, 1)) != 0; }));
  EXPECT_EQ(ControlText(dialog, 1023), L"OK");
  Press(dialog, 1);
  EXPECT_EQ(job.Finish(), 0) << job.result();
}

}  // namespace
