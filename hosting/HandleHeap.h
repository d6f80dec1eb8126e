#pragma once

#include "AE_Effect.h"
#include "hosting/SlimSharedMutex.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Tessarine::Lamino {

// The host's memory handles (PF_Handle) that an effect allocates through the handle callbacks or
// the handle suite. A handle is the address of a host-owned pointer to the data, so that
// dereferencing it once gives the data, which may move when it is resized. The heap knows every
// handle it gave out, so an unknown or already disposed handle is refused instead of freed. New
// memory is filled with kFreshByte rather than zeros, as a host's is not cleared. Owns all the
// memory until each handle is disposed or the heap goes. Thread-safe.
class HandleHeap {
public:
    static constexpr uint8_t kFreshByte = 0xCD;

    HandleHeap() = default;
    HandleHeap(const HandleHeap&) = delete;
    HandleHeap& operator=(const HandleHeap&) = delete;
    ~HandleHeap();

    PF_Handle allocate(uint64_t size);   // null when the memory cannot be had
    void* lock(PF_Handle handle);        // the data, or null for a handle not given out here
    bool unlock(PF_Handle handle);       // false for an unknown handle or one not locked
    bool dispose(PF_Handle handle);      // false for an unknown handle
    std::optional<uint64_t> size(PF_Handle handle) const;
    PF_Err resize(uint64_t newSize, PF_Handle* handle);

    int32_t liveHandles() const;
    // One line per handle not disposed: its size and how often it is still locked.
    std::vector<std::string> outstanding() const;

private:
    struct Block {
        void* data = nullptr;  // first member: the handle points here
        uint64_t size = 0;
        int32_t locks = 0;
    };

    static void* allocateData(uint64_t size);

    mutable SlimSharedMutex mutex;
    std::map<PF_Handle, std::unique_ptr<Block>> blocks;
};

}  // namespace Tessarine::Lamino
