#include "tool/SequenceWriter.h"

namespace Tessarine::Lamino {

SequenceWriter::SequenceWriter(std::function<std::string(int32_t)> nameOf)
    : nameOf(std::move(nameOf))
{
}

void SequenceWriter::deliver(int32_t frame, ImageIO::PendingWrite file)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    if (stopped) {
        return;  // a frame after the failed one: its temporary file goes with `file`
    }
    held.emplace(frame, std::move(file));
    while (!held.empty() && held.begin()->first == next) {
        auto first = held.extract(held.begin());
        try {
            first.mapped().commit();
        } catch (...) {
            stopped = true;
            throw;
        }
        ++next;
    }
}

int32_t SequenceWriter::committed() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return next;
}

std::string SequenceWriter::summary() const
{
    int32_t written = committed();
    if (written == 0) {
        return "no frame was written";
    }
    if (written == 1) {
        return nameOf(0) + " was written, no frame after it";
    }
    return nameOf(0) + " to " + nameOf(written - 1) + " were written, no frame after them";
}

}  // namespace Tessarine::Lamino
