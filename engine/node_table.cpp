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

// Obtained on the first search rather than kept as program storage, which some systems charge
// to every process whether it searches or not. Zero-filled by the allocator, so pages become
// memory only when a search first touches them; aligned for huge pages, which spare the random
// probes most of their address translations.
constexpr uint64_t PageAlign = uint64_t{2} << 20;
struct Storage {
    Bucket* far = nullptr;
    NearEntry* near = nullptr;
};
Storage gStorage;
std::atomic<bool> gLeased{false};
std::atomic<uint64_t> gLimit{FarBytes};
uint64_t gUsed = 0; // the far buckets any search has used since the table was last emptied

Storage Allocate() {
    // Never freed: the table lives as long as the program.
    void* raw = std::calloc(TableBytes + PageAlign, 1);
    if (!raw) return {};
    auto* base = reinterpret_cast<unsigned char*>(
        (reinterpret_cast<uintptr_t>(raw) + PageAlign - 1) & ~(PageAlign - 1));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(base, TableBytes, MADV_HUGEPAGE);
#endif
    return {reinterpret_cast<Bucket*>(base), reinterpret_cast<NearEntry*>(base + FarBytes)};
}

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

Table& Table::Instance() {
    // Set up by the first caller, whichever thread it is; later callers wait for it.
    static Table table = [] {
        gStorage = Allocate();
        Table t;
        t.FNear = gStorage.near;
        t.FFar = gStorage.far;
        return t;
    }();
    return table;
}

Table* Table::Lease(int depth) {
    Table& table = Instance();
    if (!table.FFar) return nullptr; // no memory for it: searches go without
    // Acquire pairs with the last holder's release, so its entries are seen whole.
    if (gLeased.exchange(true, std::memory_order_acquire)) return nullptr;
    table.FWindow = WindowFor(depth);
    gUsed = std::max(gUsed, table.FWindow);
    return &table;
}

void Table::Limit(uint64_t bytes) {
    gLimit.store(bytes, std::memory_order_relaxed);
}

void Table::Release() {
    gLeased.store(false, std::memory_order_release);
}

bool Table::Forget() {
    Table& table = Instance();
    if (gLeased.exchange(true, std::memory_order_acquire)) return false;
    // Only what searches used: emptying is cheap after shallow ones.
    if (table.FFar) {
        std::memset(static_cast<void*>(table.FNear), 0, MaxThreads * NearBytes);
        std::memset(static_cast<void*>(table.FFar), 0, gUsed * sizeof(Bucket));
    }
    gUsed = 0;
    gLeased.store(false, std::memory_order_release);
    return true;
}

} // namespace node_table
