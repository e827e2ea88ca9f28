#pragma once

// Volumes as users meet them away from the local disk, for tests: a FUSE mount made with
// bindfs, which refuses the flags of renameat2 as sshfs, the file manager's network mounts
// and NFS do, and a kernel filter under which every volume also lacks hard links, as an SMB
// share does. Tests skip, saying why, where either cannot be had.

#include "tests/support/temporary_folder.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace sorvik::testing {

/// Runs a program found on PATH and waits for it; its exit status (-1 when it could not be
/// run or did not exit), with what it wrote to its standard error in `errors`.
inline int runProgram(const std::vector<std::string>& arguments, std::string& errors)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    int spawned = ::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    char buffer[512];
    for (ssize_t count; (count = ::read(pipe[0], buffer, sizeof buffer)) != 0;) {
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            break;
        errors.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipe[0]);
    if (spawned != 0) {
        errors += arguments[0] + " could not be run";
        return -1;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// A folder (the store) seen at a second path (the mount) through bindfs, for as long as the
/// object lives; unmounted when it goes, whatever the test did meanwhile.
class BindfsMount {
public:
    BindfsMount()
        : m_store(m_root / "store")
        , m_mount(m_root / "mount")
    {
        std::filesystem::create_directories(m_store);
        std::filesystem::create_directories(m_mount);
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            m_whyNot = "/dev/fuse cannot be opened here";
            return;
        }
        std::string errors;
        // Without allow_other, which only the superuser may ask for by default.
        int status = runProgram(
            { "bindfs", "--no-allow-other", m_store.string(), m_mount.string() }, errors);
        if (status != 0) {
            m_whyNot = "bindfs could not mount a folder: " + errors;
            return;
        }
        if (!isFuse()) {
            m_whyNot = "bindfs exited without mounting";
            return;
        }
        m_isMounted = true;
    }

    ~BindfsMount()
    {
        if (!m_isMounted)
            return;
        std::string errors;
        for (const char* program : { "fusermount3", "fusermount" }) {
            if (runProgram({ program, "-u", m_mount.string() }, errors) == 0 || !isFuse())
                break;
        }
        // A folder still open through the mount (a test that failed half way) keeps it busy:
        // it goes as soon as nothing uses it.
        if (isFuse())
            runProgram({ "umount", "-l", m_mount.string() }, errors);
    }

    BindfsMount(const BindfsMount&) = delete;
    BindfsMount& operator=(const BindfsMount&) = delete;

    bool isMounted() const { return m_isMounted; }
    /// Why there is no mount.
    const std::string& whyNot() const { return m_whyNot; }
    /// The folder itself, on the local disk.
    const std::filesystem::path& store() const { return m_store; }
    /// The same folder through the FUSE mount.
    const std::filesystem::path& mount() const { return m_mount; }

private:
    bool isFuse() const
    {
        constexpr long fuseMagic = 0x65735546;
        struct statfs volume { };
        return ::statfs(m_mount.c_str(), &volume) == 0 && volume.f_type == fuseMagic;
    }

    TemporaryFolder m_root;
    std::filesystem::path m_store;
    std::filesystem::path m_mount;
    bool m_isMounted = false;
    std::string m_whyNot;
};

namespace volume_filters {

#if defined(__x86_64__)
    constexpr unsigned nativeArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    constexpr unsigned nativeArchitecture = AUDIT_ARCH_AARCH64;
#else
    constexpr unsigned nativeArchitecture = 0;
#endif
#ifdef __NR_link
    constexpr unsigned linkCall = __NR_link;
#else
    constexpr unsigned linkCall = __NR_linkat;
#endif
#ifdef __NR_rename
    constexpr unsigned renameCall = __NR_rename;
#else
    constexpr unsigned renameCall = __NR_renameat;
#endif
    // The flags of renameat2 are an unsigned int: the low half of the argument.
    constexpr unsigned flagsOffset = offsetof(seccomp_data, args[4])
        + (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 0 : sizeof(std::uint32_t));

    inline bool install(sock_filter* program, unsigned short length)
    {
        if (nativeArchitecture == 0 || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            return false;
        sock_fprog filter { length, program };
        return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
    }

} // namespace volume_filters

/// From now on the calling thread, and every process it starts, meets every volume as an SMB
/// share without hard links that refuses rename flags: renameat2 with a flag fails with
/// EINVAL, link and linkat with EPERM. It cannot be taken back, so call it on a thread or in a
/// process of its own. Whether the kernel took it. It allocates nothing, so a child process
/// may call it between fork and exec.
inline bool refuseRenameFlagsAndHardLinks()
{
    using namespace volume_filters;
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nativeArchitecture, 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_linkat, 6, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, linkCall, 5, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, flagsOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
    };
    return volume_filters::install(program, sizeof program / sizeof program[0]);
}

/// Kills the calling process, as SIGKILL does but with SIGSYS, at its next rename that has no
/// flag: where a volume refuses the flags, that is a move after its look at the destination
/// and before its rename.
inline bool killAtTheNextRenameWithoutFlags()
{
    using namespace volume_filters;
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, nativeArchitecture, 0, 6),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat, 5, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, renameCall, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_renameat2, 0, 2),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, flagsOffset),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
    };
    return volume_filters::install(program, sizeof program / sizeof program[0]);
}

/// The volumes away from the local disk that a batch must work on.
enum class VolumeKind {
    /// A FUSE mount: no rename flags.
    fuse,
    /// No rename flags and no hard links, as on an SMB share.
    withoutHardLinks,
    /// Both.
    fuseWithoutHardLinks,
};

inline std::string nameOf(VolumeKind kind)
{
    switch (kind) {
    case VolumeKind::fuse:
        return "Fuse";
    case VolumeKind::withoutHardLinks:
        return "WithoutHardLinks";
    case VolumeKind::fuseWithoutHardLinks:
        return "FuseWithoutHardLinks";
    }
    return "";
}

/// A folder on a volume of one kind, and the means to run code as it runs there.
class TestVolume {
public:
    explicit TestVolume(VolumeKind kind)
        : m_refusesHardLinks(kind != VolumeKind::fuse)
    {
        if (kind != VolumeKind::withoutHardLinks) {
            m_mount = std::make_unique<BindfsMount>();
            if (!m_mount->isMounted()) {
                m_whyNot = m_mount->whyNot();
                return;
            }
            m_folder = m_mount->mount();
            m_local = m_mount->store();
        } else {
            m_folder = m_plain.path();
            m_local = m_plain.path();
        }
        if (m_refusesHardLinks) {
            bool filtered = false;
            std::thread([&] { filtered = refuseRenameFlagsAndHardLinks(); }).join();
            if (!filtered)
                m_whyNot = "the kernel does not let a test filter its own system calls";
        }
    }

    /// Why the volume cannot be had here; empty when it can.
    const std::string& whyNot() const { return m_whyNot; }
    /// The folder as programs see it: through the mount, where there is one.
    const std::filesystem::path& folder() const { return m_folder; }
    /// The same folder on the local disk.
    const std::filesystem::path& local() const { return m_local; }
    bool refusesHardLinks() const { return m_refusesHardLinks; }

    /// Makes the calling thread, and what it starts, meet the volume as it is (where it has
    /// no hard links, for good). Whether that could be done. It allocates nothing.
    bool enter() const { return !m_refusesHardLinks || refuseRenameFlagsAndHardLinks(); }

    /// Runs `work` as on the volume: on a thread of its own where the volume has no hard
    /// links.
    void run(const std::function<void()>& work) const
    {
        if (!m_refusesHardLinks) {
            work();
            return;
        }
        std::thread([&] {
            if (!enter()) {
                ADD_FAILURE() << "the volume's filter could not be set";
                return;
            }
            // As a test's own thread reports what escapes it.
            try {
                work();
            } catch (const std::exception& error) {
                ADD_FAILURE() << "C++ exception with description \"" << error.what() << "\"";
            }
        }).join();
    }

private:
    bool m_refusesHardLinks;
    std::unique_ptr<BindfsMount> m_mount;
    TemporaryFolder m_plain;
    std::filesystem::path m_folder;
    std::filesystem::path m_local;
    std::string m_whyNot;
};

} // namespace sorvik::testing
