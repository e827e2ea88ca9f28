#include "app/services/ai_service.h"

#include "app/services/ai_cache_key.h"
#include "engine/model/json.h"
#include "engine/model/text.h"
#include "tests/app/services/content_samples.h"
#include "tests/support/temporary_folder.h"

#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    /// A language model that answers what it is told to and remembers what it was asked.
    class FakeModel : public LanguageModel {
    public:
        struct State {
            bool isAvailable = true;
            std::optional<GeneratedFileName> answer; // none: the request fails
            int requests = 0;
            std::string instructions;
            std::string prompt;
        };

        explicit FakeModel(std::shared_ptr<State> state)
            : m_state(std::move(state))
        {
        }

        bool isAvailable() const override { return m_state->isAvailable; }

        GeneratedFileName generateFileName(
            std::string_view instructions, std::string_view prompt) override
        {
            ++m_state->requests;
            m_state->instructions = instructions;
            m_state->prompt = prompt;
            if (!m_state->answer)
                throw std::runtime_error("the model gave up");
            return *m_state->answer;
        }

    private:
        std::shared_ptr<State> m_state;
    };

    class FixedClassifier : public ImageClassifier {
    public:
        std::vector<ImageLabel> classify(const QImage&) const override
        {
            return { { "beach", 0.9f }, { "sky", 0.8f }, { "ocean", 0.7f } };
        }
    };

    FileItem itemAt(const std::filesystem::path& path, double unixTime = 1700000000.0)
    {
        std::int64_t size = std::filesystem::is_regular_file(path)
            ? static_cast<std::int64_t>(std::filesystem::file_size(path))
            : 0;
        return FileItem(FileURL(path.string()), true, Date::fromUnixSeconds(unixTime),
            Date::fromUnixSeconds(unixTime), size, 0);
    }

    class AIServiceTest : public ::testing::Test {
    protected:
        AIService makeService() { return AIService(std::make_unique<FakeModel>(model)); }

        testing::IsolatedHome home;
        testing::TemporaryFolder folder;
        std::shared_ptr<FakeModel::State> model = std::make_shared<FakeModel::State>();
    };

    TEST(AICacheKey, JoinsHashSizeTimeAndSettings)
    {
        EXPECT_EQ(
            sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
        EXPECT_EQ(
            sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

        FileItem item(
            FileURL("/tmp/a.pdf"), true, Date {}, Date::fromUnixSeconds(1700000000.0), 1234, 0);
        EXPECT_EQ(aiCacheKey("HASH", item, AIMode::documents, 6, true),
            "v1|HASH|1234|1700000000.0|documents|6|true");
        item.modified = Date::fromUnixSeconds(1700000000.25);
        EXPECT_EQ(aiCacheKey("HASH", item, AIMode::photos, 0, false),
            "v1|HASH|1234|1700000000.25|photos|0|false");
        EXPECT_EQ(aiCacheKey("HASH", item, AIMode::smart, 40, false),
            "v1|HASH|1234|1700000000.25|smart|40|false");

        const std::pair<double, std::string_view> times[] = {
            { 0.0, "0.0" },
            { -0.5, "-0.5" },
            { 1700000000.123456, "1700000000.123456" },
            { 0.1, "0.1" },
            { 978307200.0, "978307200.0" },
        };
        for (const auto& [value, text] : times)
            EXPECT_EQ(shortestDecimalText(value), text);
    }

    TEST(GeneratedFileName, ConvertsFromGeneratedContentStrictly)
    {
        GeneratedFileName name { "Title", "Invoice", "2024-03-15", "ACME" };
        nlohmann::json content = name;
        EXPECT_EQ(content.get<GeneratedFileName>(), name);
        content.erase("party");
        EXPECT_THROW(content.get<GeneratedFileName>(), json::DecodeError);
        EXPECT_EQ(GeneratedFileName::schema[0].property, "title");
        EXPECT_EQ(GeneratedFileName::schema[3].guide,
            "Company or person explicitly named in the content, or empty");
    }

    TEST(FileNamePrompt, ClampsTheWordLimitAndListsLabels)
    {
        EXPECT_EQ(fileNamePrompt::prompt(AIMode::documents, 6, "hello", {}),
            "Mode: documents. Maximum title words: 6. Content: hello\nImage labels: ");
        EXPECT_EQ(fileNamePrompt::prompt(AIMode::photos, 0, "", { "beach", "sky" }),
            "Mode: photos. Maximum title words: 1. Content: \nImage labels: beach, sky");
        std::string longText(5000, 'x');
        auto prompt = fileNamePrompt::prompt(AIMode::smart, 40, longText, {});
        EXPECT_TRUE(prompt.starts_with("Mode: smart. Maximum title words: 12. Content: "));
        EXPECT_EQ(prompt.substr(prompt.find("Content: ")),
            "Content: " + std::string(2000, 'x') + "\nImage labels: ");
    }

    TEST_F(AIServiceTest, AsksTheModelOnceAndThenUsesTheCache)
    {
        model->answer = GeneratedFileName { "Invoice: ACME/Berlin", "Tax invoice copy one",
            "2024-03-15", "ACME Holding Group of Berlin" };
        auto path = folder.createFile("scan.txt", "Invoice from ACME Berlin");
        AIService service = makeService();

        auto first = service.metadata(itemAt(path), AIMode::documents, 6, true);
        EXPECT_EQ(first,
            (MetadataDictionary { { "ai.title", "Invoice ACME Berlin" },
                { "ai.type", "Tax invoice copy" }, { "ai.date", "2024-03-15" },
                { "ai.party", "ACME Holding Group of" }, { "ai.engine", "On-device AI" } }));
        EXPECT_EQ(model->requests, 1);
        EXPECT_EQ(model->instructions, fileNamePrompt::instructions);
        EXPECT_EQ(model->prompt,
            "Mode: documents. Maximum title words: 6. Content: Invoice from ACME Berlin\nImage "
            "labels: ");

        EXPECT_EQ(service.metadata(itemAt(path), AIMode::documents, 6, true), first);
        EXPECT_EQ(model->requests, 1);

        // Any of the three settings makes a new key, and so a new request.
        service.metadata(itemAt(path), AIMode::documents, 6, false);
        EXPECT_EQ(model->requests, 2);
        service.metadata(itemAt(path), AIMode::smart, 6, false);
        service.metadata(itemAt(path), AIMode::smart, 7, false);
        EXPECT_EQ(model->requests, 4);
        // So does a new modification time.
        service.metadata(itemAt(path, 1700000001.0), AIMode::documents, 6, true);
        EXPECT_EQ(model->requests, 5);
    }

    TEST_F(AIServiceTest, HashesOnlyTheFirstMebibyte)
    {
        model->answer = GeneratedFileName { "Log", "Document", "", "" };
        std::string start(aiCacheKeyPrefixBytes, 'a');
        auto first = folder.createFile("one.log", start + "tail one");
        auto second = folder.createFile("two.log", start + "tail two");
        AIService service = makeService();
        service.metadata(itemAt(first), AIMode::smart, 6, true);
        service.metadata(itemAt(second), AIMode::smart, 6, true);
        EXPECT_EQ(model->requests, 1);

        auto shorter = folder.createFile("three.log", start.substr(1) + "b");
        service.metadata(itemAt(shorter), AIMode::smart, 6, true);
        EXPECT_EQ(model->requests, 2);
    }

    TEST_F(AIServiceTest, AFileRewrittenInPlaceIsHashedAgain)
    {
        model->answer = GeneratedFileName { "Letter", "Document", "", "" };
        auto path = folder.createFile("letter.txt", "first text", 1700000000.0);
        AIService service = makeService();
        service.metadata(itemAt(path), AIMode::smart, 6, true);
        service.metadata(itemAt(path), AIMode::smart, 6, true);
        EXPECT_EQ(model->requests, 1);

        // Same size and the same modification time set back: only the content differs.
        folder.createFile("letter.txt", "other text", 1700000000.0);
        service.metadata(itemAt(path), AIMode::smart, 6, true);
        EXPECT_EQ(model->requests, 2);
    }

    TEST_F(AIServiceTest, CleansTheModelTitleToTheWordLimit)
    {
        model->answer = GeneratedFileName { "one two three four five six seven eight nine ten "
                                            "eleven twelve thirteen fourteen",
            "", "", "" };
        auto path = folder.createFile("notes.md", "some notes");
        AIService service = makeService();

        auto one = service.metadata(itemAt(path), AIMode::smart, 0, true);
        EXPECT_EQ(one["ai.title"], "one");
        EXPECT_TRUE(model->prompt.starts_with("Mode: smart. Maximum title words: 1. "));

        auto twelve = service.metadata(itemAt(path), AIMode::smart, 40, true);
        EXPECT_EQ(
            twelve["ai.title"], "one two three four five six seven eight nine ten eleven twelve");
        EXPECT_TRUE(model->prompt.starts_with("Mode: smart. Maximum title words: 12. "));
    }

    TEST_F(AIServiceTest, AnEmptyModelTitleIsAnErrorThatIsNotCached)
    {
        model->answer = GeneratedFileName { " / : ", "Invoice", "", "" };
        auto path = folder.createFile("notes.txt", "Some notes worth naming");
        AIService service = makeService();
        auto answer = service.metadata(itemAt(path), AIMode::documents, 6, true);
        EXPECT_EQ(answer,
            (MetadataDictionary {
                { "ai.error", "No readable content or recognizable subject was found." } }));
        service.metadata(itemAt(path), AIMode::documents, 6, true);
        EXPECT_EQ(model->requests, 2);
    }

    TEST_F(AIServiceTest, FallsBackOnTheHeuristicWhenTheModelFailsOrIsMissing)
    {
        auto path = folder.createFile("receipt.txt", "Recibo de compra 25/03/2024 Ferreteria");
        AIService service = makeService();
        auto failed = service.metadata(itemAt(path), AIMode::documents, 6, true);
        EXPECT_EQ(model->requests, 1);
        EXPECT_EQ(failed,
            (MetadataDictionary { { "ai.title", "Recibo compra 2024 Ferreteria" },
                { "ai.type", "Receipt" }, { "ai.date", "2024-03-25" }, { "ai.party", "" },
                { "ai.engine", "Basic AI" } }))
            << failed["ai.date"];

        model->isAvailable = false;
        auto missing = service.metadata(itemAt(path), AIMode::photos, 6, true);
        EXPECT_EQ(model->requests, 1);
        EXPECT_EQ(missing["ai.engine"], "Basic AI");
        EXPECT_EQ(missing["ai.type"], "Receipt");
    }

    TEST_F(AIServiceTest, NamesAScannedReceiptWithoutAModel)
    {
        auto path = folder / "IMG_0042.png";
        ASSERT_TRUE(testing::pictureOfText({ "RECIBO", "Panaderia Central", "Total 12,50" })
                        .save(QString::fromStdString(path.string()), "PNG"));
        AIService service(LanguageModel::platformDefault());
        auto answer = service.metadata(itemAt(path), AIMode::smart, 6, true);
        EXPECT_EQ(answer["ai.type"], "Receipt");
        EXPECT_EQ(answer["ai.engine"], "Basic AI");
        EXPECT_TRUE(text::contains(answer["ai.title"], "Panaderia", true)) << answer["ai.title"];
    }

    TEST_F(AIServiceTest, APhotoWithoutTextHasNoContentWithoutAClassifier)
    {
        auto path = folder / "beach.jpg";
        ASSERT_TRUE(testing::pictureWithoutText().save(QString::fromStdString(path.string())));
        AIService plain(LanguageModel::platformDefault());
        EXPECT_EQ(plain.metadata(itemAt(path), AIMode::photos, 6, true),
            (MetadataDictionary {
                { "ai.error", "No readable content or recognizable subject was found." } }));

        // With labels, the labels are the title.
        FixedClassifier classifier;
        AIService labelled(LanguageModel::platformDefault(), classifier);
        EXPECT_EQ(labelled.metadata(itemAt(path), AIMode::photos, 2, true),
            (MetadataDictionary { { "ai.title", "beach sky" }, { "ai.type", "Photo" },
                { "ai.date", "" }, { "ai.party", "" }, { "ai.engine", "Basic AI" } }));
    }

    TEST_F(AIServiceTest, UnreadableFilesGiveTheReason)
    {
        model->answer = GeneratedFileName { "Title", "", "", "" };
        AIService service = makeService();
        auto missing = service.metadata(itemAt(folder / "gone.pdf"), AIMode::smart, 6, true);
        EXPECT_EQ(missing,
            (MetadataDictionary { { "ai.error",
                "The file \u201Cgone.pdf\u201D couldn\u2019t be opened: No such file or "
                "directory" } }));

        auto pipe = folder / "pipe.txt";
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        EXPECT_EQ(service.metadata(itemAt(pipe), AIMode::smart, 6, true)["ai.error"],
            "The file \u201Cpipe.txt\u201D couldn\u2019t be opened: Not a regular file");

        auto directory = folder.createFolder("Folder.txt");
        EXPECT_EQ(service.metadata(itemAt(directory), AIMode::smart, 6, true)["ai.error"],
            "The file \u201CFolder.txt\u201D couldn\u2019t be opened: Is a directory");

        auto broken = folder.createFile("broken.docx", "not a zip archive");
        EXPECT_EQ(service.metadata(itemAt(broken), AIMode::smart, 6, true),
            (MetadataDictionary { { "ai.error",
                "The document could not be read: it is not a valid Word document." } }));

        // A file that opens but cannot be read (the start of this process's memory).
        auto unreadable = folder / "memory.pdf";
        std::filesystem::create_symlink("/proc/self/mem", unreadable);
        EXPECT_EQ(service.metadata(itemAt(unreadable), AIMode::smart, 6, true),
            (MetadataDictionary { { "ai.error",
                "The file \u201Cmemory.pdf\u201D couldn\u2019t be read: Input/output "
                "error" } }));

        EXPECT_EQ(model->requests, 0);

        // Without a model, a file with no content has nothing to name it by.
        model->isAvailable = false;
        auto unknown = folder.createFile("song.mp3", "ID3");
        EXPECT_EQ(service.metadata(itemAt(unknown), AIMode::smart, 6, true)["ai.error"],
            AIService::noContentMessage);
    }

    TEST_F(AIServiceTest, ACancelledRequestAnswersNothing)
    {
        model->answer = GeneratedFileName { "Title", "", "", "" };
        auto path = folder.createFile("a.txt", "Some text");
        AIService service = makeService();
        std::stop_source stop;
        stop.request_stop();
        EXPECT_EQ(service.metadata(itemAt(path), AIMode::smart, 6, true, stop.get_token()),
            MetadataDictionary {});
        EXPECT_EQ(model->requests, 0);
        service.metadata(itemAt(path), AIMode::smart, 6, true);
        EXPECT_EQ(model->requests, 1); // nothing was cached
    }

    TEST_F(AIServiceTest, TakesCallsFromSeveralThreadsOneAtATime)
    {
        std::vector<std::filesystem::path> paths;
        for (int index = 0; index < 8; ++index)
            paths.push_back(folder.createFile("note" + std::to_string(index) + ".txt",
                "Meeting note number " + std::to_string(index)));
        AIService service(LanguageModel::platformDefault());
        std::atomic<int> answered = 0;
        std::vector<std::jthread> threads;
        for (const auto& path : paths) {
            threads.emplace_back([&, path] {
                auto answer = service.metadata(itemAt(path), AIMode::smart, 6, true);
                if (answer["ai.title"].starts_with("Meeting note number"))
                    ++answered;
            });
        }
        threads.clear();
        EXPECT_EQ(answered, 8);
    }

    TEST_F(AIServiceTest, KeepsItsAnswersInTheCacheFile)
    {
        model->answer = GeneratedFileName { "Lease agreement", "Contract", "", "Ana" };
        auto path = folder.createFile("lease.txt", "Lease agreement between Ana and Bo");
        auto key = aiCacheKey(
            sha256Hex(testing::readFile(path)), itemAt(path), AIMode::documents, 6, true);
        {
            AIService service = makeService();
            service.metadata(itemAt(path), AIMode::documents, 6, true);
        }
        auto stored = json::parse(testing::readFile(home.dataFolder() / "sorvik/ai-cache.json"));
        EXPECT_EQ(stored,
            nlohmann::json::parse(R"({")" + key
                + R"(": {"ai.date": "", "ai.engine": "On-device AI", "ai.party": "Ana",
                   "ai.title": "Lease agreement", "ai.type": "Contract"}})"));

        // A new service reads the file: no new request, and a changed stored answer is what
        // comes back.
        stored[key]["ai.title"] = "From the cache";
        std::ofstream(home.dataFolder() / "sorvik/ai-cache.json") << stored.dump();
        AIService reloaded = makeService();
        EXPECT_EQ(reloaded.metadata(itemAt(path), AIMode::documents, 6, true)["ai.title"],
            "From the cache");
        EXPECT_EQ(model->requests, 1);
    }

    TEST_F(AIServiceTest, StartsAfreshWhenTheCacheFileIsDamaged)
    {
        model->answer = GeneratedFileName { "Title", "", "", "" };
        auto path = folder.createFile("a.txt", "Some text");
        std::filesystem::create_directories(home.dataFolder() / "sorvik");
        for (auto damaged : { "{ not json", "[1, 2]", R"({"key": {"ai.title": 5}})" }) {
            std::ofstream(home.dataFolder() / "sorvik/ai-cache.json") << damaged;
            AIService service = makeService();
            EXPECT_EQ(service.metadata(itemAt(path), AIMode::smart, 6, true)["ai.title"], "Title");
        }
        EXPECT_EQ(model->requests, 3);
    }

    TEST_F(AIServiceTest, AnswersEvenWhenTheCacheCannotBeSaved)
    {
        model->answer = GeneratedFileName { "Title", "", "", "" };
        auto path = folder.createFile("a.txt", "Some text");
        // A folder where the file should be: the atomic replacement fails.
        std::filesystem::create_directories(home.dataFolder() / "sorvik/ai-cache.json/inside");
        AIService service = makeService();
        EXPECT_EQ(service.metadata(itemAt(path), AIMode::smart, 6, true)["ai.title"], "Title");
        // The answer is still kept in memory for this run.
        EXPECT_EQ(service.metadata(itemAt(path), AIMode::smart, 6, true)["ai.title"], "Title");
        EXPECT_EQ(model->requests, 1);
    }

    TEST(AIServiceShared, IsOneInstance) { EXPECT_EQ(&AIService::shared(), &AIService::shared()); }

} // namespace
} // namespace sorvik
