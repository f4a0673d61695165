#include "frame/generator_file.h"

#include "frame/result_text.h"

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

}  // namespace nc::frame
