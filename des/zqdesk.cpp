// ZqDESK: a fresh DES key in a key file (.DEK), through the key generator
// the symmetric ciphers share (protect/key_generator.h).
#include "nccore21.h"
#include "platform/string_table.h"
#include "protect/key_generator.h"

namespace {

constexpr nc::protect::KeyGeneratorKind kDesKey = {
    "ZQDESK",           nc::platform::kTitleDesKeys,       5001,
    nc::frame::kAlgDes, nc::protect::KeyMaterialKind::Des, 2,
    DESGenKey};

}  // namespace

extern "C" NCEXPORT int32_t NCAPI ZqDESK(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  return nc::protect::RunKeyGenerator(kDesKey, parent, options, result, resultSize);
}
