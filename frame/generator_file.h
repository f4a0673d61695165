// What the key and parameter generators share about the one file each of
// them writes: the flags "/NOLOGO" and "/Y" at the head of their options,
// the file's name, the question before an existing file of that name is
// replaced, and the output the file is written through.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "frame/operation.h"
#include "frame/options.h"
#include "frame/output_file.h"
#include "platform/files.h"
#include "platform/ui.h"

namespace nc::frame {

struct GeneratorFile {
  bool quiet = false;      // "/NOLOGO": no windows and no questions
  bool overwrite = false;  // "/Y": an existing file is replaced without asking
  char name[platform::kNameBufferSize] = {};
  OutputFile output;
};

// Every generator's option table starts with "/NOLOGO" and "/Y", in this
// order; its own options follow from kGeneratorFlagCount on.
enum GeneratorFlag : int { kGeneratorQuiet, kGeneratorOverwrite, kGeneratorFlagCount };

// ScanOptions for a generator: hits of the table's first two entries set
// the flags of `file`; every other hit, positional names included, goes to
// `handler`. False when a token was refused (the generator reports 01).
[[nodiscard]] bool ScanGeneratorOptions(GeneratorFile& file, const char* options,
                                        const OptionSpec* table, std::size_t tableSize,
                                        std::size_t nameBufferSize, OptionHandler handler,
                                        void* context);

// Whether the generator may go on to write `file.name`: no such file
// exists, "/Y" was given, or the user agreed to replace it (asked under the
// title `titleId`; never asked when quiet, which keeps the file). When it
// may not, the generator reports 11 with the name.
// Records in `file.output` whether its commit may replace a file.
[[nodiscard]] bool MayWriteGeneratorFile(platform::WindowHandle parent, int titleId,
                                         GeneratorFile& file);

// The two files of a key pair generator: the secret key's, whose flags are
// the generator's and whose name comes from the "/SECRET:" token `spec`
// (protection keywords, then the name), and the public key's ("/PUBLIC:").
struct KeyPairFiles {
  GeneratorFile secret;
  OutputFile publicFile;
  // The secret key's token: up to five protection keywords before the name.
  char spec[platform::kNameBufferSize + 50] = {};
  char publicName[platform::kNameBufferSize] = {};
  std::uint32_t protection = 0;  // the token's protection code
};

// The /SECRET: token (`secret`) or the /PUBLIC: name from an option scan.
void CopyKeyPairName(KeyPairFiles& files, bool secret, const char* nameStart);

// The default token and public name, texts `secretTextId` and `publicTextId`.
void LoadKeyPairNames(KeyPairFiles& files, int secretTextId, int publicTextId);

// After the scan: parses the token into the protection code and the secret
// key's name; refuses one file named for both halves (01: the second would
// overwrite the first); then asks, the secret key first, whether each may
// be written (11 with its name when not). 00 when the generator may go on.
[[nodiscard]] Outcome SettleKeyPairFiles(platform::WindowHandle parent, int titleId,
                                         KeyPairFiles& files);

// WriteKeyPair of the two files.
Outcome WriteKeyPairFiles(KeyPairFiles& files, const DataFileHeader& secretHeader,
                          std::initializer_list<const WordBlock*> secretBlocks,
                          const DataFileHeader& publicHeader,
                          std::initializer_list<const WordBlock*> publicBlocks);

// Removes whatever of the two was not committed. Safe to repeat.
void DiscardKeyPairFiles(KeyPairFiles& files);

}  // namespace nc::frame
