// The Touch Memory simulators together, and their description section.
#include "testsupport/carriers/touch_memory_sim.h"

#include <cstdlib>
#include <set>
#include <sstream>

namespace nc::carriers {

SimulatedTouchMemory::SimulatedTouchMemory()
    : vtmd_(line_, switches_), tmex_(line_, switches_), ports_(switches_) {
  tmex_.SetInstalled(false);  // few machines have it
}

drivers::PassiveAdapter& SimulatedTouchMemory::AddAdapter(const std::string& name) {
  adapters_.push_back(std::make_unique<drivers::PassiveAdapter>(line_));
  ports_.AddPort(name, adapters_.back().get());
  return *adapters_.back();
}

drivers::TouchMemoryDrivers SimulatedTouchMemory::drivers() {
  drivers::TouchMemoryDrivers d;
  d.vtmd = &vtmd_;
  d.tmex = &tmex_;
  d.ports = &ports_;
  return d;
}

void InstallTouchMemoryDrivers(const drivers::TouchMemoryDrivers& touchMemory) {
  drivers::CarrierDrivers installed = drivers::InstalledCarrierDrivers();
  installed.touchMemory = touchMemory;
  drivers::InstallCarrierDrivers(&installed);
}

ScopedSimulatedTouchMemory::ScopedSimulatedTouchMemory(SimulatedTouchMemory& sim) {
  InstallTouchMemoryDrivers(sim.drivers());
}

ScopedSimulatedTouchMemory::~ScopedSimulatedTouchMemory() { InstallTouchMemoryDrivers({}); }

// ---- the description section --------------------------------------------------------

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// A decimal or 0x-hex number (a leading '-' allowed: TMEX results).
bool Number(const std::string& text, std::uint32_t* value) {
  if (text.empty()) return false;
  const char* start = text.c_str();
  bool negative = *start == '-';
  if (negative) ++start;
  char* end = nullptr;
  unsigned long long n = std::strtoull(start, &end, 0);
  if (end == start || *end != '\0' || n > 0xFFFFFFFFull) return false;
  *value = negative ? static_cast<std::uint32_t>(0u - static_cast<std::uint32_t>(n))
                    : static_cast<std::uint32_t>(n);
  return true;
}

bool Numbers(const std::string& text, std::vector<std::uint32_t>* values) {
  std::istringstream in(text);
  std::string word;
  while (in >> word) {
    std::uint32_t v = 0;
    if (!Number(word, &v)) return false;
    values->push_back(v);
  }
  return !values->empty();
}

bool YesNo(const std::string& text, bool* value) {
  std::string t = Lower(text);
  if (t == "yes" || t == "1" || t == "true") {
    *value = true;
    return true;
  }
  if (t == "no" || t == "0" || t == "false" || t == "none") {
    *value = false;
    return true;
  }
  return false;
}

// 8 hex bytes, or 7 with the CRC-8 added.
bool Rom(const std::string& text, drivers::RomCode* rom) {
  std::string digits;
  for (char c : text) {
    if (c == ' ' || c == ':' || c == '-') continue;
    digits += c;
  }
  if (digits.size() != 14 && digits.size() != 16) return false;
  std::uint8_t bytes[8] = {};
  for (std::size_t i = 0; i < digits.size() / 2; ++i) {
    std::uint32_t v = 0;
    if (!Number("0x" + digits.substr(2 * i, 2), &v)) return false;
    bytes[i] = static_cast<std::uint8_t>(v);
  }
  if (digits.size() == 14) {
    std::uint64_t serial = 0;
    for (int i = 6; i >= 1; --i) serial = (serial << 8) | bytes[i];
    *rom = drivers::MakeRomCode(bytes[0], serial);
  } else {
    for (int i = 0; i < 8; ++i) (*rom)[static_cast<std::size_t>(i)] = bytes[i];
  }
  return true;
}

}  // namespace

bool ConfigureTouchMemorySimulation(const std::vector<std::pair<std::string, std::string>>& lines,
                                    SimulatedTouchMemory* sim, std::string* error) {
  std::vector<drivers::RomCode> devices;
  for (const auto& [rawName, value] : lines) {
    std::string name = Lower(rawName);
    bool ok = true;
    bool flag = false;
    std::vector<std::uint32_t> numbers;
    if (name == "device") {
      drivers::RomCode rom{};
      ok = Rom(value, &rom);
      if (ok) devices.push_back(rom);
    } else if (name == "driver") {
      ok = YesNo(value, &flag);
      if (ok) sim->vtmd().SetInstalled(flag);
    } else if (name == "platform") {
      std::string p = Lower(value);
      ok = p == "nt" || p == "9x";
      if (ok) sim->vtmd().SetWindows9x(p == "9x");
    } else if (name == "tmex") {
      ok = YesNo(value, &flag);
      if (ok) sim->tmex().SetInstalled(flag);
    } else if (name == "tmex.missing") {
      sim->tmex().SetMissingEntry(value);
    } else if (name == "tmex.ports") {
      ok = Numbers(value, &numbers);
      if (ok) sim->tmex().SetPorts(std::set<int>(numbers.begin(), numbers.end()));
    } else if (name == "adapter") {
      sim->AddAdapter(value);
    } else if (name == "port") {
      sim->AddPort(value);
    } else if (name == "corrupt") {
      std::size_t colon = value.find(':');
      std::uint32_t index = 0, mask = 0;
      ok = colon != std::string::npos && Number(value.substr(0, colon), &index) &&
           Number(value.substr(colon + 1), &mask) && index < 8 && mask <= 0xFF;
      if (ok) sim->line().CorruptRomByte(static_cast<int>(index), static_cast<std::uint8_t>(mask));
    } else if (name.rfind("fail.", 0) == 0) {
      ok = Numbers(value, &numbers);
      if (ok) sim->switches().FailNext(name.substr(5), numbers);
    } else if (name.rfind("always.", 0) == 0) {
      ok = Numbers(value, &numbers) && numbers.size() == 1;
      if (ok) sim->switches().FailAlways(name.substr(7), numbers[0]);
    } else if (name == "fault") {
      sim->switches().FaultOn(Lower(value));
    } else {
      ok = false;
    }
    if (!ok) {
      if (error != nullptr)
        *error = "[touchmemory] " + rawName + " = " + value + ": not understood";
      return false;
    }
  }
  sim->SetDevices(std::move(devices));
  return true;
}

}  // namespace nc::carriers
