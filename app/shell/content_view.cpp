#include "app/shell/content_view.h"

#include "app/rules/panels/rule_stack_panel.h"
#include "app/shell/files_panel.h"
#include "app/shell/folder_access_bar.h"
#include "app/style/brand_colors.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QTableView>
#include <QVBoxLayout>

namespace sorvik {

ContentView::ContentView(RenamerStore& store, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("contentView"));
    setBrandBackground(*this, BrandColor::brandCanvas);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_accessBar = new FolderAccessBar(store, this);
    layout->addWidget(m_accessBar);

    // A plain divider rather than a splitter: the rule column keeps one width, and a splitter
    // handle that cannot move would still show a resize pointer.
    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);
    m_rules = new RuleStackPanel(store, this);
    m_rules->setFixedWidth(ruleColumnWidth);
    columns->addWidget(m_rules);
    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("columnDivider"));
    divider->setFrameShape(QFrame::VLine);
    divider->setFrameShadow(QFrame::Sunken);
    columns->addWidget(divider);
    m_files = new FilesPanel(store, this);
    columns->addWidget(m_files, 1);
    layout->addLayout(columns, 1);

    // The two lists have no label of their own for assistive tools to read.
    if (auto* rules = m_rules->findChild<QScrollArea*>(QStringLiteral("ruleList")))
        rules->setAccessibleName(QString::fromLatin1(rulesName));
    m_files->table().setAccessibleName(QString::fromLatin1(filesName));
}

} // namespace sorvik
