// The simulated Tessel driver and tokens (see tessel_sim.h for what the
// token answers), and the token's keyed hash: the MD5 compression function
// (RFC 1321) run over the selected key file's 64-byte block and then over
// the 64-byte final block of the request.
#include "testsupport/carriers/drivers/tessel_sim.h"

#include <algorithm>
#include <cstring>

#include "zq/wipe.h"

namespace nc::carriers::drivers {

// ---- MD5 compression (RFC 1321) ---------------------------------------------------------
// Exposed to simulated_devices.cpp, which builds key files and expected
// answers from it.
void Md5Compress(std::uint32_t state[4], const std::uint8_t block[64]);

namespace {

constexpr std::uint32_t kWin32InvalidHandle = 6;
constexpr std::uint32_t kWin32InvalidParameter = 87;
constexpr std::uint32_t kWin32InsufficientBuffer = 122;
constexpr std::uint32_t kWin32FileNotFound = 2;

// Raw statuses of the token (the low 5 bits of a status byte).
constexpr std::uint8_t kRawOk = 0;
constexpr std::uint8_t kRawAccessDenied = 1;
constexpr std::uint8_t kRawBadCommand = 3;
constexpr std::uint8_t kRawNoDirectory = 4;
constexpr std::uint8_t kRawNoFile = 5;
constexpr std::uint8_t kRawBadParameter = 11;
constexpr std::uint8_t kRawBadFileType = 12;
// The token marks status bytes with the top bit; only the low 5 bits count.
constexpr std::uint8_t kStatusMark = 0x80;

std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::uint16_t Get16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

void Md5Compress(std::uint32_t state[4], const std::uint8_t block[64]) {
  static const std::uint32_t kSine[64] = {
      0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
      0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
      0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
      0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
      0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
      0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
      0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
      0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
      0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
      0xeb86d391};
  static const int kShift[4][4] = {
      {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = Get32(block + 4 * i);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    int round = i / 16;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        g = i;
        break;
      case 1:
        f = (d & b) | (~d & c);
        g = (5 * i + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        g = (3 * i + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        g = (7 * i) % 16;
        break;
    }
    std::uint32_t rotated = Rotl(a + f + kSine[i] + m[g], kShift[round][i % 4]);
    a = d;
    d = c;
    c = b;
    b = b + rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  SecureWipe(m, sizeof m);
}

// ---- the driver -------------------------------------------------------------------------

TesselHandle TesselSimulator::Open(std::uint32_t* error) {
  devices_.FaultPoint("tessel.open");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  std::uint32_t injected = devices_.Enter("tessel.open");
  std::uint32_t failure = injected != 0 ? injected : devices_.tesselDriver ? 0 : kWin32FileNotFound;
  if (failure != 0) {
    if (error != nullptr) *error = failure;
    return kNoTessel;
  }
  TesselHandle handle = nextHandle_++;
  open_[handle];
  ++devices_.log.tesselOpenHandles;
  return handle;
}

void TesselSimulator::Close(TesselHandle device) {
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  devices_.Enter("tessel.close");
  auto found = open_.find(device);
  if (found == open_.end()) return;
  // Closing the device drops what it still had selected.
  devices_.log.tesselSelectedTokens -= static_cast<int>(found->second.selected.size());
  open_.erase(found);
  --devices_.log.tesselOpenHandles;
}

SimTesselToken* TesselSimulator::TokenOf(const Selection& selection) {
  for (SimTesselToken& token : devices_.tessel) {
    if (token.serial == selection.serial) return &token;
  }
  return nullptr;
}

bool TesselSimulator::Control(TesselHandle device, std::uint32_t code, const void* in,
                              std::uint32_t inSize, void* out, std::uint32_t outSize,
                              std::uint32_t* returned, std::uint32_t* error) {
  devices_.FaultPoint(code == kTesselGetVersion ? "tessel.version"
                      : code == kTesselSelect   ? "tessel.select"
                      : code == kTesselRelease  ? "tessel.release"
                                                : "tessel.request");
  std::lock_guard<std::recursive_mutex> guard(devices_.lock());
  std::uint32_t ignored = 0;
  if (returned == nullptr) returned = &ignored;
  if (error == nullptr) error = &ignored;
  *returned = 0;
  auto fail = [&](std::uint32_t code) {
    *error = code;
    return false;
  };
  auto found = open_.find(device);
  if (found == open_.end()) return fail(kWin32InvalidHandle);
  Open_& opened = found->second;
  const auto* input = static_cast<const std::uint8_t*>(in);
  auto* output = static_cast<std::uint8_t*>(out);

  switch (code) {
    case kTesselGetVersion: {
      if (std::uint32_t injected = devices_.Enter("tessel.version")) return fail(injected);
      if (output == nullptr || outSize < 4) return fail(kWin32InsufficientBuffer);
      Put32(output, devices_.tesselDriverVersion);
      *returned = 4;
      return true;
    }
    case kTesselSelect: {
      if (std::uint32_t injected = devices_.Enter("tessel.select")) return fail(injected);
      if (input == nullptr || inSize != kTesselSelectBlockSize || output == nullptr ||
          outSize < kTesselSelectBlockSize) {
        return fail(kWin32InvalidParameter);
      }
      std::uint32_t index = Get32(input + kSelectIndexOffset);
      devices_.log.tesselSelects.push_back(index);
      std::uint8_t block[kTesselSelectBlockSize] = {};
      Put32(block + kSelectIndexOffset, index);
      if (index >= devices_.tessel.size()) {
        Put32(block + kSelectResultOffset, kSelectNoToken);
      } else if (devices_.tessel[index].busySelects > 0) {
        --devices_.tessel[index].busySelects;
        Put32(block + kSelectResultOffset, kSelectTokenBusy);
      } else {
        std::uint32_t identifier = nextIdentifier_++;
        Selection selection;
        selection.serial = devices_.tessel[index].serial;
        opened.selected[identifier] = selection;
        devices_.log.tesselSelected.push_back(selection.serial);
        ++devices_.log.tesselSelectedTokens;
        Put32(block + kSelectIdentifierOffset, identifier);
        Put32(block + kSelectResultOffset, kSelectedToken);
      }
      std::memcpy(output, block, sizeof block);
      *returned = kTesselSelectBlockSize;
      return true;
    }
    case kTesselRelease: {
      if (std::uint32_t injected = devices_.Enter("tessel.release")) return fail(injected);
      if (input == nullptr || inSize != kTesselSelectBlockSize) return fail(kWin32InvalidParameter);
      auto selection = opened.selected.find(Get32(input + kSelectIdentifierOffset));
      if (selection == opened.selected.end()) return fail(kWin32InvalidParameter);
      opened.selected.erase(selection);
      --devices_.log.tesselSelectedTokens;
      if (devices_.afterTesselRelease) devices_.afterTesselRelease(devices_);
      return true;
    }
    case kTesselRequest: {
      if (std::uint32_t injected = devices_.Enter("tessel.request")) return fail(injected);
      if (input == nullptr || inSize != kTesselRequestBlockSize)
        return fail(kWin32InvalidParameter);
      auto selection = opened.selected.find(Get32(input));
      if (selection == opened.selected.end() || Get32(input + 4) != 0 || Get16(input + 14) > 256) {
        return fail(kWin32InvalidParameter);
      }
      if (TokenOf(selection->second) == nullptr) return fail(kWin32InvalidHandle);  // pulled out
      if (output == nullptr || outSize > kTesselMaxResponse) return fail(kWin32InvalidParameter);
      std::uint8_t response[kTesselMaxResponse] = {};
      std::uint32_t length = 0;
      Request(selection->second, input, response, sizeof response, &length);
      std::uint16_t request = Get16(input + 12);
      std::string name = std::to_string(request);
      if (std::uint32_t raw = devices_.Enter("tessel.request." + name)) {
        response[0] = static_cast<std::uint8_t>(kStatusMark | raw);
        length = 1;
      }
      if (std::uint32_t shortLength = devices_.Enter("tessel.short." + name)) {
        length = std::min<std::uint32_t>(shortLength, kTesselMaxResponse);
      }
      if (length > outSize) return fail(kWin32InsufficientBuffer);
      std::memcpy(output, response, length);
      *returned = length;
      SecureWipe(response, sizeof response);
      return true;
    }
    default:
      return fail(kWin32InvalidParameter);
  }
}

// Answers one request into `out`; *returned is the answer's length.
bool TesselSimulator::Request(Selection& selection, const std::uint8_t* block, std::uint8_t* out,
                              std::uint32_t outSize, std::uint32_t* returned) {
  const std::uint16_t p1 = Get16(block + 8);
  const std::uint16_t p2 = Get16(block + 10);
  const std::uint16_t request = Get16(block + 12);
  const std::uint16_t further = Get16(block + 14);
  devices_.log.tesselRequests.push_back(request);
  SimTesselToken& token = *TokenOf(selection);
  auto status = [&](std::uint8_t raw) {
    out[0] = static_cast<std::uint8_t>(kStatusMark | raw);
    *returned = 1;
    return raw == kRawOk;
  };
  // A directory by identifier: 0 is the root, others are the root's
  // directory entries.
  auto directory = [&](std::uint16_t id) -> const std::vector<SimTesselEntry>* {
    if (id == 0) return &token.root;
    for (const SimTesselEntry& entry : token.root) {
      if (entry.type == kTesselEntryDirectory && entry.identifier == id) return &entry.entries;
    }
    return nullptr;
  };
  auto selectedFile = [&]() -> const SimTesselEntry* {
    if (!selection.file) return nullptr;
    const auto* entries = directory(selection.fileDirectory);
    if (entries == nullptr || selection.fileIndex >= entries->size()) return nullptr;
    return &(*entries)[selection.fileIndex];
  };

  if (request == 3) {
    if (p1 == 1) {
      selection.exchange = true;
    } else if (p1 == 2) {
      selection.exchange = false;
    } else {
      return status(kRawBadParameter);
    }
    return status(kRawOk);
  }
  if (!selection.exchange) return status(kRawAccessDenied);
  switch (request) {
    case 258:
      std::memcpy(out, token.serial.data(), 8);
      *returned = 8;
      return true;
    case 260: {
      const auto* entries = directory(p1);
      if (entries == nullptr) return status(kRawNoDirectory);
      std::memset(out, 0, 8);
      if (p2 < entries->size()) {
        const SimTesselEntry& entry = (*entries)[p2];
        std::uint32_t size = entry.type == kTesselEntryDirectory
                                 ? static_cast<std::uint32_t>(entry.entries.size())
                                 : static_cast<std::uint32_t>(entry.bytes.size());
        out[0] = static_cast<std::uint8_t>(entry.identifier);
        out[1] = static_cast<std::uint8_t>(entry.identifier >> 8);
        Put32(out + 2, size);
        out[6] = entry.type;
      }
      *returned = 8;
      return true;
    }
    case 261: {
      const auto* entries = directory(p1);
      if (entries == nullptr) return status(kRawNoDirectory);
      if (p2 >= entries->size() || (*entries)[p2].type == kTesselEntryDirectory ||
          (*entries)[p2].type == kTesselEntryEnd) {
        return status(kRawNoFile);
      }
      selection.file = true;
      selection.fileDirectory = p1;
      selection.fileIndex = p2;
      return status(kRawOk);
    }
    case 263: {
      const SimTesselEntry* file = selectedFile();
      if (file == nullptr) return status(kRawNoFile);
      if (file->type == kTesselEntryKey) return status(kRawBadFileType);
      std::uint32_t offset = 2u * p1;
      if (p2 == 0 || p2 > outSize || offset >= file->bytes.size()) return status(kRawBadParameter);
      // Past the end of the file the token answers what there is.
      std::uint32_t length =
          std::min<std::uint32_t>(p2, static_cast<std::uint32_t>(file->bytes.size()) - offset);
      std::memcpy(out, file->bytes.data() + offset, length);
      *returned = length;
      return true;
    }
    case 273: {
      const SimTesselEntry* file = selectedFile();
      if (file == nullptr) return status(kRawNoFile);
      if (file->type != kTesselEntryKey || file->bytes.size() != 64) {
        return status(kRawBadFileType);
      }
      // The 80-byte block: 16 zero bytes (p1, p2 and 12 further bytes),
      // then the 64-byte final block.
      if (further != 76 || p1 != 0 || p2 != 0) return status(kRawBadParameter);
      const std::uint8_t* data = block + 16;
      for (int i = 0; i < 12; ++i) {
        if (data[i] != 0) return status(kRawBadParameter);
      }
      std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
      Md5Compress(state, file->bytes.data());
      Md5Compress(state, data + 12);
      for (int i = 0; i < 4; ++i) Put32(out + 4 * i, state[i]);
      SecureWipe(state, sizeof state);
      *returned = 16;
      return true;
    }
    default:
      return status(kRawBadCommand);
  }
}

}  // namespace nc::carriers::drivers
