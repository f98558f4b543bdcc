#include "platformcfg/plugin_loader.h"

#include <windows.h>

namespace {

// Owns a loaded module until Release() hands it over to the process.
class ModuleHandle {
public:
    explicit ModuleHandle(HMODULE module) : module_(module) {}
    ~ModuleHandle() {
        if (module_ != nullptr) ::FreeLibrary(module_);
    }
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;

    HMODULE get() const { return module_; }
    void Release() { module_ = nullptr; }

private:
    HMODULE module_;
};

}  // namespace

PluginLoad LoadPlatformPlugin(const char* dllName) {
    ModuleHandle module(::LoadLibraryA(dllName));
    if (module.get() == nullptr) return {PluginLoadResult::kLibraryMissing, nullptr};

    FARPROC proc = ::GetProcAddress(module.get(), kUpdateCfgFactoryExport);
    if (proc == nullptr) return {PluginLoadResult::kFactoryMissing, nullptr};

    // The export is a static member function without arguments: the default (cdecl)
    // convention for free functions, so an ordinary function pointer calls it correctly.
    auto factory = reinterpret_cast<UpdateCfgFactory>(reinterpret_cast<void*>(proc));
    iUpdateCfg* cfg = factory();
    if (cfg == nullptr) return {PluginLoadResult::kNoInstance, nullptr};

    module.Release();
    return {PluginLoadResult::kLoaded, cfg};
}
