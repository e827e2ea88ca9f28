// The seeds of PDFs, written by hand and by Qt, encrypted and rewritten by qpdf, and damaged.
#include "fuzz/support/seed_corpus.h"

#include "tests/app/services/content_samples.h"
#include "tests/app/services/metadata_fixtures.h"

#include <QImage>

#include <string>

namespace sorvik::fuzzing::seeds {

void addPdfs(Corpus& corpus, Maker& maker)
{
    auto add = [&](const std::string& name, const Bytes& bytes) {
        corpus.add({ "pdf_metadata", "pdf_pages" }, name, bytes);
    };
    testing::writePdf(maker.path("properties.pdf"), 3,
        { { "Title", "Annual Report" }, { "Author", "Ada" }, { "Subject", "Figures" } });
    Bytes properties = maker.read("properties.pdf");
    Bytes text = maker.written("text.pdf",
        testing::pdfWithPages({ "Invoice 2024-05-01 for the harbour office",
            "Second page: paid in full", "Third page" }));
    testing::writeScannedPdf(maker.path("scan.pdf"), textPicture({ "Receipt", "12.50 EUR" }));
    add("properties.pdf", properties);
    add("text.pdf", text);
    add("scan.pdf", maker.read("scan.pdf"));
    add("empty-text.pdf", testing::pdfWithPages({ "" }));
    add("no-pages.pdf", testing::pdfWithPages({}));

    // Locked by a password needed to open them, and restricted by an owner password only.
    for (const auto& lock : testing::pdfLocks())
        add(lock.name, maker.encrypted("text.pdf", lock.name, lock.encryption));
    add("locked-object-streams.pdf",
        maker.qpdf("text.pdf", "locked-object-streams.pdf",
            { "--object-streams=generate", "--encrypt", "user", "owner", "256", "--" }));

    // Other ways of writing the same documents.
    add("object-streams.pdf",
        maker.qpdf("properties.pdf", "object-streams.pdf", { "--object-streams=generate" }));
    add("linearized.pdf", maker.qpdf("text.pdf", "linearized.pdf", { "--linearize" }));
    add("uncompressed.pdf",
        maker.qpdf("scan.pdf", "uncompressed.pdf", { "--stream-data=uncompress", "--qdf" })
            .substr(0, 8192));

    // Damage.
    add("empty.pdf", "");
    add("header-only.pdf", "%PDF-1.7\n");
    add("cut-before-trailer.pdf", cut(properties, properties.rfind("trailer")));
    addCutAndFlipped(add, "pdf", text, 1);
    add("flipped-locked.pdf", flipped(maker.read(testing::pdfLocks().front().name), 2));
    add("startxref-nowhere.pdf",
        replaced(properties, "startxref\n" + std::to_string(properties.rfind("xref\n0 ")),
            "startxref\n99999999"));
    add("page-count-huge.pdf", replaced(properties, "/Count 3", "/Count 2147483647"));
    add("page-count-negative.pdf", replaced(properties, "/Count 3", "/Count -5"));
    add("stream-length-huge.pdf", replacedAll(text, "/Length ", "/Length 4294967295"));
    add("media-box-huge.pdf", replacedAll(text, "[0 0 612 792]", "[0 0 1e30 1e30]"));
    add("media-box-tiny.pdf", replacedAll(text, "[0 0 612 792]", "[0 0 0.0001 0.0001]"));
    add("media-box-inverted.pdf", replacedAll(text, "[0 0 612 792]", "[612 792 0 0]"));
    add("rotated.pdf", replacedAll(text, "/Type /Page ", "/Type /Page /Rotate 90 "));
    add("pages-loop.pdf", replaced(properties, "/Kids [4 0 R", "/Kids [2 0 R 4 0 R"));
    add("page-parent-loop.pdf", replacedAll(text, "/Parent 2 0 R", "/Parent 4 0 R"));
    add("deep-arrays.pdf",
        replaced(properties, "/Title (Annual Report)",
            "/Title " + std::string(3000, '[') + std::string(3000, ']')));
    add("deep-dictionaries.pdf",
        replaced(text, "/Type /Catalog",
            "/Deep " + std::string(1000, '<') + std::string(1000, '<') + std::string(2000, '>')
                + " /Type /Catalog"));
    add("title-utf16.pdf", replaced(properties, "(Annual Report)", "<FEFF0041D800006E00C9>"));
}

} // namespace sorvik::fuzzing::seeds
