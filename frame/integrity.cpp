#include "frame/data_file.h"

namespace nc::frame {

void UpdateIntegrityValue(std::uint32_t* value, const void* bytes, std::size_t size) {
  std::uint32_t v = *value;
  const auto* p = static_cast<const std::uint8_t*>(bytes);
  for (std::size_t i = 0; i < size; ++i) {
    for (int bit = 0; bit < 8; ++bit) {
      std::uint32_t out = v & 1u;
      v = (v >> 1) | (static_cast<std::uint32_t>((p[i] >> bit) & 1u) << 31);
      if (out != 0) v ^= 0xEDB88320u;
    }
  }
  *value = v;
}

}  // namespace nc::frame
