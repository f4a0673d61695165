// The Touch Memory factor: the registration number (ROM code) of the
// device on the reader, enciphered under itself and folded into the key.
#include "carriers/touch_memory.h"
#include "platform/last_error.h"
#include "platform/library_text.h"
#include "protect/factor_contribution.h"
#include "protect/factor_readers.h"
#include "protect/master_key.h"
#include "protect/status_line.h"
#include "zq/wipe.h"

namespace nc::protect {
namespace {

// The library's error after a failed call (never 0: a failure must not
// pass for success).
std::uint32_t LastTmError() {
  std::uint32_t error = platform::GetLastErrorCode();
  return error != carriers::kTmSuccess ? error : carriers::kTmUnknownError;
}

// One reading: 0 with the ROM code in `rom`, or the library's error. The
// library is initialised once per call; the session is closed after every
// attempt, whatever its outcome.
std::uint32_t ReadDeviceRom(CarrierAuthState& state, std::uint8_t rom[8]) {
  if ((state.obtained.load() & kObtainedTmLibrary) == 0) {
    if (carriers::TmLibraryInit(0) == 0) return LastTmError();
    state.obtained.fetch_or(kObtainedTmLibrary);
  }
  if (state.tmSession == 0) {
    carriers::TmSession session = 0;
    if (carriers::TmOpenSession(&session) == 0) return LastTmError();
    state.tmSession = session;
  }
  std::uint32_t error = carriers::kTmSuccess;
  if (carriers::TmReadRom(state.tmSession, rom) == 0) error = LastTmError();
  carriers::TmCloseSession(state.tmSession);
  state.tmSession = 0;
  return error;
}

void ShowTmError(CarrierAuthState& state, std::uint32_t error) {
  if (error == state.lastTmError) return;  // a steady error does not flicker
  state.lastTmError = error;
  if (error == carriers::kTmExchangeError) {  // no device on the reader
    ShowStatusText(state, platform::kCarrierTmStatus,
                   "Присоедините прибор Touch Memory к считывателю");
    return;
  }
  char text[kStatusLineSize];
  carriers::TmErrorText(error, text, sizeof text, carriers::kTmTextUtf8);
  char line[kStatusLineSize];
  std::uint32_t prefix = BeginErrorLine(line);
  platform::CopyLibraryText(line + prefix, kStatusLineSize - prefix, text);
  WriteStatusLine(state, platform::kCarrierTmStatus, line);
}

}  // namespace

void PollTouchMemory(CarrierAuthState& state) {
  if ((state.code & kFactorTouchMemory) == 0 || (state.obtained.load() & kFactorTouchMemory) != 0) {
    return;
  }
  std::uint8_t rom[8] = {};
  std::uint32_t error = ReadDeviceRom(state, rom);
  if (error != carriers::kTmSuccess) {
    SecureWipe(rom, sizeof rom);
    ShowTmError(state, error);
    return;
  }
  SelfKeyedDesCbc(rom, sizeof rom);
  AcceptContribution(state, kFactorTouchMemory, platform::kCarrierTmStatus, rom, sizeof rom);
}

}  // namespace nc::protect
