#include "frame/compare_files.h"

#include <cstring>

#include "frame/data_file.h"
#include "platform/last_error.h"

namespace nc::frame {

namespace {

constexpr std::uint32_t kBlockSize = 1024;
constexpr int kFirstUnreadable = kWorkerReadFailed | kWorkerFirstFile;    // 5
constexpr int kSecondUnreadable = kWorkerReadFailed | kWorkerSecondFile;  // 9

int Compare(CompareState& state, platform::WindowHandle parent, const char* first,
            const char* second, int titleId, bool quiet) {
  state.first.reset(platform::OpenForRead(first));
  if (!state.first.valid()) return kFirstUnreadable;
  state.second.reset(platform::OpenForRead(second));
  if (!state.second.valid()) return kSecondUnreadable;

  std::uint64_t base = 0;
  std::uint64_t secondSize = 0;
  if (!platform::GetFileSize(state.first.get(), &base)) return kFirstUnreadable;
  if (!platform::GetFileSize(state.second.get(), &secondSize)) return kSecondUnreadable;
  if (!quiet) {
    SetProgressNames(first, second);
    state.window = OpenProgressWindow(parent, titleId, kTextComparing);
  }

  std::uint8_t a[kBlockSize];
  std::uint8_t b[kBlockSize];
  std::uint64_t total = 0;
  for (;;) {
    std::uint32_t gotA = 0, gotB = 0;
    if (!platform::ReadFile(state.first.get(), a, kBlockSize, &gotA)) return kFirstUnreadable;
    if (!platform::ReadFile(state.second.get(), b, kBlockSize, &gotB)) return kSecondUnreadable;
    if (gotA != gotB || gotA == 0) {
      // An end was reached: the verdict holds only for the files as they
      // were opened. A file that ended here gave all it had then; the other
      // may be longer, but neither may have changed size since.
      std::uint64_t readA = total + gotA, readB = total + gotB;
      if (!SourceUnchanged(state.first.get(), base, gotA < kBlockSize ? readA : base))
        return kFirstUnreadable;
      if (!SourceUnchanged(state.second.get(), secondSize, gotB < kBlockSize ? readB : secondSize))
        return kSecondUnreadable;
      return gotA == gotB ? kWorkerOk : kWorkerDifferent;
    }
    total += gotA;
    if (UpdateProgress(state.window.get(), ProgressPercent(total, base)) != 0)
      return kWorkerCancelled;
    if (std::memcmp(a, b, gotA) != 0) return kWorkerDifferent;
  }
}

}  // namespace

void CloseCompareState(CompareState& state) {
  std::uint32_t error = platform::GetLastErrorCode();
  CloseProgressWindow(state.window);
  state.first.Close();
  state.second.Close();
  platform::SetLastErrorCode(error);
}

int CompareFiles(CompareState& state, platform::WindowHandle parent, const char* first,
                 const char* second, int titleId, bool quiet) {
  int code = Compare(state, parent, first, second, titleId, quiet);
  CloseCompareState(state);
  return code;
}

int CompareFiles(platform::WindowHandle parent, const char* first, const char* second, int titleId,
                 bool quiet) {
  CompareState state;
  return CompareFiles(state, parent, first, second, titleId, quiet);
}

}  // namespace nc::frame
