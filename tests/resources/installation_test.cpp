// Installing: `cmake --install` of this build into a temporary prefix, and the Debian package
// that `cpack -G DEB` makes of it. The installed programs are run from there.
#include "tests/app/services/content_samples.h"
#include "tests/support/temporary_folder.h"

#include <QProcess>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    using testing::IsolatedHome;
    using testing::readFile;
    using testing::TemporaryFolder;
    namespace fs = std::filesystem;

    struct Result {
        int status = -1;
        std::string out;
        std::string err;
    };

    Result run(const QString& program, const QStringList& arguments,
        const fs::path& folder = fs::current_path(),
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(QString::fromStdString(folder.string()));
        process.start(program, arguments);
        Result result;
        if (!process.waitForFinished(120'000)) {
            process.kill();
            process.waitForFinished();
            return result;
        }
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = process.readAllStandardOutput().toStdString();
        result.err = process.readAllStandardError().toStdString();
        return result;
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
            prefix + "share/icons/hicolor/scalable/apps/app.sorvik.mac.svg",
        };
        for (int size : { 16, 22, 24, 32, 48, 64, 128, 256, 512 }) {
            auto folder = std::to_string(size) + "x" + std::to_string(size);
            files.insert(prefix + "share/icons/hicolor/" + folder + "/apps/app.sorvik.mac.png");
        }
        return files;
    }

    TEST(Installation, PutsEveryFileUnderThePrefixAndTheProgramsRunFromThere)
    {
        IsolatedHome home;
        TemporaryFolder prefix;
        auto installed = run(CMAKE_COMMAND,
            { "--install", SORVIK_BUILD_FOLDER, "--prefix",
                QString::fromStdString(prefix.path().string()) });
        ASSERT_EQ(installed.status, 0) << installed.err;
        EXPECT_EQ(filesBelow(prefix.path()), expectedFiles(""));
        for (const char* program : { "bin/sorvik", "bin/nightporter" })
            EXPECT_NE(
                fs::status(prefix / program).permissions() & fs::perms::owner_exec, fs::perms::none)
                << program;

        // The file manager starts sorvik with the files, for presets and common files.
        auto entry = readFile(prefix / "share/applications/app.sorvik.mac.desktop");
        EXPECT_NE(entry.find("\nExec=sorvik %F\n"), std::string::npos);
        EXPECT_NE(entry.find("\nIcon=app.sorvik.mac\n"), std::string::npos);
        EXPECT_NE(
            entry.find("MimeType=application/x-sorvik-preset;image/jpeg;"), std::string::npos);

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
        EXPECT_EQ(listed, expectedFiles("./usr/"));

        auto fields = run("dpkg-deb", { "--field", path, "Package", "Depends" });
        ASSERT_EQ(fields.status, 0) << fields.err;
        EXPECT_NE(fields.out.find("Package: sorvik\n"), std::string::npos);
        for (const char* dependency :
            { "libqt6widgets6", "libsodium23", "libpoppler-cpp0v5", "libexiv2-27", "libtesseract5",
                "libavformat59", "qt6-qpa-plugins", "tesseract-ocr-eng" })
            EXPECT_NE(fields.out.find(dependency), std::string::npos) << dependency << "\n"
                                                                      << fields.out;
    }

} // namespace
} // namespace sorvik
