#pragma once

#include <string>

namespace Tessarine::Lamino {

// Captures what the process writes to standard output (C stdio and the file descriptor below
// it) from construction until text() or the end of the object, by pointing descriptor 1 at a
// temporary file. Once the running test has failed, what was captured is printed after all,
// so that failure messages are not lost. Not for use from several threads at once.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();

    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Stops capturing (once) and returns everything captured.
    std::string text();

private:
    void stop();

    int savedDescriptor = -1;
    std::string path;
    std::string captured;
    bool stopped = false;
};

} // namespace Tessarine::Lamino
