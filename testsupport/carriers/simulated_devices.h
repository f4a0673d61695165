// The attached devices, described: what the dongle and token simulators
// (testsupport/carriers/drivers/quadra_sim.h, activator_sim.h, tessel_sim.h)
// show to the carrier layers in place of the NorvexQuadra client, the
// Activator/M client and the Tessel driver, with switches that make chosen
// calls fail or fault. Test support: linked into the tests, the fuzzers and
// the demonstration host (nccore-sim), never into the shipped library.
//
// Selecting the simulators:
// - Tests: fill a SimulatedDevices and install it in-process
//   (ScopedSimulatedDevices, or InstallSimulatedDevices); the simulators
//   then serve every carrier call until it is uninstalled, and they record
//   what the layers asked of them (SimulatedDevices::log).
// - The demonstration host: `nccore-sim --carriers FILE` installs the
//   devices a description file (format below) describes, with
//   InstallDescribedDevices.
// Nothing installed: the system's drivers (see carriers/drivers/*.h): no
// NorvexQuadra or Activator/M client (status 12, no dongle), and the Tessel
// driver device where Windows has one.
//
// ---- the description file (UTF-8 text) ---------------------------------------------
//   # comment; blank lines are ignored; numbers are decimal or 0x-hex
//   [quadra]                      one section per NorvexQuadra dongle, in
//   developer = 9766              the order the client finds them
//   cells = 0:0x1234 8:3 9:0x0100 12:1 2 3 4 5 6 7 8
//                                 cell:value, and values after it go to the
//                                 following cells (cells 0..63, rest 0)
//
//   [activator]                   the Activator/M dongle (at most one)
//   timing = 40-1000              the port timings it works with (min-max)
//   words = 0:0x4d43 0x7832 2 0x0100 ...   memory words 0..63, as cells above
//   bytes = 0:43 4d 32 78         or memory bytes from byte address 0 (hex)
//
//   [tessel]                      one section per token, in index order
//   serial = 0102030405060708     8 bytes, hex; also the data file's key
//   body = <72 hex digits>        the 36-byte plain body of the "NCXDATA"
//   version = 1                   file: a data directory is built holding
//   hash-key = <hex>              the data file (entry 0) and the two key
//                                 files of an HMAC-MD5 under hash-key
//                                 (entries 1, 2); see MakeTesselToken
//   busy = 2                      the next 2 selects: in use by another app
//
//   [driver]
//   tessel = 0x100                Tessel driver version; "none": no driver
//   fail.<call> = 7 7 3           the next results of <call> (see below)
//   always.<call> = 7             the result of every later <call>
//   fault = <call>                <call> raises an access violation
//
// Other sections are kept, unparsed, in SimulatedDevices::other (the Touch
// Memory simulators read theirs from there).
//
// ---- calls that can fail or fault --------------------------------------------------
//   quadra.format quadra.configure quadra.initialize quadra.find_first
//   quadra.find_next quadra.read       result: the status the client returns
//   activator.probe                    result: the probe's nonzero answer
//   activator.read                     result: XOR mask on the word read
//   activator.store                    result: nonzero, the store fails
//   tessel.open tessel.version tessel.select tessel.release tessel.request
//                                      result: the Windows error of the call
//   tessel.request.<code>              result: the raw status (low 5 bits)
//                                      the token answers to request <code>
//   tessel.short.<code>                result: the number of bytes the token
//                                      answers to request <code> instead
// A result of 0 lets the call through unchanged.
#pragma once
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace nc::carriers {

// ---- NorvexQuadra --------------------------------------------------------------------

inline constexpr std::uint32_t kSimQuadraCells = 64;

struct SimQuadraDongle {
  std::uint16_t developerId = 9766;
  std::array<std::uint16_t, kSimQuadraCells> cells{};
};

// ---- Activator/M -----------------------------------------------------------------------

inline constexpr std::uint32_t kSimActivatorWords = 64;

struct SimActivator {
  std::array<std::uint16_t, kSimActivatorWords> words{};
  // It answers correctly at port timings from minTiming to maxTiming; at
  // other timings the probe fails and reads give changing garbage.
  std::uint32_t minTiming = 1;
  std::uint32_t maxTiming = 0xFFFFFFFF;
};

// ---- Tessel ------------------------------------------------------------------------------

// Entry types of the token's file system.
inline constexpr std::uint8_t kTesselEntryEnd = 0;  // no entry: the directory ends
inline constexpr std::uint8_t kTesselEntryDirectory = 1;
inline constexpr std::uint8_t kTesselEntryFile = 2;
inline constexpr std::uint8_t kTesselEntryKey = 3;  // a keyed-hash key (64 bytes)

struct SimTesselEntry {
  std::uint8_t type = kTesselEntryFile;
  std::uint16_t identifier = 0;         // directories: the identifier requests name them by
  std::vector<std::uint8_t> bytes;      // files and keys
  std::vector<SimTesselEntry> entries;  // directories
};

struct SimTesselToken {
  std::array<std::uint8_t, 8> serial{};
  std::vector<SimTesselEntry> root;
  int busySelects = 0;  // the next selects answer 21 (in use by another application)
};

// The 46-byte "NCXDATA" file of a token: magic, version, and the 36-byte
// body enciphered with DES-CBC under the serial number, IV "QELVORTS" (as
// the product's token-preparation tool writes it).
std::vector<std::uint8_t> MakeTesselDataFile(const std::array<std::uint8_t, 8>& serial,
                                             const std::array<std::uint8_t, 36>& body,
                                             std::uint8_t version = 1);

// The token's keyed hash (request 273 on a key file holding the 64-byte
// block K): MD5 over K followed by the 64-byte final block the request
// carries; with the layer's block format that is MD5(K || message). Key
// files K1 = key ^ 0x36.. and K2 = key ^ 0x5c.. (the key zero-padded to 64
// bytes) make the pair of steps HMAC-MD5(key, message).
std::array<std::uint8_t, 64> TesselHmacKeyFile(const std::vector<std::uint8_t>& key, bool outer);

// A token in the standard layout: root entry 0 a plain file, root entry 1 a
// directory of other files (entry 0 a 12-byte file), root entry 2 the data
// directory: entry 0 the data file, entries 1 and 2 the HMAC key files.
SimTesselToken MakeTesselToken(const std::array<std::uint8_t, 8>& serial,
                               const std::array<std::uint8_t, 36>& body,
                               const std::vector<std::uint8_t>& hashKey, std::uint8_t version = 1);

// ---- what the simulators recorded ------------------------------------------------------

struct SimLog {
  std::map<std::string, int> calls;                         // calls by name (as in the switches)
  std::vector<std::uint16_t> quadraReads;                   // cells read, in order
  std::vector<std::uint32_t> activatorTimings;              // timings set, in order
  std::vector<std::uint32_t> activatorReads;                // word addresses read, in order
  std::vector<std::uint32_t> tesselSelects;                 // token indexes asked for, in order
  std::vector<std::array<std::uint8_t, 8>> tesselSelected;  // serial of each token selected
  std::vector<std::uint16_t> tesselRequests;                // request codes, in order
  int tesselOpenHandles = 0;                                // driver handles not closed
  int tesselSelectedTokens = 0;                             // tokens selected and not released
};

// ---- the whole description ---------------------------------------------------------------

struct Injection {
  std::deque<std::uint32_t> next;       // results of the next calls, in order
  std::optional<std::uint32_t> always;  // then this for every call
};

class SimulatedDevices {
 public:
  std::vector<SimQuadraDongle> quadra;
  std::optional<SimActivator> activator;
  std::vector<SimTesselToken> tessel;
  bool tesselDriver = true;  // false: the driver's device does not open
  std::uint32_t tesselDriverVersion = 0x100;
  std::map<std::string, Injection> failures;  // by call name (list above)
  std::string faultOn;                        // a call name, or empty
  // Called after each token release (tests: tokens plugged or pulled
  // between two selections).
  std::function<void(SimulatedDevices&)> afterTesselRelease;
  // Sections of a description file that this file does not know.
  std::map<std::string, std::vector<std::vector<std::pair<std::string, std::string>>>> other;

  SimLog log;

  // For the simulators, on entering a call: FaultPoint raises the access
  // violation when the call is the fault's (called before taking the lock,
  // so that the fault leaves no lock held); Enter, under the lock, counts
  // the call and returns the injected result (0: none).
  void FaultPoint(const char* call) const;
  std::uint32_t Enter(const std::string& call);
  // Serialises the simulators' use of this record (the layers may call
  // from the carrier dialog's polling thread).
  std::recursive_mutex& lock() { return lock_; }

 private:
  std::recursive_mutex lock_;
};

// Reads a description (format above); false with a message naming the line
// when it does not parse.
bool ParseSimulatedDevices(const std::string& text, SimulatedDevices* devices, std::string* error);
bool LoadSimulatedDevices(const char* path, SimulatedDevices* devices, std::string* error);

// Installs the three simulators over `devices` (null: uninstalls them).
// The record must outlive the installation.
void InstallSimulatedDevices(SimulatedDevices* devices);
// The devices installed; null when the system's drivers are in use.
SimulatedDevices* InstalledSimulatedDevices();
// Loads a description file and installs its devices, and the Touch Memory
// reader of its [touchmemory] sections (testsupport/carriers/
// touch_memory_sim.h), until the next installation. False with a message
// naming the line, and nothing changed, when it does not load.
bool InstallDescribedDevices(const char* path, std::string* error);

class ScopedSimulatedDevices {
 public:
  explicit ScopedSimulatedDevices(SimulatedDevices* devices) { InstallSimulatedDevices(devices); }
  ScopedSimulatedDevices(const ScopedSimulatedDevices&) = delete;
  ScopedSimulatedDevices& operator=(const ScopedSimulatedDevices&) = delete;
  ~ScopedSimulatedDevices() { InstallSimulatedDevices(nullptr); }
};

}  // namespace nc::carriers
