#include "engine/model/file_item.h"
#include "engine/model/json.h"
#include "engine/model/rename_options.h"

#include <functional>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    FileItem fileAt(std::string path, bool isDirectory = false)
    {
        FileItem item(FileURL(path, isDirectory), true, Date {}, Date {}, 0, 0);
        item.isDirectory = isDirectory;
        return item;
    }

    TEST(FileItem, ExtensionAndBaseName)
    {
        struct Case {
            const char* name;
            bool isDirectory;
            const char* ext;
            const char* baseName;
        };
        const Case cases[] = {
            { "photo.jpg", false, "jpg", "photo" }, { "Photo.JPG", false, "JPG", "Photo" },
            { "archive.tar.gz", false, "gz", "archive.tar" }, { "notes", false, "", "notes" },
            { ".hidden", false, "", ".hidden" }, { ".hidden.txt", false, "txt", ".hidden" },
            { "report.", false, "", "report." }, { "Trip.2024", true, "", "Trip.2024" },
            { "Album.jpg", true, "", "Album.jpg" }, { ".", false, "", "." },
            { "..", false, "", ".." },
            { "a.\xCC\x81", false, "",
                "a.\xCC\x81" }, // the dot carries a combining mark: not a dot
            { "caf\xC3\xA9.t\xC3\xA9xt", false, "t\xC3\xA9xt", "caf\xC3\xA9" },
            { "raw\xFF.bin", false, "bin", "raw\xFF" }, // bytes that are not UTF-8 still split
        };
        for (const auto& entry : cases) {
            FileItem item = fileAt(std::string("/folder/") + entry.name, entry.isDirectory);
            EXPECT_EQ(item.ext(), entry.ext) << entry.name;
            EXPECT_EQ(item.baseName(), entry.baseName) << entry.name;
            EXPECT_EQ(item.name(), entry.name);
            EXPECT_EQ(item.folderURL(), FileURL("/folder", true));
        }
    }

    TEST(FileItem, IdentityAndEquality)
    {
        FileItem first = fileAt("/a/b.txt");
        FileItem second = fileAt("/a/b.txt");
        EXPECT_NE(first.id, second.id);
        EXPECT_NE(first, second);
        FileItem moved = first;
        EXPECT_EQ(moved, first);
        EXPECT_EQ(std::hash<FileItem> {}(moved), std::hash<FileItem> {}(first));
        moved.url = FileURL("/a/c.txt");
        EXPECT_NE(moved, first);
        FileItem paired = first;
        paired.pairGroup = Uuid::random();
        EXPECT_NE(paired, first);
    }

    TEST(RenameStatus, EqualityComparesCaseAndReason)
    {
        EXPECT_EQ(
            RenameStatus::conflict("Duplicate name"), RenameStatus::conflict("Duplicate name"));
        EXPECT_NE(
            RenameStatus::conflict("Duplicate name"), RenameStatus::conflict("duplicate name"));
        EXPECT_NE(
            RenameStatus::conflict("Duplicate name"), RenameStatus::invalid("Duplicate name"));
        EXPECT_EQ(RenameStatus::ready(), RenameStatus::ready());
        for (auto status : { RenameStatus::needsAccess(), RenameStatus::skipped(),
                 RenameStatus::unchanged(), RenameStatus::ready() })
            EXPECT_FALSE(status.isProblem());
        EXPECT_TRUE(RenameStatus::conflict("x").isProblem());
        EXPECT_TRUE(RenameStatus::invalid("x").isProblem());
    }

    TEST(PreviewRow, TargetDefaultsToTheItemsFolderAndTheNewName)
    {
        FileItem item = fileAt("/photos/a.jpg");
        PreviewRow row(item, "b.jpg", RenameStatus::ready());
        EXPECT_EQ(row.targetURL, FileURL("/photos/b.jpg"));
        EXPECT_EQ(row.id(), item.id);
        PreviewRow organized(item, "b.jpg", RenameStatus::ready(), FileURL("/photos/2024/b.jpg"));
        EXPECT_EQ(organized.targetURL, FileURL("/photos/2024/b.jpg"));
        EXPECT_EQ(organized.id(), row.id());
        EXPECT_EQ(RenameCoreVersion::current, 1);
    }

    nlohmann::json defaultOptionsJson()
    {
        nlohmann::json value = RenameOptions {};
        return value;
    }

    TEST(RenameOptions, DefaultsRoundTripAndAreDefault)
    {
        auto value = defaultOptionsJson();
        EXPECT_EQ(value.size(), 29u);
        EXPECT_EQ(value["caseStyle"], "Keep as is");
        EXPECT_EQ(value["numberPlacement"], "After name");
        EXPECT_EQ(value["dateSource"], "Off");
        EXPECT_EQ(value["extMode"], "Keep");
        RenameOptions read = json::parse(json::serialize(value)).get<RenameOptions>();
        EXPECT_EQ(read, RenameOptions {});
        EXPECT_TRUE(read.isDefault());

        RenameOptions changed;
        changed.numberPadding = 4;
        EXPECT_FALSE(changed.isDefault());
        changed = {};
        changed.dateSeparator = "-";
        EXPECT_FALSE(changed.isDefault());
        changed = {};
        changed.caseSensitive = true;
        EXPECT_NE(changed, RenameOptions {});
    }

    TEST(RenameOptions, EveryFieldRoundTrips)
    {
        RenameOptions options;
        options.find = "a/b";
        options.replaceWith = "$1";
        options.useRegex = true;
        options.caseSensitive = true;
        options.removeFirst = -3;
        options.removeLast = 9;
        options.removeWeird = options.stripAccents = options.removeDigits = options.removeBrackets
            = options.tidy = true;
        options.caseStyle = CaseStyle::kebab;
        options.spaceMode = SpaceMode::dot;
        options.prefix = "p";
        options.suffix = "s";
        options.numberOn = true;
        options.numberPlacement = NumberPlacement::replace;
        options.numberStart = INT64_MIN;
        options.numberStep = INT64_MAX;
        options.numberPadding = 0;
        options.numberSeparator = "";
        options.numberBaseText = "Img";
        options.numberPerFolder = true;
        options.dateSource = DateSource::today;
        options.dateFormat = "EEEE";
        options.datePlacement = Placement::suffix;
        options.dateSeparator = " ";
        options.extMode = ExtMode::change;
        options.newExt = "\xC3\xA9";
        nlohmann::json value = options;
        EXPECT_EQ(value["extMode"], "Change to\xE2\x80\xA6");
        EXPECT_EQ(json::parse(json::serialize(value)).get<RenameOptions>(), options);
    }

    TEST(RenameOptions, DecodingIsStrict)
    {
        struct Case {
            const char* key;
            nlohmann::json value; // null here means: remove the key
            bool decodes;
        };
        const Case cases[] = {
            { "newExt", nullptr, false },
            { "extraKey", 1, true },
            { "caseStyle", "Keep as is", true },
            { "caseStyle", "keep as is", false },
            { "caseStyle", "keep", false },
            { "caseStyle", "Keep", false },
            { "extMode", "Change to\xE2\x80\xA6", true },
            { "extMode", "Change to...", false },
            { "sort", "Name", true },
            { "numberStart", 1.5, false },
            { "numberStart", true, false },
            { "numberStart", "1", false },
            { "useRegex", 0, false },
            { "find", 3, false },
            { "spaceMode", "Use _", true },
            { "datePlacement", "Replace name", false },
            { "numberPlacement", "Replace name", true },
        };
        for (const auto& entry : cases) {
            auto value = defaultOptionsJson();
            if (entry.value.is_null())
                value.erase(entry.key);
            else
                value[entry.key] = entry.value;
            if (entry.decodes)
                EXPECT_NO_THROW(value.get<RenameOptions>()) << entry.key;
            else
                EXPECT_THROW(value.get<RenameOptions>(), json::DecodeError)
                    << entry.key << " " << entry.value;
        }
        auto withNull = defaultOptionsJson();
        withNull["prefix"] = nullptr;
        EXPECT_THROW(withNull.get<RenameOptions>(), json::DecodeError);
    }

    TEST(RenameOptions, HashAgreesWithEqualityOverEveryField)
    {
        std::hash<RenameOptions> hash;
        RenameOptions first;
        RenameOptions second;
        second.numberPadding = 3;
        EXPECT_EQ(hash(first), hash(second));

        const std::function<void(RenameOptions&)> changes[] = {
            [](RenameOptions& o) { o.find = "a"; },
            [](RenameOptions& o) { o.caseSensitive = true; },
            [](RenameOptions& o) { o.removeLast = 1; },
            [](RenameOptions& o) { o.caseStyle = CaseStyle::title; },
            [](RenameOptions& o) { o.numberPadding = 4; },
            [](RenameOptions& o) { o.dateSeparator = "-"; },
            [](RenameOptions& o) { o.extMode = ExtMode::remove; },
            [](RenameOptions& o) { o.newExt = "x"; },
        };
        for (std::size_t index = 0; index < std::size(changes); ++index) {
            RenameOptions changed;
            changes[index](changed);
            EXPECT_NE(hash(changed), hash(first)) << index;
        }
        // Fields are fed in order: the same text in two neighbouring fields hashes apart.
        RenameOptions prefixed;
        prefixed.prefix = "x";
        RenameOptions suffixed;
        suffixed.suffix = "x";
        EXPECT_NE(hash(prefixed), hash(suffixed));
    }

    TEST(OptionEnumerations, RawValuesAndCases)
    {
        auto sources = allCases<DateSource>();
        ASSERT_EQ(sources.size(), 4u);
        EXPECT_EQ(sources[0], DateSource::none);
        EXPECT_EQ(sources[3], DateSource::today);
        EXPECT_EQ(rawValue(sources[0]), "Off");
        EXPECT_EQ(optionFromRawValue<CaseStyle>("Keep as is"), CaseStyle::keep);
        EXPECT_FALSE(optionFromRawValue<CaseStyle>("Keep"));
        EXPECT_EQ(optionFromRawValue<SpaceMode>("Keep"), SpaceMode::keep);
        EXPECT_EQ(optionFromRawValue<SortKey>("Date created"), SortKey::created);
        EXPECT_EQ(optionFromRawValue<DateSource>("Date created"), DateSource::created);
        EXPECT_EQ(allCases<CaseStyle>().size(), 8u);
        EXPECT_EQ(allCases<ExtMode>().size(), 5u);
        EXPECT_THROW(nlohmann::json("Size ").get<SortKey>(), json::DecodeError);
        EXPECT_EQ(nlohmann::json("Size").get<SortKey>(), SortKey::size);
    }

} // namespace
} // namespace sorvik
