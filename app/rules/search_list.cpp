#include "app/rules/search_list.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>

namespace sorvik {

bool isReturnKey(const QKeyEvent& event)
{
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

QListWidgetItem* firstVisibleItem(const QListWidget& list)
{
    for (int row = 0; row < list.count(); ++row) {
        if (!list.item(row)->isHidden())
            return list.item(row);
    }
    return nullptr;
}

bool stepBetweenSearchAndList(
    QLineEdit& search, QListWidget& list, const QObject* watched, const QKeyEvent& key)
{
    if (watched == &search && key.key() == Qt::Key_Down) {
        auto* current = list.currentItem();
        if (!current || current->isHidden())
            list.setCurrentItem(firstVisibleItem(list));
        list.setFocus(Qt::TabFocusReason);
        return true;
    }
    if (watched == &list && key.key() == Qt::Key_Up
        && list.currentItem() == firstVisibleItem(list)) {
        search.setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

} // namespace sorvik
