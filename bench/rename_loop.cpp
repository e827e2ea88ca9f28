// The yardstick of a whole `sorvik rename --apply`: what a user's own loop of rename(2) does
// with the same command line. Every FILE whose name holds FIND is renamed to the name with
// its first FIND replaced by REPLACEMENT, in argument order; nothing else is checked.
//
// With --through-temporary-names, every file is first renamed to a hidden temporary name
// beside it (".", 36 random hexadecimal digits and hyphens, ".twtmp", as sorvik's executor
// names them) and then each to its new name: the two renames per file that a batch which can
// swap names needs, and nothing more. That is the floor of sorvik's apply.
//
// Usage: sorvik_bench_rename_loop [--through-temporary-names] FIND REPLACEMENT FILE...
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string temporaryName(std::mt19937_64& random)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string name = ".";
    for (int index = 0; index < 36; ++index) {
        bool hyphen = index == 8 || index == 13 || index == 18 || index == 23;
        name += hyphen ? '-' : digits[random() % 16];
    }
    return name + ".twtmp";
}

} // namespace

int main(int argc, char** argv)
{
    int first = 1;
    bool throughTemporaryNames = argc > 1 && std::strcmp(argv[1], "--through-temporary-names") == 0;
    if (throughTemporaryNames)
        ++first;
    if (argc < first + 2) {
        std::fprintf(
            stderr, "usage: %s [--through-temporary-names] FIND REPLACEMENT FILE...\n", argv[0]);
        return 2;
    }
    const char* find = argv[first];
    const char* replacement = argv[first + 1];
    std::size_t findSize = std::strlen(find);
    std::vector<std::string> sources;
    std::vector<std::string> targets;
    for (int index = first + 2; index < argc; ++index) {
        const char* source = argv[index];
        const char* slash = std::strrchr(source, '/');
        const char* name = slash ? slash + 1 : source;
        const char* found = std::strstr(name, find);
        if (!found)
            continue;
        std::string target(source, static_cast<std::size_t>(found - source));
        target += replacement;
        target += found + findSize;
        sources.emplace_back(source);
        targets.push_back(std::move(target));
    }
    int failures = 0;
    auto rename = [&failures](const std::string& from, const std::string& to) {
        if (std::rename(from.c_str(), to.c_str()) != 0) {
            std::perror(from.c_str());
            ++failures;
        }
    };
    if (!throughTemporaryNames) {
        for (std::size_t index = 0; index < sources.size(); ++index)
            rename(sources[index], targets[index]);
        return failures == 0 ? 0 : 1;
    }
    std::mt19937_64 random { std::random_device {}() };
    std::vector<std::string> temporaries;
    temporaries.reserve(sources.size());
    for (const auto& source : sources) {
        auto slash = source.rfind('/');
        temporaries.push_back((slash == std::string::npos ? "" : source.substr(0, slash + 1))
            + temporaryName(random));
        rename(source, temporaries.back());
    }
    for (std::size_t index = 0; index < sources.size(); ++index)
        rename(temporaries[index], targets[index]);
    return failures == 0 ? 0 : 1;
}
