#pragma once

// Test files made at test time: JPEG and PNG pictures written by Qt with EXIF added by exiv2,
// small PDF documents written by hand and encrypted by the qpdf program, and audio and video
// encoded by the ffmpeg program.

#include <QBuffer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <exiv2/exiv2.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sorvik::testing {

/// A picture of the given size, in the format its extension names.
inline void writePicture(const std::filesystem::path& path, int width = 64, int height = 48)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    if (!image.save(QString::fromStdString(path.string())))
        throw std::runtime_error("cannot write " + path.string());
}

/// Sets EXIF tags ("Exif.Photo.FNumber" → "28/10") in an existing picture; each text is read
/// as the tag's usual type.
inline void writeExif(
    const std::filesystem::path& path, const std::map<std::string, std::string>& tags)
{
    auto image = Exiv2::ImageFactory::open(path.string());
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    for (const auto& [key, value] : tags)
        exif[key].setValue(value);
    image->setExifData(exif);
    image->writeMetadata();
}

/// The EXIF tags of a photo from a camera, every one that is read: make, model, orientation,
/// lens, focal length, aperture, shutter, ISO, capture date and GPS position (48.858…, 2.294…).
inline const std::map<std::string, std::string>& cameraExif()
{
    static const std::map<std::string, std::string> tags {
        { "Exif.Image.Make", "Canon" },
        { "Exif.Image.Model", "EOS R5" },
        { "Exif.Image.Orientation", "6" },
        { "Exif.Photo.LensModel", "RF24-105mm F4 L IS USM" },
        { "Exif.Photo.FocalLength", "50/1" },
        { "Exif.Photo.FNumber", "28/10" },
        { "Exif.Photo.ExposureTime", "1/125" },
        { "Exif.Photo.ISOSpeedRatings", "200" },
        { "Exif.Photo.DateTimeOriginal", "2024:05:01 08:20:30" },
        { "Exif.GPSInfo.GPSLatitude", "48/1 51/1 3015/100" },
        { "Exif.GPSInfo.GPSLatitudeRef", "N" },
        { "Exif.GPSInfo.GPSLongitude", "2/1 17/1 3840/100" },
        { "Exif.GPSInfo.GPSLongitudeRef", "E" },
    };
    return tags;
}

/// A JPEG with the given EXIF tags.
inline std::filesystem::path writeJpeg(const std::filesystem::path& path,
    const std::map<std::string, std::string>& tags = {}, int width = 64, int height = 48)
{
    writePicture(path, width, height);
    if (!tags.empty())
        writeExif(path, tags);
    return path;
}

/// A PDF of `pages` empty pages whose document information holds the given entries
/// ("Title" → "Report"); the entries are written as literal strings.
inline std::filesystem::path writePdf(const std::filesystem::path& path, int pages,
    const std::map<std::string, std::string>& information = {})
{
    std::vector<std::string> objects;
    std::string kids;
    for (int page = 0; page < pages; ++page)
        kids += std::to_string(4 + page) + " 0 R ";
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back(
        "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    std::string info = "<< ";
    for (const auto& [key, value] : information)
        info += "/" + key + " (" + value + ") ";
    objects.push_back(info + ">>");
    for (int page = 0; page < pages; ++page)
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>");

    std::string document = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t index = 0; index < objects.size(); ++index) {
        offsets.push_back(document.size());
        document += std::to_string(index + 1) + " 0 obj\n" + objects[index] + "\nendobj\n";
    }
    std::size_t xref = document.size();
    document += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        document += line;
    }
    document += "trailer\n<< /Size " + std::to_string(objects.size() + 1)
        + " /Root 1 0 R /Info 3 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    std::ofstream(path, std::ios::binary) << document;
    return path;
}

/// Pictures whose decoders would take far more memory than the files hold, as they were before
/// Qt's image reader was kept from them: a PNG whose text chunk claims 1.5 GB (libpng
/// allocated and cleared it before reading) and an SVGZ picture of 125 KB that inflates to 128
/// MiB (Qt's SVG reader inflated all of it into memory). Made in `folder`.
inline std::vector<std::filesystem::path> picturesClaimingMore(const std::filesystem::path& folder)
{
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    // After the signature and the header chunk: a compressed text chunk that claims 1.5 GB
    // and holds a few bytes.
    png.insert(8 + 8 + 13 + 4, QByteArray("\x5D\x3C\x21\x2DzTXtRaw profile\0\0x\xDA", 21));
    auto claims = folder / "claims.png";
    std::ofstream(claims, std::ios::binary) << png.toStdString();

    auto svg = folder / "inflates.svg";
    std::ofstream(svg, std::ios::binary)
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"48\"><!--"
        << std::string(128 * 1024 * 1024, ' ') << "--></svg>";
    QProcess gzip;
    gzip.start("gzip", { "-9", "-n", "-f", QString::fromStdString(svg.string()) });
    if (!gzip.waitForFinished(60000) || gzip.exitCode() != 0)
        throw std::runtime_error("gzip could not compress the picture");
    auto svgz = folder / "inflates.svgz";
    std::filesystem::rename(folder / "inflates.svg.gz", svgz);
    return { claims, svgz };
}

inline bool hasQpdf() { return !QStandardPaths::findExecutable("qpdf").isEmpty(); }

/// How the qpdf program encrypts a PDF: the key length in bits (40 and 128 are RC4 unless
/// `aes`; 256 is always AES) and the two passwords. An empty user password opens the
/// document for anyone; the owner password then only restricts what may be done with it.
struct PdfEncryption {
    int keyBits = 256;
    bool aes = true;
    std::string userPassword;
    std::string ownerPassword = "owner";
};

/// Writes `source` encrypted to `target` with the qpdf program; true when it succeeded. Its
/// document ID and AES initialisation vector are fixed, so that but for the random salts of
/// 256-bit keys the same document is the same bytes.
inline bool encryptPdf(const std::filesystem::path& source, const std::filesystem::path& target,
    const PdfEncryption& encryption)
{
    QStringList arguments { "--static-id", "--static-aes-iv", "--allow-weak-crypto", "--encrypt",
        QString::fromStdString(encryption.userPassword),
        QString::fromStdString(encryption.ownerPassword), QString::number(encryption.keyBits) };
    if (encryption.keyBits == 128)
        arguments << (encryption.aes ? "--use-aes=y" : "--use-aes=n");
    arguments << "--" << QString::fromStdString(source.string())
              << QString::fromStdString(target.string());
    QProcess process;
    process.start("qpdf", arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

/// The ways a PDF is locked that readers meet, each named and with whether it needs a
/// password to be opened (a user password) or only restricts what may be done with it.
struct PdfLock {
    const char* name;
    PdfEncryption encryption;
    bool needsPassword;
};

inline const std::vector<PdfLock>& pdfLocks()
{
    static const std::vector<PdfLock> locks {
        { "locked-aes256.pdf", { 256, true, "user", "owner" }, true },
        { "locked-aes128.pdf", { 128, true, "user", "owner" }, true },
        { "locked-rc4-128.pdf", { 128, false, "user", "owner" }, true },
        { "locked-rc4-40.pdf", { 40, false, "user", "owner" }, true },
        { "locked-same-passwords.pdf", { 256, true, "secret", "secret" }, true },
        { "restricted-aes256.pdf", { 256, true, "", "owner" }, false },
        { "restricted-aes128.pdf", { 128, true, "", "owner" }, false },
        { "restricted-rc4-40.pdf", { 40, false, "", "owner" }, false },
    };
    return locks;
}

inline bool hasFFmpeg() { return !QStandardPaths::findExecutable("ffmpeg").isEmpty(); }

/// Runs the ffmpeg program with the arguments; true when it succeeded.
inline bool runFFmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start("ffmpeg", QStringList { "-hide_banner", "-loglevel", "error", "-y" } + arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

inline QString qtPath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

} // namespace sorvik::testing
