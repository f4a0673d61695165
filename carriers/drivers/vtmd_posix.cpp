// No VTMD driver outside Windows: the device never opens.
#include "carriers/drivers/vtmd.h"
#include "platform/last_error.h"

namespace nc::carriers::drivers {

namespace {

class AbsentVtmdDriver final : public VtmdDriver {
 public:
  const char* ParametersKey() override { return kVtmdParametersKeyNt; }
  DeviceHandle Open() override {
    platform::SetLastErrorCode(platform::kErrorFileNotFound);
    return kNoDevice;
  }
  void Close(DeviceHandle) override {}
  bool Request(DeviceHandle, std::uint32_t, const void*, std::uint32_t, void*, std::uint32_t,
               std::uint32_t* returned) override {
    *returned = 0;
    platform::SetLastErrorCode(platform::kErrorInvalidParameter);
    return false;
  }
};

}  // namespace

VtmdDriver& SystemVtmdDriver() {
  static AbsentVtmdDriver driver;
  return driver;
}

}  // namespace nc::carriers::drivers
