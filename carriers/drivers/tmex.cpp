// The TMEX module through the platform's run-time library loading.
#include "carriers/drivers/tmex.h"

#include <cstdlib>

#include "platform/dynamic_library.h"
#include "platform/settings.h"

namespace nc::carriers::drivers {

namespace {

class SystemLoader final : public TmexModuleLoader {
 public:
  void* Load() override { return platform::LoadDynamicLibrary(TmexModuleName().c_str()); }
  void* Resolve(void* module, const char* name) override {
    return platform::ResolveLibrarySymbol(module, name);
  }
  void Free(void* module) override { platform::FreeDynamicLibrary(module); }
};

}  // namespace

std::string TmexModuleName() {
#ifdef _WIN32
  return "IBFS32.DLL";
#else
  if (const char* name = std::getenv("NCCORE_TMEX_LIBRARY"); name != nullptr && *name != '\0') {
    return name;
  }
  std::string name;
  if (platform::ReadSettingText("SOFTWARE\\NCCORE\\TouchMemory", "TmexLibrary", &name) &&
      !name.empty()) {
    return name;
  }
  return "libibfs32.so";
#endif
}

TmexModuleLoader& SystemTmexModuleLoader() {
  static SystemLoader loader;
  return loader;
}

}  // namespace nc::carriers::drivers
