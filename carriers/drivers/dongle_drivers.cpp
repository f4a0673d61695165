// Which dongle clients and token driver the carrier layers use: the ones
// installed (carriers/carrier_drivers.h), else the system's.
#include <atomic>

#include "carriers/drivers/activator_client.h"
#include "carriers/drivers/quadra_client.h"
#include "carriers/drivers/tessel_driver.h"

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
std::atomic<QuadraClient*> g_quadra{nullptr};
std::atomic<ActivatorClient*> g_activator{nullptr};
std::atomic<TesselDriver*> g_tessel{nullptr};

}  // namespace

QuadraClient& CurrentQuadraClient() {
  QuadraClient* client = g_quadra.load();
  return client != nullptr ? *client : g_absentQuadra;
}

void SetQuadraClient(QuadraClient* client) { g_quadra.store(client); }

ActivatorClient& CurrentActivatorClient() {
  ActivatorClient* client = g_activator.load();
  return client != nullptr ? *client : g_absentActivator;
}

void SetActivatorClient(ActivatorClient* client) { g_activator.store(client); }

TesselDriver& CurrentTesselDriver() {
  TesselDriver* driver = g_tessel.load();
  return driver != nullptr ? *driver : SystemTesselDriver();
}

void SetTesselDriver(TesselDriver* driver) { g_tessel.store(driver); }

}  // namespace nc::carriers::drivers
