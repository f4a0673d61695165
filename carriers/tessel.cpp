// The Tessel token layer (see tessel.h).
#include "carriers/tessel.h"

#include <algorithm>
#include <cstring>

#include "carriers/drivers/tessel_driver.h"
#include "platform/clock.h"
#include "platform/library_text.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::carriers {

namespace {

using drivers::kNoTessel;
using drivers::TesselDriver;
using drivers::TesselHandle;

// ---- error texts ----------------------------------------------------------------------
// The token library's own texts, spelled as the system shows them (UTF-8
// here, converted at the boundary: platform/library_text.h).
struct ErrorText {
  std::uint32_t code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "Нет ошибки"},
    {1, "Драйвер поддержки Tessel не загружен"},
    {2, "Некорректная версия драйвера поддержки Tessel"},
    {3, "Задана некорректная команда"},
    {4, "Доступ к данным запрещен"},
    {5, "Значение счетчика уже равно нулю"},
    {6, "Tessel не найден"},
    {7, "Tessel отсоединен от ПЭВМ"},
    {8, "Ошибка при обмене данными с Tessel"},
    {9, "Заданный каталог не найден"},
    {10, "Заданный файл не найден"},
    {11, "Содержимое памяти Tessel повреждено"},
    {12, "Внутренняя аппаратная ошибка"},
    {13, "Недостаточный размер ответа от Tessel"},
    {14,
     "Количество неудачных попыток ввода PIN-кода превысило установленный администратором "
     "лимит"},
    {15, "Файл или каталог уже существует"},
    {16, "Нехватает памяти для размещения данных"},
    {17, "Задан некорректный параметр"},
    {18, "Ошибка выравнивания данных"},
    {19, "Слишком большой размер исходных данных"},
    {20, "Задан некорректный тип файла"},
    {21, "Tessel используется другим приложением"},
    {255,
     "Получен непонятный ответ от Tessel - возможно версия Tessel не поддерживается "
     "установленными драйверами"},
    {0x80000001, "Требуемый Tessel не найден"},
    {0x80000002, "Ошибка в формате данных Tessel"},
    {0x80000003,
     "Версия формата данных Tessel не поддерживается данной версией программного "
     "обеспечения"},
    {0x80000004, "Указан некорректный PIN-код"},
    {0x80000005, "Указан некорректный Master-Key"},
    {0x80000006, "Некорректные данные в памяти Tessel"},
};
constexpr const char kOtherErrorText[] = "Внутренняя ошибка библиотеки Tessel";

constexpr std::uint8_t kDataMagic[7] = {'N', 'C', 'X', 'D', 'A', 'T', 'A'};
constexpr std::uint8_t kDataVersion = 1;
constexpr std::uint8_t kDataIv[8] = {'Q', 'E', 'L', 'V', 'O', 'R', 'T', 'S'};
constexpr std::uint8_t kEntryNone = 0;
constexpr std::uint8_t kEntryDirectory = 1;
constexpr std::uint16_t kRootDirectory = 0;
constexpr std::uint32_t kMaxFurtherBytes = 256;
constexpr std::uint32_t kMaxReadChunk = 64;
constexpr std::uint32_t kMaxHashMessage = 55;

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The back-off generator (15-bit LCG), seeded from the clock on first use.
std::uint32_t Random() {
  static std::uint32_t state = static_cast<std::uint32_t>(platform::CurrentClock().NowMs());
  state = state * 214013u + 2531011u;
  return (state >> 16) & 0x7FFFu;
}

// ---- one selected token ----------------------------------------------------------------

struct Token {
  TesselDriver& driver;
  TesselHandle device = kNoTessel;
  std::uint32_t identifier = 0;
  bool selected = false;
  bool exchange = false;
};

// Opens the driver and selects the token at `index`.
std::uint32_t Select(Token& token, std::uint32_t index) {
  std::uint32_t error = 0;
  std::uint32_t returned = 0;
  token.device = token.driver.Open(&error);
  if (token.device == kNoTessel) return kTesselNotFound;
  auto fail = [&](std::uint32_t code) {
    token.driver.Close(token.device);
    token.device = kNoTessel;
    return code;
  };
  std::uint8_t version[4] = {};
  if (!token.driver.Control(token.device, drivers::kTesselGetVersion, nullptr, 0, version,
                            sizeof version, &returned, &error) ||
      returned != sizeof version) {
    return fail(kTesselNoDriver);
  }
  if (Get32(version) < kTesselMinDriverVersion) return fail(kTesselBadDriverVersion);
  std::uint8_t block[drivers::kTesselSelectBlockSize] = {};
  Put32(block + drivers::kSelectIndexOffset, index);
  if (!token.driver.Control(token.device, drivers::kTesselSelect, block, sizeof block, block,
                            sizeof block, &returned, &error)) {
    return fail(TesselErrorOfControl(error));
  }
  if (returned != sizeof block) return fail(kTesselExchangeError);
  switch (Get32(block + drivers::kSelectResultOffset)) {
    case drivers::kSelectedToken:
      break;
    case drivers::kSelectNoToken:
      return fail(kTesselNotFound);
    case drivers::kSelectTokenBusy:
      return fail(kTesselBusy);
    default:
      return fail(kTesselExchangeError);
  }
  token.identifier = Get32(block + drivers::kSelectIdentifierOffset);
  token.selected = true;
  return kTesselOk;
}

// Select with its retries: a token not found or in use is tried again
// after a random pause, up to kTesselSelectAttempts attempts in all.
std::uint32_t SelectWithRetries(Token& token, std::uint32_t index) {
  for (std::uint32_t attempt = 1;; ++attempt) {
    std::uint32_t error = Select(token, index);
    if (error == kTesselOk) return error;
    if ((error != kTesselBusy && error != kTesselNotFound) || attempt == kTesselSelectAttempts) {
      return error;
    }
    platform::CurrentClock().SleepMs((Random() % 10) * kTesselBackoffUnitMs);
  }
}

// Releases the token and closes the driver (whatever of it is open).
void ReleaseAndClose(Token& token) {
  if (token.selected) {
    std::uint8_t block[drivers::kTesselSelectBlockSize] = {};
    Put32(block + drivers::kSelectIdentifierOffset, token.identifier);
    std::uint32_t returned = 0;
    std::uint32_t error = 0;
    token.driver.Control(token.device, drivers::kTesselRelease, block, sizeof block, nullptr, 0,
                         &returned, &error);
    token.selected = false;
  }
  if (token.device != kNoTessel) {
    token.driver.Close(token.device);
    token.device = kNoTessel;
  }
}

// One request. `expected` is the length of the answer wanted: 0 none (the
// control call decides), 1 with no `out` a status only, else that many bytes
// into `out`.
std::uint32_t Request(Token& token, std::uint16_t code, const std::uint8_t* data,
                      std::uint32_t length, std::uint8_t* out, std::uint32_t expected) {
  if (length > 4 + kMaxFurtherBytes || expected > drivers::kTesselMaxResponse) {
    return kTesselBadParameter;
  }
  std::uint8_t block[drivers::kTesselRequestBlockSize] = {};
  Put32(block, token.identifier);
  if (length != 0) std::memcpy(block + 8, data, std::min<std::uint32_t>(length, 4));
  Put16(block + 12, code);
  std::uint32_t further = length > 4 ? length - 4 : 0;
  Put16(block + 14, further);
  if (further != 0) std::memcpy(block + 16, data + 4, further);

  std::uint8_t response[drivers::kTesselMaxResponse] = {};
  const bool statusOnly = expected == 1 && out == nullptr;
  const std::uint32_t room = expected == 0 ? 0 : statusOnly ? 2 : expected;
  std::uint32_t returned = 0;
  std::uint32_t error = 0;
  bool ok = token.driver.Control(token.device, drivers::kTesselRequest, block, sizeof block,
                                 room == 0 ? nullptr : response, room, &returned, &error);
  SecureWipe(block, sizeof block);

  std::uint32_t result;
  if (!ok) {
    result = TesselErrorOfControl(error);
  } else if (expected == 0) {
    result = kTesselOk;
  } else if (returned == 0) {
    result = kTesselExchangeError;  // an empty answer
  } else if (statusOnly) {
    result = TesselErrorOfStatus(response[0]);
  } else if (returned == expected) {
    std::memcpy(out, response, expected);
    result = kTesselOk;
  } else if (returned == 1) {
    result = TesselErrorOfStatus(response[0]);
    if (result == kTesselOk) result = kTesselShortResponse;
  } else {
    result = kTesselShortResponse;
  }
  SecureWipe(response, sizeof response);
  return result;
}

std::uint32_t Exchange(Token& token, bool begin) {
  std::uint8_t argument[2] = {static_cast<std::uint8_t>(begin ? 1 : 2), 0};
  std::uint32_t error = Request(token, 3, argument, sizeof argument, nullptr, 1);
  if (begin && error == kTesselOk) token.exchange = true;
  if (!begin) token.exchange = false;
  return error;
}

void EndExchange(Token& token) {
  if (token.exchange) Exchange(token, false);
}

std::uint32_t ReadSerial(Token& token, std::uint8_t serial[8]) {
  return Request(token, 258, nullptr, 0, serial, 8);
}

struct Entry {
  std::uint16_t identifier = 0;
  std::uint32_t size = 0;
  std::uint8_t type = kEntryNone;
};

std::uint32_t ReadEntry(Token& token, std::uint16_t directory, std::uint16_t index, Entry* entry) {
  std::uint8_t data[4];
  Put16(data, directory);
  Put16(data + 2, index);
  std::uint8_t answer[8] = {};
  std::uint32_t error = Request(token, 260, data, sizeof data, answer, sizeof answer);
  if (error != kTesselOk) return error;
  entry->identifier = static_cast<std::uint16_t>(answer[0] | (answer[1] << 8));
  entry->size = Get32(answer + 2);
  entry->type = answer[6];
  return kTesselOk;
}

std::uint32_t SelectFile(Token& token, std::uint16_t directory, std::uint16_t index) {
  std::uint8_t data[4];
  Put16(data, directory);
  Put16(data + 2, index);
  return Request(token, 261, data, sizeof data, nullptr, 1);
}

// Reads `length` bytes of the selected file in requests of at most 64
// bytes; *got tells how many arrived before the first failure.
void ReadSelectedFile(Token& token, std::uint8_t* out, std::uint32_t length, std::uint32_t* got) {
  *got = 0;
  while (*got < length) {
    std::uint32_t chunk = std::min(length - *got, kMaxReadChunk);
    std::uint8_t data[4];
    Put16(data, *got / 2);  // word offset (chunks are whole words)
    Put16(data + 2, chunk);
    if (Request(token, 263, data, sizeof data, out + *got, chunk) != kTesselOk) return;
    *got += chunk;
  }
}

// The selected key file's keyed hash of `message` (at most 55 bytes): the
// 80-byte block is 16 zero bytes, then the message padded to 64 bytes with
// 0x80 and the bit count of a 64-byte key block plus the message (512 + 8 ×
// length, 32-bit little-endian) at offset 56 of those 64.
std::uint32_t KeyedHash(Token& token, const std::uint8_t* message, std::uint32_t length,
                        std::uint8_t result[16]) {
  if (length > kMaxHashMessage) return kTesselBadParameter;
  std::uint8_t block[80] = {};
  std::uint8_t* last = block + 16;
  std::memcpy(last, message, length);
  last[length] = 0x80;
  Put32(last + 56, 512 + 8 * length);
  std::uint32_t error = Request(token, 273, block, sizeof block, result, 16);
  SecureWipe(block, sizeof block);
  return error;
}

// Steps 3 to 7, on the token selected with its exchange begun.
std::uint32_t ComputeResponse(Token& token, const std::uint8_t serial[8],
                              const std::uint8_t* challenge, std::uint32_t challengeLength,
                              std::uint8_t response[16]) {
  // The data directory: the first directory of the root whose entry 0 is a
  // 46-byte file.
  std::uint16_t directory = 0;
  bool found = false;
  for (std::uint32_t i = 0; i < kTesselRootEntries && !found; ++i) {
    Entry entry;
    std::uint32_t error = ReadEntry(token, kRootDirectory, static_cast<std::uint16_t>(i), &entry);
    if (error != kTesselOk) return error;
    if (entry.type == kEntryNone) return kTesselNoDirectory;
    if (entry.type != kEntryDirectory) continue;
    Entry first;
    error = ReadEntry(token, entry.identifier, 0, &first);
    if (error != kTesselOk) return error;
    if (first.type != kEntryNone && first.size == kTesselDataFileSize) {
      directory = entry.identifier;
      found = true;
    }
  }
  if (!found) return kTesselNoDirectory;

  // The data file.
  std::uint32_t error = SelectFile(token, directory, 0);
  if (error != kTesselOk) return error;
  std::uint8_t file[kTesselDataFileSize] = {};
  std::uint32_t got = 0;
  ReadSelectedFile(token, file, sizeof file, &got);
  std::uint8_t message[40] = {};
  std::uint32_t messageLength = 0;
  std::uint8_t first[16] = {};
  if (got < sizeof file) {
    error = kTesselExchangeError;
  } else if (std::memcmp(file, kDataMagic, sizeof kDataMagic) != 0) {
    error = kTesselBadDataFormat;
  } else if (file[8] != kDataVersion) {
    error = kTesselBadDataVersion;
  } else {
    // The body, deciphered under the serial number.
    std::uint8_t* body = file + 10;
    DesKeyContext key = {};
    key.count = 2;
    std::memcpy(key.key, serial, 8);
    DESEdk(&key);
    std::uint8_t iv[8];
    std::memcpy(iv, kDataIv, sizeof iv);
    DESCbc(body, 36, &key, iv, kDesDecipher);
    SecureWipe(&key, sizeof key);
    SecureWipe(iv, sizeof iv);

    // Deciphered bytes 0..3, the challenge, deciphered bytes 4..35.
    std::uint32_t taken = challenge != nullptr ? std::min<std::uint32_t>(challengeLength, 4) : 0;
    std::memcpy(message, body, 4);
    if (taken != 0) std::memcpy(message + 4, challenge, taken);
    std::memcpy(message + 4 + taken, body + 4, 32);
    messageLength = 36 + taken;

    error = SelectFile(token, directory, 1);
    if (error == kTesselOk) error = KeyedHash(token, message, messageLength, first);
    if (error == kTesselOk) error = SelectFile(token, directory, 2);
    if (error == kTesselOk) error = KeyedHash(token, first, sizeof first, response);
  }
  SecureWipe(file, sizeof file);
  SecureWipe(message, sizeof message);
  SecureWipe(first, sizeof first);
  return error;
}

}  // namespace

std::uint32_t TesselErrorOfStatus(std::uint8_t status) {
  static const std::uint32_t kMap[] = {0, 4, 5, 3, 9, 10, 11, 12, 14, 15, 16, 17, 20};
  std::uint32_t raw = status & 0x1Fu;
  return raw < sizeof kMap / sizeof kMap[0] ? kMap[raw] : kTesselUnknownResponse;
}

std::uint32_t TesselErrorOfControl(std::uint32_t windowsError) {
  switch (windowsError) {
    case 5:  // ERROR_ACCESS_DENIED
      return kTesselAccessDenied;
    case 6:  // ERROR_INVALID_HANDLE
      return kTesselDetached;
    case 87:  // ERROR_INVALID_PARAMETER
      return kTesselBadParameter;
    default:
      return kTesselExchangeError;
  }
}

std::uint32_t TesselResponse(std::uint8_t* out, const std::uint8_t* challenge,
                             std::uint32_t challengeLength) {
  if (out == nullptr) return kTesselBadParameter;
  Token token{drivers::CurrentTesselDriver()};
  std::uint8_t serial[8] = {};
  std::uint8_t again[8] = {};
  std::uint8_t response[kTesselResponseSize] = {};

  // 1. The first token: its serial number.
  std::uint32_t error = SelectWithRetries(token, 0);
  if (error == kTesselOk) {
    error = Exchange(token, true);
    if (error == kTesselOk) error = ReadSerial(token, serial);
    EndExchange(token);
    ReleaseAndClose(token);
  }

  // 2. That token again, found by its serial number.
  if (error == kTesselOk) {
    std::uint32_t index = 0;
    error = SelectWithRetries(token, index);
    while (error == kTesselOk) {
      error = Exchange(token, true);
      if (error == kTesselOk) error = ReadSerial(token, again);
      if (error != kTesselOk || std::memcmp(again, serial, sizeof serial) == 0) break;
      EndExchange(token);
      ReleaseAndClose(token);
      error = SelectWithRetries(token, ++index);
    }
    if (error == kTesselNotFound) error = kTesselWrongToken;
  }

  // 3 to 7.
  if (error == kTesselOk) {
    error = ComputeResponse(token, serial, challenge, challengeLength, response);
  }

  // 8. Always: end the exchange, release and close; nothing secret stays.
  EndExchange(token);
  ReleaseAndClose(token);
  if (error == kTesselOk) std::memcpy(out, response, sizeof response);
  SecureWipe(serial, sizeof serial);
  SecureWipe(again, sizeof again);
  SecureWipe(response, sizeof response);
  return error;
}

void TesselStatusText(char* buffer, std::uint32_t size, std::uint32_t code) {
  const char* text = kOtherErrorText;
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) text = entry.text;
  }
  platform::CopyLibraryText(buffer, size, text);
}

}  // namespace nc::carriers
