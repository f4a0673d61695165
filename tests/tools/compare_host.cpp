// A test host for CompareFiles, which no operation offers yet: compares two
// files the way a file processor's "/COMP" will, with the backend NCCORE_UI
// chooses, prints the worker code and the result text, and exits with the
// result code (0 equal, 7 different, 10 cancelled, 2 unreadable).
//   compare_host <first> <second> [/NOLOGO]
#include <cstdio>
#include <cstring>

#include "frame/compare_files.h"
#include "frame/result_text.h"
#include "platform/string_table.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4 || (argc == 4 && std::strcmp(argv[3], "/NOLOGO") != 0)) {
    std::fprintf(stderr, "usage: compare_host <first> <second> [/NOLOGO]\n");
    return 64;
  }
  using namespace nc::frame;
  int worker = CompareFiles(nullptr, argv[1], argv[2], nc::platform::kTitleDesFiles, argc == 4);
  int code = kResultUnknownError;
  const char* name = nullptr;
  switch (worker) {
    case kWorkerOk:
      code = kResultOk;
      break;
    case kWorkerDifferent:
      code = kResultFilesDiffer;
      break;
    case kWorkerCancelled:
      code = kResultCancelled;
      break;
    case kWorkerReadFailed | kWorkerFirstFile:
      code = kResultReadError;
      name = argv[1];
      break;
    case kWorkerReadFailed | kWorkerSecondFile:
      code = kResultReadError;
      name = argv[2];
      break;
  }
  ResultText result;
  InitResultText(result, "COMPARE");
  AppendResult(result, code, name);
  std::printf("worker code %d\n%s\n", worker, result.text);
  return code;
}
