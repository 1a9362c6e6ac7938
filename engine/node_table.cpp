// The node table's storage and lease.
#include "engine/node_table.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace node_table {

namespace {

constexpr uint64_t BucketCount = TableBytes / sizeof(Bucket);
static_assert((BucketCount & (BucketCount - 1)) == 0, "a power of two, indexed by hash bits");

// Zero-filled program storage: pages become memory only when a search first touches them.
// Aligned for huge pages, which spare the random probes most of their address translations.
alignas(2 << 20) Bucket gBuckets[BucketCount];
std::atomic<bool> gLeased{false};

// A search keeps about four times as many nodes for each further level; a shallow one uses only
// the front of the table, so that it touches little memory.
uint64_t WindowFor(int depth) {
    const int shift = std::max(2 * (WindowDepth - std::clamp(depth, 1, WindowDepth)) - 1, 0);
    const uint64_t bytes = std::max(TableBytes >> std::min(shift, 62), MinWindowBytes);
    return bytes / sizeof(Bucket) - 1;
}

} // namespace

Table* Install() {
    static Table table;
    table.FBuckets = gBuckets;
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    madvise(gBuckets, sizeof gBuckets, MADV_HUGEPAGE);
#endif
    return &table;
}

Table* Table::Lease(int depth) {
    static Table* const table = Install();
    // Acquire pairs with the last holder's release, so its entries are seen whole.
    if (gLeased.exchange(true, std::memory_order_acquire)) return nullptr;
    table->FWindow = WindowFor(depth);
    return table;
}

void Table::Release() {
    gLeased.store(false, std::memory_order_release);
}

bool Table::Forget() {
    Table* table = Lease(WindowDepth);
    if (!table) return false;
    std::memset(static_cast<void*>(gBuckets), 0, sizeof gBuckets);
    table->Release();
    return true;
}

} // namespace node_table
