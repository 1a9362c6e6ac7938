#!/usr/bin/env bash
# How long a tournament would take on more cores, from the games' times in a results file of a
# whole run (`tournament ... --results FILE`, best measured with --jobs 1 on a quiet machine).
# For each count P of cores it prints:
#   --jobs P     the games in the schedule's order, each to the first core that is free
#   P shards     `--shard K/P`, each shard on a core of its own, as the shard rule deals them
# It assumes a game takes as long on a busy machine as it did in FILE.
# Usage: scripts/project-tournament.sh FILE [CORES...]   (CORES default to 2 8 64)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: scripts/project-tournament.sh FILE [CORES...]" >&2; exit 2; }
file="$1"
shift
[ -r "$file" ] || { echo "error: cannot read $file" >&2; exit 2; }
cores=("${@:-2 8 64}")
for p in ${cores[*]}; do
    [[ "$p" =~ ^[1-9][0-9]{0,3}$ ]] || { echo "error: '${p:0:20}' is not a count of cores from 1 to 9999" >&2; exit 2; }
done
awk -v cores="${cores[*]}" '
    function field(name,   m) {
        if (!match($0, "\"" name "\":[-0-9.e+]+")) return ""
        m = substr($0, RSTART, RLENGTH); sub(/^[^:]*:/, "", m); return m
    }
    NR == 1 {
        if ($0 !~ /"format":"melvaron-tournament-results"/) { print "error: " FILENAME " is not a tournament results file" > "/dev/stderr"; bad = 1; exit 2 }
        if (field("shards") != 1) { print "error: " FILENAME " is one shard; merge needs them all, this needs a whole run" > "/dev/stderr"; bad = 1; exit 2 }
        levels = $0; sub(/.*"levels":"/, "", levels); sub(/".*/, "", levels)
        players = split(levels, unused, ",")
        round = players * (players - 1)
    }
    /^\{"game"/ { g = field("game") + 0; t[g] = field("seconds") + 0; if (g + 1 > n) n = g + 1 }
    /^\{"end"/ { ended = 1 }
    END {
        if (bad) exit 2
        if (!ended) { print "error: " FILENAME " has no last line: the run did not finish" > "/dev/stderr"; exit 2 }
        for (g = 0; g < n; ++g) { all += t[g]; if (t[g] > longest) longest = t[g] }
        printf "%d games, %.0f s in all, the longest %.1f s\n", n, all, longest
        count = split(cores, list, " ")
        for (c = 1; c <= count; ++c) {
            P = list[c]
            delete free; delete shard
            for (w = 0; w < P; ++w) { free[w] = 0; shard[w] = 0 }
            for (g = 0; g < n; ++g) {
                m = 0
                for (w = 1; w < P; ++w) if (free[w] < free[m]) m = w
                free[m] += t[g]
                shard[(int(g / round) + g % round) % P] += t[g]
            }
            jobs = 0; shards = 0
            for (w = 0; w < P; ++w) { if (free[w] > jobs) jobs = free[w]; if (shard[w] > shards) shards = shard[w] }
            printf "%5d cores: --jobs %d %.0f s (%.1f min), %d shards %.0f s (%.1f min)\n", P, P, jobs, jobs / 60, P, shards, shards / 60
        }
    }' "$file"
