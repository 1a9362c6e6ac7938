// The table of finished search nodes: one per program, leased by one search at a time, which
// may share it among the threads that work for it. A search may be given a table of its own
// instead, as each of several games played at once is.
//
// An entry is believed only when the whole position (both players' cells), the mover, the
// searching side and the remaining depth compare equal, so a hit gives exactly what searching
// the node again would: its score, and the number of Evaluate calls its subtree makes, which
// keeps every progress and node count as if nothing had been remembered.
//
// The table has two regions. The nodes just above the leaves (remaining depth 2) are many and
// cheap, and they recur within a few dozen nodes when two move pairs are played in the other
// order: they go to a small region per thread that stays in that processor's cache, one entry
// a slot, the newest kept. The deeper nodes go to the large shared region, two entries a
// bucket, kept by age and by the cost of their subtrees.
//
// The shared region takes no lock. An entry's words are atomics, and its first word carries a
// version in the key's spare bits: a writer makes it odd while it writes and even again after,
// and a reader believes what it read only if the version was even and unchanged across its
// reads, so a half-written entry is never taken for a whole one.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdint>

#include "engine/bitboard.h"

#ifndef MELVARON_NODE_TABLE_MB
#define MELVARON_NODE_TABLE_MB 256
#endif

namespace node_table {

// The sizes, chosen by measuring depth-10 searches: each near region as large as stays cached,
// the far one where a larger one stops paying. The whole is a build setting (a power of two of
// at least 16 MB); results never depend on it, only speed.
constexpr uint64_t TableBytes = uint64_t{MELVARON_NODE_TABLE_MB} << 20;
static_assert(TableBytes >= (uint64_t{16} << 20) && std::has_single_bit(TableBytes),
              "the node table is a power of two of at least 16 MB");
constexpr int MaxThreads = 8; // the threads that may work for one search, each with a near region
constexpr uint64_t NearBytes = uint64_t{512} << 10;
constexpr uint64_t FarBytes = TableBytes - MaxThreads * NearBytes;
constexpr int NearDepth = 2; // the remaining depth of the near region's nodes
// The depth that uses the whole table, and the least a search uses.
constexpr int WindowDepth = 10;
constexpr uint64_t MinWindowBytes = uint64_t{256} << 10;

// What identifies a node: both players' row lanes, and in the spare bits of the third word the
// depth, the mover and the searching side. Eight more spare bits of it hold the entry's age.
struct Key {
    uint64_t k0, k1, k2;
};

constexpr int MaxDepth = 15; // the depth field's four bits

inline Key KeyOf(const bitboard::Position& pos, int mover, int own, int depth) {
    return {pos.p[0].w[0], pos.p[1].w[0],
            (pos.p[0].w[1] & 0xFFFFFFFFull) | (pos.p[1].w[1] << 32) |
                (static_cast<uint64_t>(depth) << 12) | (static_cast<uint64_t>(mover - 1) << 28) |
                (static_cast<uint64_t>(own - 1) << 29)};
}

inline uint64_t HashOf(const Key& k) {
    uint64_t h = k.k0 * 0x9E3779B97F4A7C15ull;
    h ^= std::rotl(k.k1 * 0xC2B2AE3D27D4EB4Full, 29);
    h ^= std::rotl(k.k2 * 0x165667B19E3779F9ull, 47);
    h ^= h >> 32;
    return h * 0xD6E8FEB86659FD93ull;
}

// The value word: score in the low bits, subtree calls above; 0 for an empty entry.
constexpr int ScoreBits = 22;
constexpr uint64_t ScoreMask = (uint64_t{1} << ScoreBits) - 1;
constexpr uint64_t MaxCalls = ~uint64_t{0} >> ScoreBits; // larger subtrees are not kept
static_assert(MaxValuation <= ScoreMask, "a valuation fits its field");

// A near region's entry: one thread's alone, so plain words.
struct NearEntry {
    uint64_t k0, k1, k2, value;
};

// A far entry: the key's words (the age in the third's spare bits, the version in the first's)
// and the value word.
struct Entry {
    std::atomic<uint64_t> k0, k1, k2, value;
};
static_assert(sizeof(Entry) == 32 && std::atomic<uint64_t>::is_always_lock_free);

// The age's eight bits: the unused top four bits of each player's row-5 and row-6 lanes.
constexpr uint64_t AgeMask = (uint64_t{0xF} << 44) | (uint64_t{0xF} << 60);
constexpr uint64_t AgeBits(unsigned age) {
    return (static_cast<uint64_t>(age & 0xF) << 44) | (static_cast<uint64_t>(age >> 4 & 0xF) << 60);
}
constexpr unsigned AgeOf(uint64_t k2) {
    return static_cast<unsigned>((k2 >> 44 & 0xF) | (k2 >> 60 & 0xF) << 4);
}

// The version's sixteen bits: the unused top four bits of the first player's row 1-4 lanes.
constexpr uint64_t VersionMask = 0xF000F000F000F000ull;
constexpr uint64_t VersionBits(unsigned v) {
    return static_cast<uint64_t>(v & 0xF) << 12 | static_cast<uint64_t>(v >> 4 & 0xF) << 28 |
           static_cast<uint64_t>(v >> 8 & 0xF) << 44 | static_cast<uint64_t>(v >> 12 & 0xF) << 60;
}
constexpr unsigned VersionOf(uint64_t k0) {
    return static_cast<unsigned>((k0 >> 12 & 0xF) | (k0 >> 28 & 0xF) << 4 | (k0 >> 44 & 0xF) << 8 |
                                 (k0 >> 60 & 0xF) << 12);
}
static_assert(VersionOf(VersionBits(0xABCD)) == 0xABCD && (VersionBits(0xFFFF) == VersionMask));

// Two entries share a cache line: one fetch answers a probe.
constexpr int Ways = 2;
struct alignas(64) Bucket {
    Entry e[Ways];
};
static_assert(sizeof(Bucket) == 64);

class Table {
  public:
    // A table of the build's size. Its memory is reserved here, becomes resident only where
    // searches touch it and is given back with the table; without memory for it, searches go
    // without it.
    Table();
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    // The program's table, its storage obtained on first use.
    static Table& Program();
    // The program's table for the caller alone, or null while another search has it. A search
    // of the given root depth uses as much of it as searches that deep need.
    static Table* Lease(int depth) { return Program().TryLease(depth); }
    // The same for this table.
    Table* TryLease(int depth);
    // Gives the lease back; what the search stored stays for the next one.
    void Release();
    // A search holds the table now.
    bool Leased() const { return FLeased.load(std::memory_order_acquire); }
    // The table got its memory; one without is never leased.
    bool Usable() const { return FFar != nullptr; }
    // Empties the program's table unless a search holds it (false then), so that a measurement
    // can time a search that finds nothing remembered. Results never depend on it.
    static bool Forget() { return Program().Clear(); }
    // The same for this table.
    bool Clear();
    // Searches from now on use at most `bytes` of the far region (all of it by default), as a
    // build with a smaller table would; for showing that results do not depend on the size.
    static void Limit(uint64_t bytes);
    // Entries stored from now on are younger than all before; old ones are replaced first.
    void NewAge() { FAge = (FAge + 1) & 0xFF; }

    void Prefetch(uint64_t hash) const { __builtin_prefetch(&BucketOf(hash)); }

    // The near region of the search's thread number `thread` (0 .. MaxThreads - 1).
    NearEntry* Near(int thread) const { return FNear + thread * NearEntries; }
    // A node of depth NearDepth, if its slot in a near region holds it, and keeping one there.
    static bool ProbeNear(const NearEntry* near, const Key& key, uint64_t hash, int32_t& score,
                          uint64_t& calls) {
        const NearEntry& e = near[NearSlot(hash)];
        if (e.k0 != key.k0 || e.k1 != key.k1 || e.k2 != key.k2) return false;
        score = static_cast<int32_t>(e.value & ScoreMask);
        calls = e.value >> ScoreBits;
        return true;
    }
    static void StoreNear(NearEntry* near, const Key& key, uint64_t hash, int32_t score,
                          uint64_t calls) {
        if (calls > MaxCalls || score < 0) return;
        near[NearSlot(hash)] = {key.k0, key.k1, key.k2,
                                static_cast<uint64_t>(score) | (calls << ScoreBits)};
    }

    // The far region: the score and subtree calls of a finished node, if the table has it.
    bool Probe(const Key& key, uint64_t hash, int32_t& score, uint64_t& calls) const {
        for (Entry& e : BucketOf(hash).e) {
            const uint64_t k0 = e.k0.load(std::memory_order_acquire);
            if ((k0 & ~VersionMask) != key.k0 || (VersionOf(k0) & 1)) continue;
            // Each word is read with acquire and written with release: had any of them come
            // from a write begun since k0 was read, the k0 read again below comes later than
            // that write's claim, and so shows its odd or newer version.
            const uint64_t k1 = e.k1.load(std::memory_order_acquire);
            uint64_t k2 = e.k2.load(std::memory_order_acquire);
            const uint64_t value = e.value.load(std::memory_order_acquire);
            if (e.k0.load(std::memory_order_relaxed) != k0) continue;
            if (k1 != key.k1 || (k2 & ~AgeMask) != key.k2) continue;
            score = static_cast<int32_t>(value & ScoreMask);
            calls = value >> ScoreBits;
            // In use again: as young as the current search. Only the age bits change, and only
            // if no writer has replaced the entry since.
            const uint64_t young = key.k2 | AgeBits(FAge);
            if (k2 != young) e.k2.compare_exchange_strong(k2, young, std::memory_order_relaxed);
            return true;
        }
        return false;
    }

    void Store(const Key& key, uint64_t hash, int32_t score, uint64_t calls) {
        if (calls > MaxCalls || score < 0) return;
        // The victim: an empty entry, else the older, else the one whose subtree was cheaper.
        Bucket& b = BucketOf(hash);
        Entry* victim = &b.e[0];
        for (Entry& e : b.e) {
            if (e.value.load(std::memory_order_relaxed) == 0) {
                victim = &e;
                break;
            }
            if (Worth(e) < Worth(*victim)) victim = &e;
        }
        // Claim the entry by making its version odd; if another thread is writing it, or claims
        // it first, this node is simply not kept.
        uint64_t k0 = victim->k0.load(std::memory_order_relaxed);
        const unsigned version = VersionOf(k0);
        if (version & 1) return;
        if (!victim->k0.compare_exchange_strong(k0, (k0 & ~VersionMask) | VersionBits(version + 1),
                                                std::memory_order_relaxed))
            return;
        victim->k1.store(key.k1, std::memory_order_release);
        victim->k2.store(key.k2 | AgeBits(FAge), std::memory_order_release);
        victim->value.store(static_cast<uint64_t>(score) | (calls << ScoreBits),
                            std::memory_order_release);
        victim->k0.store(key.k0 | VersionBits(version + 2), std::memory_order_release);
    }

  private:
    static constexpr uint64_t NearEntries = NearBytes / sizeof(NearEntry);
    static_assert(std::has_single_bit(NearEntries), "a power of two, indexed by hash bits");
    static_assert(NearEntries <= (uint64_t{1} << 24), "the index fits the hash bits it uses");
    static uint64_t NearSlot(uint64_t hash) { return hash >> 40 & (NearEntries - 1); }

    // The far index scales the hash's high half onto the window, whatever its size.
    Bucket& BucketOf(uint64_t hash) const { return FFar[(hash >> 32) * FWindow >> 32]; }
    // What keeping an entry is worth: the young before the old, then the costly subtrees.
    uint64_t Worth(const Entry& e) const {
        const uint64_t age = (FAge - AgeOf(e.k2.load(std::memory_order_relaxed))) & 0xFF;
        return ((0xFF - age) << 56) |
               std::min(e.value.load(std::memory_order_relaxed) >> ScoreBits, uint64_t{1} << 55);
    }

    NearEntry* FNear = nullptr;
    Bucket* FFar = nullptr;
    uint64_t FWindow = 0; // how many of the far buckets, from the first, the current search uses
    unsigned FAge = 0;
    void* FStorage = nullptr;         // the allocation FNear and FFar lie in
    std::atomic<bool> FLeased{false}; // a search holds the table
    uint64_t FUsed = 0; // the far buckets any search has used since the table was last emptied
};

} // namespace node_table
