#include "frame/generator_file.h"

#include "frame/result_text.h"
#include "platform/files.h"
#include "platform/string_table.h"

namespace nc::frame {

namespace {

struct GeneratorScan {
  GeneratorFile* file;
  OptionHandler handler;
  void* context;
};

bool TakeGeneratorOption(void* context, const OptionHit& hit) {
  auto& scan = *static_cast<GeneratorScan*>(context);
  switch (hit.index) {
    case kGeneratorQuiet:
      scan.file->quiet = true;
      return true;
    case kGeneratorOverwrite:
      scan.file->overwrite = true;
      return true;
    default:
      return scan.handler(scan.context, hit);
  }
}

}  // namespace

bool ScanGeneratorOptions(GeneratorFile& file, const char* options, const OptionSpec* table,
                          std::size_t tableSize, std::size_t nameBufferSize, OptionHandler handler,
                          void* context) {
  GeneratorScan scan{&file, handler, context};
  return ScanOptions(options, table, tableSize, nameBufferSize, TakeGeneratorOption, &scan);
}

bool MayWriteGeneratorFile(platform::WindowHandle parent, int titleId, GeneratorFile& file) {
  return MayWriteOutput(file.output, parent, titleId, file.name, file.overwrite, file.quiet);
}

void CopyKeyPairName(KeyPairFiles& files, bool secret, const char* nameStart) {
  if (secret)
    CopyNameToken(nameStart, files.spec, sizeof files.spec);
  else
    CopyNameToken(nameStart, files.publicName, sizeof files.publicName);
}

void LoadKeyPairNames(KeyPairFiles& files, int secretTextId, int publicTextId) {
  platform::LoadText(secretTextId, files.spec, sizeof files.spec);
  platform::LoadText(publicTextId, files.publicName, sizeof files.publicName);
}

Outcome SettleKeyPairFiles(platform::WindowHandle parent, int titleId, KeyPairFiles& files) {
  GeneratorFile& secret = files.secret;
  ParseProtectionSpec(files.spec, &files.protection, secret.name, sizeof secret.name);
  if (platform::SameOutputFile(secret.name, files.publicName)) return {kResultBadCommand};
  if (!MayWriteGeneratorFile(parent, titleId, secret)) return {kResultFileExists, secret.name};
  if (!MayWriteOutput(files.publicFile, parent, titleId, files.publicName, secret.overwrite,
                      secret.quiet))
    return {kResultFileExists, files.publicName};
  return {kResultOk};
}

Outcome WriteKeyPairFiles(KeyPairFiles& files, const DataFileHeader& secretHeader,
                          std::initializer_list<const WordBlock*> secretBlocks,
                          const DataFileHeader& publicHeader,
                          std::initializer_list<const WordBlock*> publicBlocks) {
  return WriteKeyPair({files.secret.output, files.secret.name, secretHeader, secretBlocks},
                      {files.publicFile, files.publicName, publicHeader, publicBlocks});
}

void DiscardKeyPairFiles(KeyPairFiles& files) {
  DiscardOutput(files.secret.output);
  DiscardOutput(files.publicFile);
}

}  // namespace nc::frame
