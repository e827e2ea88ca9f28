// The yardstick of a whole `sorvik rename --apply`: what a user's own loop of rename(2) does
// with the same command line. Every FILE whose name holds FIND is renamed to the name with
// its first FIND replaced by REPLACEMENT, in argument order; nothing else is checked.
//
// Usage: sorvik_bench_rename_loop FIND REPLACEMENT FILE...
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FIND REPLACEMENT FILE...\n", argv[0]);
        return 2;
    }
    const char* find = argv[1];
    const char* replacement = argv[2];
    std::size_t findSize = std::strlen(find);
    std::string target;
    int failures = 0;
    for (int index = 3; index < argc; ++index) {
        const char* source = argv[index];
        const char* slash = std::strrchr(source, '/');
        const char* name = slash ? slash + 1 : source;
        const char* found = std::strstr(name, find);
        if (!found)
            continue;
        target.assign(source, static_cast<std::size_t>(found - source));
        target += replacement;
        target += found + findSize;
        if (std::rename(source, target.c_str()) != 0) {
            std::perror(source);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
