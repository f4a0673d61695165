// The description of the attached devices: the file format, its errors,
// installing the simulators from a description file (and no variable that
// selects them).
#include "testsupport/carriers/simulated_devices.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "carrier_test_support.h"
#include "carriers/activator.h"
#include "carriers/drivers/quadra_client.h"
#include "carriers/quadra.h"
#include "carriers/tessel.h"

namespace nc::carriers {
namespace {

using nc::test::CarrierTest;

const char kDescription[] = R"(# two dongles, a key, a token
[quadra]
developer = 9766
cells = 0:0x1234 8:3 9:0x0100 12:1 2 3 4 5 6 7 8

[quadra]
developer = 0x1111
cells = 63:65535

[activator]
timing = 40-1000
words = 0:0x4d43 0x7832 2
bytes = 8:41 42 43

[tessel]
serial = 0123456789abcdef
body = 303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f50515253
hash-key = 5465737365 6c206b65792041
busy = 2

[driver]
tessel = 0x200
fail.quadra.read = 7 7 3
always.activator.probe = 9
fault = tessel.request

[ibutton]
rom = 01 02 03
)";

TEST(SimulatedDevicesFile, ADescriptionIsRead) {
  SimulatedDevices devices;
  std::string error;
  ASSERT_TRUE(ParseSimulatedDevices(kDescription, &devices, &error)) << error;

  ASSERT_EQ(devices.quadra.size(), 2u);
  EXPECT_EQ(devices.quadra[0].developerId, 9766);
  EXPECT_EQ(devices.quadra[0].cells[0], 0x1234);
  EXPECT_EQ(devices.quadra[0].cells[1], 0);
  EXPECT_EQ(devices.quadra[0].cells[8], 3);
  EXPECT_EQ(devices.quadra[0].cells[9], 0x0100);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(devices.quadra[0].cells[12 + i], i + 1);
  EXPECT_EQ(devices.quadra[0].cells[20], 0);
  EXPECT_EQ(devices.quadra[1].developerId, 0x1111);
  EXPECT_EQ(devices.quadra[1].cells[63], 0xFFFF);

  ASSERT_TRUE(devices.activator);
  EXPECT_EQ(devices.activator->minTiming, 40u);
  EXPECT_EQ(devices.activator->maxTiming, 1000u);
  EXPECT_EQ(devices.activator->words[0], 0x4d43);
  EXPECT_EQ(devices.activator->words[1], 0x7832);
  EXPECT_EQ(devices.activator->words[2], 2);
  EXPECT_EQ(devices.activator->words[4], 0x4241);  // bytes 8, 9
  EXPECT_EQ(devices.activator->words[5], 0x0043);  // byte 10

  ASSERT_EQ(devices.tessel.size(), 1u);
  const SimTesselToken& token = devices.tessel[0];
  EXPECT_EQ(token.serial,
            (std::array<std::uint8_t, 8>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
  EXPECT_EQ(token.busySelects, 2);
  std::array<std::uint8_t, 36> body{};
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(0x30 + i);
  SimTesselToken expected = MakeTesselToken(
      token.serial, body,
      std::vector<std::uint8_t>{'T', 'e', 's', 's', 'e', 'l', ' ', 'k', 'e', 'y', ' ', 'A'});
  ASSERT_EQ(token.root.size(), expected.root.size());
  EXPECT_EQ(token.root[2].entries[0].bytes, expected.root[2].entries[0].bytes);
  EXPECT_EQ(token.root[2].entries[1].bytes, expected.root[2].entries[1].bytes);
  EXPECT_EQ(token.root[2].entries[2].bytes, expected.root[2].entries[2].bytes);

  EXPECT_EQ(devices.tesselDriverVersion, 0x200u);
  EXPECT_TRUE(devices.tesselDriver);
  EXPECT_EQ(devices.failures["quadra.read"].next, (std::deque<std::uint32_t>{7, 7, 3}));
  EXPECT_FALSE(devices.failures["quadra.read"].always);
  EXPECT_EQ(devices.failures["activator.probe"].always, 9u);
  EXPECT_EQ(devices.faultOn, "tessel.request");

  ASSERT_EQ(devices.other["ibutton"].size(), 1u);
  EXPECT_EQ(devices.other["ibutton"][0],
            (std::vector<std::pair<std::string, std::string>>{{"rom", "01 02 03"}}));
}

TEST(SimulatedDevicesFile, MistakesAreReportedWithTheirLine) {
  struct Case {
    std::string text;
    int line;
  };
  const Case cases[] = {
      {"cells = 1", 1},
      {"[quadra]\ncells = 64:1", 2},
      {"[quadra]\ncells = 0:65536", 2},
      {"[quadra]\ndeveloper = nine", 2},
      {"[quadra]\ncolour = red", 2},
      {"[activator]\ntiming = 100-50", 2},
      {"[activator]\nbytes = 0:4g", 2},
      {"[activator]\n[activator]", 2},
      {"[tessel]\nserial = 0123", 2},
      {"[tessel]\nbody = 00", 2},
      {"[tessel]\nversion = 256", 2},
      {"[tessel]\nbody = " + std::string(72, '0') + "\n\n[driver]", 4},
      {"[tessel]\nhash-key = 01\n", 3},
      {"[driver]\ntessel = new", 2},
      {"[driver]\nfail.quadra.read =", 2},
      {"[driver]\nalways.quadra.read = 7 8", 2},
      {"[driver]\nfail. = 7", 2},
      {"[driver]\nquadra = 1", 2},
      {"[driver]\nno equals sign", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SimulatedDevices devices;
    std::string error;
    EXPECT_FALSE(ParseSimulatedDevices(c.text, &devices, &error));
    EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ":", 0), 0u) << error;
  }
}

TEST(SimulatedDevicesFile, AMissingFileIsReported) {
  SimulatedDevices devices;
  std::string error;
  EXPECT_FALSE(LoadSimulatedDevices("/nonexistent/devices.txt", &devices, &error));
  EXPECT_NE(error.find("/nonexistent/devices.txt"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Description files

class DescribedDevicesTest : public ::testing::Test {
 protected:
  ~DescribedDevicesTest() override {
    QuadraClose();
    ActivatorClose();
    ActivatorForgetCalibration();
    InstallSimulatedDevices(nullptr);
  }
  nc::test::PrivateMachine machine_{{"SOFTWARE\\Corvane Technologies\\NCX\\2.0"}};
  platform::InstantClock clock_;
  platform::ScopedClock useClock_{&clock_};
};

TEST_F(DescribedDevicesTest, AFileInstallsTheDevicesTheLayersSee) {
  std::string path = machine_.folder() / "devices.txt";
  nc::test::WriteFileText(path,
                          "[quadra]\ncells = 8:3 9:0x100 12:0x1111\n"
                          "[activator]\nwords = 0:0x4d43\n"
                          "[tessel]\nserial = 0123456789abcdef\nhash-key = 00\n");
  std::string error;
  ASSERT_TRUE(InstallDescribedDevices(path.c_str(), &error)) << error;
  SimulatedDevices* devices = InstalledSimulatedDevices();
  ASSERT_NE(devices, nullptr);
  EXPECT_EQ(devices->quadra.size(), 1u);

  std::uint8_t packet[kQuadraPacketSize];
  std::uint16_t value = 0;
  ASSERT_EQ(QuadraOpen(), kQuadraOk);
  ASSERT_EQ(QuadraFindFirst(packet), kQuadraOk);
  ASSERT_EQ(QuadraReadCell(packet, 12, &value), kQuadraOk);
  EXPECT_EQ(value, 0x1111);

  ASSERT_TRUE(ActivatorOpen());
  std::uint16_t word = 0;
  ASSERT_TRUE(ActivatorRead(0, &word, 1));
  EXPECT_EQ(word, 0x4d43);

  std::uint8_t response[16];
  const std::uint8_t challenge[4] = {1, 2, 3, 4};
  EXPECT_EQ(TesselResponse(response, challenge, 4), kTesselOk);

  // Uninstalled: the system's drivers.
  InstallSimulatedDevices(nullptr);
  EXPECT_EQ(InstalledSimulatedDevices(), nullptr);
  EXPECT_EQ(drivers::CurrentQuadraClient().Format(packet), 12);
}

TEST_F(DescribedDevicesTest, AFileThatDoesNotLoadChangesNothing) {
  std::string path = machine_.folder() / "devices.txt";
  for (const char* text : {"[quadra]\ncells = 99:1\n", "[touchmemory]\nno-such-setting = 1\n"}) {
    nc::test::WriteFileText(path, text);
    std::string error;
    EXPECT_FALSE(InstallDescribedDevices(path.c_str(), &error)) << text;
    EXPECT_FALSE(error.empty()) << text;
    EXPECT_EQ(InstalledSimulatedDevices(), nullptr);
    std::uint8_t packet[kQuadraPacketSize];
    EXPECT_EQ(drivers::CurrentQuadraClient().Format(packet), 12);
  }
}

// The library reads no variable that would swap a real device for a
// simulated one: the old demonstration switch does nothing.
TEST_F(DescribedDevicesTest, NoEnvironmentVariableSelectsSimulators) {
  std::string path = machine_.folder() / "devices.txt";
  nc::test::WriteFileText(path, "[quadra]\ncells = 8:3 9:0x100 12:0x1111\n");
  nc::test::ScopedEnv described("NCCORE_DEVICES", path.c_str());
  EXPECT_EQ(InstalledSimulatedDevices(), nullptr);
  std::uint8_t packet[kQuadraPacketSize];
  EXPECT_EQ(drivers::CurrentQuadraClient().Format(packet), 12);
}

}  // namespace
}  // namespace nc::carriers
