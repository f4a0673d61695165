// The simulated TMEX module (see tmex_sim.h).
#include "testsupport/carriers/drivers/tmex_sim.h"

#include <atomic>
#include <cstring>

#include "platform/last_error.h"

namespace nc::carriers::drivers {

namespace {

constexpr std::int16_t kBadSession = -200;

// The loaded module: the entry points find it here.
std::atomic<SimulatedTmexModule*> g_loaded{nullptr};

SimulatedTmexModule* Loaded() { return g_loaded.load(); }

std::int32_t NC_TMEX_CALL EntryStartSession(std::int16_t port, std::int16_t type, void*) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->StartSession(port, type) : -1;
}
std::int16_t NC_TMEX_CALL EntryEndSession(std::int32_t s) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->EndSession(s) : kBadSession;
}
std::int16_t NC_TMEX_CALL EntrySetup(std::int32_t s) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->Setup(s) : kBadSession;
}
std::int16_t NC_TMEX_CALL EntryClose(std::int32_t s) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->Close(s) : kBadSession;
}
std::int16_t NC_TMEX_CALL EntryFirst(std::int32_t s, void* state) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->First(s, state) : kBadSession;
}
std::int16_t NC_TMEX_CALL EntryRom(std::int32_t s, void* state, std::int16_t* rom) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->Rom(s, state, rom) : kBadSession;
}
std::int16_t NC_TMEX_CALL EntryTouchReset(std::int32_t s) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->TouchReset(s) : kBadSession;
}
std::int16_t NC_TMEX_CALL EntryTouchByte(std::int32_t s, std::int16_t byte) {
  SimulatedTmexModule* m = Loaded();
  return m != nullptr ? m->TouchByte(s, byte) : kBadSession;
}

struct Entry {
  const char* name;
  void* address;
};

const Entry kEntries[] = {
    {"TMExtendedStartSession", reinterpret_cast<void*>(&EntryStartSession)},
    {"TMEndSession", reinterpret_cast<void*>(&EntryEndSession)},
    {"TMSetup", reinterpret_cast<void*>(&EntrySetup)},
    {"TMClose", reinterpret_cast<void*>(&EntryClose)},
    {"TMFirst", reinterpret_cast<void*>(&EntryFirst)},
    {"TMRom", reinterpret_cast<void*>(&EntryRom)},
    {"TMTouchReset", reinterpret_cast<void*>(&EntryTouchReset)},
    {"TMTouchByte", reinterpret_cast<void*>(&EntryTouchByte)},
};

std::int16_t Short(std::uint32_t value) { return static_cast<std::int16_t>(value & 0xFFFF); }

}  // namespace

SimulatedTmexModule::SimulatedTmexModule(OneWireLine& line, SimSwitches& switches)
    : line_(line), switches_(switches) {}

SimulatedTmexModule::~SimulatedTmexModule() {
  SimulatedTmexModule* self = this;
  g_loaded.compare_exchange_strong(self, nullptr);
}

void SimulatedTmexModule::SetInstalled(bool installed) {
  std::lock_guard<std::mutex> lock(mutex_);
  installed_ = installed;
}

void SimulatedTmexModule::SetMissingEntry(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  missing_ = name;
}

void SimulatedTmexModule::SetPorts(std::set<int> ports) {
  std::lock_guard<std::mutex> lock(mutex_);
  ports_ = std::move(ports);
}

void* SimulatedTmexModule::Load() {
  std::uint32_t missing = switches_.Enter("tmex.load");
  std::lock_guard<std::mutex> lock(mutex_);
  if (!installed_ || missing != 0) {
    platform::SetLastErrorCode(126);  // ERROR_MOD_NOT_FOUND
    return nullptr;
  }
  ++loads_;
  g_loaded.store(this);
  return this;
}

void* SimulatedTmexModule::Resolve(void* module, const char* name) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (module != this || name == nullptr || missing_ == name) return nullptr;
  for (const Entry& e : kEntries) {
    if (std::strcmp(e.name, name) == 0) return e.address;
  }
  return nullptr;
}

void SimulatedTmexModule::Free(void* module) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (module != this || loads_ == 0) return;
  if (--loads_ == 0) {
    SimulatedTmexModule* self = this;
    g_loaded.compare_exchange_strong(self, nullptr);
  }
}

int SimulatedTmexModule::loads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return loads_;
}

int SimulatedTmexModule::openSessions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(sessions_.size());
}

int SimulatedTmexModule::lastPortNumber() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastPort_;
}

int SimulatedTmexModule::lastPortType() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastType_;
}

bool SimulatedTmexModule::Open(std::int32_t session) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_.count(session) != 0;
}

std::int32_t SimulatedTmexModule::StartSession(std::int16_t port, std::int16_t type) {
  std::uint32_t busy = switches_.Enter("tmex.port_busy");
  std::uint32_t forced = switches_.Enter("tmex.start_session");
  std::lock_guard<std::mutex> lock(mutex_);
  lastPort_ = port;
  lastType_ = type;
  if (busy != 0) return 0;
  if (forced != 0 && static_cast<std::int32_t>(forced) <= 0) {
    return static_cast<std::int32_t>(forced);
  }
  if (ports_.count(port) == 0) return -1;
  for (const auto& [session, p] : sessions_) {
    if (p == port) return 0;  // the port has its session
  }
  std::int32_t session = forced != 0 ? static_cast<std::int32_t>(forced) : nextSession_++;
  sessions_[session] = port;
  return session;
}

std::int16_t SimulatedTmexModule::EndSession(std::int32_t session) {
  switches_.Enter("tmex.end_session");
  std::lock_guard<std::mutex> lock(mutex_);
  return sessions_.erase(session) != 0 ? 1 : kBadSession;
}

std::int16_t SimulatedTmexModule::Setup(std::int32_t session) {
  if (std::uint32_t forced = switches_.Enter("tmex.setup"); forced != 0) return Short(forced);
  return Open(session) ? 1 : kBadSession;
}

std::int16_t SimulatedTmexModule::Close(std::int32_t session) {
  switches_.Enter("tmex.close");
  return Open(session) ? 1 : kBadSession;
}

std::int16_t SimulatedTmexModule::First(std::int32_t session, void* state) {
  if (std::uint32_t forced = switches_.Enter("tmex.first"); forced != 0) return Short(forced);
  if (!Open(session) || state == nullptr) return kBadSession;
  std::memset(state, 0, 16);
  return line_.Reset() ? 1 : 0;
}

std::int16_t SimulatedTmexModule::Rom(std::int32_t session, void* state, std::int16_t* rom) {
  if (std::uint32_t forced = switches_.Enter("tmex.rom"); forced != 0) return Short(forced);
  if (!Open(session) || state == nullptr || rom == nullptr) return kBadSession;
  if (!line_.Reset()) return 0;
  line_.Byte(0x33);
  for (int i = 0; i < 8; ++i) {
    rom[i] = static_cast<std::int16_t>(0x5A00 | line_.Byte(0xFF));
  }
  return 1;
}

std::int16_t SimulatedTmexModule::TouchReset(std::int32_t session) {
  if (std::uint32_t forced = switches_.Enter("tmex.touch_reset"); forced != 0) {
    return Short(forced);
  }
  if (!Open(session)) return kBadSession;
  return line_.Reset() ? 1 : 0;
}

std::int16_t SimulatedTmexModule::TouchByte(std::int32_t session, std::int16_t byte) {
  switches_.Enter("tmex.touch_byte");
  if (!Open(session)) return kBadSession;
  return line_.Byte(static_cast<std::uint8_t>(byte & 0xFF));
}

}  // namespace nc::carriers::drivers
