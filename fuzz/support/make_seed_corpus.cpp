// Makes the seed corpus of the readers' fuzz targets (fuzz/corpus/<name>/) from the files the
// services tests make: pictures written by Qt and Leptonica with EXIF added by exiv2 and
// exiftool, PDFs written by hand and encrypted by qpdf, audio and video encoded by ffmpeg,
// Word, RTF and plain text documents. Beside each kind of file go the damaged ones readers
// meet: cut short, with bytes flipped, empty, locked, and with sizes that claim far more than
// the file holds.
//
//   sorvik_make_seed_corpus FOLDER          writes the seeds into FOLDER/<name>/
//   sorvik_make_seed_corpus --check FOLDER  makes them in a temporary folder, and fails when
//                                           FOLDER lacks one of them (by name)
//
// Most seeds come out the same on every run; PDFs with 256-bit keys (random salts), the scan
// (its creation date) and the MP3 files do not. Exits with 77 when one of the programs it runs
// (qpdf, ffmpeg, exiftool) is missing.
#include "fuzz/support/seed_corpus.h"

#include "tests/support/temporary_folder.h"

#include <QGuiApplication>

#include <leptonica/allheaders.h>

#include <cstdio>
#include <filesystem>
#include <string_view>

using namespace sorvik;
using namespace sorvik::fuzzing::seeds;
namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    bool isCheck = argc == 3 && std::string_view(argv[1]) == "--check";
    if (argc != 2 && !isCheck) {
        std::fprintf(stderr, "Usage: sorvik_make_seed_corpus [--check] FOLDER\n");
        return 2;
    }
    fs::path root = argv[argc - 1];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::IsolatedHome home;
    QGuiApplication application(argc, argv);
    setMsgSeverity(L_SEVERITY_NONE);

    Corpus corpus;
    Maker maker;
    addPdfs(corpus, maker);
    addPictures(corpus, maker);
    addPicturesOfText(corpus);
    addMedia(corpus, maker);
    addWordDocuments(corpus);
    addRtfDocuments(corpus);
    addPlainText(corpus);

    if (!isCheck) {
        corpus.write(root);
        return 0;
    }
    auto missing = corpus.missingFrom(root);
    for (const auto& name : missing)
        std::fprintf(stderr, "The seed %s is not in %s: make the corpus anew.\n", name.c_str(),
            root.c_str());
    return missing.empty() ? 0 : 1;
}
