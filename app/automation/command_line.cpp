#include "app/automation/command_line.h"

#include "app/automation/automation_error.h"
#include "app/automation/automation_runner.h"
#include "app/automation/stop_signals.h"
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
#include <cctype>
#include <cerrno>
#include <exception>
#include <functional>
#include <ostream>
#include <stop_token>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace sorvik::CommandLine {

namespace {

    /// Turns a stop signal into a stop request for a rename's planning, whose metadata and AI
    /// stages honour one: a request may take locks, which a signal handler must not, so a
    /// thread of its own waits on the signals' pipe. A signal that came before it started is
    /// seen at once.
    class StopRequests {
    public:
        StopRequests()
        {
            if (StopSignals::descriptor() < 0 || ::pipe2(m_ending, O_CLOEXEC | O_NONBLOCK) != 0)
                return;
            m_watcher = std::jthread([this] { watch(); });
        }

        ~StopRequests()
        {
            if (!m_watcher.joinable())
                return;
            unsigned char wake = 0;
            [[maybe_unused]] auto written = ::write(m_ending[1], &wake, 1);
            m_watcher.join();
            ::close(m_ending[0]);
            ::close(m_ending[1]);
        }

        StopRequests(const StopRequests&) = delete;
        StopRequests& operator=(const StopRequests&) = delete;

        /// Asked to stop once a signal has come.
        std::stop_token token() const { return m_stop.get_token(); }

    private:
        void watch()
        {
            std::array<pollfd, 2> readable { { { StopSignals::descriptor(), POLLIN, 0 },
                { m_ending[0], POLLIN, 0 } } };
            while (::poll(readable.data(), readable.size(), -1) < 0) {
                if (errno != EINTR)
                    return;
            }
            if (readable[0].revents & POLLIN)
                m_stop.request_stop();
        }

        int m_ending[2] = { -1, -1 };
        std::stop_source m_stop;
        std::jthread m_watcher;
    };

    /// What a stop signal did to a command, in the words of its report: the command had not
    /// begun, finished first, or failed on its own.
    struct StopOutcomes {
        std::string_view notBegun;
        std::string_view finished;
        std::string_view failed;
    };

    constexpr StopOutcomes renameOutcomes { "no file was renamed.",
        "the rename was finished first: every file has its new name.",
        "the rename did not go through." };
    constexpr StopOutcomes commandOutcomes { "nothing was done.", "the command was finished first.",
        "the command did not go through." };

    /// Says on `err`, after whatever the command printed, which signal stopped it and what
    /// became of it. The command's status: 128 + the signal's number.
    int reportStopSignal(int signal, std::string_view outcome, std::ostream& err)
    {
        err << "sorvik: stopped by " << StopSignals::name(signal) << "; " << outcome << '\n';
        return 128 + signal;
    }

    /// The point of no return of `rename --apply`, just before the first file moves: a batch
    /// that a stop signal came for before it is dropped. A signal after it finds the batch
    /// moving, and lets it finish.
    void dropBatchOnStopSignal()
    {
        if (StopSignals::received() != 0)
            throw CancellationError();
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
        auto result = runPresetAutomation(std::move(urls), preset->rules, dryRun, std::move(stop),
            dryRun ? std::function<void()>() : dropBatchOnStopSignal);
        // A preview that a stop signal came for while it was planned is dropped as a batch is.
        if (dryRun && StopSignals::received() != 0)
            throw CancellationError();

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
           "  sorvik --version\n"
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
           "  --version  Print the version of sorvik.\n"
           "\n"
           "  rename, presets, grant, grants and --version work without a display.\n";
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

    // A stop signal never cuts a command short in the middle of a step, and neither does a
    // second one: a rename is dropped up to its first move and finishes after it (a batch cut
    // in the middle would leave files at temporary names, as SIGKILL still does); any other
    // command stops before it begins or finishes. Putting back the files of a killed rename
    // always ends first.
    bool isRename = invocation.command == "rename";
    const StopOutcomes& outcomes = isRename && invocation.apply ? renameOutcomes : commandOutcomes;
    std::optional<StopRequests> stopRequests;
    if (isRename)
        stopRequests.emplace();
    recoverBatches(err);
    auto stopped = [&](std::string_view outcome) {
        out.flush();
        return reportStopSignal(StopSignals::received(), outcome, err);
    };
    if (StopSignals::received() != 0)
        return stopped(outcomes.notBegun);
    try {
        int status = success;
        if (isRename)
            status = rename(invocation, currentFolder, out, stopRequests->token());
        else if (invocation.command == "presets")
            status = presets(invocation, out);
        else if (invocation.command == "grant")
            status = grant(invocation, currentFolder);
        else
            status = grants(out, err);
        if (StopSignals::received() != 0)
            return stopped(outcomes.finished);
        return status;
    } catch (const CancellationError&) {
        if (StopSignals::received() != 0)
            return stopped(outcomes.notBegun);
        out.flush();
        err << CancellationError::text << '\n';
        return failure;
    } catch (const BlockedBatchError& error) {
        out.flush();
        reportBlockedBatch(error, err);
        return StopSignals::received() != 0 ? stopped(outcomes.notBegun) : failure;
    } catch (const std::exception& error) {
        out.flush();
        err << error.what() << '\n';
        // The failure said what became of the command.
        return StopSignals::received() != 0 ? stopped(outcomes.failed) : failure;
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
