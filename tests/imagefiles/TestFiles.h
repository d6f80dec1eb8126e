#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "unicode/Utf8.h"

namespace Tessarine::Lamino {

// A file name in the temporary folder, unique to the process, removed when the object goes.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name)
    {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path = wideToUtf8(folder) + "lamino_scratch_" + std::to_string(GetCurrentProcessId())
            + "_" + name;
    }
    ~ScratchFile() { DeleteFileW(utf8ToWide(path).c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    std::vector<uint8_t> bytes() const
    {
        std::ifstream in(utf8ToWide(path).c_str(), std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    }

    void write(const std::vector<uint8_t>& content) const
    {
        std::ofstream out(utf8ToWide(path).c_str(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    }

    std::string path;
};

}  // namespace Tessarine::Lamino
