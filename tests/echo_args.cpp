// The program runner's test child: prints each argument in brackets on a line of its own, writes
// $MELVARON_ECHO (when set) and then its standard input to standard error, and exits with the
// number of its arguments. "--wait" alone waits for ever, for the runner's time-out.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--wait") == 0)
        for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
    for (int i = 1; i < argc; ++i) std::cout << '[' << argv[i] << "]\n";
    if (const char* echo = std::getenv("MELVARON_ECHO")) std::cerr << echo << '\n';
    std::cerr << std::cin.rdbuf();
    return argc - 1;
}
