#pragma once

// What the makers of the seeds of each kind of file share: the corpus they add to, the
// damage they do to good files, and the files they make with other programs.

#include "tests/app/services/metadata_fixtures.h"
#include "tests/support/temporary_folder.h"

#include <QImage>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sorvik::fuzzing::seeds {

using Bytes = std::string;

/// Says why a seed cannot be made, and ends the program.
[[noreturn]] void fail(const std::string& message);

/// The seeds, by fuzz target.
class Corpus {
public:
    void add(std::initializer_list<std::string_view> targets, const std::string& name,
        const Bytes& bytes);

    void write(const std::filesystem::path& root) const;

    /// The seeds that `root` lacks, as "target/name".
    std::vector<std::string> missingFrom(const std::filesystem::path& root) const;

private:
    std::map<std::string, std::map<std::string, Bytes>> m_seeds;
};

// Damage.

Bytes cut(const Bytes& bytes, std::size_t length);

/// About one byte in 50 flipped, always the same ones, the first 16 bytes left alone so that
/// the file still reaches the reader of its kind.
Bytes flipped(Bytes bytes, std::uint32_t seed);

std::size_t find(const Bytes& bytes, std::string_view what, std::size_t from = 0);

/// The file cut in half and with bytes flipped, as "cut-half.<extension>" and
/// "flipped.<extension>".
template <class Add>
void addCutAndFlipped(
    const Add& add, const std::string& extension, const Bytes& bytes, std::uint32_t seed)
{
    add("cut-half." + extension, cut(bytes, bytes.size() / 2));
    add("flipped." + extension, flipped(bytes, seed));
}

Bytes replaced(Bytes bytes, std::string_view from, std::string_view to);

Bytes replacedAll(Bytes bytes, std::string_view from, std::string_view to);

void putBigEndian(Bytes& bytes, std::size_t offset, std::uint64_t value, int length);

void putLittleEndian(Bytes& bytes, std::size_t offset, std::uint64_t value, int length);

/// A field of a file's header to overwrite: where, with what, in how many bytes and in
/// which order.
enum class ByteOrder { bigEndian, littleEndian };
inline constexpr auto little = ByteOrder::littleEndian;

struct Field {
    std::size_t offset;
    std::uint64_t value;
    int length;
    ByteOrder order = ByteOrder::bigEndian;
};

Bytes patched(Bytes bytes, std::initializer_list<Field> fields);

// Making files.

/// Files made in a folder of its own by the programs that write them; a program that is not
/// installed ends the whole run with 77.
class Maker {
public:
    Maker();

    std::filesystem::path path(const std::string& name) const { return m_folder / name; }

    Bytes read(const std::string& name) const;

    Bytes written(const std::string& name, const Bytes& bytes) const;

    void run(const char* program, const QStringList& arguments) const;

    /// The output of ffmpeg from a generated source, with the same bytes on every run.
    Bytes ffmpeg(const std::string& name, const QStringList& arguments) const;

    Bytes encrypted(const std::string& source, const std::string& name,
        const testing::PdfEncryption& encryption) const;

    Bytes qpdf(const std::string& source, const std::string& name, QStringList options) const;

    /// `bytes` compressed by the gzip program.
    Bytes gzipped(const std::string& name, const Bytes& bytes) const;

    Bytes withExiftool(const std::string& name, const QStringList& tags) const;

private:
    testing::TemporaryFolder m_folder;
};

Bytes encoded(const QImage& image, const char* format);

QImage textPicture(const QStringList& lines, QImage::Format format = QImage::Format_RGB32);

// The seeds of each kind of file.

/// PDFs: for the properties reader and the pages reader alike.
void addPdfs(Corpus& corpus, Maker& maker);
/// Pictures: image properties, thumbnails, and text recognition.
void addPictures(Corpus& corpus, Maker& maker);
/// Pictures with text, for thumbnails and for text recognition.
void addPicturesOfText(Corpus& corpus);
/// Audio and video.
void addMedia(Corpus& corpus, Maker& maker);
/// Word documents.
void addWordDocuments(Corpus& corpus);
void addRtfDocuments(Corpus& corpus);
void addPlainText(Corpus& corpus);

} // namespace sorvik::fuzzing::seeds
