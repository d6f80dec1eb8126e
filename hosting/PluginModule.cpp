#include "hosting/PluginModule.h"

#include "unicode/Utf8.h"

#include <windows.h>

namespace Tessarine::Lamino {

namespace {

std::string lastErrorText()
{
    DWORD code = GetLastError();
    char* text = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message + " (Windows error " + std::to_string(code) + ")";
}

void checkIsEffect(const Pipl& pipl, const std::string& path)
{
    if (!pipl.kind || *pipl.kind != fourCharCode("eFKT")) {
        std::string kind = pipl.kind ? "'" + fourCharText(*pipl.kind) + "'" : "missing";
        throw PluginLoadError(path + ": the PiPL's kind is " + kind + ", not an effect ('eFKT')");
    }
    if (!pipl.entryPoint || pipl.entryPoint->empty()) {
        throw PluginLoadError(path + ": the PiPL names no 64-bit Windows entry point ('8664')");
    }
}

}  // namespace

std::vector<uint8_t> PluginModule::readPiplResource(void* module, const std::string& path)
{
    auto instance = static_cast<HMODULE>(module);
    HRSRC resource = FindResourceExA(instance, "PIPL", MAKEINTRESOURCEA(Pipl::kResourceId),
                                     Pipl::kResourceLanguage);
    if (resource == nullptr) {
        throw PluginLoadError(path + ": no PIPL resource with id 16000 and language 1033: " +
                              lastErrorText());
    }
    DWORD size = SizeofResource(instance, resource);
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        throw PluginLoadError(path + ": the PIPL resource cannot be read: " + lastErrorText());
    }
    auto first = static_cast<const uint8_t*>(bytes);
    return std::vector<uint8_t>(first, first + size);
}

PluginModule::PluginModule(const std::string& path, bool unloadOnDestruction)
    : filePath(path), unload(unloadOnDestruction)
{
    module = LoadLibraryW(utf8ToWide(path).c_str());
    if (module == nullptr) {
        throw PluginLoadError(path + ": cannot be loaded: " + lastErrorText());
    }
    try {
        propertyList = Pipl::parse(readPiplResource(module, path));
        checkIsEffect(propertyList, path);
        FARPROC address = GetProcAddress(static_cast<HMODULE>(module), propertyList.entryPoint->c_str());
        if (address == nullptr) {
            throw PluginLoadError(path + ": does not export the entry point \"" +
                                  *propertyList.entryPoint + "\" that its PiPL names");
        }
        entry = reinterpret_cast<EntryPointFunction>(reinterpret_cast<void*>(address));
    } catch (const PiplError& error) {
        FreeLibrary(static_cast<HMODULE>(module));
        throw PluginLoadError(path + ": " + error.what());
    } catch (...) {
        FreeLibrary(static_cast<HMODULE>(module));
        throw;
    }
}

PluginModule::~PluginModule()
{
    if (unload) {
        FreeLibrary(static_cast<HMODULE>(module));
    }
}

}  // namespace Tessarine::Lamino
