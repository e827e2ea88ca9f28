#pragma once

#include <string>

namespace sorvik {

/// What the build tells about the program: its version and build number (shown in the
/// Updates tab) and where its updates come from. Without an update key (the default build,
/// and every build a distribution makes) sorvik looks for no updates: the package manager
/// brings them.
struct BuildInfo {
    std::string version;
    std::string buildNumber;
    /// The base64 Ed25519 public key that signs the update feed; empty when there is none.
    std::string updateKey;
    /// The address of the update feed.
    std::string updateFeedAddress;

    /// The values compiled into this build.
    static BuildInfo compiledIn();
};

/// Set in the environment (to anything), it keeps the watch folders and the updater from
/// starting: test programs and packagers' test runs set it.
inline constexpr const char* testHostVariable = "XCTestConfigurationFilePath";

/// Whether `testHostVariable` is set.
bool isUnderTestHost();

} // namespace sorvik
