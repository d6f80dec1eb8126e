#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "imagefiles/ImageIO.h"
#include "hosting/SlimSharedMutex.h"

namespace Tessarine::Lamino {

// Puts the files of a sequence under their names in frame order. Each frame's file is written
// completely under its temporary name on the thread that rendered it (ImageIO::prepare), and is
// renamed over its own name only once every earlier frame's has been: a run that fails at a
// frame never replaces a file of a later frame, even when other threads rendered those first.
// Files held back when the writer goes are deleted. Any thread may hand in frames.
class SequenceWriter {
public:
    // `nameOf(frame)` is the file name of frame `frame` (from 0), for the summary.
    explicit SequenceWriter(std::function<std::string(int32_t frame)> nameOf);

    // Takes the frame's written file; renames it and any held frames that follow it in order.
    // A failed rename is thrown, and no later frame is renamed after it.
    void deliver(int32_t frame, ImageIO::PendingWrite file);

    // Frames under their names: 0 to committed() - 1.
    int32_t committed() const;

    // What a failed run has left: "no frame was written", "out_0001.png was written, no frame
    // after it", "out_0001.png to out_0004.png were written, no frame after them".
    std::string summary() const;

private:
    std::function<std::string(int32_t)> nameOf;
    mutable SlimSharedMutex mutex;
    int32_t next = 0;
    bool stopped = false;  // a rename failed: nothing more goes under its name
    std::map<int32_t, ImageIO::PendingWrite> held;
};

}  // namespace Tessarine::Lamino
