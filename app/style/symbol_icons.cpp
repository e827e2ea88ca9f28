#include "app/style/symbol_icons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <optional>

// Resources of a static library are not linked in unless something names them.
static void initializeSymbolResources()
{
    static const bool initialized = [] {
        Q_INIT_RESOURCE(symbols);
        return true;
    }();
    (void)initialized;
}

namespace sorvik {

namespace {

    struct Symbol {
        std::string_view name;
        // The name of the freedesktop icon naming rules, where one fits.
        std::string_view themeName;
        const char* resource;
    };

    constexpr const char* genericResource = ":/symbols/generic.svg";

    constexpr std::array<Symbol, 27> symbols { {
        { "arrow.down", "go-down", ":/symbols/arrow.down.svg" },
        { "arrow.down.circle", "system-software-update", ":/symbols/arrow.down.circle.svg" },
        { "arrow.up", "go-up", ":/symbols/arrow.up.svg" },
        { "calendar", "x-office-calendar", ":/symbols/calendar.svg" },
        { "camera", "camera-photo", ":/symbols/camera.svg" },
        { "checkmark.circle.fill", "", ":/symbols/checkmark.circle.fill.svg" },
        { "doc", "text-x-generic", ":/symbols/doc.svg" },
        { "doc.text", "x-office-document", ":/symbols/doc.text.svg" },
        { "ellipsis.circle", "", ":/symbols/ellipsis.circle.svg" },
        { "exclamationmark.triangle.fill", "dialog-warning",
            ":/symbols/exclamationmark.triangle.fill.svg" },
        { "folder", "folder", ":/symbols/folder.svg" },
        { "folder.badge.gearshape", "", ":/symbols/folder.badge.gearshape.svg" },
        { "folder.badge.questionmark", "", ":/symbols/folder.badge.questionmark.svg" },
        { "globe", "applications-internet", ":/symbols/globe.svg" },
        { "lock.fill", "", ":/symbols/lock.fill.svg" },
        { "lock.shield", "security-high", ":/symbols/lock.shield.svg" },
        { "minus", "list-remove", ":/symbols/minus.svg" },
        { "minus.circle", "list-remove", ":/symbols/minus.circle.svg" },
        { "music.note", "audio-x-generic", ":/symbols/music.note.svg" },
        { "number", "", ":/symbols/number.svg" },
        { "pencil", "", ":/symbols/pencil.svg" },
        { "photo", "image-x-generic", ":/symbols/photo.svg" },
        { "plus", "list-add", ":/symbols/plus.svg" },
        { "slider.horizontal.3", "", ":/symbols/slider.horizontal.3.svg" },
        { "sparkles", "", ":/symbols/sparkles.svg" },
        { "textformat", "insert-text", ":/symbols/textformat.svg" },
        { "wand.and.stars", "", ":/symbols/wand.and.stars.svg" },
    } };

    const Symbol* findSymbol(std::string_view name)
    {
        auto found = std::find_if(symbols.begin(), symbols.end(),
            [name](const Symbol& symbol) { return symbol.name == name; });
        return found != symbols.end() ? &*found : nullptr;
    }

    // Draws one of our symbols, black in its file, in a single colour at any size: a fixed
    // colour, or the palette's text colour for the icon's mode when painted.
    class SymbolIconEngine : public QIconEngine {
    public:
        SymbolIconEngine(QString resource, std::optional<QColor> color)
            : m_resource(std::move(resource))
            , m_color(std::move(color))
        {
        }

        void paint(
            QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
        {
            qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
            painter->drawPixmap(rect, scaledPixmap(rect.size() * scale, mode, state, scale));
        }

        QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
        {
            return scaledPixmap(size, mode, state, 1.0);
        }

        // QIcon asks for the size in device pixels.
        QPixmap scaledPixmap(
            const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
        {
            QSize pixels(std::max(1, size.width()), std::max(1, size.height()));
            QColor color = colorFor(mode);
            QString key = QStringLiteral("sorvik-symbol:%1:%2x%3:%4")
                              .arg(m_resource)
                              .arg(pixels.width())
                              .arg(pixels.height())
                              .arg(color.rgba(), 8, 16);
            QPixmap result;
            if (!QPixmapCache::find(key, &result)) {
                result = QPixmap::fromImage(render(pixels, color));
                QPixmapCache::insert(key, result);
            }
            result.setDevicePixelRatio(scale);
            return result;
        }

        QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }

        QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
        {
            return { { 16, 16 }, { 22, 22 }, { 24, 24 }, { 32, 32 }, { 48, 48 } };
        }

        bool isNull() override { return false; }
        QString key() const override { return QStringLiteral("sorvik-symbol"); }
        QIconEngine* clone() const override { return new SymbolIconEngine(*this); }

    private:
        SymbolIconEngine(const SymbolIconEngine&) = default;

        QColor colorFor(QIcon::Mode mode) const
        {
            auto palette = QGuiApplication::palette();
            if (m_color) {
                // A coloured symbol on a selected item takes the selection's text colour, as
                // the item's text does: green or orange would sink into the selection.
                if (mode == QIcon::Selected)
                    return palette.color(QPalette::Active, QPalette::HighlightedText);
                if (mode != QIcon::Disabled)
                    return *m_color;
                QColor faded = *m_color;
                faded.setAlphaF(faded.alphaF() * 0.5f);
                return faded;
            }
            switch (mode) {
            case QIcon::Disabled:
                return palette.color(QPalette::Disabled, QPalette::WindowText);
            case QIcon::Selected:
                return palette.color(QPalette::Active, QPalette::HighlightedText);
            default:
                return palette.color(QPalette::Active, QPalette::WindowText);
            }
        }

        QImage render(const QSize& pixels, const QColor& color) const
        {
            QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QSvgRenderer renderer(m_resource);
            if (!renderer.isValid())
                return image;
            // Square drawings, centred in a rectangle of another shape.
            int side = std::min(pixels.width(), pixels.height());
            QRectF target(
                (pixels.width() - side) / 2.0, (pixels.height() - side) / 2.0, side, side);
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            renderer.render(&painter, target);
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), color);
            return image;
        }

        QString m_resource;
        std::optional<QColor> m_color;
    };

} // namespace

QIcon symbolIcon(std::string_view name)
{
    QIcon drawn(new SymbolIconEngine(symbolResource(name), std::nullopt));
    auto themeName = symbolThemeName(name);
    if (themeName.empty())
        return drawn;
    return QIcon::fromTheme(
        QString::fromLatin1(themeName.data(), static_cast<qsizetype>(themeName.size())), drawn);
}

QIcon tintedSymbolIcon(std::string_view name, const QColor& color)
{
    return QIcon(new SymbolIconEngine(symbolResource(name), color));
}

bool isKnownSymbol(std::string_view name) { return findSymbol(name) != nullptr; }

std::string_view symbolThemeName(std::string_view name)
{
    const auto* symbol = findSymbol(name);
    return symbol ? symbol->themeName : std::string_view();
}

QString symbolResource(std::string_view name)
{
    initializeSymbolResources();
    const auto* symbol = findSymbol(name);
    return QString::fromLatin1(symbol ? symbol->resource : genericResource);
}

} // namespace sorvik
