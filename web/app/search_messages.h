// The messages between a page without shared memory and its search worker, written once for both
// ends: the page's script builds and reads them from these shapes (web/site/search-worker.js, by
// the facts the web build fills in), and the program passes each one's fields in this order.
#pragma once

#include <array>

struct TSearchMessage {
    const char* kind;
    std::array<const char*, 5> fields; // in order; the unused ones null
};

inline constexpr TSearchMessage SearchMessages[] = {
    // The page to its worker: search this (PageSearchStart's arguments, melvaron_search's).
    {"start", {"id", "side", "depth", "board", "random"}},
    // The worker to the page: its engine is loaded and takes searches.
    {"ready", {}},
    // A running search's count so far (melvaron_search_progress's arguments).
    {"progress", {"id", "progress"}},
    // A search's answer (melvaron_search_result's arguments).
    {"result", {"id", "result"}},
    // A line the worker's engine printed, or why it stopped.
    {"error", {"text"}},
};
