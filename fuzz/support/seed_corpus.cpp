#include "fuzz/support/seed_corpus.h"

#include "tests/app/services/content_samples.h"
#include "tests/app/services/metadata_fixtures.h"
#include "tests/support/temporary_folder.h"

#include <QBuffer>
#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace sorvik::fuzzing::seeds {

namespace fs = std::filesystem;

namespace {

    // Seeds stay small: the fuzzer mutates small inputs fastest, and the corpus lives in git.
    constexpr std::size_t largestSeed = 24 * 1024;

} // namespace

void fail(const std::string& message)
{
    std::fprintf(stderr, "sorvik_make_seed_corpus: %s\n", message.c_str());
    std::exit(1);
}

void Corpus::add(
    std::initializer_list<std::string_view> targets, const std::string& name, const Bytes& bytes)
{
    if (bytes.size() > largestSeed)
        fail(name + " is too large for a seed: " + std::to_string(bytes.size()) + " bytes");
    for (auto target : targets) {
        if (!m_seeds[std::string(target)].emplace(name, bytes).second)
            fail(name + " is made twice for " + std::string(target));
    }
}

void Corpus::write(const fs::path& root) const
{
    for (const auto& [target, seeds] : m_seeds) {
        fs::create_directories(root / target);
        for (const auto& [name, bytes] : seeds)
            std::ofstream(root / target / name, std::ios::binary) << bytes;
    }
}

std::vector<std::string> Corpus::missingFrom(const fs::path& root) const
{
    std::vector<std::string> missing;
    for (const auto& [target, seeds] : m_seeds) {
        for (const auto& seed : seeds) {
            if (!fs::is_regular_file(root / target / seed.first))
                missing.push_back(target + "/" + seed.first);
        }
    }
    return missing;
}

Bytes cut(const Bytes& bytes, std::size_t length) { return bytes.substr(0, length); }

Bytes flipped(Bytes bytes, std::uint32_t seed)
{
    std::uint32_t state = seed | 1;
    for (std::size_t index = 16; index < bytes.size(); ++index) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        if (state % 50 == 0)
            bytes[index] = static_cast<char>(bytes[index] ^ static_cast<char>(1 << (state % 8)));
    }
    return bytes;
}

std::size_t find(const Bytes& bytes, std::string_view what, std::size_t from)
{
    auto position = bytes.find(what, from);
    if (position == Bytes::npos)
        fail("no \"" + std::string(what) + "\" in a seed to damage");
    return position;
}

Bytes replaced(Bytes bytes, std::string_view from, std::string_view to)
{
    auto position = find(bytes, from);
    return bytes.replace(position, from.size(), to);
}

Bytes replacedAll(Bytes bytes, std::string_view from, std::string_view to)
{
    for (auto position = find(bytes, from); position != Bytes::npos;
         position = bytes.find(from, position + to.size()))
        bytes.replace(position, from.size(), to);
    return bytes;
}

void putBigEndian(Bytes& bytes, std::size_t offset, std::uint64_t value, int length)
{
    if (offset + static_cast<std::size_t>(length) > bytes.size())
        fail("a field to damage lies beyond the seed's end");
    for (int index = 0; index < length; ++index)
        bytes[offset + static_cast<std::size_t>(index)]
            = static_cast<char>(value >> (8 * (length - 1 - index)));
}

void putLittleEndian(Bytes& bytes, std::size_t offset, std::uint64_t value, int length)
{
    if (offset + static_cast<std::size_t>(length) > bytes.size())
        fail("a field to damage lies beyond the seed's end");
    for (int index = 0; index < length; ++index)
        bytes[offset + static_cast<std::size_t>(index)] = static_cast<char>(value >> (8 * index));
}

Bytes patched(Bytes bytes, std::initializer_list<Field> fields)
{
    for (const auto& field : fields) {
        if (field.order == ByteOrder::bigEndian)
            putBigEndian(bytes, field.offset, field.value, field.length);
        else
            putLittleEndian(bytes, field.offset, field.value, field.length);
    }
    return bytes;
}

Maker::Maker()
{
    for (const char* program : { "qpdf", "ffmpeg", "exiftool" }) {
        if (QStandardPaths::findExecutable(program).isEmpty()) {
            std::fprintf(stderr, "sorvik_make_seed_corpus: %s is not installed\n", program);
            std::exit(77);
        }
    }
}

Bytes Maker::read(const std::string& name) const
{
    Bytes bytes = testing::readFile(path(name));
    if (bytes.empty())
        fail("could not make " + name);
    return bytes;
}

Bytes Maker::written(const std::string& name, const Bytes& bytes) const
{
    std::ofstream(path(name), std::ios::binary) << bytes;
    return bytes;
}

void Maker::run(const char* program, const QStringList& arguments) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        fail(std::string(program) + " " + arguments.join(' ').toStdString() + " failed");
}

Bytes Maker::ffmpeg(const std::string& name, const QStringList& arguments) const
{
    if (!testing::runFFmpeg(arguments
            + QStringList { "-fflags", "+bitexact", "-flags", "+bitexact", "-threads", "1",
                testing::qtPath(path(name)) }))
        fail("ffmpeg could not make " + name);
    return read(name);
}

Bytes Maker::encrypted(const std::string& source, const std::string& name,
    const testing::PdfEncryption& encryption) const
{
    if (!testing::encryptPdf(path(source), path(name), encryption))
        fail("qpdf could not encrypt " + source);
    return read(name);
}

Bytes Maker::qpdf(const std::string& source, const std::string& name, QStringList options) const
{
    options << "--static-id" << testing::qtPath(path(source)) << testing::qtPath(path(name));
    run("qpdf", options);
    return read(name);
}

Bytes Maker::gzipped(const std::string& name, const Bytes& bytes) const
{
    written(name, bytes);
    run("gzip", { "-9", "-n", "-f", testing::qtPath(path(name)) });
    return read(name + ".gz");
}

Bytes Maker::withExiftool(const std::string& name, const QStringList& tags) const
{
    run("exiftool",
        QStringList { "-q", "-overwrite_original" } + tags << testing::qtPath(path(name)));
    return read(name);
}

Bytes encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        fail(std::string("Qt could not write ") + format);
    return data.toStdString();
}

QImage textPicture(const QStringList& lines, QImage::Format format)
{
    QImage picture = testing::pictureOfText(lines, format);
    return picture.scaledToWidth(360, Qt::SmoothTransformation);
}

} // namespace sorvik::fuzzing::seeds
