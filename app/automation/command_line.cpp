#include "app/automation/command_line.h"

#include "app/automation/automation_error.h"
#include "app/automation/automation_runner.h"
#include "app/store/batch_recovery.h"
#include "app/store/file_error.h"
#include "app/store/folder_access_manager.h"
#include "app/store/json_files.h"
#include "app/store/renamer_store.h"
#include "app/store/saved_session.h"
#include "engine/model/preset.h"
#include "engine/model/uuid.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <exception>
#include <ostream>
#include <stop_token>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace sorvik::CommandLine {

namespace {

    constexpr std::array stopSignals { SIGINT, SIGTERM, SIGHUP };

    // Written by the handler, read by the thread of `StopSignals`.
    int signalPipe[2] = { -1, -1 };
    std::atomic<int> receivedSignal { 0 };
    static_assert(std::atomic<int>::is_always_lock_free);

    void onStopSignal(int signal)
    {
        int saved = errno;
        int expected = 0;
        receivedSignal.compare_exchange_strong(expected, signal);
        auto byte = static_cast<unsigned char>(signal);
        [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
        errno = saved;
    }

    /// SIGINT (Ctrl-C), SIGTERM and SIGHUP (the terminal closed) while `rename --apply` runs
    /// end it as quitting ends the window: a batch that has begun moving files finishes (its
    /// moves, its history record, its journal removed) or rolls back on a failure of its own;
    /// one still being planned is cancelled before it moves anything. The command then ends
    /// with 128 + the signal's number. A second signal changes nothing: a batch cut in the
    /// middle would leave files at temporary names for the next start to put back (as
    /// SIGKILL still does).
    class StopSignals {
    public:
        StopSignals()
        {
            receivedSignal = 0;
            if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
                signalPipe[0] = signalPipe[1] = -1;
                return;
            }
            struct sigaction action { };
            action.sa_handler = onStopSignal;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            for (std::size_t index = 0; index < stopSignals.size(); ++index)
                ::sigaction(stopSignals[index], &action, &m_previous[index]);
            // A stop request may take locks, which a signal handler must not: a thread makes it.
            m_watcher = std::jthread([this](std::stop_token ending) { watch(ending); });
        }

        ~StopSignals()
        {
            if (signalPipe[0] < 0)
                return;
            m_watcher.request_stop();
            unsigned char wake = 0;
            [[maybe_unused]] auto written = ::write(signalPipe[1], &wake, 1);
            m_watcher.join();
            for (std::size_t index = 0; index < stopSignals.size(); ++index)
                ::sigaction(stopSignals[index], &m_previous[index], nullptr);
            ::close(signalPipe[0]);
            ::close(signalPipe[1]);
            signalPipe[0] = signalPipe[1] = -1;
        }

        StopSignals(const StopSignals&) = delete;
        StopSignals& operator=(const StopSignals&) = delete;

        /// Asked to stop once a signal has come.
        std::stop_token stopToken() const { return m_stop.get_token(); }
        /// The first signal that came, or 0.
        static int received() { return receivedSignal.load(); }

    private:
        void watch(const std::stop_token& ending)
        {
            while (!ending.stop_requested()) {
                pollfd readable { signalPipe[0], POLLIN, 0 };
                if (::poll(&readable, 1, -1) < 0 && errno != EINTR)
                    return;
                unsigned char byte = 0;
                while (::read(signalPipe[0], &byte, 1) == 1) {
                    if (byte != 0)
                        m_stop.request_stop();
                }
            }
        }

        std::array<struct sigaction, stopSignals.size()> m_previous {};
        std::stop_source m_stop;
        std::jthread m_watcher;
    };

    std::string signalName(int signal)
    {
        switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
        }
    }

    /// What a stop signal that came during a rename did to it: said on `err` after whatever
    /// the rename printed. The command's status.
    int reportStopSignal(int signal, std::string_view outcome, std::ostream& err)
    {
        err << "sorvik: stopped by " << signalName(signal) << "; " << outcome << '\n';
        return 128 + signal;
    }

    /// A command line that cannot be understood; `what()` says why.
    class UsageError : public Error {
    public:
        using Error::Error;
    };

    /// Asked for the usage text.
    struct HelpRequest { };

    enum class Option { preset, apply, json };

    struct Command {
        std::string_view name;
        std::vector<Option> options;
        /// How many operands the command takes: none, or one and more.
        bool takesOperands = false;
    };

    const std::vector<Command>& commands()
    {
        static const std::vector<Command> all {
            { "rename", { Option::preset, Option::apply, Option::json }, true },
            { "presets", { Option::json }, false },
            { "grant", {}, true },
            { "grants", {}, false },
        };
        return all;
    }

    struct Invocation {
        std::string command;
        std::optional<std::string> preset;
        bool apply = false;
        bool json = false;
        std::vector<std::string> operands;
    };

    std::optional<Option> optionNamed(std::string_view name)
    {
        if (name == "--preset")
            return Option::preset;
        if (name == "--apply")
            return Option::apply;
        if (name == "--json")
            return Option::json;
        return std::nullopt;
    }

    Invocation parse(const std::vector<std::string>& arguments)
    {
        if (arguments.empty())
            throw UsageError("No command given.");
        const auto& name = arguments.front();
        if (name == "help" || name == "--help" || name == "-h")
            throw HelpRequest {};
        auto command = std::find_if(commands().begin(), commands().end(),
            [&](const Command& candidate) { return candidate.name == name; });
        if (command == commands().end())
            throw UsageError("Unknown command: " + name);

        Invocation invocation;
        invocation.command = name;
        bool optionsEnded = false;
        for (std::size_t index = 1; index < arguments.size(); ++index) {
            const auto& argument = arguments[index];
            if (optionsEnded || argument == "-" || !argument.starts_with('-')) {
                invocation.operands.push_back(argument);
                continue;
            }
            if (argument == "--") {
                optionsEnded = true;
                continue;
            }
            if (argument == "--help" || argument == "-h")
                throw HelpRequest {};
            auto equals = argument.find('=');
            std::string_view optionName = std::string_view(argument).substr(0, equals);
            auto option = optionNamed(optionName);
            if (!option
                || std::find(command->options.begin(), command->options.end(), *option)
                    == command->options.end())
                throw UsageError("Unknown option for " + name + ": " + std::string(optionName));
            if (*option != Option::preset) {
                if (equals != std::string::npos)
                    throw UsageError(std::string(optionName) + " takes no value.");
                (*option == Option::apply ? invocation.apply : invocation.json) = true;
                continue;
            }
            if (invocation.preset)
                throw UsageError("--preset is given more than once.");
            if (equals != std::string::npos) {
                invocation.preset = argument.substr(equals + 1);
            } else {
                if (index + 1 == arguments.size())
                    throw UsageError("--preset needs the id or the name of a preset.");
                invocation.preset = arguments[++index];
            }
        }

        if (name == "rename" && !invocation.preset)
            throw UsageError("rename needs --preset.");
        if (command->takesOperands && invocation.operands.empty())
            throw UsageError(name + (name == "grant" ? " needs a folder." : " needs a file."));
        if (!command->takesOperands && !invocation.operands.empty())
            throw UsageError(name + " takes no files or folders.");
        return invocation;
    }

    /// The first stored preset with the id `key` names, else the first named exactly `key`.
    std::optional<Preset> findPreset(const std::vector<Preset>& presets, const std::string& key)
    {
        if (auto id = Uuid::parse(key)) {
            for (const auto& preset : presets) {
                if (preset.id == *id)
                    return preset;
            }
        }
        for (const auto& preset : presets) {
            if (preset.name == key)
                return preset;
        }
        return std::nullopt;
    }

    std::vector<Preset> savedPresets()
    {
        auto saved = JSONFiles::load<SavedPresets>(SavedPresets::fileName);
        if (!saved)
            return {};
        return std::move(saved->presets);
    }

    std::vector<FileURL> localURLs(
        const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder)
    {
        std::vector<FileURL> urls;
        urls.reserve(arguments.size());
        for (const auto& argument : arguments) {
            auto url = fileURL(argument, currentFolder);
            if (!url)
                throw AutomationError(AutomationError::localURLRequired);
            urls.push_back(std::move(*url));
        }
        return urls;
    }

    nlohmann::json urlTexts(const std::vector<FileURL>& urls)
    {
        auto list = nlohmann::json::array();
        for (const auto& url : urls)
            list.push_back(url.text());
        return list;
    }

    void printJSON(std::ostream& out, const nlohmann::json& value) { out << value.dump(2) << '\n'; }

    int rename(Invocation& invocation, const std::filesystem::path& currentFolder,
        std::ostream& out, std::stop_token stop = {})
    {
        auto preset = findPreset(savedPresets(), *invocation.preset);
        if (!preset)
            throw AutomationError(AutomationError::presetNotFound);
        auto urls = localURLs(invocation.operands, currentFolder);
        // A batch may name many files: the arguments are not kept beside their URLs.
        std::vector<std::string>().swap(invocation.operands);
        // Grants that could not be read are the reason, not a folder that is not granted.
        if (const auto& error = RenamerStore::shared().folderAccess().storageError())
            throw Error(*error);
        bool dryRun = !invocation.apply;
        // Only a preview's JSON lists the files as given; otherwise the run takes them over.
        std::vector<FileURL> given;
        if (dryRun && invocation.json)
            given = urls;
        auto result = runPresetAutomation(std::move(urls), preset->rules, dryRun, std::move(stop));

        if (invocation.json) {
            // The files as they now are: where they were in a preview, at their targets
            // after a rename.
            nlohmann::json document;
            document["files"] = urlTexts(dryRun ? given : result);
            document["targets"] = urlTexts(result);
            printJSON(out, document);
            return success;
        }
        auto count = std::min(result.size(), listedNameLimit);
        for (std::size_t index = 0; index < count; ++index)
            out << printable(result[index].lastPathComponent()) << '\n';
        return success;
    }

    int presets(const Invocation& invocation, std::ostream& out)
    {
        auto presets = savedPresets();
        if (invocation.json) {
            auto list = nlohmann::json::array();
            for (const auto& preset : presets)
                list.push_back({ { "id", preset.id.text() }, { "name", preset.name } });
            printJSON(out, list);
            return success;
        }
        for (const auto& preset : presets)
            out << preset.id.text() << '\t' << printable(preset.name) << '\n';
        return success;
    }

    // The grant commands need only the grants: no store, so no session or presets are read.
    int grant(const Invocation& invocation, const std::filesystem::path& currentFolder)
    {
        auto urls = localURLs(invocation.operands, currentFolder);
        FolderAccessManager access;
        for (const auto& url : urls) {
            try {
                access.grant(FileURL(url.path, true));
            } catch (const FileError& error) {
                if (error.code() != FileError::Code::fileReadUnsupportedScheme)
                    throw;
                throw Error(printable(url.path) + " is not a folder. grant needs a folder.");
            }
        }
        return success;
    }

    /// The granted folders that can be renamed in, one per line; what start-up could not open
    /// (a folder not found, a damaged grant) is named on `err`, and the listing still counts.
    int grants(std::ostream& out, std::ostream& err)
    {
        FolderAccessManager access;
        if (const auto& error = access.storageError())
            throw Error(*error);
        for (const auto& folder : access.folders())
            out << printable(folder.path) << '\n';
        if (const auto& problem = access.errorMessage())
            err << *problem << '\n';
        return success;
    }

    void recoverBatches(std::ostream& err)
    {
        try {
            if (auto report = recoverInterruptedBatches(
                    [](const std::string& path) { return printable(path); }))
                err << *report << '\n';
        } catch (const std::exception& error) {
            err << error.what() << '\n';
        }
    }

    /// The refusal, then one line per blocked row: its name, the name it would get, and why
    /// it cannot.
    void reportBlockedBatch(const BlockedBatchError& error, std::ostream& err)
    {
        const auto& rows = error.rows();
        err << AutomationError::filenameProblem << printable(rows.front().url.lastPathComponent())
            << '\n';
        for (const auto& row : rows)
            err << printable(row.url.lastPathComponent()) << " -> " << printable(row.newName)
                << ": " << row.reason << '\n';
    }

} // namespace

std::string usage()
{
    return "Usage:\n"
           "  sorvik [FILE\u2026]\n"
           "  sorvik --background-watch\n"
           "  sorvik open [FILE\u2026]\n"
           "  sorvik rename --preset PRESET [--apply] [--json] FILE\u2026\n"
           "  sorvik presets [--json]\n"
           "  sorvik grant FOLDER\u2026\n"
           "  sorvik grants\n"
           "\n"
           "  Without a command sorvik opens its window; preset files (.twpreset) given are\n"
           "  imported, all other files are added to the list.\n"
           "  --background-watch  Watch the watch folders without showing the window.\n"
           "  open     Open in sorvik: add the files to the window.\n"
           "  rename   Rename files with preset. Lists the new names; renames only with "
           "--apply.\n"
           "           PRESET is a preset's id or its name.\n"
           "  presets  Get rename presets: the id and name of each saved preset.\n"
           "  grant    Allow sorvik to rename files inside the folders.\n"
           "  grants   List the folders sorvik may rename files in.\n"
           "\n"
           "  rename, presets, grant and grants work without a display.\n";
}

bool isCommand(std::string_view name)
{
    if (name == "help" || name == "--help" || name == "-h")
        return true;
    return std::any_of(commands().begin(), commands().end(),
        [&](const Command& command) { return command.name == name; });
}

int reportUsageError(std::string_view problem, std::ostream& err)
{
    err << "sorvik: " << problem << "\n\n" << usage();
    return usageError;
}

std::vector<FileURL> openFiles(
    const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder)
{
    std::vector<FileURL> files;
    bool optionsEnded = false;
    for (const auto& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument != "-" && argument.starts_with('-'))
            throw Error("Unknown option for open: " + argument.substr(0, argument.find('=')));
        // A file URL that no file can have names no local file either.
        std::optional<FileURL> url;
        try {
            url = fileURL(argument, currentFolder);
        } catch (const Error&) {
            continue;
        }
        if (url)
            files.push_back(std::move(*url));
    }
    return files;
}

std::optional<FileURL> fileURL(
    std::string_view argument, const std::filesystem::path& currentFolder)
{
    if (argument.empty())
        return std::nullopt;
    // A URL is a scheme (a letter, then letters, digits, "+", "-" or ".") and "://"; any
    // other text is a path, however many colons it holds.
    auto isSchemeCharacter = [](char character) {
        return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z')
            || (character >= '0' && character <= '9') || character == '+' || character == '-'
            || character == '.';
    };
    auto colon = argument.find("://");
    bool isURL = colon != std::string_view::npos && colon > 0
        && std::isalpha(static_cast<unsigned char>(argument.front()))
        && std::all_of(argument.begin(), argument.begin() + colon, isSchemeCharacter);
    if (isURL) {
        std::string reason;
        auto url = FileURL::parse(argument, &reason);
        if (!url && !reason.empty())
            throw Error(printable(argument) + ": " + reason);
        return url;
    }

    bool isDirectory = argument.ends_with('/');
    if (argument.starts_with('/'))
        return FileURL(argument, isDirectory);
    const std::string& folder = currentFolder.native();
    std::string path;
    path.reserve(folder.size() + 1 + argument.size());
    path += folder;
    if (!path.ends_with('/'))
        path += '/';
    path += argument;
    return FileURL(path, isDirectory);
}

int run(const std::vector<std::string>& arguments, const std::filesystem::path& currentFolder,
    std::ostream& out, std::ostream& err)
{
    return run(std::vector<std::string>(arguments), currentFolder, out, err);
}

int run(std::vector<std::string>&& arguments, const std::filesystem::path& currentFolder,
    std::ostream& out, std::ostream& err)
{
    Invocation invocation;
    try {
        invocation = parse(arguments);
    } catch (const HelpRequest&) {
        out << usage();
        return success;
    } catch (const UsageError& error) {
        return reportUsageError(error.what(), err);
    }
    // The invocation holds what a command needs: a batch's many names are not kept twice.
    std::vector<std::string>().swap(arguments);

    std::optional<StopSignals> stopSignals;
    if (invocation.command == "rename" && invocation.apply)
        stopSignals.emplace();
    recoverBatches(err);
    try {
        if (stopSignals) {
            if (int signal = StopSignals::received())
                return reportStopSignal(signal, "no file was renamed.", err);
            int status = rename(invocation, currentFolder, out, stopSignals->stopToken());
            out.flush();
            if (int signal = StopSignals::received())
                return reportStopSignal(
                    signal, "the rename was finished first: every file has its new name.", err);
            return status;
        }
        if (invocation.command == "rename")
            return rename(invocation, currentFolder, out);
        if (invocation.command == "presets")
            return presets(invocation, out);
        if (invocation.command == "grant")
            return grant(invocation, currentFolder);
        return grants(out, err);
    } catch (const CancellationError&) {
        out.flush();
        if (stopSignals && StopSignals::received())
            return reportStopSignal(StopSignals::received(), "no file was renamed.", err);
        err << CancellationError::text << '\n';
        return failure;
    } catch (const BlockedBatchError& error) {
        out.flush();
        reportBlockedBatch(error, err);
        return stopSignals && StopSignals::received()
            ? reportStopSignal(StopSignals::received(), "no file was renamed.", err)
            : failure;
    } catch (const std::exception& error) {
        out.flush();
        err << error.what() << '\n';
        // The failure said what became of the batch.
        return stopSignals && StopSignals::received()
            ? reportStopSignal(StopSignals::received(), "the rename did not go through.", err)
            : failure;
    }
}

std::string printable(std::string_view name)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    auto byteEscape = [&out](unsigned char byte) {
        out += "\\x";
        out += digits[byte >> 4];
        out += digits[byte & 0x0F];
    };
    std::size_t index = 0;
    while (index < name.size()) {
        auto lead = static_cast<unsigned char>(name[index]);
        if (lead < 0x80) {
            switch (lead) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (lead < 0x20 || lead == 0x7F)
                    byteEscape(lead);
                else
                    out += static_cast<char>(lead);
            }
            ++index;
            continue;
        }
        // One UTF-8 sequence: its length by the lead byte, the smallest code point it may
        // hold (shorter forms are not UTF-8), and continuation bytes after it.
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        char32_t codePoint = length == 4 ? lead & 0x07 : length == 3 ? lead & 0x0F : lead & 0x1F;
        bool valid = length > 0 && lead <= 0xF4 && index + length <= name.size();
        for (std::size_t offset = 1; valid && offset < length; ++offset) {
            auto next = static_cast<unsigned char>(name[index + offset]);
            valid = (next & 0xC0) == 0x80;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static constexpr char32_t smallest[] = { 0, 0, 0x80, 0x800, 0x10000 };
        valid = valid && codePoint >= smallest[length] && codePoint <= 0x10FFFF
            && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
        if (!valid) {
            byteEscape(lead);
            ++index;
            continue;
        }
        // C1 controls and the Unicode line and paragraph separators break lines too.
        if (codePoint <= 0x9F || codePoint == 0x2028 || codePoint == 0x2029) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += digits[(codePoint >> shift) & 0x0F];
        } else {
            out.append(name.substr(index, length));
        }
        index += length;
    }
    return out;
}

} // namespace sorvik::CommandLine
