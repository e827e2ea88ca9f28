// Reading what documents say for the AI rename rule: the first preview of a folder of
// documents extracts the content of every file once (later previews hit the cache).
#include "app/services/ai_service.h"
#include "app/services/content_extractor.h"
#include "app/services/heuristic_namer.h"
#include "tests/app/services/content_samples.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <fstream>

#include <benchmark/benchmark.h>

namespace {

using namespace sorvik;

const QTemporaryDir& folder()
{
    static QTemporaryDir directory;
    return directory;
}

std::filesystem::path pathOf(std::string_view name)
{
    return std::filesystem::path(folder().path().toStdString()) / name;
}

/// A ten-page letter with about 40 lines of text on every page, fonts embedded, as office
/// programs write them.
std::filesystem::path textPdf()
{
    auto path = pathOf("letter.pdf");
    QPdfWriter writer(QString::fromStdString(path.string()));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    QPainter painter(&writer);
    QFont font("DejaVu Serif");
    font.setPointSize(11);
    painter.setFont(font);
    for (int page = 0; page < 10; ++page) {
        if (page > 0)
            writer.newPage();
        for (int line = 0; line < 40; ++line) {
            painter.drawText(250, 300 + line * 80,
                QString("Page %1, line %2: the tenant pays the rent of March 2024 by transfer.")
                    .arg(page + 1)
                    .arg(line + 1));
        }
    }
    painter.end();
    return path;
}

QImage letterPicture()
{
    QStringList lines;
    for (int line = 0; line < 12; ++line)
        lines << QString("Invoice line %1 Widget 12,50 EUR").arg(line + 1);
    return testing::pictureOfText(lines);
}

void extract(benchmark::State& state, const std::filesystem::path& path)
{
    std::size_t characters = 0;
    for (auto _ : state) {
        Content content = extractContent(path);
        characters = content.text.size();
        benchmark::DoNotOptimize(content);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["text bytes"] = static_cast<double>(characters);
}

void textPdfs(benchmark::State& state)
{
    static const auto path = textPdf();
    extract(state, path);
}
BENCHMARK(textPdfs)->Unit(benchmark::kMillisecond);

void scannedPdfs(benchmark::State& state)
{
    static const auto path = [] {
        auto file = pathOf("scan.pdf");
        testing::writeScannedPdf(file, letterPicture());
        return file;
    }();
    extract(state, path);
}
BENCHMARK(scannedPdfs)->Unit(benchmark::kMillisecond);

void picturesOfText(benchmark::State& state)
{
    static const auto path = [] {
        auto file = pathOf("screenshot.png");
        letterPicture().save(QString::fromStdString(file.string()));
        return file;
    }();
    extract(state, path);
}
BENCHMARK(picturesOfText)->Unit(benchmark::kMillisecond);

void photosWithoutText(benchmark::State& state)
{
    static const auto path = [] {
        auto file = pathOf("photo.jpg");
        testing::pictureWithoutText()
            .scaled(2048, 1536)
            .save(QString::fromStdString(file.string()));
        return file;
    }();
    extract(state, path);
}
BENCHMARK(photosWithoutText)->Unit(benchmark::kMillisecond);

void heuristic(benchmark::State& state)
{
    std::string text;
    while (text.size() < 2000)
        text += "Factura 2024-03-15 ACME Corporation, pago de la renta de marzo. ";
    for (auto _ : state)
        benchmark::DoNotOptimize(basicAIAnswer(text, {}, 6));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(heuristic)->Unit(benchmark::kMicrosecond);

/// A later preview: the answer comes from the cache after hashing the file's first MiB (of a
/// file of 4 MiB).
void cacheHits(benchmark::State& state)
{
    auto path = pathOf("large.log");
    {
        std::ofstream file(path);
        for (int line = 0; line < 65536; ++line)
            file << "2024-03-15 12:00:00 service started, all systems nominal #" << line % 10
                 << '\n';
    }
    FileItem item(FileURL(path.string()), true, Date {}, Date {},
        static_cast<std::int64_t>(std::filesystem::file_size(path)), 0);
    AIService service(LanguageModel::platformDefault());
    service.metadata(item, AIMode::documents, 6, true);
    for (auto _ : state)
        benchmark::DoNotOptimize(service.metadata(item, AIMode::documents, 6, true));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(cacheHits)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    // Text is drawn with the fonts of a GUI application; the cache goes to a scratch folder.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_DATA_HOME", folder().path().toUtf8());
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
