// The library's own 1-Wire signalling through the real termios serial port,
// against a passive 1-Wire adapter simulated on the master side of a
// pseudo-terminal. The library opens the slave side as "COM2" (mapped in
// the settings store), sets the rates, purges, writes and reads as on a real
// adapter; the simulator watches the rate the slave is set to (a
// pseudo-terminal keeps the rate it is given) and answers every byte as the
// adapter and the devices on its reader would: a reset at 14400 baud with a
// presence byte, or 0xC0 when no device is there, or nothing at all when no
// adapter is; time slots at 115200 baud with the ROM code's bits.
#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "carrier_test_support.h"
#include "carriers/drivers/carrier_drivers.h"
#include "carriers/touch_memory.h"
#include "platform/clock.h"
#include "platform/last_error.h"
#include "platform/posix/serial_port_baud.h"
#include "platform/serial_port.h"
#include "platform/settings.h"
#include "testsupport/carriers/drivers/serial_onewire_sim.h"

namespace nc::carriers {
namespace {

using drivers::MakeRomCode;
using drivers::RomCode;

constexpr char kNtKey[] = "SYSTEM\\CurrentControlSet\\Services\\VTMD\\Parameters";
constexpr char kPortsKey[] = "SOFTWARE\\NCCORE\\SerialPorts";

// A passive adapter on the master side of a new pseudo-terminal.
class PtyAdapter {
 public:
  PtyAdapter() : adapter_(line_) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    EXPECT_GE(master_, 0);
    EXPECT_EQ(::grantpt(master_), 0);
    EXPECT_EQ(::unlockpt(master_), 0);
    slavePath_ = ::ptsname(master_);
    // Kept open so that the line never hangs up between the library's
    // sessions; also where the rate is read.
    slave_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(slave_, 0);
    thread_ = std::thread([this] { Run(); });
  }
  ~PtyAdapter() {
    stop_ = true;
    thread_.join();
    ::close(slave_);
    ::close(master_);
  }

  const std::string& slavePath() const { return slavePath_; }
  drivers::OneWireLine& line() { return line_; }
  drivers::PassiveAdapter& adapter() { return adapter_; }
  int slave() const { return slave_; }

  // The rates the bytes arrived at: resets and slots.
  struct Seen {
    int resets = 0;
    int slots = 0;
    std::vector<std::uint32_t> otherRates;
  };
  Seen seen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0 || (p.revents & POLLIN) == 0) continue;
      std::uint8_t bytes[64];
      ssize_t n = ::read(master_, bytes, sizeof bytes);
      if (n <= 0) continue;
      std::uint32_t rate = 0;
      platform::posix::GetTerminalBaud(slave_, &rate);
      std::vector<std::uint8_t> answers;
      for (ssize_t i = 0; i < n; ++i) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (rate == 14400) {
            ++seen_.resets;
          } else if (rate == 115200) {
            ++seen_.slots;
          } else {
            seen_.otherRates.push_back(rate);
          }
        }
        if (auto answer = adapter_.Exchange(bytes[i], rate)) answers.push_back(*answer);
      }
      if (!answers.empty()) {
        ssize_t written = ::write(master_, answers.data(), answers.size());
        EXPECT_EQ(written, static_cast<ssize_t>(answers.size()));
      }
    }
  }

  drivers::OneWireLine line_;
  drivers::PassiveAdapter adapter_;
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  Seen seen_;
};

const RomCode kDevice = MakeRomCode(0x01, 0x0000000B81C2ull);

// AdpType 9 (COM2), the library's own signalling (TMEX = 0), the system's
// drivers (the real serial port), COM2 mapped to the pseudo-terminal.
class SerialPty : public ::testing::Test {
 protected:
  SerialPty() {
    drivers::InstallCarrierDrivers(nullptr);
    EXPECT_TRUE(platform::WriteSettingDword(kNtKey, "AdpType", 9));
    EXPECT_TRUE(platform::WriteSettingDword(kNtKey, "TMEX", 0));
    EXPECT_TRUE(platform::WriteSettingText(kPortsKey, "COM2", pty_.slavePath().c_str()));
    pty_.line().SetDevices({kDevice});
    EXPECT_EQ(TmLibraryInit(0), 1) << std::hex << platform::GetLastErrorCode();
  }
  ~SerialPty() override { TmShutdown(); }

  TmSession Open() {
    TmSession session = 0;
    EXPECT_EQ(TmOpenSession(&session), 1) << std::hex << platform::GetLastErrorCode();
    return session;
  }
  std::uint32_t ReadError(TmSession session) {
    std::uint8_t rom[8];
    platform::SetLastErrorCode(0);
    EXPECT_EQ(TmReadRom(session, rom), 0);
    return platform::GetLastErrorCode();
  }

  test::PrivateMachine machine_{{kNtKey, kPortsKey}};
  test::TempFolder profiles_;
  test::ScopedEnv profileDir_{"NCCORE_PROFILE_DIR", profiles_.path().c_str()};
  platform::InstantClock clock_;  // the 25 ms settle; port time-outs stay real
  platform::ScopedClock scopedClock_{&clock_};
  PtyAdapter pty_;
};

TEST_F(SerialPty, ReadsTheRomCodeEndToEnd) {
  TmSession session = Open();
  std::uint8_t rom[8] = {};
  ASSERT_NE(TmReadRom(session, rom), 0) << std::hex << platform::GetLastErrorCode();
  EXPECT_EQ(std::vector<std::uint8_t>(rom, rom + 8),
            std::vector<std::uint8_t>(kDevice.begin(), kDevice.end()));
  // One reset at 14400 baud; the Read ROM command and 64 read slots at
  // 115200, one byte per slot; nothing at any other rate.
  PtyAdapter::Seen seen = pty_.seen();
  EXPECT_EQ(seen.resets, 1);
  EXPECT_EQ(seen.slots, 8 * 9);
  EXPECT_TRUE(seen.otherRates.empty());
  EXPECT_EQ(clock_.sleptMs(), 25u);
  // Again in the same session.
  ASSERT_NE(TmReadRom(session, rom), 0);
  EXPECT_EQ(rom[7], kDevice[7]);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(SerialPty, TheLineIsSetAsTheAdapterNeeds) {
  TmSession session = Open();
  std::uint8_t rom[8];
  ASSERT_NE(TmReadRom(session, rom), 0);
  termios t{};
  ASSERT_EQ(::tcgetattr(pty_.slave(), &t), 0);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_NE(t.c_cflag & CREAD, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  std::uint32_t rate = 0;
  ASSERT_TRUE(platform::posix::GetTerminalBaud(pty_.slave(), &rate));
  EXPECT_EQ(rate, 115200u);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(SerialPty, NoDeviceOnTheReader) {
  pty_.line().SetDevices({});
  TmSession session = Open();
  EXPECT_EQ(ReadError(session), kTmExchangeError);
  EXPECT_EQ(pty_.seen().slots, 0) << "no slots after a reset without presence";
  pty_.line().SetDevices({kDevice});
  std::uint8_t rom[8];
  EXPECT_NE(TmReadRom(session, rom), 0);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(SerialPty, NoAdapterOnThePort) {
  pty_.adapter().SetPresent(false);
  TmSession session = Open();
  EXPECT_EQ(ReadError(session), kTmAdapterNotFound);  // after the read's 500 ms time-out
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(SerialPty, CorruptedRomByte) {
  for (int index : {0, 4, 7}) {
    SCOPED_TRACE(index);
    pty_.line().CorruptRomByte(index, 0x04);
    TmSession session = Open();
    EXPECT_EQ(ReadError(session), kTmExchangeError);
    EXPECT_EQ(TmCloseSession(session), 1);
  }
  pty_.line().CorruptRomByte(0, 0);
  TmSession session = Open();
  std::uint8_t rom[8];
  EXPECT_NE(TmReadRom(session, rom), 0);
  EXPECT_EQ(TmCloseSession(session), 1);
}

TEST_F(SerialPty, ThePortIsHeldExclusively) {
  TmSession session = Open();
  // Another opener through the platform layer, as a second process would.
  EXPECT_EQ(platform::OpenSerialPort("COM2"), nullptr);
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorAccessDenied);
  TmSession second = 0;
  EXPECT_EQ(TmOpenSession(&second), 0);
  EXPECT_EQ(platform::GetLastErrorCode(), kTmAdapterBusy);
  EXPECT_EQ(TmCloseSession(session), 1);
  platform::SerialPortHandle port = platform::OpenSerialPort("COM2");
  EXPECT_NE(port, nullptr) << "released with the session";
  platform::CloseSerialPort(port);
}

TEST(SerialPortNames, MapToDevicePaths) {
  test::PrivateMachine machine({kPortsKey});
  EXPECT_EQ(platform::SerialPortDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(platform::SerialPortDevicePath("com4"), "/dev/ttyS3");
  EXPECT_EQ(platform::SerialPortDevicePath("LPT2"), "/dev/parport1");
  ASSERT_TRUE(platform::WriteSettingText(kPortsKey, "COM3", "/dev/ttyUSB0"));
  EXPECT_EQ(platform::SerialPortDevicePath("COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(platform::SerialPortDevicePath("COM2"), "/dev/ttyS1");
  for (const char* bad : {"", "COM", "COM0", "COM01", "AUX1", "COM1x", "COM256"}) {
    EXPECT_EQ(platform::SerialPortDevicePath(bad), "") << bad;
  }
}

TEST(SerialPortNames, WhatDoesNotOpen) {
  test::PrivateMachine machine({kPortsKey});
  test::TempFolder folder;
  std::string file = folder / "plain-file";
  test::WriteFileText(file, "x");
  ASSERT_TRUE(platform::WriteSettingText(kPortsKey, "COM7", (folder / "missing").c_str()));
  ASSERT_TRUE(platform::WriteSettingText(kPortsKey, "COM8", file.c_str()));
  EXPECT_EQ(platform::OpenSerialPort("COM7"), nullptr);
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileNotFound);
  EXPECT_EQ(platform::OpenSerialPort("COM8"), nullptr) << "a plain file is no port";
  EXPECT_EQ(platform::GetLastErrorCode(), platform::kErrorFileNotFound);
}

}  // namespace
}  // namespace nc::carriers

#endif  // !_WIN32
