#include "app/style/ui_style.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QStringDecoder>
#include <QTextDocument>
#include <QWidget>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace sorvik {

namespace {

    struct StyleMetrics {
        TextStyle style;
        // The size where the body is 13, the desktop size the design was drawn at.
        int designSize;
        QFont::Weight weight;
    };

    constexpr int designBodySize = 13;

    constexpr std::array<StyleMetrics, 9> styleMetrics { {
        { TextStyle::body, 13, QFont::Normal },
        { TextStyle::callout, 12, QFont::Normal },
        { TextStyle::caption, 10, QFont::Normal },
        { TextStyle::headline, 13, QFont::DemiBold },
        { TextStyle::title2, 17, QFont::Normal },
        { TextStyle::title3, 15, QFont::Normal },
        { TextStyle::monospacedBody, 13, QFont::Normal },
        { TextStyle::size14, 14, QFont::Normal },
        { TextStyle::size10, 10, QFont::Normal },
    } };

    const StyleMetrics& metrics(TextStyle style)
    {
        auto found = std::find_if(styleMetrics.begin(), styleMetrics.end(),
            [style](const StyleMetrics& candidate) { return candidate.style == style; });
        return found != styleMetrics.end() ? *found : styleMetrics.front();
    }

    // Opacity of the grey tones over the text colour.
    double toneOpacity(Tone tone)
    {
        switch (tone) {
        case Tone::secondary:
            return 0.62;
        case Tone::tertiary:
            return 0.42;
        case Tone::quaternary:
            return 0.26;
        default:
            return 1.0;
        }
    }

    QColor withOpacity(QColor color, double opacity)
    {
        color.setAlphaF(static_cast<float>(color.alphaF() * opacity));
        return color;
    }

    QColor toneColor(Tone tone, QColor base, bool dark, bool disabled)
    {
        QColor color;
        switch (tone) {
        case Tone::orange:
            // Deeper than the dark value in light mode, so that orange text stays readable on
            // light surfaces.
            color = dark ? QColor(0xFF, 0x9F, 0x0A) : QColor(0xD4, 0x6A, 0x00);
            break;
        case Tone::green:
            color = dark ? QColor(0x32, 0xD7, 0x4B) : QColor(0x1F, 0x8A, 0x3B);
            break;
        case Tone::red:
            color = dark ? QColor(0xFF, 0x45, 0x3A) : QColor(0xD7, 0x00, 0x15);
            break;
        default:
            return withOpacity(base, toneOpacity(tone));
        }
        return disabled ? withOpacity(color, 0.5) : color;
    }

    // Calls its followers whenever the application palette changes. The application sends
    // the change to itself once, after the new palette is in place.
    class ApplicationPaletteWatcher : public QObject {
    public:
        static ApplicationPaletteWatcher* instance()
        {
            static QPointer<ApplicationPaletteWatcher> watcher;
            if (!watcher && QCoreApplication::instance()) {
                watcher = new ApplicationPaletteWatcher(QCoreApplication::instance());
                QCoreApplication::instance()->installEventFilter(watcher);
            }
            return watcher;
        }

        void add(QObject& owner, std::function<void()> apply)
        {
            m_followers.push_back({ QPointer<QObject>(&owner), std::move(apply) });
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            if (watched == QCoreApplication::instance()
                && event->type() == QEvent::ApplicationPaletteChange)
                notify();
            return false;
        }

    private:
        struct Follower {
            QPointer<QObject> owner;
            std::function<void()> apply;
        };

        explicit ApplicationPaletteWatcher(QObject* parent)
            : QObject(parent)
        {
        }

        void notify()
        {
            std::erase_if(m_followers, [](const Follower& follower) { return !follower.owner; });
            // A follower may add followers while it applies; they already saw the new palette.
            auto followers = m_followers;
            for (const auto& follower : followers) {
                if (follower.owner)
                    follower.apply();
            }
        }

        std::vector<Follower> m_followers;
    };

    constexpr const char* toneProperty = "sorvikTone";

    void applyTone(QWidget& widget)
    {
        auto tone = static_cast<Tone>(widget.property(toneProperty).toInt());
        auto application = QGuiApplication::palette();
        bool dark = isDarkPalette(application);
        auto palette = widget.palette();
        for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
            for (auto role : { QPalette::WindowText, QPalette::Text }) {
                palette.setColor(group, role,
                    toneColor(
                        tone, application.color(group, role), dark, group == QPalette::Disabled));
            }
        }
        if (palette != widget.palette())
            widget.setPalette(palette);
    }

} // namespace

QFont styleFont(TextStyle style) { return styleFont(style, metrics(style).weight); }

QFont styleFont(TextStyle style, QFont::Weight weight)
{
    auto result = style == TextStyle::monospacedBody
        ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
        : QGuiApplication::font();
    result.setPixelSize(pixelSize(style));
    result.setWeight(weight);
    return result;
}

int pixelSize(TextStyle style)
{
    int body = QFontInfo(QGuiApplication::font()).pixelSize();
    if (body <= 0)
        body = designBodySize;
    auto scaled = std::lround(double(body) * metrics(style).designSize / designBodySize);
    return std::max(1, static_cast<int>(scaled));
}

QFont pixelFont(int pixels, QFont::Weight weight)
{
    auto result = QGuiApplication::font();
    result.setPixelSize(std::max(1, pixels));
    result.setWeight(weight);
    return result;
}

QColor toneColor(Tone tone, const QPalette& palette, QPalette::ColorRole role)
{
    return toneColor(tone, palette.color(role), isDarkPalette(palette),
        palette.currentColorGroup() == QPalette::Disabled);
}

QColor toneColor(Tone tone) { return toneColor(tone, QGuiApplication::palette()); }

void setTone(QWidget& widget, Tone tone)
{
    bool following = widget.property(toneProperty).isValid();
    widget.setProperty(toneProperty, static_cast<int>(tone));
    applyTone(widget);
    if (!following) {
        if (auto* watcher = ApplicationPaletteWatcher::instance())
            watcher->add(widget, [&widget] { applyTone(widget); });
    }
}

bool isDarkPalette(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF()
        < palette.color(QPalette::WindowText).lightnessF();
}

void followApplicationPalette(QObject& owner, std::function<void()> apply)
{
    apply();
    if (auto* watcher = ApplicationPaletteWatcher::instance())
        watcher->add(owner, std::move(apply));
}

void setPlainText(QLabel& label, const QString& text)
{
    label.setTextFormat(Qt::PlainText);
    label.setText(text);
}

QLabel* plainLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(parent);
    setPlainText(*label, text);
    return label;
}

QString plainToolTip(const QString& text)
{
    if (text.isEmpty())
        return {};
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

QString escapeMnemonics(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('&'), QLatin1String("&&"));
    return escaped;
}

QString toQString(std::string_view utf8)
{
    QStringDecoder decoder(QStringConverter::Utf8,
        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(utf8.data(), static_cast<qsizetype>(utf8.size())));
}

std::string toUtf8(const QString& text)
{
    auto bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace sorvik
