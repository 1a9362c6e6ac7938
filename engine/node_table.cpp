// The node table's storage and lease.
#include "engine/node_table.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace node_table {

namespace {

constexpr uint64_t BucketCount = FarBytes / sizeof(Bucket);
static_assert(BucketCount <= (uint64_t{1} << 32), "the far index fits the hash bits it uses");

// Reserved as memory of its own rather than kept as program storage, which some systems charge
// to every process whether it searches or not. Zero-filled by the allocator, so pages become
// memory only when a search first touches them; aligned for huge pages, which spare the random
// probes most of their address translations.
constexpr uint64_t PageAlign = uint64_t{2} << 20;
std::atomic<uint64_t> gLimit{FarBytes};

// A search keeps about four times as many nodes for each further level; a shallow one uses only
// the front of the table, so that it touches little memory.
uint64_t WindowFor(int depth) {
    const int shift = std::max(2 * (WindowDepth - std::clamp(depth, 1, WindowDepth)) - 1, 0);
    const uint64_t limit =
        std::clamp(gLimit.load(std::memory_order_relaxed), MinWindowBytes, FarBytes);
    const uint64_t bytes =
        std::max(std::min(FarBytes >> std::min(shift, 62), limit), MinWindowBytes);
    return bytes / sizeof(Bucket);
}

} // namespace

Table::Table() : FStorage(std::calloc(TableBytes + PageAlign, 1)) {
    if (!FStorage) return; // no memory for it: searches go without
    auto* base = reinterpret_cast<unsigned char*>(
        (reinterpret_cast<uintptr_t>(FStorage) + PageAlign - 1) & ~(PageAlign - 1));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(base, TableBytes, MADV_HUGEPAGE);
#endif
    FFar = reinterpret_cast<Bucket*>(base);
    FNear = reinterpret_cast<NearEntry*>(base + FarBytes);
}

Table::~Table() {
    std::free(FStorage);
}

Table& Table::Program() {
    // Set up by the first caller, whichever thread it is; later callers wait for it. Never
    // destroyed: a search may still run on another thread while the program exits.
    static Table* const table = new Table;
    return *table;
}

Table* Table::TryLease(int depth) {
    if (!FFar) return nullptr;
    // Acquire pairs with the last holder's release, so its entries are seen whole.
    if (FLeased.exchange(true, std::memory_order_acquire)) return nullptr;
    FWindow = WindowFor(depth);
    FUsed = std::max(FUsed, FWindow);
    return this;
}

void Table::Limit(uint64_t bytes) {
    gLimit.store(bytes, std::memory_order_relaxed);
}

void Table::Release() {
    FLeased.store(false, std::memory_order_release);
}

bool Table::Clear() {
    if (FLeased.exchange(true, std::memory_order_acquire)) return false;
    // Only what searches used: emptying is cheap after shallow ones.
    if (FFar) {
        std::memset(static_cast<void*>(FNear), 0, MaxThreads * NearBytes);
        std::memset(static_cast<void*>(FFar), 0, FUsed * sizeof(Bucket));
    }
    FUsed = 0;
    FLeased.store(false, std::memory_order_release);
    return true;
}

} // namespace node_table
