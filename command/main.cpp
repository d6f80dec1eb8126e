// lamino.exe: renders images with the Orla Lamino plug-in from the command line (LaminoTool).

#include <windows.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "command/LaminoTool.h"
#include "unicode/Utf8.h"

using namespace Tessarine::Lamino;

namespace {

// The arguments as UTF-8, whatever the console's code page.
std::vector<std::string> utf8Arguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; wide != nullptr && i < count; ++i) {
        arguments.push_back(wideToUtf8(wide[i]));
    }
    LocalFree(wide);
    return arguments;
}

void writeAll(int descriptor, const std::string& text)
{
    for (size_t written = 0; written < text.size();) {
        int count = _write(descriptor, text.data() + written, unsigned(text.size() - written));
        if (count <= 0) {
            return;
        }
        written += size_t(count);
    }
}

// The tool's results written straight to a file descriptor as they come, so that a long run
// (soak) shows its figures while it runs.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int descriptor) : descriptor(descriptor) { }

protected:
    int_type overflow(int_type c) override
    {
        if (c != traits_type::eof()) {
            char one = char(c);
            writeAll(descriptor, std::string(1, one));
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override
    {
        writeAll(descriptor, std::string(text, size_t(count)));
        return count;
    }

private:
    int descriptor;
};

// Whether the plug-in's own messages (its OpenGL context descriptions, shader logs) are to be
// shown: -v or --verbose anywhere among the arguments.
bool wantsPluginOutput(const std::vector<std::string>& arguments)
{
    for (const std::string& argument : arguments) {
        if (argument == "-v" || argument == "--verbose") {
            return true;
        }
    }
    return false;
}

// The run's state, in the file that LAMINO_STATUS_FILE names, for a wrapper script that cannot
// tell a finished run from a terminated one by Wine's exit status: "running" as the first step,
// the exit status as the last. A file left empty means the program never began.
void recordState(const char* state)
{
    wchar_t path[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"LAMINO_STATUS_FILE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    if (FILE* file = _wfopen(path, L"wb")) {
        std::fprintf(file, "%s\n", state);
        std::fclose(file);
    }
}

int recordStatus(int status)
{
    recordState(std::to_string(status).c_str());
    return status;
}

}  // namespace

int main()
{
    recordState("running");
    std::vector<std::string> arguments = utf8Arguments();
    // The plug-in prints its diagnostics on standard output. They go to standard error with -v
    // and nowhere otherwise, so that standard output carries only the tool's results (info,
    // bench figures, help) and can be piped or saved.
    std::fflush(stdout);
    // Lines end in a bare line feed, which consoles show alike and which Linux tools reading the
    // output through Wine expect.
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    int results = _dup(1);
    int pluginOutput = wantsPluginOutput(arguments) ? _dup(2) : _open("NUL", _O_WRONLY);
    if (results < 0 || pluginOutput < 0 || _dup2(pluginOutput, 1) != 0) {
        return recordStatus(LaminoTool(std::cout, std::cerr).run(arguments));
    }
    _close(pluginOutput);
    DescriptorBuffer resultsBuffer(results);
    std::ostream out(&resultsBuffer);
    int status = LaminoTool(out, std::cerr).run(arguments);
    std::fflush(stdout);
    _close(results);
    return recordStatus(status);
}
