#pragma once

#include "AE_Effect.h"
#include "hosting/Pipl.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// The effect's exported entry point, as the host calls it.
using EntryPointFunction = PF_Err (*)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                      PF_ParamDef* params[], PF_LayerDef* output, void* extra);

// A plug-in file that cannot be used; the message names the file and the reason.
class PluginLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One loaded effect plug-in (.aex): the library, its property list (the "PIPL" resource, id
// 16000, US English) and the entry point that the list's '8664' property names. Loading checks
// that the list is well formed, describes an effect ('eFKT') and names an exported function.
// Unloads the library when it goes, unless told to keep it. Make and destroy it on one thread;
// the entry point may be called from any.
class PluginModule {
public:
    explicit PluginModule(const std::string& path, bool unloadOnDestruction = true);
    ~PluginModule();
    PluginModule(const PluginModule&) = delete;
    PluginModule& operator=(const PluginModule&) = delete;

    const std::string& path() const { return filePath; }
    const Pipl& pipl() const { return propertyList; }
    EntryPointFunction entryPoint() const { return entry; }

    // The raw bytes of a loaded module's PIPL resource; throws PluginLoadError when it has none.
    static std::vector<uint8_t> readPiplResource(void* module, const std::string& path);

private:
    std::string filePath;
    void* module = nullptr;  // HMODULE
    bool unload;
    Pipl propertyList;
    EntryPointFunction entry = nullptr;
};

}  // namespace Tessarine::Lamino
