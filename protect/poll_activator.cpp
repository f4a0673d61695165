// The Activator/M factor: the 16-byte key record after the dongle's
// "CM2x" header, enciphered under itself and folded into the key.
#include <cstring>

#include "carriers/activator.h"
#include "protect/factor_contribution.h"
#include "protect/factor_readers.h"
#include "protect/master_key.h"
#include "protect/status_line.h"
#include "zq/wipe.h"

namespace nc::protect {
namespace {

// The reader's messages (UTF-8; the status line gets them without prefix).
constexpr char kInitError[] = "Ошибка инициализации";
constexpr char kFormatError[] = "Ошибка в формате данных ключа";
constexpr char kVersionError[] =
    "Версия формата данных ключа не поддерживается данной версией приложения";
constexpr char kAccessError[] = "Ошибка доступа к ключу";

constexpr std::uint32_t kHeaderAddress = 0;
constexpr std::uint32_t kHeaderWords = 4;
constexpr std::uint32_t kRecordAddress = 4;
constexpr std::uint32_t kRecordWords = 8;

void WordsToBytes(const std::uint16_t* words, std::uint32_t count, std::uint8_t* bytes) {
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(words[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
  }
}

// One attempt: null with the record in `record`, or the message of what
// went wrong.
const char* ReadRecord(CarrierAuthState& state, std::uint8_t record[2 * kRecordWords]) {
  if ((state.obtained.load() & kObtainedActivatorAccess) == 0) {
    if (!carriers::ActivatorOpen()) return kInitError;
    state.obtained.fetch_or(kObtainedActivatorAccess);
  }
  // The header: magic "CM2x", format type 2 or 3 (bytes 4..5), version 1
  // (byte 7).
  std::uint16_t header[kHeaderWords] = {};
  if (!carriers::ActivatorRead(kHeaderAddress, header, kHeaderWords)) return kAccessError;
  std::uint8_t bytes[2 * kHeaderWords];
  WordsToBytes(header, kHeaderWords, bytes);
  const unsigned type = bytes[4] | static_cast<unsigned>(bytes[5]) << 8;
  if (std::memcmp(bytes, "CM2x", 4) != 0 || (type != 2 && type != 3)) return kFormatError;
  if (bytes[7] != 1) return kVersionError;

  std::uint16_t words[kRecordWords] = {};
  const char* message = nullptr;
  if (carriers::ActivatorRead(kRecordAddress, words, kRecordWords)) {
    WordsToBytes(words, kRecordWords, record);
  } else {
    message = kAccessError;
  }
  SecureWipe(words, sizeof words);
  return message;
}

void ShowActivatorMessage(CarrierAuthState& state, const char* message) {
  if (message == state.lastActivatorMessage) return;  // a steady error does not flicker
  state.lastActivatorMessage = message;
  // A dongle that does not answer is most likely not attached.
  ShowStatusText(
      state, platform::kCarrierActivatorStatus,
      message == kAccessError ? "Присоедините ключ Activator/M к разъему порта" : message);
}

}  // namespace

void PollActivator(CarrierAuthState& state) {
  if ((state.code & kFactorActivator) == 0 || (state.obtained.load() & kFactorActivator) != 0) {
    return;
  }
  std::uint8_t record[2 * kRecordWords] = {};
  const char* message = ReadRecord(state, record);
  if (message != nullptr) {
    SecureWipe(record, sizeof record);
    ShowActivatorMessage(state, message);
    return;
  }
  SelfKeyedDesCbc(record, sizeof record);
  AcceptContribution(state, kFactorActivator, platform::kCarrierActivatorStatus, record,
                     sizeof record);
}

}  // namespace nc::protect
