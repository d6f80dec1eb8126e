#include "hosting/HandleHeap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Tessarine::Lamino {

namespace {

// Far beyond any frame the effect can ask for; refusing it keeps a garbage size from reaching
// the allocator.
constexpr uint64_t kLargestHandle = uint64_t(1) << 36;

}  // namespace

HandleHeap::~HandleHeap()
{
    for (auto& entry : blocks) {
        std::free(entry.second->data);
    }
}

void* HandleHeap::allocateData(uint64_t size)
{
    if (size > kLargestHandle) {
        return nullptr;
    }
    void* data = std::malloc(size == 0 ? 1 : size_t(size));
    if (data != nullptr) {
        std::memset(data, kFreshByte, size_t(size));
    }
    return data;
}

PF_Handle HandleHeap::allocate(uint64_t size)
{
    void* data = allocateData(size);
    if (data == nullptr) {
        return nullptr;
    }
    auto block = std::make_unique<Block>();
    block->data = data;
    block->size = size;
    PF_Handle handle = &block->data;
    std::lock_guard<SlimSharedMutex> lock(mutex);
    blocks.emplace(handle, std::move(block));
    return handle;
}

void* HandleHeap::lock(PF_Handle handle)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    auto found = blocks.find(handle);
    if (found == blocks.end()) {
        return nullptr;
    }
    ++found->second->locks;
    return found->second->data;
}

bool HandleHeap::unlock(PF_Handle handle)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    auto found = blocks.find(handle);
    if (found == blocks.end() || found->second->locks == 0) {
        return false;
    }
    --found->second->locks;
    return true;
}

bool HandleHeap::dispose(PF_Handle handle)
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    auto found = blocks.find(handle);
    if (found == blocks.end()) {
        return false;
    }
    std::free(found->second->data);
    blocks.erase(found);
    return true;
}

std::optional<uint64_t> HandleHeap::size(PF_Handle handle) const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    auto found = blocks.find(handle);
    if (found == blocks.end()) {
        return std::nullopt;
    }
    return found->second->size;
}

PF_Err HandleHeap::resize(uint64_t newSize, PF_Handle* handle)
{
    if (handle == nullptr) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    std::lock_guard<SlimSharedMutex> lock(mutex);
    auto found = blocks.find(*handle);
    if (found == blocks.end()) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Block& block = *found->second;
    void* data = allocateData(newSize);
    if (data == nullptr) {
        return PF_Err_OUT_OF_MEMORY;
    }
    // Always a new address, so that an effect that keeps the old data pointer is caught.
    std::memcpy(data, block.data, size_t(std::min(block.size, newSize)));
    std::free(block.data);
    block.data = data;
    block.size = newSize;
    return PF_Err_NONE;
}

int32_t HandleHeap::liveHandles() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    return int32_t(blocks.size());
}

std::vector<std::string> HandleHeap::outstanding() const
{
    std::lock_guard<SlimSharedMutex> lock(mutex);
    std::vector<std::string> lines;
    for (const auto& entry : blocks) {
        lines.push_back("handle of " + std::to_string(entry.second->size) +
                        " bytes not disposed (locked " + std::to_string(entry.second->locks) +
                        " time(s))");
    }
    return lines;
}

}  // namespace Tessarine::Lamino
