// Which dongle clients and drivers the carrier layers use (see
// carrier_drivers.h).
#include "carriers/drivers/carrier_drivers.h"

#include <atomic>
#include <mutex>

namespace nc::carriers::drivers {

namespace {

// No NorvexQuadra client on this system: every call finds no driver.
class AbsentQuadraClient final : public QuadraClient {
 public:
  static constexpr std::uint16_t kDriverNotFound = 12;
  std::uint16_t Format(std::uint8_t*) override { return kDriverNotFound; }
  std::uint16_t Configure(std::uint8_t*, const std::uint8_t*) override { return kDriverNotFound; }
  std::uint16_t Initialize(std::uint8_t*) override { return kDriverNotFound; }
  std::uint16_t FindFirst(std::uint8_t*, std::uint16_t) override { return kDriverNotFound; }
  std::uint16_t FindNext(std::uint8_t*) override { return kDriverNotFound; }
  std::uint16_t ReadCell(std::uint8_t*, std::uint16_t, std::uint16_t*) override {
    return kDriverNotFound;
  }
};

// No Activator/M client on this system: no dongle ever answers.
class AbsentActivatorClient final : public ActivatorClient {
 public:
  void SetTiming(std::uint32_t, std::uint32_t, std::uint32_t) override {}
  int Probe(int, int) override { return 1; }
  bool ReadWord(std::uint32_t, std::uint16_t*) override { return false; }
  bool StoreText(std::uint32_t, const char*, std::uint32_t) override { return false; }
  bool ReadText(std::uint32_t, char*, std::uint32_t) override { return false; }
};

AbsentQuadraClient g_absentQuadra;
AbsentActivatorClient g_absentActivator;

std::mutex g_lock;  // guards g_installed
CarrierDrivers g_installed;
std::atomic<void (*)()> g_release{nullptr};

}  // namespace

void InstallCarrierDrivers(const CarrierDrivers* drivers) {
  {
    std::lock_guard<std::mutex> guard(g_lock);
    g_installed = drivers != nullptr ? *drivers : CarrierDrivers();
  }
  if (auto release = g_release.load()) release();
}

CarrierDrivers InstalledCarrierDrivers() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_installed;
}

void SetDriverReleaseHook(void (*release)()) { g_release.store(release); }

QuadraClient& CurrentQuadraClient() {
  QuadraClient* client = InstalledCarrierDrivers().quadra;
  return client != nullptr ? *client : g_absentQuadra;
}

ActivatorClient& CurrentActivatorClient() {
  ActivatorClient* client = InstalledCarrierDrivers().activator;
  return client != nullptr ? *client : g_absentActivator;
}

TesselDriver& CurrentTesselDriver() {
  TesselDriver* driver = InstalledCarrierDrivers().tessel;
  return driver != nullptr ? *driver : SystemTesselDriver();
}

}  // namespace nc::carriers::drivers
