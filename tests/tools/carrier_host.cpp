// A test host for AcquireMasterKey: asks for the master key of a protection
// code with the backend NCCORE_UI chooses (a password may come from
// NCCORE_PASSWORD_FD; the simulated carriers a description file describes,
// named by the host's own variable NCCORE_TEST_DEVICES), prints the outcome
// and the key in hexadecimal, and exits with 0 (obtained) or 25.
//   carrier_host <code> [/NOLOGO]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/last_error.h"
#include "protect/master_key.h"
#include "testsupport/carriers/simulated_devices.h"
#include "zq/wipe.h"

int main(int argc, char** argv) {
  char* end = nullptr;
  unsigned long code = argc >= 2 ? std::strtoul(argv[1], &end, 0) : 0;
  if (argc < 2 || argc > 3 || end == argv[1] || *end != '\0' ||
      (argc == 3 && std::strcmp(argv[2], "/NOLOGO") != 0)) {
    std::fprintf(stderr, "usage: carrier_host <code> [/NOLOGO]\n");
    return 64;
  }
  if (const char* devices = std::getenv("NCCORE_TEST_DEVICES"); devices != nullptr) {
    std::string error;
    if (!nc::carriers::InstallDescribedDevices(devices, &error)) {
      std::fprintf(stderr, "carrier_host: %s: %s\n", devices, error.c_str());
      return 64;
    }
  }
  // The challenge a key file would carry at header offset 44.
  const std::uint8_t challenge[4] = {0x11, 0x22, 0x33, 0x44};
  nc::protect::MasterKeyBlock key;
  int result = nc::protect::AcquireMasterKey(nullptr, static_cast<std::uint32_t>(code),
                                             argc == 3 ? 1 : 0, challenge, 4, &key);
  std::printf("result %d\nlast error %u\nkey ", result, nc::platform::GetLastErrorCode());
  for (std::uint8_t b : key.key) std::printf("%02x", b);
  std::printf("\n");
  nc::SecureWipe(&key, sizeof key);
  return result == 1 ? 0 : 25;
}
