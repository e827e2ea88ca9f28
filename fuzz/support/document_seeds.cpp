// The seeds of Word, RTF and plain text documents, and damaged ones.
#include "fuzz/support/seed_corpus.h"

#include "tests/app/services/content_samples.h"

#include <string>

namespace sorvik::fuzzing::seeds {

void addWordDocuments(Corpus& corpus)
{
    auto add
        = [&](const std::string& name, const Bytes& bytes) { corpus.add({ "docx" }, name, bytes); };
    Bytes contract = testing::docxWithBody(testing::wordBody({
        "<w:t>Service contract</w:t>",
        "<w:t xml:space=\"preserve\">between </w:t><w:t>Ana</w:t><w:tab/><w:t>and Bo</w:t>",
        "<w:delText>deleted</w:delText><w:t>Signed</w:t><w:br/><w:t>2024-05-01</w:t>",
        "<w:instrText>PAGE</w:instrText><w:t>&amp; more &#233; &#x1F600;</w:t>",
    }));
    add("contract.docx", contract);
    add("no-body.docx", testing::docxWithBody(""));
    add("not-a-zip.docx", "not a zip archive");
    add("empty.docx", "");
    add("unclosed.docx", testing::docxWithBody("<w:document><w:body><w:p>"));
    add("wrong-namespace.docx",
        testing::docxWithBody("<document><body><p><t>not Word's</t></p></body></document>"));
    add("cut-directory.docx", cut(contract, contract.size() - 10));
    addCutAndFlipped(add, "docx", contract, 12);

    Bytes paragraph;
    for (int index = 0; index < 2000; ++index)
        paragraph += "<w:t>word" + std::to_string(index) + " </w:t>";
    add("one-long-paragraph.docx", testing::docxWithBody(testing::wordBody({ paragraph })));
    Bytes marks = "<w:t>a";
    for (int index = 0; index < 20000; ++index)
        marks += "\xCC\x81"; // U+0301, a combining acute accent
    add("one-long-character.docx",
        testing::docxWithBody(testing::wordBody({ marks + "</w:t>", "<w:t>next</w:t>" })));
    Bytes nested;
    for (int index = 0; index < 5000; ++index)
        nested += "<w:r>";
    add("deep-elements.docx",
        testing::docxWithBody(testing::wordBody({ nested + "<w:t>deep</w:t>" })));
    add("entities.docx",
        testing::docxWithBody("<?xml version=\"1.0\"?><!DOCTYPE d [<!ENTITY a \"aaaaaaaaaa\">"
                              "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">"
                              "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
                              "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>"
                              "<w:document xmlns:w=\"http://schemas.openxmlformats.org/"
                              "wordprocessingml/2006/main\"><w:body><w:p><w:r><w:t>&d;&d;&d;"
                              "</w:t></w:r></w:p></w:body></w:document>"));

    // Sizes that claim far more than the archive holds: every entry's unpacked size, and the
    // directory's count of entries, its size and its place.
    Bytes sizes = contract;
    for (auto position = sizes.find("PK\3\4"); position != Bytes::npos;
         position = sizes.find("PK\3\4", position + 4))
        putLittleEndian(sizes, position + 22, 0xFFFFFFFF, 4);
    for (auto position = sizes.find("PK\1\2"); position != Bytes::npos;
         position = sizes.find("PK\1\2", position + 4))
        putLittleEndian(sizes, position + 24, 0xFFFFFFFF, 4);
    add("unpacked-size-huge.docx", sizes);
    std::size_t end = contract.rfind("PK\5\6");
    Bytes entries = contract;
    putLittleEndian(entries, end + 8, 0xFFFF, 2);
    putLittleEndian(entries, end + 10, 0xFFFF, 2);
    add("entry-count-huge.docx", entries);
    Bytes directory = contract;
    putLittleEndian(directory, end + 12, 0xFFFFFFF0, 4);
    add("directory-size-huge.docx", directory);
    Bytes place = contract;
    putLittleEndian(place, end + 16, 0xFFFFFFF0, 4);
    add("directory-place-beyond.docx", place);
    Bytes name = contract;
    for (auto position = name.find("PK\1\2"); position != Bytes::npos;
         position = name.find("PK\1\2", position + 4))
        putLittleEndian(name, position + 28, 0xFFFF, 2);
    add("name-length-huge.docx", name);
}

void addRtfDocuments(Corpus& corpus)
{
    auto add
        = [&](const std::string& name, const Bytes& bytes) { corpus.add({ "rtf" }, name, bytes); };
    add("letter.rtf",
        "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0 Helvetica;}}{\\colortbl;\\red0\\green0\\blue0;}"
        "{\\info{\\title Secret}}\\f0 Dear Mr L\\'f3pez,\\par Thanks for the invoice\\tab 12\\line "
        "{\\*\\generator Writer;}{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}"
        "\\emdash\\bullet\\ldblquote quoted\\rdblquote\\~\\_}");
    add("unicode.rtf",
        "{\\rtf1 \\u8364?uro {\\uc2\\u8364\\'80\\'80x} \\u-10179?\\u-8704? "
        "\\u-32768?\\u32767?\\u65535?}");
    add("cyrillic.rtf", "{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}");
    add("japanese.rtf", "{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0\\'82\\'a2\\'82}");
    add("code-page-unknown.rtf", "{\\rtf1\\ansi\\ansicpg99999 caf\\'e9\\ansicpg-1 x}");
    add("picture.rtf", "{\\rtf1 Before{\\pict\\pngblip 89504e470d0a1a0a}After\\bin4 {}}}y}");
    add("bin-huge.rtf", "{\\rtf1 x\\bin2147483647 {}}");
    add("bin-negative.rtf", "{\\rtf1 x\\bin-2147483648 y}");
    add("skip-huge.rtf", "{\\rtf1\\uc2147483647\\u8364 text after}");
    add("number-overflow.rtf", "{\\rtf1\\u99999999999999999999 \\ansicpg99999999999999999 x}");
    add("unterminated.rtf", "{\\rtf1 unterminated {\\b bold \\'");
    add("empty.rtf", "");
    add("header-only.rtf", "{\\rtf");
    add("deep-groups.rtf",
        "{\\rtf1 A" + std::string(2000, '{') + "deep" + std::string(2000, '}') + "B}");
    add("unbalanced-groups.rtf",
        "{\\rtf1 A" + std::string(2000, '}') + std::string(2000, '{') + "B");
    Bytes marks = "{\\rtf1 a";
    for (int index = 0; index < 1000; ++index)
        marks += "\\u769?";
    add("one-long-character.rtf", marks + " b}");
    Bytes paragraphs = "{\\rtf1 ";
    for (int index = 0; index < 500; ++index)
        paragraphs += "word\\par ";
    add("many-paragraphs.rtf", paragraphs + "}");
}

void addPlainText(Corpus& corpus)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "plain_text" }, name, bytes);
    };
    add("invoice.txt",
        "Invoice 2024-05-01\nACME Corporation\nTotal due: 12.50 EUR by June 3, "
        "2024.\nFactura recibo contrato el 3 de junio de 2024\n");
    add("utf8.txt",
        "Caf\xC3\xA9 \xE2\x80\x94 na\xC3\xAFve \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC");
    add("invalid-utf8.txt", "Caf\xE9 \xC3 \xED\xA0\x80 \xF4\x90\x80\x80 \xFF\xFE end");
    add("utf16.txt", Bytes("\xFF\xFEI\0n\0v\0o\0i\0c\0e\0", 16));
    add("empty.txt", "");
    add("white-space.txt", " \t\r\n\xC2\xA0\xE2\x80\xA8\xE3\x80\x80");
    Bytes marks = "a";
    for (int index = 0; index < 2000; ++index)
        marks += "\xCC\x81";
    add("one-long-character.txt", marks + " b");
    Bytes dates;
    for (int index = 0; index < 100; ++index)
        dates += "on 2024-" + std::to_string(index % 14) + "-" + std::to_string(index % 33)
            + " and 31/02/2023 or 12.13.2024, ";
    add("dates.txt", dates);
    // Text that reads as a picture too: content extraction tries it as one first.
    add("picture.txt", "P1\n8 2\n0 1 1 0 0 1 1 0\n1 0 0 1 1 0 0 1\n");
    add("picture-huge.txt", "P1\n100000 100000\n0 1 1 0\n");
    add("xpm.txt",
        "/* XPM */\nstatic char *x[] = {\"2 1 2 1\", \"a c #000000\", \"b c #FFFFFF\", "
        "\"ab\"};\n");
}

} // namespace sorvik::fuzzing::seeds
