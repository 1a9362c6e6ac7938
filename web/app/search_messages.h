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
    // The page to a new worker: its engine's script (a URL the page made) and wasm (the bytes),
    // as the page fetched them at its start.
    {"load", {"engine", "wasm"}},
    // The page to its worker: search this (PageSearchStart's arguments, melvaron_search's).
    {"start", {"id", "side", "depth", "board", "random"}},
    // The worker to the page: its engine is loaded and takes searches.
    {"ready", {}},
    // A running search's count so far (melvaron_search_progress's arguments).
    {"progress", {"id", "progress"}},
    // A search's answer (melvaron_search_result's arguments).
    {"result", {"id", "result"}},
    // A line the worker's engine printed.
    {"print", {"text"}},
    // Why the worker's engine stopped or could not start: it searches no more.
    {"failed", {"text"}},
};
