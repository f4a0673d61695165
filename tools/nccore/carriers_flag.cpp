#include "tools/nccore/carriers_flag.h"

#ifdef NCCORE_WITH_SIMULATORS
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "testsupport/carriers/simulated_devices.h"
#endif

namespace nc::host {

#ifdef NCCORE_WITH_SIMULATORS

namespace {
// A description is a few lines; anything much larger is not one.
constexpr std::uintmax_t kMaxDescriptionBytes = 1 << 20;
}  // namespace

bool UseSimulatedCarriers(const std::string& path, std::string* error) {
  // Looked at before it is opened, so that a FIFO or a device never blocks
  // the host and /dev/zero is not read without end.
  std::error_code failure;
  const auto status = std::filesystem::status(path, failure);
  if (failure || !std::filesystem::is_regular_file(status)) {
    *error = "--carriers " + path + ": not a readable file";
    return false;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, failure);
  if (failure || size > kMaxDescriptionBytes) {
    *error = "--carriers " + path + ": not a carrier description (too large)";
    return false;
  }
  std::string problem;
  if (!carriers::InstallDescribedDevices(path.c_str(), &problem)) {
    *error = "--carriers " + path + ": " + problem;
    return false;
  }
  return true;
}

#else

bool UseSimulatedCarriers(const std::string&, std::string* error) {
  *error =
      "--carriers: this nccore has no carrier simulators (the demonstration host nccore-sim, "
      "built with -DNCCORE_SIMULATORS=ON, has them)";
  return false;
}

#endif

}  // namespace nc::host
