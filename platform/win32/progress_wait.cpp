// The caller's wait for a worker thread on Windows: the thread's message
// loop. Every message of the thread's windows is dispatched (the progress
// dialog and the host's windows stay alive); the loop ends at thread
// message 1034, which the worker posts when it is done, or at the quit
// message, which is posted again for the host's own loop. Keys typed in a
// dialog go to that dialog (Escape presses its cancel button). An event set
// after the post ends the wait too, so a post the queue refused cannot
// leave the caller waiting for ever.
#include "platform/progress_ui.h"
#include "platform/win32/windows_api.h"

namespace nc::platform {

namespace {
constexpr UINT kWorkerDone = WM_USER + 10;  // 1034

// A dialog's keys (Escape for its cancel button, Tab between controls) go
// to the dialog the message's window belongs to.
bool DialogKey(MSG& msg) {
  if (msg.hwnd == nullptr || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
  HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
  wchar_t name[8] = {};
  if (root == nullptr || ::GetClassNameW(root, name, 8) == 0 || lstrcmpW(name, L"#32770") != 0)
    return false;
  return ::IsDialogMessageW(root, &msg) != 0;
}
}  // namespace

struct WorkerCompletion::State {
  DWORD thread = 0;
  HANDLE done = nullptr;
};

WorkerCompletion::WorkerCompletion() : state_(std::make_unique<State>()) {
  DWORD error = ::GetLastError();
  state_->thread = ::GetCurrentThreadId();
  // The thread's message queue must exist before the worker posts to it.
  MSG msg;
  ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  state_->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetLastError(error);
}

WorkerCompletion::~WorkerCompletion() {
  if (state_->done != nullptr) ::CloseHandle(state_->done);
}

void WorkerCompletion::Signal() {
  DWORD error = ::GetLastError();
  ::PostThreadMessageW(state_->thread, kWorkerDone, 0, 0);
  if (state_->done != nullptr) ::SetEvent(state_->done);
  ::SetLastError(error);
}

void WorkerCompletion::Wait() {
  DWORD error = ::GetLastError();
  for (;;) {
    MSG msg;
    bool finished = false;
    while (!finished && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        finished = true;
      } else if (msg.hwnd == nullptr && msg.message == kWorkerDone) {
        finished = true;
      } else if (!DialogKey(msg)) {
        ::DispatchMessageW(&msg);
      }
    }
    if (finished) break;
    if (state_->done == nullptr) {
      ::WaitMessage();  // no event: the message alone ends the wait
      continue;
    }
    DWORD woke = ::MsgWaitForMultipleObjects(1, &state_->done, FALSE, INFINITE, QS_ALLINPUT);
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) {
      // Done: the worker posted before it set the event; take its message
      // out of the queue so that no later wait mistakes it for its own.
      while (
          ::PeekMessageW(&msg, reinterpret_cast<HWND>(-1), kWorkerDone, kWorkerDone, PM_REMOVE)) {
      }
      break;
    }
  }
  ::SetLastError(error);
}

}  // namespace nc::platform
