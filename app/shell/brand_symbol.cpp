#include "app/shell/brand_symbol.h"

#include <QPainter>
#include <QSvgRenderer>

// Resources of a static library are not linked in unless something names them.
static void initializeBrandResources()
{
    static const bool initialized = [] {
        Q_INIT_RESOURCE(brand);
        return true;
    }();
    (void)initialized;
}

namespace sorvik {

QPixmap brandSymbol(QSize size, qreal devicePixelRatio)
{
    initializeBrandResources();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/brand/symbol.svg"));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(pixmap.size())));
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace sorvik
