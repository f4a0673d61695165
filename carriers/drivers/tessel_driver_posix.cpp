// The Tessel driver on POSIX: there is none, so its device never opens
// (ERROR_FILE_NOT_FOUND, as Windows answers for a driver not loaded).
#include "carriers/drivers/tessel_driver.h"

namespace nc::carriers::drivers {

namespace {

class NoTesselDriver final : public TesselDriver {
 public:
  TesselHandle Open(std::uint32_t* error) override {
    if (error != nullptr) *error = 2;  // ERROR_FILE_NOT_FOUND
    return kNoTessel;
  }
  void Close(TesselHandle) override {}
  bool Control(TesselHandle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
               std::uint32_t* returned, std::uint32_t* error) override {
    if (returned != nullptr) *returned = 0;
    if (error != nullptr) *error = 6;  // ERROR_INVALID_HANDLE
    return false;
  }
};

}  // namespace

TesselDriver& SystemTesselDriver() {
  static NoTesselDriver driver;
  return driver;
}

}  // namespace nc::carriers::drivers
