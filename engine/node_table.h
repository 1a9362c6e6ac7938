// The table of finished search nodes: one per program, leased by one search at a time.
//
// An entry is believed only when the whole position (both players' cells), the mover, the
// searching side and the remaining depth compare equal, so a hit gives exactly what searching
// the node again would: its score, and the number of Evaluate calls its subtree makes, which
// keeps every progress and node count as if nothing had been remembered.
//
// The table has two regions. The nodes just above the leaves (remaining depth 2) are many and
// cheap, and they recur within a few dozen nodes when two move pairs are played in the other
// order: they go to a small region that stays in the processor's cache, one entry a slot, the
// newest kept. The deeper nodes go to the large region, two entries a bucket, kept by age and
// by the cost of their subtrees.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>

#include "engine/bitboard.h"

namespace node_table {

// The sizes, chosen by measuring depth-10 searches: the near region as large as stays cached,
// the far one where a larger one stops paying.
constexpr uint64_t TableBytes = uint64_t{256} << 20;
constexpr uint64_t NearBytes = uint64_t{512} << 10;
constexpr uint64_t FarBytes = TableBytes - NearBytes;
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

struct Entry {
    uint64_t k0, k1, k2; // the key, with the age in its spare bits
    uint64_t value;      // score in the low bits, subtree calls above; 0 for an empty entry
};

constexpr int ScoreBits = 22; // valuations stay below 10000 x 336 < 2^22
constexpr uint64_t ScoreMask = (uint64_t{1} << ScoreBits) - 1;
constexpr uint64_t MaxCalls = ~uint64_t{0} >> ScoreBits; // larger subtrees are not kept
static_assert(10000 * 336 <= ScoreMask, "a valuation fits its field");

// The age's eight bits: the unused top four bits of each player's row-5 and row-6 lanes.
constexpr uint64_t AgeMask = (uint64_t{0xF} << 44) | (uint64_t{0xF} << 60);
constexpr uint64_t AgeBits(unsigned age) {
    return (static_cast<uint64_t>(age & 0xF) << 44) | (static_cast<uint64_t>(age >> 4 & 0xF) << 60);
}
constexpr unsigned AgeOf(uint64_t k2) {
    return static_cast<unsigned>((k2 >> 44 & 0xF) | (k2 >> 60 & 0xF) << 4);
}

// Two entries share a cache line: one fetch answers a probe.
constexpr int Ways = 2;
struct alignas(64) Bucket {
    Entry e[Ways];
};
static_assert(sizeof(Bucket) == 64);

class Table {
  public:
    // The program's table for the caller alone, or null while another search has it. A search
    // of the given root depth uses as much of it as searches that deep need.
    static Table* Lease(int depth);
    // Gives the lease back; what the search stored stays for the next one.
    void Release();
    // Empties the table unless a search holds it (false then), so that a measurement can time a
    // search that finds nothing remembered. Results never depend on it.
    static bool Forget();
    // Entries stored from now on are younger than all before; old ones are replaced first.
    void NewAge() { FAge = (FAge + 1) & 0xFF; }

    void Prefetch(uint64_t hash) const { __builtin_prefetch(&BucketOf(hash)); }

    // The near region: a node of depth NearDepth, if its slot holds it, and keeping one there.
    bool ProbeNear(const Key& key, uint64_t hash, int32_t& score, uint64_t& calls) const {
        const Entry& e = NearOf(hash);
        if (e.k0 != key.k0 || e.k1 != key.k1 || e.k2 != key.k2) return false;
        score = static_cast<int32_t>(e.value & ScoreMask);
        calls = e.value >> ScoreBits;
        return true;
    }
    void StoreNear(const Key& key, uint64_t hash, int32_t score, uint64_t calls) {
        if (calls > MaxCalls || score < 0) return;
        NearOf(hash) = {key.k0, key.k1, key.k2,
                        static_cast<uint64_t>(score) | (calls << ScoreBits)};
    }

    // The far region: the score and subtree calls of a finished node, if the table has it.
    bool Probe(const Key& key, uint64_t hash, int32_t& score, uint64_t& calls) {
        for (Entry& e : BucketOf(hash).e) {
            if (e.k0 != key.k0 || e.k1 != key.k1 || (e.k2 & ~AgeMask) != key.k2) continue;
            score = static_cast<int32_t>(e.value & ScoreMask);
            calls = e.value >> ScoreBits;
            e.k2 = key.k2 | AgeBits(FAge); // in use again: as young as the current search
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
            if (e.value == 0) {
                victim = &e;
                break;
            }
            if (Worth(e) < Worth(*victim)) victim = &e;
        }
        *victim = {key.k0, key.k1, key.k2 | AgeBits(FAge),
                   static_cast<uint64_t>(score) | (calls << ScoreBits)};
    }

  private:
    static Table& Instance(); // the one table, its regions set on first use
    // The far index scales the hash's high half onto the window, whatever its size.
    Bucket& BucketOf(uint64_t hash) const { return FFar[(hash >> 32) * FWindow >> 32]; }
    Entry& NearOf(uint64_t hash) const {
        return FNear[hash >> 40 & (NearBytes / sizeof(Entry) - 1)];
    }
    // What keeping an entry is worth: the young before the old, then the costly subtrees.
    uint64_t Worth(const Entry& e) const {
        const uint64_t age = (FAge - AgeOf(e.k2)) & 0xFF;
        return ((0xFF - age) << 56) | std::min(e.value >> ScoreBits, uint64_t{1} << 55);
    }

    Entry* FNear = nullptr;
    Bucket* FFar = nullptr;
    uint64_t FWindow = 0; // how many of the far buckets, from the first, the current search uses
    unsigned FAge = 0;
};

} // namespace node_table
