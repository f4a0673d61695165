// ZqGOSK: a fresh GOST 28147-89 key (8 words) in a key file (.GEK), through
// the key generator the symmetric ciphers share (protect/key_generator.h).
// Protected keys are enciphered with the vector "HJKLRW" that every reader
// of GOST key files uses.
#include "nccore21.h"
#include "platform/string_table.h"
#include "protect/key_generator.h"

namespace {

constexpr nc::protect::KeyGeneratorKind kGostKey = {"ZQGOSK",
                                                    nc::platform::kTitleGostKeys,
                                                    5005,
                                                    nc::frame::kAlgGost,
                                                    nc::protect::KeyMaterialKind::Gost,
                                                    8,
                                                    GOSGenKey};

}  // namespace

extern "C" NCEXPORT int32_t NCAPI ZqGOSK(void* parent, const char* options, char* result,
                                         int32_t resultSize) {
  return nc::protect::RunKeyGenerator(kGostKey, parent, options, result, resultSize);
}
