// The table of finished search nodes: one per program, leased by one search at a time.
//
// An entry is believed only when the whole position (both players' cells), the mover, the
// searching side and the remaining depth compare equal, so a hit gives exactly what searching
// the node again would: its score, and the number of Evaluate calls its subtree makes, which
// keeps every progress and node count as if nothing had been remembered.
#pragma once

#include <cstdint>

#include "engine/bitboard.h"

namespace node_table {

// The size, chosen by measuring depth-10 searches: beyond it the gain is small.
constexpr uint64_t TableBytes = uint64_t{256} << 20;
// The depth that uses the whole table, and the least a search uses.
constexpr int WindowDepth = 10;
constexpr uint64_t MinWindowBytes = uint64_t{256} << 10;

// What identifies a node: both players' row lanes, and in the spare bits of the third word the
// depth, the mover and the searching side. Eight more spare bits of it hold the entry's age.
struct Key {
    uint64_t k0, k1, k2;
};

constexpr int MaxDepth = 15;                           // the depth field's four bits
constexpr uint64_t MaxCalls = (uint64_t{1} << 42) - 1; // the call count's share of an entry

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

class Table {
  public:
    // The program's table for the caller alone, or null while another search has it. A search
    // of the given root depth uses as much of it as searches that deep need.
    static Table* Lease(int depth);
    // Gives the lease back; what the search stored stays for the next one.
    void Release();
    // Empties the whole table unless a search holds it (false then), so that a measurement can
    // time a search that finds nothing remembered. Results never depend on it.
    static bool Forget();
    // Entries stored from now on are younger than all before; old ones are replaced first.
    void NewAge();

    void Prefetch(uint64_t hash) const;
    // The score and subtree calls of a finished node, if the table has it.
    bool Probe(const Key& key, uint64_t hash, int32_t& score, uint64_t& calls);
    void Store(const Key& key, uint64_t hash, int32_t score, uint64_t calls);
};

} // namespace node_table
