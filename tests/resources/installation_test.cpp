// Installing: `cmake --install` of this build into a temporary prefix, and the Debian package
// that `cpack -G DEB` makes of it. The installed programs are run from there.
#include "tests/app/automation/program_run.h"
#include "tests/app/services/content_samples.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

#if defined(SORVIK_HARDENED_BUILD)
    constexpr bool hardenedBuild = true;
#else
    constexpr bool hardenedBuild = false;
#endif

    using testing::IsolatedHome;
    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    using Result = testing::ProgramResult;

    Result run(const QString& program, const QStringList& arguments,
        const fs::path& folder = fs::current_path(),
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString(folder.string()));
        process.setProgram(program);
        process.setArguments(arguments);
        return testing::runToEnd(process);
    }

    /// Every file below `root`, as paths relative to it.
    std::set<std::string> filesBelow(const fs::path& root)
    {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            if (!entry.is_directory())
                found.insert(fs::relative(entry.path(), root).string());
        }
        return found;
    }

    std::set<std::string> expectedFiles(const std::string& prefix)
    {
        std::set<std::string> files {
            prefix + "bin/sorvik",
            prefix + "bin/nightporter",
            prefix + "lib/sorvik/libsorvik_media.so",
            prefix + "share/applications/app.sorvik.mac.desktop",
            prefix + "share/mime/packages/sorvik-preset.xml",
            prefix + "share/metainfo/app.sorvik.mac.metainfo.xml",
            prefix + "share/icons/hicolor/scalable/apps/app.sorvik.mac.svg",
            prefix + "share/man/man1/sorvik.1.gz",
            prefix + "share/man/man1/nightporter.1.gz",
            prefix + "share/doc/sorvik/copyright",
            prefix + "share/doc/sorvik/changelog.gz",
        };
        for (int size : { 16, 22, 24, 32, 48, 64, 128, 256, 512 }) {
            auto folder = std::to_string(size) + "x" + std::to_string(size);
            files.insert(prefix + "share/icons/hicolor/" + folder + "/apps/app.sorvik.mac.png");
        }
        return files;
    }

    QString text(const fs::path& path) { return QString::fromStdString(path.string()); }

    /// `cmake --install` of this build into `prefix`; the failure's output otherwise.
    ::testing::AssertionResult install(const TemporaryFolder& prefix)
    {
        auto installed = run(
            CMAKE_COMMAND, { "--install", SORVIK_BUILD_FOLDER, "--prefix", text(prefix.path()) });
        if (installed.status != 0)
            return ::testing::AssertionFailure() << installed.out << installed.err;
        return ::testing::AssertionSuccess();
    }

    /// A gzip file's contents, through the gzip program.
    std::string gunzipped(const fs::path& file)
    {
        auto unpacked = run("gzip", { "-dc", text(file) });
        EXPECT_EQ(unpacked.status, 0) << file << unpacked.err;
        return unpacked.out;
    }

    TEST(Installation, PutsEveryFileUnderThePrefixAndTheProgramsRunFromThere)
    {
        IsolatedHome home;
        TemporaryFolder prefix;
        ASSERT_TRUE(install(prefix));
        EXPECT_EQ(filesBelow(prefix.path()), expectedFiles(""));
        for (const char* program : { "bin/sorvik", "bin/nightporter" })
            EXPECT_NE(
                fs::status(prefix / program).permissions() & fs::perms::owner_exec, fs::perms::none)
                << program;

        // The file manager starts sorvik with the files it opens.
        auto entry = readFile(prefix / "share/applications/app.sorvik.mac.desktop");
        EXPECT_NE(entry.find("\nExec=sorvik %F\n"), std::string::npos);
        EXPECT_NE(entry.find("\nIcon=app.sorvik.mac\n"), std::string::npos);

        // The preset type is known by its extension, in any case, once the database is made.
        auto mime = prefix / "share/mime";
        auto database = run("update-mime-database", { QString::fromStdString(mime.string()) });
        ASSERT_EQ(database.status, 0) << database.err;
        auto globs = readFile(mime / "globs2");
        EXPECT_NE(globs.find("application/x-sorvik-preset:*.twpreset"), std::string::npos) << globs;
        EXPECT_EQ(globs.find("application/x-sorvik-preset:*.twpreset:cs"), std::string::npos);

        // The installed program works, and finds its media readers in lib/sorvik.
        TemporaryFolder files;
        files.createFile("report.pdf", testing::pdfWithPages({ "One", "Two" }));
        auto sorvik = QString::fromStdString((prefix / "bin/sorvik").string());
        ASSERT_EQ(
            run(sorvik, { "grant", QString::fromStdString(files.path().string()) }).status, 0);
        auto presets = run(sorvik, { "presets" });
        EXPECT_EQ(presets.status, 0) << presets.err;
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_DEBUG", "files");
        auto saved = fs::path(std::getenv("XDG_DATA_HOME")) / "sorvik" / "presets.json";
        fs::create_directories(saved.parent_path());
        std::ofstream(saved) << R"({"presets": [{"colorHex": "3478F6",
            "id": "6F1C2B1E-3D4A-4E8B-9C2D-5A7E0F1B2C3D", "isBuiltIn": false, "name": "Pages",
            "rules": [{"id": "0B9E8D7C-6A5B-4C3D-8E2F-1A0B9C8D7E6F", "isEnabled": true,
            "kind": {"config": {"template": "{name}-{pdf.pages|none}"}, "type": "pattern"}}],
            "schemaVersion": 1, "symbol": "doc"}], "schemaVersion": 1})";
        auto renamed = run(
            sorvik, { "rename", "--preset", "Pages", "report.pdf" }, files.path(), environment);
        EXPECT_EQ(renamed.status, 0) << renamed.err;
        EXPECT_EQ(renamed.out, "report-2.pdf\n");
        auto module = (prefix / "bin/../lib/sorvik/libsorvik_media.so").string();
        EXPECT_NE(renamed.err.find("calling init: " + module), std::string::npos);
    }

    TEST(Installation, TheDesktopEntryOpensPresetsAloneAndTheDesktopsCheckersAcceptIt)
    {
        TemporaryFolder prefix;
        ASSERT_TRUE(install(prefix));
        auto applications = prefix / "share/applications";
        auto checked
            = run("desktop-file-validate", { text(applications / "app.sorvik.mac.desktop") });
        EXPECT_EQ(checked.status, 0) << checked.out << checked.err;
        EXPECT_EQ(checked.out + checked.err, "");

        // What the desktop makes of the entry: sorvik is the program for presets, and for no
        // picture, document or other file that it can rename.
        auto database = run("update-desktop-database", { text(applications) });
        ASSERT_EQ(database.status, 0) << database.err;
        EXPECT_EQ(readFile(applications / "mimeinfo.cache"),
            "[MIME Cache]\napplication/x-sorvik-preset=app.sorvik.mac.desktop;\n");

        auto metainfo = prefix / "share/metainfo/app.sorvik.mac.metainfo.xml";
        auto described
            = run("appstreamcli", { "validate", "--no-net", "--pedantic", text(metainfo) });
        EXPECT_EQ(described.status, 0) << described.out << described.err;
        EXPECT_EQ(described.out.find("W:"), std::string::npos) << described.out;
        EXPECT_EQ(described.out.find("E:"), std::string::npos) << described.out;
        auto listing = readFile(metainfo);
        for (const char* provided : { "<launchable type=\"desktop-id\">app.sorvik.mac.desktop<",
                 "<binary>sorvik</binary>", "<binary>nightporter</binary>",
                 "<mediatype>application/x-sorvik-preset</mediatype>" })
            EXPECT_NE(listing.find(provided), std::string::npos) << provided;
    }

    /// A manual page as `man` renders it: as plain text, or as lintian checks it (for the
    /// terminal, with every warning of the formatter).
    Result manualPage(const fs::path& page, bool checked = false)
    {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("MANWIDTH", "80");
        environment.insert("LC_ALL", "C.UTF-8");
        QStringList arguments { "-l", text(page) };
        if (checked)
            arguments = QStringList { "--warnings", "-E", "UTF-8", "-Tutf8" } + arguments;
        return run("man", arguments, fs::current_path(), environment);
    }

    TEST(Installation, TheManualPagesRenderWithoutWarningsAndNameEveryCommandAndOption)
    {
        TemporaryFolder prefix;
        ASSERT_TRUE(install(prefix));
        auto pages = prefix / "share/man/man1";
        for (const char* page : { "sorvik.1.gz", "nightporter.1.gz" }) {
            auto checked = manualPage(pages / page, true);
            EXPECT_EQ(checked.status, 0) << page << checked.err;
            EXPECT_EQ(checked.err, "") << page;
            auto rendered = manualPage(pages / page);
            EXPECT_NE(rendered.out.find("EXIT STATUS"), std::string::npos) << page;
            EXPECT_NE(rendered.out.find("EXAMPLES"), std::string::npos) << page;
        }

        // Every command and option that the usage names, the page names too.
        auto usage = run(text(prefix / "bin/sorvik"), { "--help" });
        ASSERT_EQ(usage.status, 0) << usage.err;
        auto page = manualPage(pages / "sorvik.1.gz").out;
        std::set<std::string> named;
        std::size_t start = 0;
        while (start < usage.out.size()) {
            auto end = std::min(usage.out.find('\n', start), usage.out.size());
            std::string_view line(usage.out.data() + start, end - start);
            start = end + 1;
            if (!line.starts_with("  sorvik "))
                continue;
            for (std::size_t at = 0; at < line.size();) {
                auto from = line.find_first_not_of(" []", at);
                if (from == std::string_view::npos)
                    break;
                auto to = std::min(line.find_first_of(" []", from), line.size());
                auto word = std::string(line.substr(from, to - from));
                at = to;
                if (word.starts_with("--") || std::islower(static_cast<unsigned char>(word[0])))
                    named.insert(word);
            }
        }
        EXPECT_GE(named.size(), 9u) << usage.out;
        for (const auto& word : named)
            EXPECT_NE(page.find(word), std::string::npos) << word;
        for (const char* word : { "SIGTERM", "SIGINT", "SIGHUP", "XDG_DATA_HOME", "XDG_CONFIG_HOME",
                 "XDG_RUNTIME_DIR", "presets.json", "sorvik.conf",
                 "app.sorvik.mac.nightporter.desktop", ".twpreset", "--version" })
            EXPECT_NE(page.find(word), std::string::npos) << word;
    }

    TEST(Installation, TheChangelogTheMetadataAndThePagesNameThisVersion)
    {
        TemporaryFolder prefix;
        ASSERT_TRUE(install(prefix));
        std::string version = SORVIK_PACKAGE_VERSION;
        auto changelog = gunzipped(prefix / "share/doc/sorvik/changelog.gz");
        EXPECT_TRUE(changelog.starts_with("sorvik (" + version + ") ")) << changelog;
        auto metainfo = readFile(prefix / "share/metainfo/app.sorvik.mac.metainfo.xml");
        auto release = metainfo.find("<release ");
        ASSERT_NE(release, std::string::npos);
        EXPECT_EQ(metainfo.find("version=\"" + version + "\"", release),
            metainfo.find("version=", release));
        EXPECT_NE(
            gunzipped(prefix / "share/man/man1/sorvik.1.gz").find("\"sorvik " + version + "\""),
            std::string::npos);

        // Compressed as Debian wants: no file name or time in the header, so that a rebuild
        // gives the same bytes.
        for (const char* file : { "share/doc/sorvik/changelog.gz", "share/man/man1/sorvik.1.gz",
                 "share/man/man1/nightporter.1.gz" }) {
            auto header = readFile(prefix / file).substr(0, 10);
            ASSERT_EQ(header.size(), 10u) << file;
            EXPECT_EQ(header.substr(0, 2), "\x1f\x8b") << file;
            EXPECT_EQ(header[3] & 0x08, 0) << file << " names its source";
            EXPECT_EQ(header.substr(4, 4), std::string(4, '\0')) << file << " holds a time";
        }
    }

    TEST(Installation, TheDebianPackageHoldsTheFilesUnderUsrAndDeclaresItsDependencies)
    {
        TemporaryFolder packages;
        auto made = run(CPACK_COMMAND,
            { "-G", "DEB", "--config", QString(SORVIK_BUILD_FOLDER) + "/CPackConfig.cmake", "-B",
                QString::fromStdString(packages.path().string()) });
        ASSERT_EQ(made.status, 0) << made.out << made.err;
        fs::path package;
        for (const auto& entry : fs::directory_iterator(packages.path())) {
            if (entry.path().extension() == ".deb")
                package = entry.path();
        }
        ASSERT_FALSE(package.empty()) << made.out;
        auto path = QString::fromStdString(package.string());

        auto contents = run("dpkg-deb", { "--contents", path });
        ASSERT_EQ(contents.status, 0) << contents.err;
        std::set<std::string> listed;
        std::size_t start = 0;
        while (start < contents.out.size()) {
            auto end = contents.out.find('\n', start);
            auto line = contents.out.substr(start, end - start);
            start = end == std::string::npos ? contents.out.size() : end + 1;
            auto name = line.substr(line.rfind(' ') + 1);
            if (!name.ends_with('/'))
                listed.insert(name);
        }
        auto packaged = expectedFiles("./usr/");
        packaged.insert("./usr/share/lintian/overrides/sorvik");
        EXPECT_EQ(listed, packaged);

        auto fields
            = run("dpkg-deb", { "--field", path, "Package", "Version", "Maintainer", "Depends" });
        ASSERT_EQ(fields.status, 0) << fields.err;
        EXPECT_NE(fields.out.find("Package: sorvik\n"), std::string::npos);
        EXPECT_NE(fields.out.find("Version: " SORVIK_PACKAGE_VERSION "\n"), std::string::npos);
        EXPECT_NE(fields.out.find("Maintainer: sorvik developers <developers@sorvik.org>\n"),
            std::string::npos)
            << fields.out;
        for (const char* dependency :
            { "libqt6widgets6", "libsodium23", "libpoppler-cpp0v5", "libexiv2-27", "libtesseract5",
                "libavformat59", "qt6-qpa-plugins", "tesseract-ocr-eng" })
            EXPECT_NE(fields.out.find(dependency), std::string::npos) << dependency << "\n"
                                                                      << fields.out;

        // The private media library needs no ldconfig, and the desktop's caches have triggers
        // of their own: the package runs no script of its own.
        auto control = run("dpkg-deb", { "--info", path });
        ASSERT_EQ(control.status, 0) << control.err;
        for (const char* script : { "preinst", "postinst", "prerm", "postrm" })
            EXPECT_EQ(control.out.find(std::string(" ") + script + " "), std::string::npos)
                << control.out;

        TemporaryFolder unpacked;
        ASSERT_EQ(run("dpkg-deb", { "--extract", path, text(unpacked.path()) }).status, 0);

        // The AppStream metadata, checked with the desktop entry and the icon that it names.
        auto described = run(
            "appstreamcli", { "validate-tree", "--no-net", "--explain", text(unpacked.path()) });
        EXPECT_EQ(described.status, 0) << described.out << described.err;

        // The programs and the module keep no compiler notes. An optimised build is hardened:
        // its programs are position independent, every symbol is bound at start (so that the
        // relocations can be made read-only), and the checked forms of the C library's buffer
        // functions are called.
        for (const char* binary :
            { "usr/bin/sorvik", "usr/bin/nightporter", "usr/lib/sorvik/libsorvik_media.so" }) {
            auto elf = run("readelf",
                { "--wide", "--program-headers", "--section-headers", "--dynamic", "--dyn-syms",
                    text(unpacked / binary) });
            ASSERT_EQ(elf.status, 0) << elf.err;
            EXPECT_EQ(elf.out.find(" .comment "), std::string::npos) << binary;
            if (!hardenedBuild)
                continue;
            EXPECT_NE(elf.out.find("BIND_NOW"), std::string::npos) << binary;
            EXPECT_NE(elf.out.find("GNU_RELRO"), std::string::npos) << binary;
            if (std::string_view(binary).starts_with("usr/bin/")) {
                EXPECT_NE(elf.out.find(" PIE"), std::string::npos) << binary;
            }
            if (std::string_view(binary) != "usr/bin/nightporter") {
                EXPECT_TRUE(elf.out.find("_chk@") != std::string::npos
                    || elf.out.find("__open_2@") != std::string::npos)
                    << binary;
            }
        }
    }

} // namespace
} // namespace sorvik
