#include "app/services/content_docx.h"
#include "app/services/content_extractor.h"

#include "engine/model/error.h"
#include "engine/model/regular_file.h"
#include "engine/model/text.h"
#include "tests/app/services/content_samples.h"
#include "tests/app/services/memory_growth.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/app/services/scan_samples.h"
#include "tests/support/temporary_folder.h"

#include <QBuffer>
#include <QImage>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace sorvik {
namespace {

    class FixedClassifier : public ImageClassifier {
    public:
        explicit FixedClassifier(std::vector<ImageLabel> labels)
            : m_labels(std::move(labels))
        {
        }
        std::vector<ImageLabel> classify(const QImage& image) const override
        {
            EXPECT_FALSE(image.isNull());
            ++calls;
            return m_labels;
        }
        mutable int calls = 0;

    private:
        std::vector<ImageLabel> m_labels;
    };

    bool mentions(std::string_view text, std::string_view word)
    {
        return text::contains(text, word, true);
    }

    std::filesystem::path savePicture(
        const testing::TemporaryFolder& folder, std::string_view name, const QImage& picture)
    {
        auto path = folder / name;
        EXPECT_TRUE(picture.save(QString::fromStdString(path.string()), "PNG"));
        return path;
    }

    class ContentExtractorTest : public ::testing::Test {
    protected:
        testing::TemporaryFolder folder;
        FixedClassifier labels { {
            { "document", 0.9f },
            { "paper", 0.31f },
            { "text", 0.3f }, // not above the threshold
            { "screen", 0.8f },
            { "indoor", 0.5f },
            { "furniture", 0.7f },
        } };
    };

    TEST_F(ContentExtractorTest, ReadsTheTextOfAPdf)
    {
        auto path = folder.createFile("letter.pdf",
            testing::pdfWithPages({ "Quarterly report of ACME Corporation for the board",
                "Second page: figures and tables" }));
        Content content = extractContent(path, labels);
        EXPECT_TRUE(mentions(content.text, "Quarterly report of ACME Corporation"));
        EXPECT_TRUE(mentions(content.text, "figures and tables"));
        EXPECT_TRUE(content.labels.empty());
        EXPECT_EQ(labels.calls, 0);
    }

    TEST_F(ContentExtractorTest, ReadsOnlyTheFirstTwoPages)
    {
        std::vector<std::string> pages { "Alpha page with enough text to count as text",
            "Beta page" };
        for (int index = 3; index <= 100; ++index)
            pages.push_back("Gamma page " + std::to_string(index));
        auto path = folder.createFile("long.pdf", testing::pdfWithPages(pages));
        Content content = extractContent(path, labels);
        EXPECT_TRUE(mentions(content.text, "Alpha page"));
        EXPECT_TRUE(mentions(content.text, "Beta page"));
        EXPECT_FALSE(mentions(content.text, "Gamma"));

        auto single = folder.createFile(
            "single.pdf", testing::pdfWithPages({ "Only page of this document, long enough" }));
        EXPECT_TRUE(mentions(extractContent(single, labels).text, "Only page"));
    }

    TEST_F(ContentExtractorTest, TreatsAPdfWithLessThanThirtyCharactersAsAScan)
    {
        // 30 characters of text: the page's own text, no recognition, no labels.
        auto thirty = folder.createFile(
            "thirty.pdf", testing::pdfWithPages({ "Invoice 1234567890123456789012" }));
        Content kept = extractContent(thirty, labels);
        EXPECT_TRUE(mentions(kept.text, "Invoice 1234567890123456789012"));
        EXPECT_TRUE(kept.labels.empty());
        EXPECT_EQ(labels.calls, 0);

        // 29 characters: page 1 is rendered and recognised, and classified.
        auto twentyNine = folder.createFile(
            "twentynine.pdf", testing::pdfWithPages({ "Invoice 123456789012345678901" }));
        Content scanned = extractContent(twentyNine, labels);
        EXPECT_EQ(labels.calls, 1);
        EXPECT_EQ(
            scanned.labels, (std::vector<std::string> { "document", "paper", "screen", "indoor" }));
    }

    TEST_F(ContentExtractorTest, RecognisesTheTextOfAScannedPdf)
    {
        auto path = folder / "scan.pdf";
        testing::writeScannedPdf(
            path, testing::pictureOfText({ "RECIBO DE PAGO", "Ferreteria Lopez", "Total 42" }));
        Content content = extractContent(path);
        EXPECT_TRUE(mentions(content.text, "RECIBO")) << content.text;
        EXPECT_TRUE(mentions(content.text, "Lopez")) << content.text;
        EXPECT_TRUE(content.labels.empty());
    }

    /// A PDF that needs its password to be opened says nothing (poppler crashed on its pages);
    /// one whose owner password only restricts its use is read as any other.
    TEST_F(ContentExtractorTest, ReadsNothingFromALockedPdfAndAllOfARestrictedOne)
    {
        if (!testing::hasQpdf())
            GTEST_SKIP() << "the qpdf program is not available";
        auto plain = folder.createFile("plain.pdf",
            testing::pdfWithPages({ "Invoice for the harbour office", "Paid in full" }));
        const Content expected = extractContent(plain, labels);
        ASSERT_TRUE(mentions(expected.text, "harbour office")) << expected.text;
        for (const auto& lock : testing::pdfLocks()) {
            auto path = folder / lock.name;
            ASSERT_TRUE(testing::encryptPdf(plain, path, lock.encryption)) << lock.name;
            EXPECT_EQ(extractContent(path, labels), lock.needsPassword ? Content {} : expected)
                << lock.name;
        }
        EXPECT_EQ(labels.calls, 0);
    }

    TEST_F(ContentExtractorTest, RecognisesTheTextOfAPicture)
    {
        auto path = savePicture(
            folder, "screenshot.png", testing::pictureOfText({ "Monthly Invoice", "ACME Corp" }));
        Content content = extractContent(path, labels);
        EXPECT_TRUE(mentions(content.text, "Monthly Invoice")) << content.text;
        EXPECT_TRUE(mentions(content.text, "ACME")) << content.text;
        EXPECT_EQ(content.labels.size(), 4u);

        // Transparent parts are paper: black text on a transparent picture is still read.
        auto transparent = savePicture(folder, "transparent.png",
            testing::pictureOfText({ "Contract draft" }, QImage::Format_ARGB32));
        EXPECT_TRUE(mentions(extractContent(transparent).text, "Contract")) << "transparent";
    }

    TEST_F(ContentExtractorTest, ReadsScansThatQtCannotDecode)
    {
        auto path = folder.createFile("scan.tif",
            testing::leptonicaEncoded(
                testing::pictureOfText({ "Scanned Agreement" }), IFF_TIFF_ZIP));
        EXPECT_TRUE(mentions(extractContent(path).text, "Agreement"));
    }

    /// Leptonica takes every component of a JPEG 2000 picture to be as large as the first,
    /// and read past the end of a smaller one: such a picture gives nothing.
    TEST_F(ContentExtractorTest, ReadsJpeg2000ScansWhoseComponentsAreAllWhole)
    {
        std::string scan = testing::leptonicaEncoded(
            testing::pictureOfText({ "Scanned Agreement" }).scaledToWidth(700), IFF_JP2);
        auto whole = folder.createFile("scan.jp2", scan);
        EXPECT_TRUE(mentions(extractContent(whole).text, "Agreement"));

        // The size segment of the codestream: the component count, then depth and horizontal
        // and vertical subsampling of each component.
        auto size = scan.find("\xFF\x4F\xFF\x51");
        ASSERT_NE(size, std::string::npos);
        std::size_t components = size + 4 + 36;
        ASSERT_EQ(scan[components + 1], 3);
        for (std::size_t index = 0; index < 2; ++index) {
            std::string subsampled = scan;
            subsampled[components + 2 + 3 + 1 + index] = '\xFF';
            auto path = folder.createFile("subsampled.jp2", subsampled);
            EXPECT_EQ(extractContent(path, labels), Content {}) << index;
        }
        EXPECT_EQ(labels.calls, 0);
    }

    TEST_F(ContentExtractorTest, GivesAPictureWithoutTextOnlyLabels)
    {
        auto path = savePicture(folder, "photo.jpg", testing::pictureWithoutText());
        Content content = extractContent(path, labels);
        EXPECT_EQ(content.text, "");
        EXPECT_EQ(content.labels.size(), 4u);

        EXPECT_EQ(extractContent(path), Content {}); // no classifier on this platform
    }

    TEST_F(ContentExtractorTest, ReadsAPdfThatIsReallyAPictureAsAPicture)
    {
        auto path = savePicture(folder, "mislabelled.pdf", testing::pictureOfText({ "Receipt" }));
        EXPECT_TRUE(mentions(extractContent(path).text, "Receipt"));
    }

    TEST_F(ContentExtractorTest, ADamagedPictureGivesNothing)
    {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        testing::pictureOfText({ "Cut short" }).save(&buffer, "PNG");
        auto path = folder.createFile("broken.txt", png.left(200).toStdString());
        // It opens as a picture, so it is never read as text.
        EXPECT_EQ(extractContent(path, labels), Content {});

        // Pictures whose decoders took far more memory than the files hold.
        for (const auto& picture : testing::picturesClaimingMore(folder.path())) {
            std::int64_t growth = testing::peakMemoryGrowth(
                [&] { EXPECT_EQ(extractContent(picture, labels), Content {}); });
            EXPECT_GE(growth, 0) << picture << ": the extraction ended the process";
            EXPECT_LT(growth, 64 << 20) << picture;
        }
    }

    /// Drawing an SVG picture's text ended the command line, which has no GUI application;
    /// SVG is none of the picture formats read, whatever the file is named.
    TEST_F(ContentExtractorTest, GivesNothingForSvgPictures)
    {
        const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"900\" "
                                "height=\"200\"><text x=\"20\" y=\"120\" font-size=\"90\">"
                                "Invoice</text></svg>";
        for (auto name : { "drawing.svg", "drawing.txt" }) {
            auto path = folder.createFile(name, svg);
            EXPECT_EQ(extractContent(path, labels), Content {}) << name;
        }
        EXPECT_EQ(labels.calls, 0);
    }

    TEST_F(ContentExtractorTest, ReadsPlainText)
    {
        auto upper = folder.createFile("NOTES.TXT", "Meeting notes\nfor March");
        EXPECT_EQ(extractContent(upper).text, "Meeting notes\nfor March");
        auto invalid = folder.createFile("data.csv", "name;price\nCaf\xE9;3\n");
        EXPECT_EQ(extractContent(invalid).text, "name;price\nCaf\uFFFD;3\n");
        for (auto name : { "a.md", "a.log", "a.json" })
            EXPECT_EQ(extractContent(folder.createFile(name, "{}")).text, "{}") << name;

        // 2,000 characters, each of two code points.
        std::string decomposed;
        for (int index = 0; index < 2500; ++index)
            decomposed += "e\u0301";
        Content cut = extractContent(folder.createFile("long.txt", decomposed));
        EXPECT_EQ(text::characterCount(cut.text), 2000u);
        EXPECT_EQ(cut.text.substr(cut.text.size() - 3), "e\u0301");
    }

    TEST_F(ContentExtractorTest, UnknownFilesHaveNoContent)
    {
        EXPECT_EQ(extractContent(folder.createFile("song.mp3", "ID3 not really")), Content {});
        EXPECT_EQ(extractContent(folder.createFile("noextension", "text")), Content {});
        EXPECT_EQ(extractContent(folder.createFile("fake.pdf", "not a pdf")), Content {});
        EXPECT_EQ(extractContent(folder.createFile(".txt", "hidden, no extension")), Content {});
    }

    TEST_F(ContentExtractorTest, ReadsOnlyRegularFiles)
    {
        auto pipe = folder / "pipe.txt";
        ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        // Would block forever if it were opened for reading as it is.
        EXPECT_THROW(extractContent(pipe), Error);
        auto pdfPipe = folder / "pipe.pdf";
        ASSERT_EQ(mkfifo(pdfPipe.c_str(), 0600), 0);
        EXPECT_EQ(extractContent(pdfPipe), Content {});
        auto directory = folder.createFolder("folder.docx");
        EXPECT_THROW(extractContent(directory), Error);
        try {
            extractContent(folder / "missing.txt");
            ADD_FAILURE();
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(),
                "The file \u201Cmissing.txt\u201D couldn\u2019t be opened: No such file or "
                "directory");
        }
    }

    TEST_F(ContentExtractorTest, FailsWhenATextOrRichDocumentCannotBeRead)
    {
        // Each name leads to /proc/self/mem, a regular file whose start cannot be read.
        for (auto name : { "notes.txt", "letter.rtf" }) {
            auto link = folder / name;
            std::filesystem::create_symlink("/proc/self/mem", link);
            try {
                extractContent(link);
                ADD_FAILURE() << name;
            } catch (const Error& error) {
                EXPECT_EQ(std::string(error.what()),
                    std::string("The file \u201C") + name
                        + "\u201D couldn\u2019t be read: Input/output error");
            }
        }
    }

    TEST_F(ContentExtractorTest, ReadsWordDocuments)
    {
        auto path = folder.createFile("contract.docx",
            testing::docxWithBody(testing::wordBody({
                "<w:t>Service contract</w:t>",
                "<w:t xml:space=\"preserve\">between </w:t><w:t>Ana</w:t><w:tab/><w:t>and "
                "Bo</w:t>",
                "<w:delText>deleted words</w:delText><w:t>Signed</w:t><w:br/><w:t>2024</w:t>",
                "<w:instrText>PAGE</w:instrText><w:t>&amp; more &#233;</w:t>",
            })));
        EXPECT_EQ(extractContent(path).text,
            "Service contract\nbetween Ana\tand Bo\nSigned\n2024\n& more \u00E9\n");

        EXPECT_THROW(extractContent(folder.createFile("plain.docx", "not a zip")), Error);
        EXPECT_THROW(
            extractContent(folder.createFile("nobody.docx", testing::docxWithBody(""))), Error);
        EXPECT_THROW(extractContent(folder.createFile(
                         "bad.docx", testing::docxWithBody("<w:document><w:body><w:p>"))),
            Error);
    }

    TEST_F(ContentExtractorTest, StopsReadingLongWordDocuments)
    {
        std::vector<std::string> paragraphs;
        for (int index = 0; index < 20000; ++index)
            paragraphs.push_back("<w:t>Paragraph number " + std::to_string(index) + "</w:t>");
        auto path
            = folder.createFile("long.docx", testing::docxWithBody(testing::wordBody(paragraphs)));
        Content content = extractContent(path);
        EXPECT_EQ(text::characterCount(content.text), 2000u);
        EXPECT_TRUE(content.text.starts_with("Paragraph number 0\nParagraph number 1\n"));
    }

    /// One paragraph may hold all of a document's text: reading stops inside it too.
    TEST_F(ContentExtractorTest, StopsReadingALongParagraph)
    {
        std::string runs;
        for (int index = 0; index < 100000; ++index)
            runs += "<w:t>word" + std::to_string(index) + " </w:t>";
        auto path = folder.createFile(
            "one-paragraph.docx", testing::docxWithBody(testing::wordBody({ runs })));
        auto file = RegularFile::open(path);
        ASSERT_TRUE(file);
        std::string text = docxPlainText(*file, 2000);
        EXPECT_GT(text::characterCount(text), 2000u);
        EXPECT_LT(text.size(), 100000u);
        EXPECT_TRUE(text.starts_with("word0 word1 "));
    }

    TEST_F(ContentExtractorTest, ReadsRtfDocuments)
    {
        auto path = folder.createFile("letter.RTF",
            "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Helvetica;}}\\f0 Dear Mr L\\'f3pez,\\par "
            "Thanks}");
        EXPECT_EQ(extractContent(path).text, "Dear Mr L\u00F3pez,\nThanks");
        EXPECT_THROW(extractContent(folder.createFile("plain.rtf", "just text")), Error);
    }

} // namespace
} // namespace sorvik
