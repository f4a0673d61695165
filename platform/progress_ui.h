// Progress displays of the long jobs as the user-interface backends present
// them, and the caller's wait for a worker thread.
//
// The frame decides what is shown and when (frame/progress.h for the file
// jobs, frame/progress_generator.h and frame/worker.h for the generators); a
// backend only draws it and reports the cancel button. The report is one bit
// in the job's progress word, the word the Win32 dialogs keep in their
// user-data slot: a backend sets kProgressCancel when the user presses the
// button (or Ctrl-C on a terminal) and never touches the other bits, which
// are the frame's state.
//
// A window backend drops in by overriding UiBackend::OpenProgress and
// UiBackend::OpenGenerator (platform/ui.h) with views that wrap its dialogs;
// nothing above the platform layer changes.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace nc::platform {

using WindowHandle = void*;

// The word a progress window shares with its job.
using ProgressWord = std::atomic<std::uint32_t>;
inline constexpr std::uint32_t kProgressCancel = 1;
// Set from signal handlers and console control handlers.
static_assert(ProgressWord::is_always_lock_free);

// A file job's progress window: a caption, a description naming the two
// files, a bar with its percentage and a cancel button. Every call comes from
// the job's thread.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  // The operation's title: its string id and its text.
  virtual void SetCaption(int titleId, const char* caption) = 0;
  // `text` is the description formatted with the two names; `textId`
  // (2010 to 2015) chooses the animation. The two names are passed as well,
  // for backends that show them in their own way.
  virtual void SetDescription(int textId, const char* text, const char* firstName,
                              const char* secondName) = 0;
  // The bar and the percentage, 0 to 100.
  virtual void SetPercent(unsigned percent) = 0;
  // Handles what the user did since the last call (a window backend
  // dispatches the thread's waiting messages here); a cancel sets
  // kProgressCancel in the word.
  virtual void Pump() = 0;
};

// The long generators, each with a progress window of its own.
enum class GeneratorKind {
  GostCommonNumbers,  // a stage caption and the four counters
  RsaKeyPair,         // a line each for P, Q and E
};

// The fields of a generator's progress window.
enum class GeneratorField {
  Total,      // total number of iterations
  Iteration,  // iteration number
  Attempt,    // attempt number
  Elapsed,    // generation time, "hh:mm:ss"
  PrimeP,     // the RSA generator's line of P: bit length and attempt
  PrimeQ,     // of Q
  ExponentE,  // of E
};
inline constexpr int kGeneratorFieldCount = 7;

// A long generator's progress window: a stage caption and the fields. The
// calls come from the worker thread while the caller's thread waits in
// WorkerCompletion::Wait, serialised with the view's destruction by the
// frame; they must not wait for the caller's thread (a window backend posts
// its updates to the dialog rather than sending them).
class GeneratorView {
 public:
  virtual ~GeneratorView() = default;
  virtual void SetStage(const char* caption) = 0;
  virtual void SetField(GeneratorField field, const char* text) = 0;
};

// The caller's wait for a worker thread: Wait returns once the worker has
// called Signal, and keeps the caller's windows alive meanwhile. On Windows
// it is the thread-message loop (message 1034 posted to the caller's thread,
// every other message dispatched; the quit message also ends the wait);
// elsewhere a plain wait. Made on the caller's thread before the worker
// starts.
class WorkerCompletion {
 public:
  WorkerCompletion();
  ~WorkerCompletion();
  WorkerCompletion(const WorkerCompletion&) = delete;
  WorkerCompletion& operator=(const WorkerCompletion&) = delete;
  void Signal();  // on the worker thread, once its work is done
  void Wait();    // on the caller's thread

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// ---- for the backends --------------------------------------------------------

// Views that show nothing and never cancel: the headless backend's, and the
// default of every backend that has no progress display of its own.
std::unique_ptr<ProgressView> SilentProgressView();
std::unique_ptr<GeneratorView> SilentGeneratorView();

// The text backends' progress on the terminal (POSIX: stderr) or the console
// (Windows): one line redrawn in place, cleared when the view goes; nothing
// when there is no terminal or console. While a view exists, Ctrl-C sets
// kProgressCancel in `word` instead of ending the process.
std::unique_ptr<ProgressView> TerminalProgressView(ProgressWord& word);
std::unique_ptr<GeneratorView> TerminalGeneratorView(ProgressWord& word);

// The lines the text backends draw, in the library's text encoding, at most
// `columns` - 1 characters wide (a line that reaches the last column would
// wrap on some terminals). Long names are shortened in the middle.
//   "Title: first -> second [#####.....]  42%"
std::string ComposeProgressLine(const std::string& title, const std::string& first,
                                const std::string& second, unsigned percent, std::size_t columns);
//   "Stage | iteration 3 of 17 | attempt 12 | 00:00:01" (in Russian), or
//   "P: ... OK | Q: ..." for the RSA lines
std::string ComposeGeneratorLine(const std::string& stage,
                                 const std::string (&fields)[kGeneratorFieldCount],
                                 std::size_t columns);
// The number of characters of `text` in the library's encoding.
std::size_t TextColumns(const std::string& text);

}  // namespace nc::platform
