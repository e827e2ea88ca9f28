#include "app/shell/toast_overlay.h"

#include "app/store/renamer_store.h"
#include "app/style/brand_colors.h"
#include "app/style/ui_style.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QPushButton>

namespace sorvik {

namespace {

    constexpr double shadowOpacity = 0.33;
    constexpr int shadowRadius = 6;
    constexpr int shadowOffsetY = 2;

} // namespace

ToastOverlay::ToastOverlay(RenamerStore& store, QWidget* host)
    : QWidget(host)
    , m_store(store)
    , m_host(host)
{
    setObjectName(QStringLiteral("toast"));
    // The capsule's material: the window's own surface, apart from the list it floats over.
    setWindowSurface(*this);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(
        shadowMargin + 16, shadowMargin + 8, shadowMargin + 10, shadowMargin + 8);
    layout->setSpacing(12);
    auto font = styleFont(TextStyle::callout, QFont::Medium);
    m_text = plainLabel(QString(), this);
    m_text->setFont(font);
    layout->addWidget(m_text);
    m_undo = new QPushButton(QString::fromLatin1(undoText), this);
    m_undo->setObjectName(QStringLiteral("toastUndo"));
    m_undo->setFont(font);
    m_undo->setFlat(true);
    m_undo->setCursor(Qt::PointingHandCursor);
    layout->addWidget(m_undo);
    connect(m_undo, &QPushButton::clicked, this, [this] { m_store.undoLastApply(); });

    m_opacity = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(m_opacity);
    m_move = new QPropertyAnimation(this, "pos", this);
    m_fade = new QPropertyAnimation(m_opacity, "opacity", this);
    for (auto* animation : { m_move, m_fade }) {
        animation->setDuration(animationMilliseconds);
        animation->setEasingCurve(QEasingCurve::OutCubic);
    }
    m_animation = new QParallelAnimationGroup(this);
    m_animation->addAnimation(m_move);
    m_animation->addAnimation(m_fade);
    connect(m_animation, &QAbstractAnimation::finished, this, [this] {
        if (!m_showing)
            hide();
    });

    hide();
    m_host->installEventFilter(this);
    connect(&m_store, &RenamerStore::toastChanged, this, &ToastOverlay::follow);
    connect(&m_store, &RenamerStore::undoStackChanged, this, &ToastOverlay::updateUndo);
    updateUndo();
    follow();
}

QString ToastOverlay::text() const { return m_text->text(); }

QPoint ToastOverlay::restingPosition() const
{
    int x = (m_host->width() - width()) / 2;
    // The capsule's lower edge, not the shadow's, sits the offset above the host's bottom.
    int y = m_host->height() - bottomOffset - height() + shadowMargin;
    return { x, y };
}

void ToastOverlay::updateUndo() { m_undo->setEnabled(!m_store.undoStack().empty()); }

void ToastOverlay::follow()
{
    const auto& toast = m_store.toast();
    if (toast) {
        // Shown verbatim: the store's text is not a key to look up.
        setPlainText(*m_text, toQString(*toast));
        adjustSize();
        if (!m_showing)
            animate(true);
        else
            move(restingPosition());
        return;
    }
    if (m_showing)
        animate(false);
}

void ToastOverlay::animate(bool in)
{
    m_showing = in;
    m_animation->stop();
    auto resting = restingPosition();
    auto below = QPoint(resting.x(), m_host->height());
    if (in) {
        m_move->setStartValue(isVisible() ? pos() : below);
        m_move->setEndValue(resting);
        m_fade->setStartValue(isVisible() ? m_opacity->opacity() : 0.0);
        m_fade->setEndValue(1.0);
        if (!isVisible())
            move(below);
        show();
        raise();
    } else {
        m_move->setStartValue(pos());
        m_move->setEndValue(below);
        m_fade->setStartValue(m_opacity->opacity());
        m_fade->setEndValue(0.0);
    }
    m_animation->start();
}

bool ToastOverlay::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_host && event->type() == QEvent::Resize && m_showing) {
        if (m_animation->state() == QAbstractAnimation::Running)
            m_move->setEndValue(restingPosition());
        else
            move(restingPosition());
    }
    return QWidget::eventFilter(watched, event);
}

void ToastOverlay::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QRectF capsule
        = QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);
    qreal radius = capsule.height() / 2;

    // A soft shadow: rings growing outwards, each fainter, offset downwards.
    for (int ring = shadowRadius; ring > 0; --ring) {
        QColor shade(0, 0, 0);
        shade.setAlphaF(static_cast<float>(
            shadowOpacity / shadowRadius * (1.0 - double(ring) / (shadowRadius + 1))));
        QPainterPath path;
        auto grown = capsule.adjusted(-ring, -ring, ring, ring).translated(0, shadowOffsetY);
        path.addRoundedRect(grown, radius + ring, radius + ring);
        painter.fillPath(path, shade);
    }
    QPainterPath shape;
    shape.addRoundedRect(capsule, radius, radius);
    painter.fillPath(shape, palette().color(QPalette::Window));
    painter.setPen(QPen(toneColor(Tone::quaternary, palette(), QPalette::WindowText), 0.5));
    painter.drawPath(shape);
}

} // namespace sorvik
