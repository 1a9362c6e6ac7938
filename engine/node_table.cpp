// The node table's storage, lease and replacement rule.
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

struct Entry {
    uint64_t k0, k1, k2; // the key, with the age in its spare bits
    uint64_t value;      // score in the low bits, subtree calls above; 0 for an empty entry
};

constexpr int ScoreBits = 22; // valuations stay below 10000 x 336 < 2^22
constexpr uint64_t ScoreMask = (uint64_t{1} << ScoreBits) - 1;
static_assert(10000 * 336 <= ScoreMask, "a valuation fits its field");
static_assert(MaxCalls == (~uint64_t{0} >> ScoreBits), "calls take the rest of the word");

// The age's eight bits: the unused top four bits of each player's row-6 lane.
constexpr uint64_t AgeMask = (uint64_t{0xF} << 44) | (uint64_t{0xF} << 60);
constexpr uint64_t AgeBits(unsigned age) {
    return (static_cast<uint64_t>(age & 0xF) << 44) | (static_cast<uint64_t>(age >> 4 & 0xF) << 60);
}
constexpr unsigned AgeOf(uint64_t k2) {
    return static_cast<unsigned>((k2 >> 44 & 0xF) | (k2 >> 60 & 0xF) << 4);
}

// Four entries share two cache lines, fetched together.
constexpr int Ways = 2;
struct alignas(64) Bucket {
    Entry e[Ways];
};
static_assert(sizeof(Bucket) == 64);

constexpr uint64_t BucketCount = TableBytes / sizeof(Bucket);
static_assert((BucketCount & (BucketCount - 1)) == 0, "a power of two, indexed by hash bits");

// Zero-filled program storage: pages become memory only when a search first touches them.
// Aligned for huge pages, which spare the random probes most of their address translations.
alignas(2 << 20) Bucket gBuckets[BucketCount];
std::atomic<bool> gLeased{false};
Table gTable;
unsigned gAge = 0;
uint64_t gWindow = BucketCount - 1; // the leading buckets the current search uses, as a mask

Bucket& BucketOf(uint64_t hash) {
    return gBuckets[hash >> 32 & gWindow];
}

// A search keeps about four times as many nodes for each further level; a shallow one uses only
// the front of the table, so that it touches little memory.
uint64_t WindowFor(int depth) {
    const int shift = std::max(2 * (WindowDepth - std::clamp(depth, 1, WindowDepth)) - 1, 0);
    const uint64_t bytes = std::max(TableBytes >> std::min(shift, 62), MinWindowBytes);
    return bytes / sizeof(Bucket) - 1;
}

} // namespace

Table* Table::Lease(int depth) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    static std::once_flag hinted;
    std::call_once(hinted, [] { madvise(gBuckets, sizeof gBuckets, MADV_HUGEPAGE); });
#endif
    // Acquire pairs with the last holder's release, so its entries are seen whole.
    if (gLeased.exchange(true, std::memory_order_acquire)) return nullptr;
    gWindow = WindowFor(depth);
    return &gTable;
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

void Table::NewAge() {
    gAge = (gAge + 1) & 0xFF;
}

void Table::Prefetch(uint64_t hash) const {
    const Bucket& b = BucketOf(hash);
    __builtin_prefetch(&b.e[0]);
}

bool Table::Probe(const Key& key, uint64_t hash, int32_t& score, uint64_t& calls) {
    Bucket& b = BucketOf(hash);
    for (Entry& e : b.e) {
        if (e.k0 != key.k0 || e.k1 != key.k1 || (e.k2 & ~AgeMask) != key.k2) continue;
        score = static_cast<int32_t>(e.value & ScoreMask);
        calls = e.value >> ScoreBits;
        e.k2 = key.k2 | AgeBits(gAge); // in use again: as young as the current search
        return true;
    }
    return false;
}

void Table::Store(const Key& key, uint64_t hash, int32_t score, uint64_t calls) {
    if (calls > MaxCalls || score < 0) return;
    Bucket& b = BucketOf(hash);
    // The victim: an empty entry, else the oldest, else the one whose subtree was cheapest.
    Entry* victim = &b.e[0];
    unsigned victimAge = 0;
    uint64_t victimCalls = ~uint64_t{0};
    for (Entry& e : b.e) {
        if (e.value == 0) {
            victim = &e;
            break;
        }
        const unsigned age = (gAge - AgeOf(e.k2)) & 0xFF;
        const uint64_t c = e.value >> ScoreBits;
        if (age > victimAge || (age == victimAge && c < victimCalls)) {
            victim = &e;
            victimAge = age;
            victimCalls = c;
        }
    }
    *victim = {key.k0, key.k1, key.k2 | AgeBits(gAge),
               static_cast<uint64_t>(score) | (calls << ScoreBits)};
}

} // namespace node_table
