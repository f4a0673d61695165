// The Tessel driver on Windows: its device "\\.\TESSELDRVR", opened for
// reading and writing, shared reading and writing, existing only, and
// DeviceIoControl on it.
#include "carriers/drivers/tessel_driver.h"
#include "platform/win32/windows_api.h"

namespace nc::carriers::drivers {

namespace {

class SystemDriver final : public TesselDriver {
 public:
  TesselHandle Open(std::uint32_t* error) override {
    HANDLE device = ::CreateFileW(L"\\\\.\\TESSELDRVR", GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
      if (error != nullptr) *error = ::GetLastError();
      return kNoTessel;
    }
    return reinterpret_cast<TesselHandle>(device);
  }

  void Close(TesselHandle device) override {
    if (device != kNoTessel) ::CloseHandle(reinterpret_cast<HANDLE>(device));
  }

  bool Control(TesselHandle device, std::uint32_t code, const void* in, std::uint32_t inSize,
               void* out, std::uint32_t outSize, std::uint32_t* returned,
               std::uint32_t* error) override {
    DWORD done = 0;
    BOOL ok = ::DeviceIoControl(reinterpret_cast<HANDLE>(device), code, const_cast<void*>(in),
                                inSize, out, outSize, &done, nullptr);
    if (returned != nullptr) *returned = done;
    if (!ok && error != nullptr) *error = ::GetLastError();
    return ok != FALSE;
  }
};

}  // namespace

TesselDriver& SystemTesselDriver() {
  static SystemDriver driver;
  return driver;
}

}  // namespace nc::carriers::drivers
