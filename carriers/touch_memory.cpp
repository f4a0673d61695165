// The Touch Memory access library (see touch_memory.h).
#include "carriers/touch_memory.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "carriers/drivers/carrier_drivers.h"
#include "carriers/touch_memory_mapping.h"
#include "carriers/touch_memory_text.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/settings.h"
#include "platform/ui.h"
#include "zq/wipe.h"

namespace nc::carriers {

namespace {

using drivers::DeviceHandle;
using drivers::kNoDevice;
using drivers::kNoPort;
using drivers::PortHandle;
using drivers::TouchMemoryDrivers;

constexpr char kProfileFile[] = "TavoTM.INI";
constexpr char kMappingSection[] = "DeviceMemoryMapping";
// A mapping value is read up to this many characters; a longer one is
// refused rather than parsed cut short.
constexpr std::uint32_t kMappingChars = 2048;

constexpr std::uint32_t kResetBaud = 14400;
constexpr std::uint32_t kDataBaud = 115200;
constexpr std::uint8_t kResetByte = 0xC0;
constexpr std::uint8_t kReadRomCommand = 0x33;
constexpr std::uint32_t kSettleMs = 25;

constexpr std::uint32_t kCommFraming = 0x0008;  // CE_FRAME
constexpr std::uint32_t kCommBreak = 0x0010;    // CE_BREAK

// ---- ---------------------------------------------------------------------------
// Process-wide state

struct Tmex {
  void* module = nullptr;
  drivers::TmexExtendedStartSession startSession = nullptr;
  drivers::TmexEndSession endSession = nullptr;
  drivers::TmexSetup setup = nullptr;
  drivers::TmexClose close = nullptr;
  drivers::TmexFirst first = nullptr;
  drivers::TmexRom rom = nullptr;
  drivers::TmexTouchReset touchReset = nullptr;
  drivers::TmexTouchByte touchByte = nullptr;
};

// A TMEX session number while TmOpenSession is starting one (real ones are
// positive).
constexpr std::int32_t kTmexStarting = -1;

struct Library {
  DeviceHandle driver = kNoDevice;
  std::uint32_t adapterType = 0;
  bool directPort = false;
  bool tmexInUse = false;
  Tmex tmex;                     // resolved entry points, kept until TmShutdown
  std::int32_t tmexSession = 0;  // the open TMEX session, 0 when none
  PortHandle port = kNoPort;     // the open session's port
  bool portReserved = false;     // a session is being opened on a port
  bool portConfigured = false;
  std::uint8_t bitmaps[5][kTmMappingBitmapBytes];
};

// The library mutex. A thread that finds itself the owner on entry had a
// call abandoned inside a driver (a fault caught further up, which skips
// the unlock): it goes on as the owner instead of waiting for itself.
class LibraryMutex {
 public:
  void lock() {
    if (owner_.load() == std::this_thread::get_id()) return;
    mutex_.lock();
    owner_.store(std::this_thread::get_id());
  }
  void unlock() {
    owner_.store(std::thread::id());
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

LibraryMutex g_mutex;  // guards everything below
Library g_library;
// The drivers the library's state belongs to (null until the first call).
TouchMemoryDrivers g_active;
using Lock = std::lock_guard<LibraryMutex>;

bool Same(const TouchMemoryDrivers& a, const TouchMemoryDrivers& b) {
  return a.vtmd == b.vtmd && a.tmex == b.tmex && a.ports == b.ports;
}

void ResetBitmaps() { std::memset(g_library.bitmaps, 0xFF, sizeof g_library.bitmaps); }

// Releases everything the state holds through `d` and clears the state.
void ShutdownLocked(const TouchMemoryDrivers& d) {
  Library& lib = g_library;
  if (d.vtmd != nullptr) {
    if (lib.tmexSession > 0 && lib.tmex.endSession != nullptr) {
      lib.tmex.endSession(lib.tmexSession);
    }
    if (lib.tmex.module != nullptr) d.tmex->Free(lib.tmex.module);
    if (lib.port != kNoPort) d.ports->Close(lib.port);
    if (lib.driver != kNoDevice) d.vtmd->Close(lib.driver);
  }
  lib.tmex = Tmex();
  lib.tmexSession = 0;
  lib.tmexInUse = false;
  lib.port = kNoPort;
  lib.portReserved = false;
  lib.portConfigured = false;
  lib.driver = kNoDevice;
  lib.adapterType = 0;
  lib.directPort = false;
  ResetBitmaps();
}

// An installation of carrier drivers (drivers/carrier_drivers.h): the state
// is released through the drivers it belongs to while they still exist.
void ReleaseDrivers() {
  Lock lock(g_mutex);
  ShutdownLocked(g_active);
  g_active = TouchMemoryDrivers();
}

// The drivers to use now (under the mutex): those installed, else the
// system's. When they change, the state is released through the drivers it
// belongs to first.
TouchMemoryDrivers Drivers() {
  // From the first use on, the library has state to release when other
  // drivers are installed.
  [[maybe_unused]] static const bool hooked = (drivers::SetDriverReleaseHook(ReleaseDrivers), true);
  TouchMemoryDrivers want = drivers::InstalledCarrierDrivers().touchMemory;
  if (want.vtmd == nullptr) want.vtmd = &drivers::SystemVtmdDriver();
  if (want.tmex == nullptr) want.tmex = &drivers::SystemTmexModuleLoader();
  if (want.ports == nullptr) want.ports = &drivers::SystemSerialDriver();
  if (!Same(want, g_active)) {
    ShutdownLocked(g_active);
    g_active = want;
  }
  return g_active;
}

int Fail(std::uint32_t code) {
  platform::SetLastErrorCode(code);
  return 0;
}

bool Refuse(std::uint32_t code) {
  platform::SetLastErrorCode(code);
  return false;
}

// TmTouchByte's failure: the line's idle value.
std::uint8_t RefuseByte(std::uint32_t code) {
  platform::SetLastErrorCode(code);
  return 0xFF;
}

int Succeed() {
  platform::SetLastErrorCode(kTmSuccess);
  return 1;
}

struct BitmapsAtStart {
  BitmapsAtStart() { ResetBitmaps(); }
} g_bitmapsAtStart;

int FamilyIndex(std::uint8_t family) {
  for (int i = 0; i < 5; ++i) {
    if (kTmFamilies[i].family == family) return i;
  }
  return -1;
}

// ---- ---------------------------------------------------------------------------
// TMEX module

// Loads the module and resolves the eight entry points; TMEX is used only
// when all of them are there. A module loaded before is used again.
void LoadTmex(const TouchMemoryDrivers& d) {
  Library& lib = g_library;
  if (lib.tmex.module != nullptr) {
    lib.tmexInUse = true;
    return;
  }
  void* module = d.tmex->Load();
  if (module == nullptr) return;
  void* entry[8];
  bool all = true;
  for (int i = 0; i < 8; ++i) {
    entry[i] = d.tmex->Resolve(module, drivers::kTmexEntryNames[i]);
    all = all && entry[i] != nullptr;
  }
  if (!all) {
    d.tmex->Free(module);
    return;
  }
  Tmex& t = lib.tmex;
  t.module = module;
  t.startSession = reinterpret_cast<drivers::TmexExtendedStartSession>(entry[0]);
  t.endSession = reinterpret_cast<drivers::TmexEndSession>(entry[1]);
  t.setup = reinterpret_cast<drivers::TmexSetup>(entry[2]);
  t.close = reinterpret_cast<drivers::TmexClose>(entry[3]);
  t.first = reinterpret_cast<drivers::TmexFirst>(entry[4]);
  t.rom = reinterpret_cast<drivers::TmexRom>(entry[5]);
  t.touchReset = reinterpret_cast<drivers::TmexTouchReset>(entry[6]);
  t.touchByte = reinterpret_cast<drivers::TmexTouchByte>(entry[7]);
  lib.tmexInUse = true;
}

// What a session call needs, looked at under the mutex.
struct View {
  TouchMemoryDrivers d;
  DeviceHandle driver;
  std::uint32_t adapterType;
  bool directPort;
  bool tmexInUse;
  Tmex tmex;
  std::int32_t tmexSession;
  PortHandle port;
  bool portConfigured;
};

View Look() {
  Lock lock(g_mutex);
  const Library& lib = g_library;
  return View{Drivers(), lib.driver,      lib.adapterType, lib.directPort,    lib.tmexInUse,
              lib.tmex,  lib.tmexSession, lib.port,        lib.portConfigured};
}

// Records that the port of the open session has been configured.
void MarkConfigured(PortHandle port) {
  Lock lock(g_mutex);
  if (g_library.port == port) g_library.portConfigured = true;
}

// ---- ---------------------------------------------------------------------------
// Own serial signalling: one UART byte per 1-Wire time slot.

int SerialReset(const View& v) {
  drivers::SerialDriver& s = *v.d.ports;
  PortHandle port = v.port;
  std::uint32_t errors = 0, queued = 0;
  s.ClearErrors(port, &errors, &queued);
  s.Purge(port);
  if (!v.portConfigured) {
    if (!s.Configure(port)) return Fail(kTmAdapterNotFound);
    MarkConfigured(port);
  }
  if (!s.SetBaud(port, kResetBaud)) return Fail(kTmAdapterNotFound);
  s.Purge(port);
  // At 14400 baud the byte 0xC0 is a reset pulse; a device's presence pulse
  // changes the byte that comes back.
  std::uint8_t out = kResetByte, in = 0;
  std::uint32_t done = 0;
  if (!s.Write(port, &out, 1, &done) || done != 1) return Fail(kTmAdapterNotFound);
  done = 0;
  bool ok = s.Read(port, &in, 1, &done);
  if (!ok) {
    // A presence pulse may come back as a line error; the byte is there.
    if (s.ClearErrors(port, &errors, &queued) && (errors & (kCommFraming | kCommBreak)) != 0 &&
        queued > 0) {
      done = 0;
      ok = s.Read(port, &in, 1, &done);
    }
  }
  if (!ok || done != 1) return Fail(kTmAdapterNotFound);
  if (in == kResetByte) return Fail(kTmExchangeError);  // no presence pulse
  if (!s.SetBaud(port, kDataBaud)) return Fail(kTmAdapterNotFound);
  s.Purge(port);
  platform::CurrentClock().SleepMs(kSettleMs);
  return 1;
}

// 0xFF for a 1 bit (write 1 or read), 0x00 for a 0 bit; bit 0 of each byte
// read back is the line's state in that slot.
std::uint8_t SerialTouchByte(const View& v, std::uint8_t byte) {
  drivers::SerialDriver& s = *v.d.ports;
  PortHandle port = v.port;
  std::uint8_t slots[8];
  for (int i = 0; i < 8; ++i) slots[i] = ((byte >> i) & 1) != 0 ? 0xFF : 0x00;
  s.Purge(port);
  std::uint32_t done = 0;
  if (!s.Write(port, slots, 8, &done) || done != 8) return 0xFF;
  std::uint8_t back[8] = {};
  done = 0;
  if (!s.Read(port, back, 8, &done) || done != 8) return 0xFF;
  std::uint8_t result = 0;
  for (int i = 0; i < 8; ++i) result = static_cast<std::uint8_t>(result | ((back[i] & 1) << i));
  SecureWipe(back, sizeof back);  // the bits of a ROM code
  return result;
}

int SerialReadRom(const View& v, std::uint8_t* rom) {
  if (!SerialReset(v)) return 0;
  if (SerialTouchByte(v, kReadRomCommand) != kReadRomCommand) return Fail(kTmExchangeError);
  std::uint8_t code[8];
  for (std::uint8_t& b : code) b = SerialTouchByte(v, 0xFF);
  bool valid = code[0] != 0 && TmCrc8(code, 7) == code[7];
  if (valid) std::memcpy(rom, code, 8);
  SecureWipe(code, sizeof code);
  return valid ? 1 : Fail(kTmExchangeError);
}

// ---- ---------------------------------------------------------------------------
// Initialisation

void ShowError(bool show, const char* text) {
  if (show) platform::CurrentUi().ShowInfo(nullptr, tm_text::Caption().c_str(), text);
}

std::string MappingErrorText(const char* key) {
  std::string text = tm_text::MappingErrorFormat();
  const char* fill[3] = {key, kMappingSection, kProfileFile};
  std::size_t at = 0;
  for (const char* value : fill) {
    at = text.find("%s", at);
    if (at == std::string::npos) break;
    text.replace(at, 2, value);
    at += std::strlen(value);
  }
  return text;
}

// Step 4: the five mapping values in order; the first that does not parse
// stops the reading (the values before it stay applied).
std::uint32_t ReadMapping(bool showErrors) {
  char value[kMappingChars + 2];
  for (int i = 0; i < 5; ++i) {
    const TmFamilyMemory& family = kTmFamilies[i];
    std::uint32_t length = platform::ReadProfileString(kProfileFile, kMappingSection, family.key,
                                                       "", value, sizeof value);
    if (length == 0) continue;
    if (length > kMappingChars || !TmParseMapping(value, family.bytes - 1, g_library.bitmaps[i])) {
      ShowError(showErrors, MappingErrorText(family.key).c_str());
      return kTmInvalidParameters;
    }
  }
  return kTmSuccess;
}

const char* AdapterPortFormat(std::uint32_t type, unsigned* number) {
  if (type >= 2 && type <= 5) {
    *number = type - 1;
    return "COM%u";
  }
  if (type >= 6 && type <= 7) {
    *number = type - 5;
    return "LPT%u";
  }
  if (type >= 8 && type <= 11) {
    *number = type - 7;
    return "COM%u";
  }
  return nullptr;
}

}  // namespace

// ---- ---------------------------------------------------------------------------
// Interface

int TmLibraryInit(int showErrors) {
  Lock lock(g_mutex);
  TouchMemoryDrivers d = Drivers();
  Library& lib = g_library;

  // 1. Driver discovery. The key is created when missing (as RegCreateKeyExA
  //    does); a missing "AdpType" means no adapter is set up.
  const char* key = d.vtmd->ParametersKey();
  std::uint32_t type = 0;
  if (!platform::CreateSettingsKey(key) || !platform::ReadSettingDword(key, "AdpType", &type)) {
    ShowError(showErrors != 0, tm_text::DriverNotLoaded().c_str());
    return Fail(kTmDriverNotLoaded);
  }
  bool directPort = type >= 8 && type <= 11;
  if (!directPort && lib.driver == kNoDevice) {
    lib.driver = d.vtmd->Open();
    if (lib.driver == kNoDevice) {
      ShowError(showErrors != 0, tm_text::DriverNotLoaded().c_str());
      return Fail(kTmDriverNotLoaded);
    }
  }

  // 2. Mapping bitmaps back to "all usable".
  ResetBitmaps();

  // 3. TMEX, for the direct-port types unless "TMEX" = 0. With a TMEX
  //    session open the adapter set-up stays as it is until the session ends.
  if (lib.tmexSession == 0) {
    lib.adapterType = type;
    lib.directPort = directPort;
    lib.tmexInUse = false;
    if (directPort) {
      std::uint32_t useTmex = 1;
      if (!platform::ReadSettingDword(key, "TMEX", &useTmex) || useTmex != 0) LoadTmex(d);
    }
  }

  // 4. Memory mapping.
  std::uint32_t code = ReadMapping(showErrors != 0);
  platform::SetLastErrorCode(code);
  return code == kTmSuccess ? 1 : 0;
}

namespace {

int OpenTmexSession(const View& v, TmSession* session) {
  {
    Lock lock(g_mutex);
    if (g_library.tmexSession != 0) return Fail(kTmAdapterBusy);  // one session at a time
    g_library.tmexSession = kTmexStarting;
  }
  std::int32_t s = v.tmex.startSession(static_cast<std::int16_t>(v.adapterType - 7),
                                       drivers::kTmexPortType, nullptr);
  std::uint32_t code = kTmSuccess;
  if (s == 0) {
    code = kTmAdapterBusy;
  } else if (s < 0) {
    code = kTmDriverNotLoaded;
  } else if (std::int16_t ready = v.tmex.setup(s); ready != 1 && ready != 2) {
    v.tmex.endSession(s);
    code = kTmUnknownError;
  }
  Lock lock(g_mutex);
  g_library.tmexSession = code == kTmSuccess ? s : 0;
  if (code != kTmSuccess) return Fail(code);
  *session = s;
  return Succeed();
}

}  // namespace

int TmOpenSession(TmSession* session) {
  if (session == nullptr) return Fail(kTmInvalidParameters);
  View v = Look();
  if (!v.directPort && v.driver == kNoDevice) return Fail(kTmDriverNotLoaded);
  if (v.directPort && v.tmexInUse) return OpenTmexSession(v, session);

  // The adapter's port, held exclusively while the session lasts.
  unsigned number = 0;
  const char* format = AdapterPortFormat(v.adapterType, &number);
  if (format != nullptr) {
    Lock lock(g_mutex);
    // The library holds one port, that of the open session.
    if (g_library.port != kNoPort || g_library.portReserved) return Fail(kTmAdapterBusy);
    g_library.portReserved = true;
  }
  auto unreserve = [&](PortHandle port) {
    Lock lock(g_mutex);
    if (format != nullptr) g_library.portReserved = false;
    if (port != kNoPort) {
      g_library.port = port;
      g_library.portConfigured = false;
    }
  };
  PortHandle port = kNoPort;
  if (format != nullptr) {
    char name[16];
    std::snprintf(name, sizeof name, format, number);
    port = v.d.ports->Open(name);
    if (port == kNoPort) {
      bool busy = platform::GetLastErrorCode() == platform::kErrorAccessDenied;
      unreserve(kNoPort);
      return Fail(busy ? kTmAdapterBusy : kTmInitError);
    }
  }

  TmSession opened = port;  // direct-port mode: the session is the port
  if (!v.directPort) {
    std::uint32_t in = 0, handle = 0, returned = 0;
    bool ok = v.d.vtmd->Request(v.driver, drivers::kVtmdOpenSession, &in, sizeof in, &handle,
                                sizeof handle, &returned);
    if (!ok || handle == 0) {
      std::uint32_t code = platform::GetLastErrorCode();
      if (port != kNoPort) v.d.ports->Close(port);
      unreserve(kNoPort);
      // A failure never reads as "no error".
      return Fail(!ok && code != kTmSuccess ? code : kTmUnknownError);
    }
    opened = static_cast<TmSession>(handle);
  }
  unreserve(port);
  *session = opened;
  return Succeed();
}

int TmReadRom(TmSession session, std::uint8_t* rom) {
  if (rom == nullptr) return Fail(kTmInvalidParameters);
  View v = Look();

  if (!v.directPort) {
    if (v.driver == kNoDevice) return Fail(kTmDriverNotLoaded);
    std::uint32_t in = static_cast<std::uint32_t>(session), returned = 0;
    std::uint8_t code[8] = {};
    if (!v.d.vtmd->Request(v.driver, drivers::kVtmdReadRom, &in, sizeof in, code, sizeof code,
                           &returned)) {
      std::uint32_t error = platform::GetLastErrorCode();
      return Fail(error != kTmSuccess ? error : kTmExchangeError);
    }
    std::memcpy(rom, code, 8);
    SecureWipe(code, sizeof code);
    return Succeed();
  }

  if (!v.tmexInUse) {
    if (v.port == kNoPort || session != v.port) return Fail(kTmBadHandle);
    return SerialReadRom(v, rom) ? Succeed() : 0;
  }

  if (v.tmexSession <= 0 || session != v.tmexSession) return Fail(kTmInvalidParameters);
  // Not on the heap: a fault inside TMEX abandons this frame.
  static thread_local std::uint8_t state[drivers::kTmexStateBufferSize];
  std::int16_t values[8] = {};
  std::int16_t result = v.tmex.first(v.tmexSession, state);
  if (result == 1) result = v.tmex.rom(v.tmexSession, state, values);
  std::uint32_t code = kTmSuccess;
  if (result != 1) {
    code = result == 0 || result == -1 ? kTmExchangeError
                                       : static_cast<std::uint32_t>(std::int32_t{result});
  } else {
    for (int i = 0; i < 8; ++i) rom[i] = static_cast<std::uint8_t>(values[i] & 0xFF);
  }
  SecureWipe(values, sizeof values);
  SecureWipe(state, sizeof state);
  return code == kTmSuccess ? Succeed() : Fail(code);
}

int TmCloseSession(TmSession session) {
  View v = Look();

  if (v.directPort && v.tmexInUse) {
    {
      Lock lock(g_mutex);
      if (g_library.tmexSession <= 0 || session != g_library.tmexSession) {
        return Fail(kTmInvalidParameters);
      }
    }
    std::int32_t s = static_cast<std::int32_t>(session);
    v.tmex.touchReset(s);
    v.tmex.close(s);
    v.tmex.endSession(s);
    Lock lock(g_mutex);
    g_library.tmexSession = 0;
    return Succeed();
  }

  bool ok = true;
  if (v.directPort) {
    // A wrong handle leaves the session that owns the port alone.
    if (v.port == kNoPort || session != v.port) return Fail(kTmBadHandle);
  } else {
    if (v.driver == kNoDevice) return Fail(kTmDriverNotLoaded);
    std::uint32_t in = static_cast<std::uint32_t>(session), returned = 0;
    ok = v.d.vtmd->Request(v.driver, drivers::kVtmdCloseSession, &in, sizeof in, nullptr, 0,
                           &returned);
  }
  // The session is over either way: its port goes back.
  PortHandle port = kNoPort;
  {
    Lock lock(g_mutex);
    port = g_library.port;
    g_library.port = kNoPort;
    g_library.portConfigured = false;
  }
  if (port != kNoPort) v.d.ports->Close(port);
  return ok ? Succeed() : Fail(kTmBadHandle);
}

void TmShutdown() {
  Lock lock(g_mutex);
  ShutdownLocked(Drivers());
}

bool TmTouchReset(TmSession session) {
  View v = Look();
  if (!v.directPort) return Refuse(kTmNotSupported);
  if (v.tmexInUse) {
    if (v.tmexSession <= 0 || session != v.tmexSession) return Refuse(kTmInvalidParameters);
    std::int16_t result = v.tmex.touchReset(v.tmexSession);
    return result == 1 || result == 2 ? true : Refuse(kTmExchangeError);
  }
  if (v.port == kNoPort || session != v.port) return Refuse(kTmBadHandle);
  return SerialReset(v) != 0;
}

std::uint8_t TmTouchByte(TmSession session, std::uint8_t byte) {
  View v = Look();
  if (!v.directPort) return RefuseByte(kTmNotSupported);
  if (v.tmexInUse) {
    if (v.tmexSession <= 0 || session != v.tmexSession) return RefuseByte(kTmInvalidParameters);
    return static_cast<std::uint8_t>(v.tmex.touchByte(v.tmexSession, byte) & 0xFF);
  }
  if (v.port == kNoPort || session != v.port) return RefuseByte(kTmBadHandle);
  if (!v.portConfigured) {
    if (!v.d.ports->Configure(v.port)) return 0xFF;
    MarkConfigured(v.port);
  }
  return SerialTouchByte(v, byte);
}

bool TmByteUsable(std::uint8_t family, std::uint32_t address) {
  Lock lock(g_mutex);
  int i = FamilyIndex(family);
  if (i < 0 || address >= kTmFamilies[i].bytes) return false;
  return ((g_library.bitmaps[i][address / 8] >> (address % 8)) & 1) != 0;
}

std::uint32_t TmUsableBytes(std::uint8_t family) {
  Lock lock(g_mutex);
  int i = FamilyIndex(family);
  if (i < 0) return 0;
  std::uint32_t count = 0;
  for (std::uint32_t a = 0; a < kTmFamilies[i].bytes; ++a) {
    count += (g_library.bitmaps[i][a / 8] >> (a % 8)) & 1;
  }
  return count;
}

std::uint8_t TmCrc8(const std::uint8_t* data, std::uint32_t size) {
  std::uint8_t crc = 0;
  for (std::uint32_t i = 0; i < size; ++i) {
    std::uint8_t byte = data[i];
    for (int bit = 0; bit < 8; ++bit) {
      bool mix = ((crc ^ byte) & 1) != 0;
      crc = static_cast<std::uint8_t>(crc >> 1);
      if (mix) crc ^= 0x8C;
      byte = static_cast<std::uint8_t>(byte >> 1);
    }
  }
  return crc;
}

}  // namespace nc::carriers
