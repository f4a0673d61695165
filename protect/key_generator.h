// The generators of the symmetric ciphers' keys (ZqDESK, ZqGOSK): one
// fresh key in a key file, stored in the clear or enciphered under the
// master key of the protection the file name asks for. They differ only in
// what the kind below says.
//
// The file is written to a temporary file renamed over the destination only
// at the end: a refused carrier, a failed write or a fault leaves an existing
// key file of that name exactly as it was (losing an old key to a failed
// generation would be worse than the failure). The key file is private to
// its owner.
#pragma once
#include <cstdint>

#include "protect/key_material.h"
#include "zq/zq.h"

namespace nc::protect {

struct KeyGeneratorKind {
  const char* tag;    // the result tag, "ZQDESK"
  int titleId;        // the overwrite question's title
  int defaultNameId;  // the key file without a name token
  std::uint16_t algorithm;
  KeyMaterialKind material;
  std::uint32_t words;                // the key's length in words
  void(ZQAPI* generate)(WordBlock*);  // fills a block holding one random word
};

// The whole operation: options, question, challenge, master key, key,
// file; the result text into `result`, the code returned.
std::int32_t RunKeyGenerator(const KeyGeneratorKind& kind, void* parent, const char* options,
                             char* result, std::int32_t resultSize);

}  // namespace nc::protect
