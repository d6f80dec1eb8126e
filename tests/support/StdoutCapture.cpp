#include "support/StdoutCapture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <io.h>
#include <sstream>

namespace Tessarine::Lamino {

StdoutCapture::StdoutCapture()
{
    char folder[MAX_PATH] = {};
    char file[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "out", 0, file);
    path = file;

    std::fflush(stdout);
    savedDescriptor = _dup(1);
    const int target = _open(path.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY);
    _dup2(target, 1);
    _close(target);
}

StdoutCapture::~StdoutCapture()
{
    stop();
}

std::string StdoutCapture::text()
{
    stop();
    return captured;
}

void StdoutCapture::stop()
{
    if (stopped)
        return;
    stopped = true;
    std::fflush(stdout);
    _dup2(savedDescriptor, 1);
    _close(savedDescriptor);

    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    captured = content.str();
    in.close();
    DeleteFileA(path.c_str());
    // GoogleTest prints failures as they happen; a capture must not swallow them.
    if (::testing::Test::HasFailure()) {
        std::fwrite(captured.data(), 1, captured.size(), stdout);
        std::fflush(stdout);
    }
}

} // namespace Tessarine::Lamino
