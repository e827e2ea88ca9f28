#include "app/shell/shown_windows.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>

namespace sorvik {

bool isAnyWindowShown()
{
    const auto windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* widget) {
        auto type = widget->windowType();
        return widget->isVisible() && (type == Qt::Window || type == Qt::Dialog);
    });
}

} // namespace sorvik
