#include "app/shell/watch_folder_view.h"

#include "app/automation/watch_folder_store.h"
#include "app/store/renamer_store.h"
#include "app/style/symbol_icons.h"
#include "app/style/ui_style.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>

namespace sorvik {

namespace {

    constexpr std::int64_t minimumSettleSeconds = 1;
    constexpr std::int64_t maximumSettleSeconds = 60;
    constexpr int activityHeight = 100;

    QString settleText(std::int64_t seconds)
    {
        return QStringLiteral("Settle seconds: %1").arg(seconds);
    }

    /// Red that reads on the window in both appearances.
    QColor errorColor(const QPalette& palette)
    {
        return isDarkPalette(palette) ? QColor(0xFF, 0x45, 0x3A) : QColor(0xD7, 0x00, 0x15);
    }

    /// The names in the folder at `path`, as bytes.
    std::vector<std::string> namesIn(const std::string& path)
    {
        std::vector<std::string> names;
        DIR* directory = ::opendir(path.empty() ? "/" : path.c_str());
        if (!directory)
            return names;
        while (const dirent* entry = ::readdir(directory)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.emplace_back(entry->d_name);
        }
        ::closedir(directory);
        return names;
    }

} // namespace

FileURL folderFromDialog(const QString& path)
{
    std::string resolved;
    const auto components = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const auto& component : components) {
        std::string name = toUtf8(component);
        if (component.contains(QChar::ReplacementCharacter)) {
            std::vector<std::string> matches;
            for (auto& candidate : namesIn(resolved)) {
                if (toQString(candidate) == component)
                    matches.push_back(std::move(candidate));
            }
            // Ambiguous or gone: kept as shown, so that granting it reports the problem.
            if (matches.size() == 1)
                name = std::move(matches.front());
        }
        resolved += "/" + name;
    }
    return FileURL(resolved.empty() ? std::string("/") : resolved, true);
}

// One watch folder's row: its switch titled with its path, the subfolder switch, the
// extensions, the settle time and Remove.
class WatchFolderRow : public QWidget {
public:
    WatchFolderRow(WatchFolderStore& watches, const WatchFolder& folder, QWidget* parent)
        : QWidget(parent)
        , m_watches(watches)
        , m_id(folder.id)
    {
        setObjectName(QStringLiteral("watchFolderRow"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(8, 8, 8, 8);
        layout->setSpacing(6);

        m_enabled = new QCheckBox(this);
        m_enabled->setObjectName(QStringLiteral("folderEnabled"));
        layout->addWidget(m_enabled);

        // Why a folder that is switched on does not watch: it overlaps another, or it cannot
        // be watched.
        m_problem = new QLabel(this);
        m_problem->setObjectName(QStringLiteral("folderProblem"));
        m_problem->setWordWrap(true);
        m_problem->setFont(styleFont(TextStyle::caption));
        followApplicationPalette(*m_problem, [label = m_problem] {
            auto palette = label->palette();
            palette.setColor(QPalette::WindowText, errorColor(palette));
            label->setPalette(palette);
        });
        layout->addWidget(m_problem);

        m_subfolders = new QCheckBox(QStringLiteral("Include subfolders"), this);
        m_subfolders->setObjectName(QStringLiteral("includeSubfolders"));
        layout->addWidget(m_subfolders);

        m_extensions = new QLineEdit(this);
        m_extensions->setObjectName(QStringLiteral("extensions"));
        m_extensions->setPlaceholderText(QStringLiteral("Extensions, comma separated"));
        layout->addWidget(m_extensions);

        auto* settle = new QHBoxLayout;
        m_settle = new QLabel(this);
        m_settle->setObjectName(QStringLiteral("settleSeconds"));
        settle->addWidget(m_settle);
        m_settleDown = stepButton("minus", QStringLiteral("settleDown"));
        m_settleUp = stepButton("plus", QStringLiteral("settleUp"));
        settle->addWidget(m_settleDown);
        settle->addWidget(m_settleUp);
        settle->addStretch();
        layout->addLayout(settle);

        auto* remove = new QPushButton(QStringLiteral("Remove"), this);
        remove->setObjectName(QStringLiteral("removeFolder"));
        remove->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        layout->addWidget(remove);

        setFolder(folder);

        // Only what the user does reaches the store; `setFolder` fills the controls quietly.
        connect(m_enabled, &QCheckBox::clicked, this, [this](bool checked) {
            edit([checked](WatchFolder& each) { each.isEnabled = checked; });
        });
        connect(m_subfolders, &QCheckBox::clicked, this, [this](bool checked) {
            edit([checked](WatchFolder& each) { each.includeSubfolders = checked; });
        });
        connect(m_extensions, &QLineEdit::textEdited, this, [this](const QString& text) {
            edit([types = toUtf8(text)](WatchFolder& each) { each.fileTypes = types; });
        });
        connect(m_settleDown, &QToolButton::clicked, this, [this] { step(-1); });
        connect(m_settleUp, &QToolButton::clicked, this, [this] { step(+1); });
        // The store rebuilds the rows, this one among them, when the folder goes: it is
        // deleted later, never inside its own click.
        connect(remove, &QPushButton::clicked, this, [this] { m_watches.removeFolder(m_id); });
    }

    /// Shows `folder`'s values; a control whose value is already shown is left alone, so the
    /// field being typed in keeps its cursor.
    void setFolder(const WatchFolder& folder)
    {
        QSignalBlocker blockEnabled(m_enabled);
        QSignalBlocker blockSubfolders(m_subfolders);
        QSignalBlocker blockExtensions(m_extensions);
        m_enabled->setChecked(folder.isEnabled);
        m_subfolders->setChecked(folder.includeSubfolders);
        auto types = toQString(folder.fileTypes);
        if (m_extensions->text() != types)
            m_extensions->setText(types);
        // A value outside the stepper's range, read from the file, is shown as it is.
        m_settleSeconds = folder.settleSeconds;
        m_settle->setText(settleText(m_settleSeconds));
        m_settleDown->setEnabled(m_settleSeconds > minimumSettleSeconds);
        m_settleUp->setEnabled(m_settleSeconds < maximumSettleSeconds);
        auto problem = m_watches.folderProblem(folder.id);
        setPlainText(*m_problem, problem ? toQString(*problem) : QString());
        m_problem->setVisible(problem.has_value());
        // The folder is followed when it moves.
        m_path = toQString(folder.folder.path);
        m_enabled->setToolTip(plainToolTip(m_path));
        elidePath();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        elidePath();
    }

private:
    QToolButton* stepButton(std::string_view symbol, const QString& name)
    {
        auto* button = new QToolButton(this);
        button->setObjectName(name);
        button->setIcon(symbolIcon(symbol));
        button->setAutoRaise(false);
        return button;
    }

    void edit(const std::function<void(WatchFolder&)>& change)
    {
        m_watches.updateFolder(m_id, change);
    }

    void step(int direction)
    {
        auto next
            = std::clamp(m_settleSeconds + direction, minimumSettleSeconds, maximumSettleSeconds);
        edit([next](WatchFolder& each) { each.settleSeconds = next; });
    }

    /// The path in the middle elided to the row's width; the whole path is its tooltip.
    void elidePath()
    {
        int available = std::max(80, width() - 48);
        auto shown = m_enabled->fontMetrics().elidedText(m_path, Qt::ElideMiddle, available);
        m_enabled->setText(escapeMnemonics(shown));
    }

    WatchFolderStore& m_watches;
    Uuid m_id;
    QString m_path;
    std::int64_t m_settleSeconds = 0;
    QCheckBox* m_enabled = nullptr;
    QLabel* m_problem = nullptr;
    QCheckBox* m_subfolders = nullptr;
    QLineEdit* m_extensions = nullptr;
    QLabel* m_settle = nullptr;
    QToolButton* m_settleDown = nullptr;
    QToolButton* m_settleUp = nullptr;
};

WatchFolderView::WatchFolderView(WatchFolderStore& watches, RenamerStore& store, QWidget* parent)
    : QWidget(parent)
    , m_watches(watches)
    , m_store(store)
{
    setFixedSize(fixedWidth, fixedHeight);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("Watch Folders"), this);
    title->setFont(styleFont(TextStyle::title2, QFont::Bold));
    layout->addWidget(title);

    auto* explanation = new QLabel(QStringLiteral("New files are renamed after their size stops "
                                                  "changing. Existing files are left alone when "
                                                  "monitoring starts."),
        this);
    explanation->setFont(styleFont(TextStyle::caption));
    explanation->setWordWrap(true);
    setTone(*explanation, Tone::secondary);
    layout->addWidget(explanation);

    m_addButton = new QToolButton(this);
    m_addButton->setObjectName(QStringLiteral("addWatchFolder"));
    m_addButton->setText(QStringLiteral("Add Watch Folder\u2026"));
    m_addButton->setPopupMode(QToolButton::InstantPopup);
    m_addButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_addMenu = new QMenu(m_addButton);
    m_addButton->setMenu(m_addMenu);
    layout->addWidget(m_addButton);

    m_startAtLogin = new QCheckBox(QStringLiteral("Start monitoring at login"), this);
    m_startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    layout->addWidget(m_startAtLogin);

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("watchFolderList"));
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_rowsHolder = new QWidget(scroll);
    m_rowsLayout = new QVBoxLayout(m_rowsHolder);
    m_rowsLayout->setContentsMargins(0, 0, 0, 0);
    m_rowsLayout->setSpacing(0);
    m_rowsLayout->addStretch();
    scroll->setWidget(m_rowsHolder);
    layout->addWidget(scroll, 1);

    auto* save = new QPushButton(QStringLiteral("Save Watch Settings"), this);
    save->setObjectName(QStringLiteral("saveWatchSettings"));
    save->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    layout->addWidget(save);

    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("watchError"));
    m_error->setWordWrap(true);
    followApplicationPalette(*m_error, [label = m_error] {
        auto palette = label->palette();
        palette.setColor(QPalette::WindowText, errorColor(palette));
        label->setPalette(palette);
    });
    layout->addWidget(m_error);

    auto* heading = new QLabel(QStringLiteral("Recent activity"), this);
    heading->setFont(styleFont(TextStyle::headline));
    layout->addWidget(heading);

    m_activity = new QListWidget(this);
    m_activity->setObjectName(QStringLiteral("recentActivity"));
    m_activity->setSelectionMode(QAbstractItemView::NoSelection);
    m_activity->setFocusPolicy(Qt::NoFocus);
    m_activity->setFixedHeight(activityHeight);
    m_activity->setFont(styleFont(TextStyle::caption));
    m_activity->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    layout->addWidget(m_activity);

    m_chooseFolder = &WatchFolderView::chooseFolderInDialog;

    // Read everything, then follow the stores.
    rebuildMenu();
    rebuildRows();
    refreshError();
    refreshLog();
    refreshStartAtLogin();

    connect(&m_store, &RenamerStore::presetsChanged, this, &WatchFolderView::rebuildMenu);
    connect(&m_watches, &WatchFolderStore::foldersChanged, this, &WatchFolderView::rebuildRows);
    connect(&m_watches, &WatchFolderStore::folderChanged, this, &WatchFolderView::updateRow);
    connect(&m_watches, &WatchFolderStore::errorChanged, this, &WatchFolderView::refreshError);
    connect(&m_watches, &WatchFolderStore::logChanged, this, &WatchFolderView::refreshLog);
    connect(&m_watches, &WatchFolderStore::loginItemChanged, this,
        &WatchFolderView::refreshStartAtLogin);
    connect(m_startAtLogin, &QCheckBox::clicked, this,
        [this](bool checked) { m_watches.setStartAtLogin(checked); });
    connect(save, &QPushButton::clicked, this, [this] { m_watches.save(); });
}

WatchFolderView::~WatchFolderView() = default;

void WatchFolderView::chooseFolderInDialog(
    QWidget* owner, std::function<void(const FileURL&)> chosen)
{
    auto* dialog = new QFileDialog(owner);
    dialog->setObjectName(QStringLiteral("watchFolderDialog"));
    dialog->setWindowTitle(QString::fromLatin1(chooseFolderTitle));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
        [chosen = std::move(chosen)](const QString& path) {
            if (!path.isEmpty())
                chosen(folderFromDialog(path));
        });
    dialog->open();
}

void WatchFolderView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Another program (the desktop's own settings) may have changed the login item.
    refreshStartAtLogin();
}

void WatchFolderView::rebuildMenu()
{
    m_addMenu->clear();
    for (const auto& preset : m_store.presets()) {
        auto* action = m_addMenu->addAction(escapeMnemonics(toQString(preset.name)));
        connect(action, &QAction::triggered, this, [this, id = preset.id] { addFolder(id); });
    }
    m_addButton->setEnabled(!m_store.presets().empty());
}

void WatchFolderView::addFolder(const Uuid& presetID)
{
    if (!m_chooseFolder)
        return;
    QPointer<WatchFolderView> view(this);
    m_chooseFolder(this, [view, presetID](const FileURL& folder) {
        if (view)
            view->m_watches.addFolder(presetID, folder);
    });
}

void WatchFolderView::rebuildRows()
{
    for (auto& [id, row] : m_rows) {
        m_rowsLayout->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    while (auto* item = m_rowsLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto& folder : m_watches.folders()) {
        if (m_rows.contains(folder.id))
            continue;
        if (!m_rows.empty()) {
            auto* line = new QFrame(m_rowsHolder);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            m_rowsLayout->addWidget(line);
        }
        auto* row = new WatchFolderRow(m_watches, folder, m_rowsHolder);
        m_rowsLayout->addWidget(row);
        m_rows.emplace(folder.id, row);
    }
    m_rowsLayout->addStretch();
}

void WatchFolderView::updateRow(const Uuid& id)
{
    auto row = m_rows.find(id);
    auto folder = std::find_if(m_watches.folders().begin(), m_watches.folders().end(),
        [&](const WatchFolder& each) { return each.id == id; });
    if (row == m_rows.end() || folder == m_watches.folders().end())
        return;
    row->second->setFolder(*folder);
}

void WatchFolderView::refreshError()
{
    const auto& error = m_watches.error();
    setPlainText(*m_error, error ? toQString(*error) : QString());
    m_error->setVisible(error.has_value());
}

void WatchFolderView::refreshLog()
{
    m_activity->clear();
    for (const auto& line : m_watches.log())
        m_activity->addItem(toQString(line));
}

void WatchFolderView::refreshStartAtLogin()
{
    QSignalBlocker blocker(m_startAtLogin);
    m_startAtLogin->setChecked(m_watches.startAtLogin());
}

} // namespace sorvik
