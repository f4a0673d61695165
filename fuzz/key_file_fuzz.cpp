// Fuzz harness: whole key files of every kind, read as their readers read
// them and opened by OpenKeyMaterial. The input is the file; for each kind
// (DES key, GOST key, GOST signature secret key, Diffie-Hellman secret key,
// RSA secret key with its two numbers) it is opened with that kind's header
// expectations, its blocks are read into buffers of exactly their capacity,
// and the material is opened.
//
// The master key has one fixed source, so that no carrier and no person is
// needed: a protected file is opened as if protected by a password alone,
// and the carrier dialog takes that password from a preset line (headless,
// through NCCORE_PASSWORD_FD), as `nccore --password-file` would give it.
// On POSIX, files naming hardware carriers are also opened once in silent
// mode, where no carrier answers (a private settings file names no
// adapter): the master key is not obtained (1326) and the blocks stay as
// read. The Tessel token is left out of that pass, since its absent driver
// is retried with waits; and Windows, whose settings are the machine's
// registry shared with the other tests, skips it.
//
// Checks: an open succeeds exactly when the integrity value of the
// deciphered material is the header's; then the blocks hold that material,
// and protecting it again under the same master key gives back the file's
// bytes; a failed check leaves the blocks wiped and the last error 1392.
//
// The same input is then the source of a change of protection to a clear
// file (ZqPWD, the old password from the preset line): it ends with one of
// its codes, never changes its source, and writes the destination only on
// success, as long as the source and differing from it at most in the
// protection code and the words after the header.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "frame/data_file.h"
#include "fuzz/fuzz_support.h"
#include "nccore21.h"
#include "platform/carrier_ui.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/ui.h"
#include "protect/carrier_auth_state.h"
#include "protect/key_material.h"
#include "protect/master_key.h"
#include "zq/des.h"
#include "zq/wipe.h"

namespace {

using nc::protect::KeyMaterialKind;

constexpr char kPassword[] = "fuzz: the fixed password";
constexpr std::uint32_t kUntouched = 0xDEADBEEF;

struct KindCase {
  KeyMaterialKind kind;
  std::uint16_t algorithm, keyKind;
  std::size_t firstCapacity, secondCapacity;  // bytes with the count; 0: no block
  std::uint32_t exactCount;                   // the reader's required count, 0: any
};

// The readers' capacities: a DES key is exactly 2 words, a GOST key 8;
// secret numbers up to 4096 bits.
const KindCase kKinds[] = {
    {KeyMaterialKind::Des, nc::frame::kAlgDes, nc::frame::kKeySymmetric, 12, 0, 2},
    {KeyMaterialKind::Gost, nc::frame::kAlgGost, nc::frame::kKeySymmetric, 36, 0, 8},
    {KeyMaterialKind::GostSignSecret, nc::frame::kAlgGost, nc::frame::kKeySecretHalf, 516, 0, 0},
    {KeyMaterialKind::DhSecret, nc::frame::kAlgDh, nc::frame::kKeySecretHalf, 516, 0, 0},
    {KeyMaterialKind::RsaSecret, nc::frame::kAlgRsa, nc::frame::kKeySecretHalf, 516, 516, 0},
};

// A word block of exactly `capacity` bytes.
struct Block {
  explicit Block(std::size_t capacity) : bytes(capacity) {}
  WordBlock* get() { return capacity() ? reinterpret_cast<WordBlock*>(bytes.data()) : nullptr; }
  std::size_t capacity() const { return bytes.size(); }
  std::vector<std::uint8_t> Words() const {
    if (bytes.empty()) return {};
    std::uint32_t count;
    std::memcpy(&count, bytes.data(), 4);
    return std::vector<std::uint8_t>(bytes.begin() + 4, bytes.begin() + 4 + count * 4);
  }
  std::vector<std::uint8_t> bytes;  // operator new's alignment fits the words
};

// The master key the fixed password gives, expanded.
DesKeyContext PasswordMasterKey() {
  nc::protect::CarrierAuthState state;
  char password[nc::platform::kCarrierPasswordSize] = {};
  std::memcpy(password, kPassword, sizeof kPassword - 1);
  nc::protect::AddPasswordFactor(state, password);
  DesKeyContext key{};
  key.count = state.key.count;
  std::memcpy(key.key, state.key.key, sizeof state.key.key);
  nc::SecureWipe(&state.key, sizeof state.key);
  DESEdk(&key);
  return key;
}

// The preset password line, read anew for every dialog.
class PresetLine {
 public:
  PresetLine() : file_("key-file-password") {
    std::string line = std::string(kPassword) + "\n";
    file_.Write(reinterpret_cast<const std::uint8_t*>(line.data()), line.size());
#ifdef _WIN32
    fd_ = ::_open(file_.path(), _O_RDONLY | _O_BINARY);
    FUZZ_CHECK(fd_ >= 0);
    std::string value = std::to_string(static_cast<unsigned long long>(::_get_osfhandle(fd_)));
    FUZZ_CHECK(::_putenv_s("NCCORE_PASSWORD_FD", value.c_str()) == 0);
    FUZZ_CHECK(::_putenv_s("NCCORE_PASSWORD_ENCODING", "utf-8") == 0);
#else
    fd_ = ::open(file_.path(), O_RDONLY | O_CLOEXEC);
    FUZZ_CHECK(fd_ >= 0);
    FUZZ_CHECK(::setenv("NCCORE_PASSWORD_FD", std::to_string(fd_).c_str(), 1) == 0);
    FUZZ_CHECK(::setenv("NCCORE_PASSWORD_ENCODING", "utf-8", 1) == 0);
#endif
  }
  void Rewind() const {
#ifdef _WIN32
    FUZZ_CHECK(::_lseek(fd_, 0, SEEK_SET) == 0);
#else
    FUZZ_CHECK(::lseek(fd_, 0, SEEK_SET) == 0);
#endif
  }

 private:
  nc::fuzz::ScratchFile file_;
  int fd_ = -1;
};

using nc::fuzz::SetEnvironment;

// Reads the kind's blocks as its reader would; false when the file is no
// such key file (the container's own harness checks those outcomes).
bool ReadKeyFile(const char* path, const KindCase& c, nc::frame::DataFileHeader* header,
                 Block& first, Block& second) {
  nc::platform::ScopedFile file(
      nc::frame::OpenDataFile(path, nc::frame::kFileKey, c.algorithm, c.keyKind, 0, header));
  if (!file.valid()) return false;
  if (!nc::frame::ReadWordBlock(file.get(), first.get(), first.capacity())) return false;
  if (c.exactCount != 0 && first.get()->count != c.exactCount) return false;
  if (second.capacity() != 0 &&
      !nc::frame::ReadWordBlock(file.get(), second.get(), second.capacity()))
    return false;
  return true;
}

void CheckKind(const char* path, const KindCase& c, const PresetLine& preset,
               const DesKeyContext& passwordKey) {
  nc::frame::DataFileHeader header{};
  Block first(c.firstCapacity), second(c.secondCapacity);
  if (!ReadKeyFile(path, c, &header, first, second)) return;
  const std::vector<std::uint8_t> storedFirst = first.Words(), storedSecond = second.Words();

#ifndef _WIN32
  // Silent mode with the carriers the file names: none answers here.
  constexpr std::uint32_t kCarriers =
      nc::protect::kFactorTouchMemory | nc::protect::kFactorQuadra | nc::protect::kFactorActivator;
  if ((header.protectionCode & kCarriers) != 0 &&
      (header.protectionCode & nc::protect::kFactorTessel) == 0) {
    nc::platform::SetLastErrorCode(kUntouched);
    FUZZ_CHECK(
        !nc::protect::OpenKeyMaterial(nullptr, header, true, c.kind, first.get(), second.get()));
    FUZZ_CHECK(nc::platform::GetLastErrorCode() == nc::platform::kErrorLogonFailure);
    FUZZ_CHECK(first.Words() == storedFirst && second.Words() == storedSecond);
  }
#endif

  // The fixed source: the file as protected by the password alone.
  nc::frame::DataFileHeader asPassword = header;
  if (asPassword.protectionCode != 0) asPassword.protectionCode = nc::protect::kFactorPassword;
  DesKeyContext key = passwordKey;
  Block expectFirst = first, expectSecond = second;
  if (asPassword.protectionCode != 0)
    nc::protect::CipherKeyMaterial(c.kind, key, expectFirst.get(), expectSecond.get(),
                                   kDesDecipher);
  const bool intact = nc::protect::KeyMaterialIntegrity(
                          c.kind, expectFirst.get(), expectSecond.get()) == header.integrityValue;

  preset.Rewind();
  nc::platform::SetLastErrorCode(kUntouched);
  bool opened =
      nc::protect::OpenKeyMaterial(nullptr, asPassword, false, c.kind, first.get(), second.get());
  FUZZ_CHECK(opened == intact);
  if (!opened) {
    FUZZ_CHECK(nc::platform::GetLastErrorCode() == nc::platform::kErrorFileCorrupt);
    FUZZ_CHECK(first.Words() == std::vector<std::uint8_t>(storedFirst.size(), 0));
    FUZZ_CHECK(second.Words() == std::vector<std::uint8_t>(storedSecond.size(), 0));
  } else {
    FUZZ_CHECK(nc::platform::GetLastErrorCode() == nc::platform::kErrorSuccess);
    FUZZ_CHECK(first.Words() == expectFirst.Words() && second.Words() == expectSecond.Words());
    // Protected again under the same key: the file's bytes and value.
    nc::frame::DataFileHeader again = asPassword;
    again.integrityValue = 0;
    nc::protect::ProtectKeyMaterial(c.kind, again, key, first.get(), second.get());
    FUZZ_CHECK(again.integrityValue == header.integrityValue);
    FUZZ_CHECK(first.Words() == storedFirst && second.Words() == storedSecond);
  }
  nc::SecureWipe(&key, sizeof key);
}

std::vector<std::uint8_t> Contents(const char* path) {
  std::vector<std::uint8_t> bytes;
  if (std::FILE* f = std::fopen(path, "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<std::uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

void CheckChange(const char* path, const std::uint8_t* data, std::size_t size,
                 const PresetLine& preset) {
  const std::string destination = std::string(path) + ".out";
  std::remove(destination.c_str());
  preset.Rewind();
  char result[512] = "";
  const int code =
      ZqPWD(nullptr, ("\"" + std::string(path) + "\" \"" + destination + "\" /Y").c_str(), result,
            sizeof result);
  FUZZ_CHECK(code == 0 || code == 2 || code == 25 || code == 27 || code == 30 || code == 31 ||
             code == 34);
  FUZZ_CHECK(Contents(path) == std::vector<std::uint8_t>(data, data + size));
  const std::vector<std::uint8_t> out = Contents(destination.c_str());
  if (code != 0) {
    FUZZ_CHECK(out.empty() && !nc::platform::FileExists(destination.c_str()));
    return;
  }
  FUZZ_CHECK(out.size() == size && size >= nc::frame::kHeaderSize);
  FUZZ_CHECK(std::memcmp(out.data(), data, 36) == 0);
  FUZZ_CHECK(std::memcmp(out.data() + 36, "\0\0\0\0", 4) == 0);
  FUZZ_CHECK(std::memcmp(out.data() + 40, data + 40, 8) == 0);
  std::remove(destination.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const nc::fuzz::ScratchFile scratch("key-file");
  // No adapter in the settings: the Touch Memory library finds no driver.
  static const nc::fuzz::ScratchFile settings("key-file-settings");
  static const nc::fuzz::ScratchSibling settingsLock(settings, ".lock");
  static const bool once = [] {
#ifndef _WIN32
    SetEnvironment("NCCORE_SETTINGS", settings.path());
#endif
    SetEnvironment("NCCORE_UI", "headless");
    nc::platform::SetUi(&nc::platform::HeadlessUi());
    return true;
  }();
  (void)once;
  static const PresetLine preset;
  static const DesKeyContext passwordKey = PasswordMasterKey();

  scratch.Write(data, size);
  for (const KindCase& c : kKinds) CheckKind(scratch.path(), c, preset, passwordKey);
  CheckChange(scratch.path(), data, size, preset);
  return 0;
}
