#include "app/style/screen_fit.h"

#include "app/style/fitting_scroll_area.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <optional>

namespace sorvik {

namespace {

    /// The largest window that fits in `available` with `frame` around it.
    QSize roomOn(const QRect& available, const QMargins& frame)
    {
        return { std::max(1, available.width() - frame.left() - frame.right()),
            std::max(1, available.height() - frame.top() - frame.bottom()) };
    }

} // namespace

FittedSizes fitSizes(QSize minimum, QSize least, QSize maximum, QSize preferred,
    const QRect& available, const QMargins& frame)
{
    FittedSizes fitted;
    fitted.maximum = maximum.boundedTo(roomOn(available, frame));
    auto fit = [](int asked, int content, int room) {
        return asked <= room ? asked : std::min(content, room);
    };
    fitted.minimum = { fit(minimum.width(), least.width(), fitted.maximum.width()),
        fit(minimum.height(), least.height(), fitted.maximum.height()) };
    fitted.size = preferred.expandedTo(fitted.minimum).boundedTo(fitted.maximum);
    return fitted;
}

QPoint fitFramePosition(const QRect& frame, const QRect& available)
{
    auto fit = [](int start, int length, int roomStart, int roomLength) {
        return std::max(roomStart, std::min(start, roomStart + roomLength - length));
    };
    return { fit(frame.x(), frame.width(), available.x(), available.width()),
        fit(frame.y(), frame.height(), available.y(), available.height()) };
}

namespace {

    constexpr const char* fitName = "sorvikScreenFit";
    constexpr const char* messageScrollName = "sorvikMessageScroll";

    /// Main and dialog windows; menus, tips and the like place themselves.
    bool isFittedWindow(const QWidget& widget)
    {
        if (!widget.isWindow())
            return false;
        switch (widget.windowType()) {
        case Qt::Window:
        case Qt::Dialog:
        case Qt::Sheet:
            return true;
        default:
            return false;
        }
    }

    // A message box sizes itself to its text, however long, each time it is shown or given a
    // text, and makes its size fixed: nothing bounds it from outside. A text too tall for the
    // room is shown instead in a scrolling area of the height there is, laid where the box's
    // own label was; that label, hidden, keeps the text the box reads and gives.

    /// Has a shown box size itself again, as setting its text format does.
    void resizeToText(QMessageBox& box) { box.setTextFormat(box.textFormat()); }

    void fitMessageText(QMessageBox& box, QSize room)
    {
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        auto* grid = qobject_cast<QGridLayout*>(box.layout());
        if (!label || !grid || grid->indexOf(label) < 0)
            return;
        delete box.findChild<QScrollArea*>(QString::fromLatin1(messageScrollName));
        label->show();
        resizeToText(box);
        int excess = box.height() - room.height();
        if (excess <= 0)
            return;

        auto* scroll = new QScrollArea(&box);
        scroll->setObjectName(QString::fromLatin1(messageScrollName));
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        auto* text = new QLabel(label->text());
        text->setObjectName(QStringLiteral("sorvikMessageText"));
        text->setTextFormat(label->textFormat());
        text->setWordWrap(true);
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        text->setTextInteractionFlags(label->textInteractionFlags());
        text->setOpenExternalLinks(label->openExternalLinks());
        scroll->setWidget(text);
        // As wide as the box laid the text out, within the room; as tall as the room leaves.
        int chrome = box.width() - label->width();
        int width = std::max(1, std::min(label->width(), room.width() - chrome));
        int height = std::max(label->fontMetrics().lineSpacing(), label->height() - excess);
        scroll->setFixedSize(width, height);
        int row = 0;
        int column = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        grid->getItemPosition(grid->indexOf(label), &row, &column, &rowSpan, &columnSpan);
        label->hide();
        grid->addWidget(scroll, row, column, rowSpan, columnSpan);
        scroll->show();
        resizeToText(box);
        // What the box adds around the area is only known now.
        excess = box.height() - room.height();
        if (excess > 0) {
            scroll->setFixedHeight(std::max(1, height - excess));
            resizeToText(box);
        }
    }

    enum class Placement {
        /// Over the window it belongs to, or in the middle of its screen.
        open,
        /// Where it is, moved the least to lie whole on its screen.
        keep,
        /// Not moved.
        none,
    };

    // What a window asks for and how it was fitted; a child of the window, so it goes with it.
    class WindowFit : public QObject {
    public:
        explicit WindowFit(QWidget& window)
            : QObject(&window)
            , m_window(window)
        {
            setObjectName(QString::fromLatin1(fitName));
        }

        static WindowFit* find(QWidget& window)
        {
            return window.findChild<WindowFit*>(
                QString::fromLatin1(fitName), Qt::FindDirectChildrenOnly);
        }
        static WindowFit& of(QWidget& window)
        {
            auto* fit = find(window);
            return fit ? *fit : *new WindowFit(window);
        }

        void ask(QSize minimum, QSize preferred)
        {
            m_minimum = minimum;
            m_preferred = preferred;
            if (!m_window.isVisible()) {
                m_window.setMinimumSize(minimum);
                m_window.resize(preferred);
            }
        }
        void setAnchor(QWidget& anchor) { m_anchor = &anchor; }

        /// The program shows the window.
        void shown()
        {
            follow(m_window.windowHandle());
            m_opening = !m_opened;
            m_opened = true;
            fit(m_opening ? Placement::open : Placement::keep, m_opening);
            m_frameKnown = false;
        }

        /// The program resized the shown window (a sheet whose content grew).
        void resized()
        {
            if (m_fitting)
                return;
            QMetaObject::invokeMethod(
                this, [this] { fitShown(Placement::keep); }, Qt::QueuedConnection);
        }

        void fitShown(Placement placement, bool opening = false)
        {
            if (m_window.isVisible())
                fit(placement, opening);
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            // The window manager frames a window once it maps it: a frame other than the one
            // the window was fitted with is fitted again then.
            if (event->type() == QEvent::Expose && watched == m_handle && !m_frameKnown
                && m_handle->isExposed()) {
                m_frameKnown = true;
                if (m_handle->frameMargins() != m_frame) {
                    // A window just opened still opens at the size it asks for.
                    QMetaObject::invokeMethod(
                        this, [this, opening = m_opening] { fitShown(Placement::keep, opening); },
                        Qt::QueuedConnection);
                }
                m_opening = false;
            }
            return QObject::eventFilter(watched, event);
        }

    private:
        void follow(QWindow* handle)
        {
            if (!handle || handle == m_handle)
                return;
            if (m_handle)
                m_handle->removeEventFilter(this);
            m_handle = handle;
            handle->installEventFilter(this);
            // A window the user takes to another screen keeps its place there; a screen whose
            // room changes keeps its windows on it.
            connect(handle, &QWindow::screenChanged, this, [this](QScreen* screen) {
                followScreen(screen);
                // Once the move that took it there is over.
                QMetaObject::invokeMethod(
                    this, [this] { fitShown(Placement::none); }, Qt::QueuedConnection);
            });
            followScreen(handle->screen());
        }

        void followScreen(QScreen* screen)
        {
            disconnect(m_screenRoom);
            if (screen) {
                m_screenRoom = connect(screen, &QScreen::availableGeometryChanged, this,
                    [this] { fitShown(Placement::keep); });
            }
        }

        QWidget* over() const
        {
            if (auto* parent = m_window.parentWidget())
                return parent->window();
            return m_anchor ? m_anchor->window() : nullptr;
        }

        QScreen* openingScreen() const
        {
            if (auto* window = over())
                return window->screen();
            if (auto* screen = QGuiApplication::screenAt(QCursor::pos()))
                return screen;
            return QGuiApplication::primaryScreen();
        }

        /// The window's frame; before the window manager framed it, that of a window it
        /// framed already (it frames them alike), or a title bar as tall as the style's.
        QMargins frameMargins() const
        {
            auto of = [](const QWidget* widget) {
                auto* handle = widget ? widget->windowHandle() : nullptr;
                return handle && widget->isVisible() ? handle->frameMargins() : QMargins();
            };
            if (auto own = of(&m_window); !own.isNull())
                return own;
            if (auto around = of(over()); !around.isNull())
                return around;
            for (auto* widget : QApplication::topLevelWidgets()) {
                if (widget != &m_window && isFittedWindow(*widget)) {
                    if (auto other = of(widget); !other.isNull())
                        return other;
                }
            }
            return { 0, m_window.style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0 };
        }

        void fit(Placement placement, bool opening)
        {
            // A maximised, full-screen or minimised window is the window manager's to place.
            constexpr auto placedByTheDesktop
                = Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
            if (m_fitting || (m_window.windowState() & placedByTheDesktop))
                return;
            QScopedValueRollback fitting(m_fitting, true);
            auto* screen = placement == Placement::open ? openingScreen() : m_window.screen();
            if (!screen)
                return;
            auto available = screen->availableGeometry();
            m_frame = frameMargins();
            if (auto* box = qobject_cast<QMessageBox*>(&m_window))
                fitMessageText(*box, roomOn(available, m_frame));
            else
                applySizes(available, opening);

            // Placed by the window's own geometry and the frame taken for it, not by its
            // frame's place: before the window manager framed it, Qt knows no frame and
            // would put the window's top where its title bar was meant to go.
            QPoint inset(m_frame.left(), m_frame.top());
            QRect frame(m_window.geometry().topLeft() - inset, m_window.size().grownBy(m_frame));
            switch (placement) {
            case Placement::open: {
                auto* window = over();
                frame.moveCenter(window && window->isVisible() ? window->frameGeometry().center()
                                                               : available.center());
                break;
            }
            case Placement::keep:
                break;
            case Placement::none:
                return;
            }
            auto client = fitFramePosition(frame, available) + inset;
            if (placement == Placement::open || client != m_window.geometry().topLeft())
                m_window.setGeometry(QRect(client, m_window.size()));
        }

        void applySizes(const QRect& available, bool opening)
        {
            if (!m_minimum && !m_asked) {
                m_asked = true;
                m_askedMinimum = m_window.minimumSize();
                m_askedMaximum = m_window.maximumSize();
            }
            auto minimum = m_minimum.value_or(m_askedMinimum);
            auto maximum = m_minimum ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : m_askedMaximum;
            auto preferred = opening && m_preferred ? *m_preferred : m_window.size();
            auto least = m_window.minimumSizeHint().expandedTo(QSize(0, 0))
                + FittingScrollArea::shortfall(m_window);
            auto fitted = fitSizes(minimum, least, maximum, preferred, available, m_frame);

            if (m_minimum || fitted.minimum != minimum) {
                m_window.setMinimumSize(fitted.minimum);
                m_minimumBounded = !m_minimum;
            } else if (m_minimumBounded) {
                // The screen has the room again: the minimum is the window's own once more.
                m_minimumBounded = false;
                m_window.setMinimumSize(m_askedMinimum);
            }
            m_window.setMaximumSize(fitted.maximum);
            if (m_window.size() != fitted.size)
                m_window.resize(fitted.size);
        }

        QWidget& m_window;
        std::optional<QSize> m_minimum;
        std::optional<QSize> m_preferred;
        bool m_asked = false;
        QSize m_askedMinimum;
        QSize m_askedMaximum;
        bool m_minimumBounded = false;
        QPointer<QWidget> m_anchor;
        QPointer<QWindow> m_handle;
        QMetaObject::Connection m_screenRoom;
        QMargins m_frame;
        bool m_opened = false;
        bool m_opening = false;
        bool m_frameKnown = true;
        bool m_fitting = false;
    };

    // Sees every window the program shows, before the window itself does (a dialog would
    // centre itself over its parent without a thought for the screen).
    class ScreenFitter : public QObject {
    public:
        using QObject::QObject;

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto type = event->type();
            if ((type != QEvent::Show && type != QEvent::Resize) || event->spontaneous()
                || !watched->isWidgetType())
                return false;
            auto* widget = static_cast<QWidget*>(watched);
            if (!isFittedWindow(*widget))
                return false;
            if (type == QEvent::Show)
                WindowFit::of(*widget).shown();
            else if (auto* fit = WindowFit::find(*widget); fit && widget->isVisible())
                fit->resized();
            return false;
        }
    };

} // namespace

void fitWindowsToScreens()
{
    auto* application = QCoreApplication::instance();
    static QPointer<ScreenFitter> fitter;
    if (!application || fitter)
        return;
    fitter = new ScreenFitter(application);
    application->installEventFilter(fitter);
}

void setFittedSizes(QWidget& window, QSize minimum, QSize preferred)
{
    WindowFit::of(window).ask(minimum, preferred);
}

void setFitAnchor(QWidget& window, QWidget& anchor) { WindowFit::of(window).setAnchor(anchor); }

void refitToScreen(QWidget& window)
{
    if (auto* fit = WindowFit::find(window))
        fit->fitShown(Placement::keep);
}

} // namespace sorvik
