// The VTMD driver's device on Windows.
#include "carriers/drivers/vtmd.h"
#include "platform/win32/windows_api.h"

namespace nc::carriers::drivers {

namespace {

class WindowsVtmdDriver final : public VtmdDriver {
 public:
  const char* ParametersKey() override {
    // The top bit of GetVersion() is clear on the NT platform only.
    return (::GetVersion() & 0x80000000u) == 0 ? kVtmdParametersKeyNt : kVtmdParametersKey9x;
  }
  DeviceHandle Open() override {
    HANDLE device =
        ::CreateFileW(L"\\\\.\\VTMD.VXD", GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) return kNoDevice;
    return reinterpret_cast<DeviceHandle>(device);
  }
  void Close(DeviceHandle device) override {
    if (device != kNoDevice) ::CloseHandle(reinterpret_cast<HANDLE>(device));
  }
  bool Request(DeviceHandle device, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t* returned) override {
    DWORD done = 0;
    BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(in),
                                inSize, out, outSize, &done, nullptr);
    *returned = done;
    return ok != FALSE;
  }
};

}  // namespace

VtmdDriver& SystemVtmdDriver() {
  static WindowsVtmdDriver driver;
  return driver;
}

}  // namespace nc::carriers::drivers
