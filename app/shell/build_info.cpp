#include "app/shell/build_info.h"

#include <cstdlib>

namespace sorvik {

BuildInfo BuildInfo::compiledIn()
{
    return { SORVIK_VERSION, SORVIK_BUILD_NUMBER, SORVIK_UPDATE_KEY, SORVIK_UPDATE_FEED };
}

bool isUnderTestHost() { return std::getenv(testHostVariable) != nullptr; }

} // namespace sorvik
