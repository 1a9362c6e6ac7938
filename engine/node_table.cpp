// The node table's storage and lease.
#include "engine/node_table.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace node_table {

namespace {

constexpr uint64_t NearEntries = NearBytes / sizeof(Entry);
constexpr uint64_t BucketCount = FarBytes / sizeof(Bucket);
static_assert((NearEntries & (NearEntries - 1)) == 0, "a power of two, indexed by hash bits");
static_assert(NearEntries <= (uint64_t{1} << 24) && BucketCount <= (uint64_t{1} << 32),
              "the regions' indexes fit the hash bits they come from");

// Zero-filled program storage: pages become memory only when a search first touches them.
// Aligned for huge pages, which spare the random probes most of their address translations.
struct alignas(2 << 20) Storage {
    Bucket far[BucketCount];
    Entry near[NearEntries];
};
static_assert(sizeof(Storage) == TableBytes, "the regions fill the table");
Storage gStorage;
std::atomic<bool> gLeased{false};
uint64_t gUsed = 0; // the far buckets any search has used since the table was last emptied

// A search keeps about four times as many nodes for each further level; a shallow one uses only
// the front of the table, so that it touches little memory.
uint64_t WindowFor(int depth) {
    const int shift = std::max(2 * (WindowDepth - std::clamp(depth, 1, WindowDepth)) - 1, 0);
    const uint64_t bytes = std::max(FarBytes >> std::min(shift, 62), MinWindowBytes);
    return bytes / sizeof(Bucket);
}

} // namespace

Table& Table::Instance() {
    static Table table = [] {
        Table t;
        t.FNear = gStorage.near;
        t.FFar = gStorage.far;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        madvise(&gStorage, sizeof gStorage, MADV_HUGEPAGE);
#endif
        return t;
    }();
    return table;
}

Table* Table::Lease(int depth) {
    Table& table = Instance();
    // Acquire pairs with the last holder's release, so its entries are seen whole.
    if (gLeased.exchange(true, std::memory_order_acquire)) return nullptr;
    table.FWindow = WindowFor(depth);
    gUsed = std::max(gUsed, table.FWindow);
    return &table;
}

void Table::Release() {
    gLeased.store(false, std::memory_order_release);
}

bool Table::Forget() {
    if (gLeased.exchange(true, std::memory_order_acquire)) return false;
    // Only what searches used: emptying is cheap after shallow ones.
    std::memset(static_cast<void*>(gStorage.near), 0, sizeof gStorage.near);
    std::memset(static_cast<void*>(gStorage.far), 0, gUsed * sizeof(Bucket));
    gUsed = 0;
    gLeased.store(false, std::memory_order_release);
    return true;
}

} // namespace node_table
