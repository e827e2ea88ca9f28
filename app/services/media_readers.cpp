#include "app/services/media_readers.h"

#include "engine/model/error.h"

#include <climits>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <unistd.h>

namespace sorvik {

namespace {

    struct Module {
        const MediaReaders* readers = nullptr;
        std::string failure;
    };

    /// Where the module may be: in lib/sorvik beside the program's folder (where it is
    /// installed, and built), beside the program, then where this build made it.
    std::vector<std::string> candidatePaths()
    {
        std::vector<std::string> paths;
        char program[PATH_MAX];
        ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
        if (length > 0) {
            std::string folder(program, static_cast<std::size_t>(length));
            folder.erase(folder.rfind('/') + 1);
            paths.push_back(folder + "../lib/sorvik/" + MediaReaders::moduleName);
            paths.push_back(folder + MediaReaders::moduleName);
        }
#ifdef SORVIK_MEDIA_MODULE
        paths.emplace_back(SORVIK_MEDIA_MODULE);
#endif
        return paths;
    }

    Module load()
    {
        Module module;
        for (const auto& path : candidatePaths()) {
            if (::access(path.c_str(), F_OK) != 0)
                continue;
            void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                module.failure = ::dlerror();
                continue;
            }
            auto* entry = reinterpret_cast<const MediaReaders* (*)()>(
                ::dlsym(handle, MediaReaders::entryName));
            if (!entry) {
                module.failure = ::dlerror();
                ::dlclose(handle);
                continue;
            }
            // Kept loaded for the life of the process.
            module.readers = entry();
            return module;
        }
        if (module.failure.empty())
            module.failure = std::string(MediaReaders::moduleName) + " is not installed.";
        return module;
    }

    const Module& module()
    {
        static const Module loaded = load();
        return loaded;
    }

} // namespace

const MediaReaders& MediaReaders::shared()
{
    const auto& loaded = module();
    if (!loaded.readers)
        throw Error(
            "PDFs, audio, video and the text in pictures cannot be read: " + loaded.failure);
    return *loaded.readers;
}

const MediaReaders* MediaReaders::loaded() { return module().readers; }

} // namespace sorvik
