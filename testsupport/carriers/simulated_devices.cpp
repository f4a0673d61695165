// The description of the attached devices: building tokens, reading a
// description file, installing the simulators, and the fault switch.
#include "testsupport/carriers/simulated_devices.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <utility>

#include "carriers/drivers/carrier_drivers.h"
#include "testsupport/carriers/drivers/activator_sim.h"
#include "testsupport/carriers/drivers/quadra_sim.h"
#include "testsupport/carriers/drivers/tessel_sim.h"
#include "testsupport/carriers/touch_memory_sim.h"
#include "zq/wipe.h"
#include "zq/zq.h"

namespace nc::carriers {

namespace drivers {
void Md5Compress(std::uint32_t state[4], const std::uint8_t block[64]);
}

// ---- the simulators' entry points ------------------------------------------------------

namespace {

// An address in the never-mapped first page, hidden from the optimiser so
// that the access is neither folded nor diagnosed at compile time.
volatile std::uintptr_t g_faultAddress = 16;

[[gnu::noinline]] void DriverFault() { *reinterpret_cast<volatile int*>(g_faultAddress) = 1; }

}  // namespace

void SimulatedDevices::FaultPoint(const char* call) const {
  if (!faultOn.empty() && faultOn == call) DriverFault();
}

std::uint32_t SimulatedDevices::Enter(const std::string& call) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  ++log.calls[call];
  auto found = failures.find(call);
  if (found == failures.end()) return 0;
  Injection& injection = found->second;
  if (!injection.next.empty()) {
    std::uint32_t result = injection.next.front();
    injection.next.pop_front();
    return result;
  }
  return injection.always.value_or(0);
}

// ---- tokens -------------------------------------------------------------------------------

std::vector<std::uint8_t> MakeTesselDataFile(const std::array<std::uint8_t, 8>& serial,
                                             const std::array<std::uint8_t, 36>& body,
                                             std::uint8_t version) {
  std::vector<std::uint8_t> file(46, 0);
  std::memcpy(file.data(), "NCXDATA", 7);
  file[8] = version;
  std::memcpy(file.data() + 10, body.data(), body.size());
  DesKeyContext key = {};
  key.count = 2;
  std::memcpy(key.key, serial.data(), 8);
  DESEdk(&key);
  DESCbc(file.data() + 10, 36, &key, "QELVORTS", kDesEncipher);
  SecureWipe(&key, sizeof key);
  return file;
}

std::array<std::uint8_t, 64> TesselHmacKeyFile(const std::vector<std::uint8_t>& key, bool outer) {
  std::array<std::uint8_t, 64> block{};
  std::vector<std::uint8_t> material = key;
  if (material.size() > 64) {
    // HMAC hashes a long key first: MD5 with its padding, block by block.
    std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    std::vector<std::uint8_t> padded = material;
    padded.push_back(0x80);
    while (padded.size() % 64 != 56) padded.push_back(0);
    std::uint64_t bits = static_cast<std::uint64_t>(material.size()) * 8;
    for (int i = 0; i < 8; ++i) padded.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
    for (std::size_t at = 0; at < padded.size(); at += 64) {
      drivers::Md5Compress(state, padded.data() + at);
    }
    material.assign(16, 0);
    for (int i = 0; i < 16; ++i)
      material[i] = static_cast<std::uint8_t>(state[i / 4] >> (8 * (i % 4)));
    SecureWipe(padded.data(), padded.size());
  }
  for (std::size_t i = 0; i < 64; ++i) {
    std::uint8_t k = i < material.size() ? material[i] : 0;
    block[i] = static_cast<std::uint8_t>(k ^ (outer ? 0x5c : 0x36));
  }
  SecureWipe(material.data(), material.size());
  return block;
}

SimTesselToken MakeTesselToken(const std::array<std::uint8_t, 8>& serial,
                               const std::array<std::uint8_t, 36>& body,
                               const std::vector<std::uint8_t>& hashKey, std::uint8_t version) {
  SimTesselToken token;
  token.serial = serial;

  SimTesselEntry notes;
  notes.type = kTesselEntryFile;
  notes.identifier = 0x0101;
  notes.bytes.assign(46, 0x20);  // 46 bytes, but in the root: not a data directory

  SimTesselEntry other;
  other.type = kTesselEntryDirectory;
  other.identifier = 0x0200;
  SimTesselEntry otherFile;
  otherFile.identifier = 0x0201;
  otherFile.bytes.assign(12, 0x11);
  other.entries.push_back(otherFile);

  SimTesselEntry data;
  data.type = kTesselEntryDirectory;
  data.identifier = 0x0300;
  SimTesselEntry dataFile;
  dataFile.identifier = 0x0301;
  dataFile.bytes = MakeTesselDataFile(serial, body, version);
  SimTesselEntry inner;
  inner.type = kTesselEntryKey;
  inner.identifier = 0x0302;
  auto innerKey = TesselHmacKeyFile(hashKey, false);
  inner.bytes.assign(innerKey.begin(), innerKey.end());
  SimTesselEntry outer = inner;
  outer.identifier = 0x0303;
  auto outerKey = TesselHmacKeyFile(hashKey, true);
  outer.bytes.assign(outerKey.begin(), outerKey.end());
  data.entries = {dataFile, inner, outer};
  SecureWipe(innerKey.data(), innerKey.size());
  SecureWipe(outerKey.data(), outerKey.size());

  token.root = {notes, other, data};
  return token;
}

// ---- the description file -----------------------------------------------------------------

namespace {

std::string Trim(const std::string& text) {
  std::size_t start = text.find_first_not_of(" \t\r");
  if (start == std::string::npos) return std::string();
  std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(start, end - start + 1);
}

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

bool ParseNumber(const std::string& text, std::uint32_t* value) {
  if (text.empty()) return false;
  const char* digits = text.c_str();
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    digits += 2;
    base = 16;
  }
  if (*digits == '\0') return false;
  std::uint64_t v = 0;
  for (const char* p = digits; *p != '\0'; ++p) {
    int d;
    if (*p >= '0' && *p <= '9') {
      d = *p - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(*p))) {
      d = std::tolower(static_cast<unsigned char>(*p)) - 'a' + 10;
    } else {
      return false;
    }
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (v > 0xFFFFFFFFu) return false;
  }
  *value = static_cast<std::uint32_t>(v);
  return true;
}

bool ParseHex(const std::string& text, std::vector<std::uint8_t>* bytes) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  bytes->clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes->push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

// "n:v v v m:v": values at positions, each plain value after the one before.
bool ParseCells(const std::string& text, std::uint16_t* cells, std::uint32_t count, bool hexBytes) {
  std::uint32_t at = 0;
  for (const std::string& word : Words(text)) {
    std::string value = word;
    std::size_t colon = word.find(':');
    if (colon != std::string::npos) {
      if (!ParseNumber(word.substr(0, colon), &at)) return false;
      value = word.substr(colon + 1);
      if (value.empty()) continue;  // "n:" alone moves the position
    }
    std::uint32_t v = 0;
    if (hexBytes) {
      std::vector<std::uint8_t> byte;
      if (!ParseHex(value, &byte) || byte.size() != 1) return false;
      v = byte[0];
      if (at >= count * 2) return false;
      std::uint16_t& word16 = cells[at / 2];
      word16 = (at % 2 == 0) ? static_cast<std::uint16_t>((word16 & 0xFF00) | v)
                             : static_cast<std::uint16_t>((word16 & 0x00FF) | (v << 8));
    } else {
      if (!ParseNumber(value, &v) || v > 0xFFFF || at >= count) return false;
      cells[at] = static_cast<std::uint16_t>(v);
    }
    ++at;
  }
  return true;
}

struct TokenDraft {
  bool any = false;
  std::vector<std::uint8_t> serial, body, hashKey, data;
  std::uint32_t version = 1;
  std::uint32_t busy = 0;
};

bool FinishToken(const TokenDraft& draft, SimulatedDevices* devices, std::string* why) {
  if (draft.serial.size() != 8) {
    *why = "a [tessel] section needs serial = 8 hex bytes";
    return false;
  }
  std::array<std::uint8_t, 8> serial{};
  std::copy(draft.serial.begin(), draft.serial.end(), serial.begin());
  std::array<std::uint8_t, 36> body{};
  if (!draft.body.empty()) {
    if (draft.body.size() != 36) {
      *why = "body must be 36 hex bytes";
      return false;
    }
    std::copy(draft.body.begin(), draft.body.end(), body.begin());
  }
  SimTesselToken token =
      MakeTesselToken(serial, body, draft.hashKey, static_cast<std::uint8_t>(draft.version));
  if (!draft.data.empty()) token.root[2].entries[0].bytes = draft.data;
  token.busySelects = static_cast<int>(draft.busy);
  devices->tessel.push_back(token);
  return true;
}

}  // namespace

bool ParseSimulatedDevices(const std::string& text, SimulatedDevices* devices, std::string* error) {
  std::istringstream in(text);
  std::string line;
  std::string section;
  TokenDraft token;
  int number = 0;
  std::string why;
  auto fail = [&](const std::string& message) {
    if (error != nullptr) *error = "line " + std::to_string(number) + ": " + message;
    return false;
  };
  auto endSection = [&]() {
    if (section == "tessel" && token.any && !FinishToken(token, devices, &why)) return false;
    token = TokenDraft();
    return true;
  };
  while (std::getline(in, line)) {
    ++number;
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      if (!endSection()) return fail(why);
      section = Trim(trimmed.substr(1, trimmed.size() - 2));
      if (section == "quadra") {
        devices->quadra.emplace_back();
      } else if (section == "activator") {
        if (devices->activator) return fail("only one [activator] section");
        devices->activator.emplace();
      } else if (section == "tessel") {
        token.any = true;
      } else if (section != "driver") {
        devices->other[section].emplace_back();
      }
      continue;
    }
    std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos || section.empty()) return fail("expected name = value");
    std::string name = Trim(trimmed.substr(0, equals));
    std::string value = Trim(trimmed.substr(equals + 1));
    std::uint32_t n = 0;
    std::vector<std::uint8_t> bytes;

    if (section == "quadra") {
      SimQuadraDongle& dongle = devices->quadra.back();
      if (name == "developer" && ParseNumber(value, &n) && n <= 0xFFFF) {
        dongle.developerId = static_cast<std::uint16_t>(n);
      } else if (name == "cells" &&
                 ParseCells(value, dongle.cells.data(), kSimQuadraCells, false)) {
      } else {
        return fail("bad [quadra] line");
      }
    } else if (section == "activator") {
      SimActivator& activator = *devices->activator;
      std::size_t dash = value.find('-');
      std::uint32_t low = 0, high = 0;
      if (name == "timing" && dash != std::string::npos &&
          ParseNumber(Trim(value.substr(0, dash)), &low) &&
          ParseNumber(Trim(value.substr(dash + 1)), &high) && low <= high) {
        activator.minTiming = low;
        activator.maxTiming = high;
      } else if (name == "words" &&
                 ParseCells(value, activator.words.data(), kSimActivatorWords, false)) {
      } else if (name == "bytes" &&
                 ParseCells(value, activator.words.data(), kSimActivatorWords, true)) {
      } else {
        return fail("bad [activator] line");
      }
    } else if (section == "tessel") {
      if (name == "serial" && ParseHex(value, &bytes) && bytes.size() == 8) {
        token.serial = bytes;
      } else if (name == "body" && ParseHex(value, &bytes) && bytes.size() == 36) {
        token.body = bytes;
      } else if (name == "hash-key" && ParseHex(value, &bytes)) {
        token.hashKey = bytes;
      } else if (name == "data" && ParseHex(value, &bytes) && !bytes.empty()) {
        token.data = bytes;
      } else if (name == "version" && ParseNumber(value, &n) && n <= 255) {
        token.version = n;
      } else if (name == "busy" && ParseNumber(value, &n) && n <= 1000) {
        token.busy = n;
      } else {
        return fail("bad [tessel] line");
      }
    } else if (section == "driver") {
      if (name == "tessel") {
        if (value == "none") {
          devices->tesselDriver = false;
        } else if (ParseNumber(value, &n)) {
          devices->tesselDriverVersion = n;
        } else {
          return fail("bad tessel driver version");
        }
      } else if (name == "fault") {
        devices->faultOn = value;
      } else if (name.rfind("fail.", 0) == 0 || name.rfind("always.", 0) == 0) {
        bool always = name[0] == 'a';
        std::string call = name.substr(always ? 7 : 5);
        Injection& injection = devices->failures[call];
        std::vector<std::string> words = Words(value);
        if (call.empty() || words.empty() || (always && words.size() != 1)) {
          return fail("bad failure switch");
        }
        for (const std::string& word : words) {
          if (!ParseNumber(word, &n)) return fail("bad failure switch");
          if (always) {
            injection.always = n;
          } else {
            injection.next.push_back(n);
          }
        }
      } else {
        return fail("bad [driver] line");
      }
    } else {
      devices->other[section].back().emplace_back(name, value);
    }
  }
  ++number;
  if (!endSection()) return fail(why);
  return true;
}

bool LoadSimulatedDevices(const char* path, SimulatedDevices* devices, std::string* error) {
  std::ifstream in(path != nullptr ? path : "", std::ios::binary);
  if (!in) {
    if (error != nullptr) *error = std::string("cannot read ") + (path != nullptr ? path : "");
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  return ParseSimulatedDevices(text.str(), devices, error);
}

// ---- installation -----------------------------------------------------------------------

namespace {

std::mutex g_installLock;
SimulatedDevices* g_installed = nullptr;
std::unique_ptr<drivers::QuadraSimulator> g_quadra;
std::unique_ptr<drivers::ActivatorSimulator> g_activator;
std::unique_ptr<drivers::TesselSimulator> g_tessel;
// A description file's devices and its Touch Memory reader, when the
// installation came from InstallDescribedDevices.
std::unique_ptr<SimulatedDevices> g_described;
std::unique_ptr<SimulatedTouchMemory> g_describedReader;

void InstallLocked(SimulatedDevices* devices) {
  // The simulators in use stay until the new ones (or the system's drivers)
  // are installed; the Touch Memory drivers stay as they are.
  auto quadra = std::move(g_quadra);
  auto activator = std::move(g_activator);
  auto tessel = std::move(g_tessel);
  g_installed = devices;
  if (devices != nullptr) {
    g_quadra = std::make_unique<drivers::QuadraSimulator>(*devices);
    g_activator = std::make_unique<drivers::ActivatorSimulator>(*devices);
    g_tessel = std::make_unique<drivers::TesselSimulator>(*devices);
  }
  drivers::CarrierDrivers installed = drivers::InstalledCarrierDrivers();
  installed.quadra = g_quadra.get();
  installed.activator = g_activator.get();
  installed.tessel = g_tessel.get();
  drivers::InstallCarrierDrivers(&installed);
}

void DropDescribedLocked() {
  if (g_describedReader != nullptr) InstallTouchMemoryDrivers({});
  g_describedReader.reset();
  g_described.reset();
}

}  // namespace

void InstallSimulatedDevices(SimulatedDevices* devices) {
  std::lock_guard<std::mutex> guard(g_installLock);
  DropDescribedLocked();
  InstallLocked(devices);
}

SimulatedDevices* InstalledSimulatedDevices() {
  std::lock_guard<std::mutex> guard(g_installLock);
  return g_installed;
}

bool InstallDescribedDevices(const char* path, std::string* error) {
  auto described = std::make_unique<SimulatedDevices>();
  if (!LoadSimulatedDevices(path, described.get(), error)) return false;
  std::unique_ptr<SimulatedTouchMemory> reader;
  if (auto section = described->other.find("touchmemory"); section != described->other.end()) {
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& part : section->second) lines.insert(lines.end(), part.begin(), part.end());
    reader = std::make_unique<SimulatedTouchMemory>();
    if (!ConfigureTouchMemorySimulation(lines, reader.get(), error)) return false;
  }
  std::lock_guard<std::mutex> guard(g_installLock);
  DropDescribedLocked();
  InstallLocked(described.get());
  g_described = std::move(described);
  if (reader != nullptr) {
    g_describedReader = std::move(reader);
    InstallTouchMemoryDrivers(g_describedReader->drivers());
  }
  return true;
}

}  // namespace nc::carriers
