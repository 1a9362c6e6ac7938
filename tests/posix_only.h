// Cases that test what only POSIX systems have (a shell's Ctrl-C, fontconfig, the XDG folders,
// GNU parallel). Built for Windows they are skipped with this mark, and scripts/test-windows.sh
// takes a skip as one only with it: any other skip there is a failure, so that a set-up that
// could not run never passes as a skip.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#define MELVARON_POSIX_ONLY(why) GTEST_SKIP() << "POSIX-only: " << why
#else
#define MELVARON_POSIX_ONLY(why) static_cast<void>(0)
#endif
