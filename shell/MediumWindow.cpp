#include "MediumWindow.h"

#include "engine/Prompter.h"
#include "shell/EntryText.h"
#include "shell/NameBytes.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <QStyle>

#include <algorithm>
#include <utility>

namespace {

enum TreeColumn { FolderColumn, BytesColumn, FilesColumn, FoldersColumn, TreeColumnCount };

// A folder item's id within the medium, whether its sub-folders are in the tree, and the
// number behind each total's text.
constexpr int kIdRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;
constexpr int kNumberRole = Qt::UserRole + 2;

// Totals sort as numbers, names as the user reads them with case aside.
class CFolderItem final : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;

    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : FolderColumn;
        if (column == FolderColumn)
            return text(column).compare(other.text(column), Qt::CaseInsensitive) < 0;
        return data(column, kNumberRole).toULongLong() <
               other.data(column, kNumberRole).toULongLong();
    }
};

QString Number(std::uint64_t number) {
    return QLocale().toString(static_cast<qulonglong>(number));
}

void SetTotal(QTreeWidgetItem* item, int column, std::uint64_t number) {
    item->setText(column, Number(number));
    item->setData(column, kNumberRole, static_cast<qulonglong>(number));
    item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
}

void SetTotals(QTreeWidgetItem* item, const FolderTotals& totals) {
    SetTotal(item, BytesColumn, totals.bytes);
    SetTotal(item, FilesColumn, static_cast<std::uint64_t>(totals.files));
    SetTotal(item, FoldersColumn, static_cast<std::uint64_t>(totals.folders));
}

// A folder with folders below it shows that it can be expanded before they are read.
void MarkExpandable(QTreeWidgetItem* item, const FolderTotals& totals) {
    if (totals.folders > 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
}

std::int64_t IdOf(const QTreeWidgetItem* item) {
    return item->data(FolderColumn, kIdRole).toLongLong();
}

// The parts of `path` below the medium's listed folder, none when `path` is not below it.
std::vector<std::string> PartsBelow(const std::string& folder, const std::string& path) {
    std::string prefix = folder.empty() ? "/" : folder;
    if (prefix.back() != '/')
        prefix += '/';
    std::vector<std::string> parts;
    if (!path.starts_with(prefix))
        return parts;
    std::size_t start = prefix.size();
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The id of the entry `name` among `entries`, of kind `kind` when one is given.
std::optional<std::int64_t> EntryNamed(const std::vector<CataloguedEntry>& entries,
                                       const std::string& name,
                                       std::optional<EntryKind> kind = std::nullopt) {
    for (const CataloguedEntry& entry : entries)
        if (entry.name == name && (!kind || entry.kind == *kind))
            return entry.id;
    return std::nullopt;
}

QLabel* IdentityValue(const char* name) {
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setTextFormat(Qt::PlainText);
    // A long path takes the room there is, and no more.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

} // namespace

// One read on the read task's thread: the medium and a path down from its listed folder, or
// one folder. What it found is the GUI thread's once the call has ended.
struct CMediumWindow::Read {
    std::optional<std::string> path;
    std::int64_t folder = 0;
    std::optional<Medium> medium;
    bool mediumMissing = false;
    // Each folder read, after the one that holds it.
    std::vector<std::pair<std::int64_t, std::vector<CataloguedEntry>>> folders;
    std::optional<std::int64_t> entryToSelect;

    void Run(ICatalogue& catalogue, const std::string& name) {
        if (!path) {
            folders.emplace_back(folder, catalogue.FolderEntries(name, folder));
            return;
        }
        for (Medium& m : catalogue.Media())
            if (m.name == name)
                medium = std::move(m);
        if (!medium) {
            mediumMissing = true;
            return;
        }
        folders.emplace_back(0, catalogue.FolderEntries(name, 0));
        const std::vector<std::string> parts = PartsBelow(medium->folder, *path);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::vector<CataloguedEntry>& entries = folders.back().second;
            const bool last = i + 1 == parts.size();
            const auto found = EntryNamed(entries, parts[i],
                                          last ? std::nullopt : std::optional(EntryKind::Folder));
            if (!found)
                return;
            if (last) {
                entryToSelect = found;
                return;
            }
            folders.emplace_back(*found, catalogue.FolderEntries(name, *found));
        }
    }
};

CMediumWindow::CMediumWindow(std::string location, std::string medium, IPrompter& prompter,
                             QWidget* parent)
    : QWidget(parent, Qt::Window), m_location(std::move(location)), m_medium(std::move(medium)),
      m_prompter(prompter) {
    setObjectName(QStringLiteral("mediumWindow"));
    setWindowTitle(tr("Medium %1").arg(ReadableName(m_medium)));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateIdentity());
    CreateEntries();
    CreateTree();
    auto* browse = new QSplitter;
    browse->addWidget(m_tree);
    browse->addWidget(m_entries);
    browse->setStretchFactor(1, 1);
    layout->addWidget(browse, 1);
    m_status = new QLabel;
    m_status->setObjectName(QStringLiteral("mediumStatus"));
    m_status->setTextFormat(Qt::PlainText);
    m_list = new QPushButton(tr("L&ist This Folder"));
    m_list->setObjectName(QStringLiteral("listFolder"));
    m_list->setEnabled(false);
    connect(m_list, &QPushButton::clicked, this, [this] {
        if (m_shown)
            emit listAsked(m_medium, *m_shown);
    });
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(m_list);
    layout->addLayout(bottom);

    // Backspace edits the fields: it goes up a folder only in the tree and the table.
    auto* up = new QShortcut(QKeySequence(Qt::Key_Backspace), browse, nullptr, nullptr,
                             Qt::WidgetWithChildrenShortcut);
    connect(up, &QShortcut::activated, this, &CMediumWindow::OpenParent);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] { emit findAsked(m_medium); });
    connect(&m_readTask, &CCatalogueTask::finished, this, &CMediumWindow::EndRead);
    connect(&m_saveTask, &CCatalogueTask::finished, this, &CMediumWindow::EndSave);

    resize(960, 600);
    m_tree->setFocus();
    ShowEntryAt({});
}

// The tree's items go after this object: their going selects no folder here.
CMediumWindow::~CMediumWindow() {
    m_tree->disconnect(this);
}

QWidget* CMediumWindow::CreateIdentity() {
    auto* box = new QGroupBox(tr("Medium"));
    auto* grid = new QGridLayout(box);
    m_name = IdentityValue("mediumName");
    m_label = IdentityValue("mediumLabel");
    m_uuid = IdentityValue("mediumUuid");
    m_fileSystem = IdentityValue("mediumFileSystem");
    m_folder = IdentityValue("mediumFolder");
    m_added = IdentityValue("mediumAdded");
    const auto add = [grid](int row, int column, const QString& title, QWidget* value) {
        grid->addWidget(new QLabel(title), row, column * 2);
        grid->addWidget(value, row, column * 2 + 1);
    };
    add(0, 0, tr("Name:"), m_name);
    add(0, 1, tr("Added:"), m_added);
    add(1, 0, tr("Label:"), m_label);
    add(1, 1, tr("File system:"), m_fileSystem);
    add(2, 0, tr("UUID:"), m_uuid);
    add(2, 1, tr("Listed from:"), m_folder);

    m_shelfLocation = new QLineEdit;
    m_shelfLocation->setObjectName(QStringLiteral("shelfLocation"));
    m_shelfLocation->setPlaceholderText(tr("Where the medium is kept"));
    m_note = new QLineEdit;
    m_note->setObjectName(QStringLiteral("shelfNote"));
    m_save = new QPushButton(tr("&Save"));
    m_save->setObjectName(QStringLiteral("saveShelf"));
    m_save->setEnabled(false);
    auto* location = new QLabel(tr("&Location:"));
    location->setBuddy(m_shelfLocation);
    auto* note = new QLabel(tr("&Note:"));
    note->setBuddy(m_note);
    grid->addWidget(location, 3, 0);
    grid->addWidget(m_shelfLocation, 3, 1, 1, 3);
    grid->addWidget(note, 4, 0);
    grid->addWidget(m_note, 4, 1, 1, 2);
    grid->addWidget(m_save, 4, 3, Qt::AlignRight);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    for (QLineEdit* edit : {m_shelfLocation, m_note}) {
        edit->setEnabled(false);
        connect(edit, &QLineEdit::textEdited, this, &CMediumWindow::UpdateSaveButton);
        connect(edit, &QLineEdit::returnPressed, this, &CMediumWindow::SaveShelf);
    }
    connect(m_save, &QPushButton::clicked, this, &CMediumWindow::SaveShelf);
    return box;
}

void CMediumWindow::CreateTree() {
    m_tree = new QTreeWidget;
    m_tree->setObjectName(QStringLiteral("folderTree"));
    m_tree->setColumnCount(TreeColumnCount);
    m_tree->setHeaderLabels({tr("Folder"), tr("Bytes"), tr("Files"), tr("Folders")});
    m_tree->setSortingEnabled(true);
    m_tree->sortByColumn(FolderColumn, Qt::AscendingOrder);
    m_tree->setUniformRowHeights(true);
    const QFontMetrics metrics(m_tree->font());
    QHeaderView* header = m_tree->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(FolderColumn, QHeaderView::Stretch);
    header->resizeSection(BytesColumn,
                          metrics.horizontalAdvance(QStringLiteral("000,000,000,000")));
    header->resizeSection(FilesColumn, metrics.horizontalAdvance(QStringLiteral("0,000,000000")));
    header->resizeSection(FoldersColumn, metrics.horizontalAdvance(QStringLiteral("000,000000")));
    m_tree->setMinimumWidth(metrics.horizontalAdvance(QLatin1Char('x')) * 60);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &CMediumWindow::FolderSelected);
    connect(m_tree, &QTreeWidget::itemExpanded, this, &CMediumWindow::FolderExpanded);
    // Enter in the tree goes on in the folder's entries.
    connect(m_tree, &QTreeWidget::activated, m_entries, [this] { m_entries->setFocus(); });
}

void CMediumWindow::CreateEntries() {
    m_entries = new QTableView;
    m_entries->setObjectName(QStringLiteral("entryTable"));
    m_entries->setModel(&m_model);
    m_entries->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_entries->setSelectionMode(QAbstractItemView::SingleSelection);
    m_entries->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_entries->setWordWrap(false);
    m_entries->setTextElideMode(Qt::ElideMiddle);
    m_entries->verticalHeader()->hide();
    // Heights and widths from the font, never from the rows: a folder may hold 10^5.
    const QFontMetrics metrics(m_entries->font());
    m_entries->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_entries->verticalHeader()->setDefaultSectionSize(metrics.height() + 6);
    QHeaderView* header = m_entries->horizontalHeader();
    header->setSectionResizeMode(CMediumEntryModel::Name, QHeaderView::Stretch);
    constexpr int kMargins = 24;
    header->resizeSection(CMediumEntryModel::Size,
                          metrics.horizontalAdvance(QStringLiteral("000,000,000,000")) + kMargins);
    header->resizeSection(CMediumEntryModel::Modified,
                          metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) +
                              kMargins);
    header->resizeSection(CMediumEntryModel::Attributes,
                          std::max(metrics.horizontalAdvance(QStringLiteral("AHRSD")),
                                   metrics.horizontalAdvance(tr("Attributes"))) +
                              kMargins);
    // No column is sorted at first: the entries come in the order the folder was read.
    // A third click on a column gives that order back.
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    m_entries->setSortingEnabled(true);
    connect(m_entries, &QTableView::activated, this, &CMediumWindow::EntryActivated);
}

void CMediumWindow::ShowIdentity(const Medium& medium) {
    m_name->setText(ReadableName(medium.name));
    m_label->setText(ReadableName(medium.volume.label));
    m_uuid->setText(ReadableName(medium.volume.uuid));
    m_fileSystem->setText(ReadableName(medium.volume.fsType));
    m_folder->setText(ReadableName(medium.folder));
    m_folder->setToolTip(PathText(medium.folder));
    m_added->setText(LocalTimeText(medium.added));
    m_saved = {medium.location, medium.note};
    m_shelfLocation->setText(ReadableName(medium.location));
    m_note->setText(ReadableName(medium.note));
    m_shelfLocation->setEnabled(true);
    m_note->setEnabled(true);
    UpdateSaveButton();
}

// The listed folder, with the medium's totals.
void CMediumWindow::MakeRoot(const Medium& medium) {
    auto* root = new CFolderItem(m_tree);
    root->setText(FolderColumn, ReadableName(medium.folder));
    root->setToolTip(FolderColumn, PathText(medium.folder));
    root->setIcon(FolderColumn, style()->standardIcon(QStyle::SP_DriveHDIcon));
    root->setData(FolderColumn, kIdRole, qlonglong{0});
    const FolderTotals totals{medium.bytes, medium.files, medium.folders};
    SetTotals(root, totals);
    MarkExpandable(root, totals);
    m_items[0] = root;
}

void CMediumWindow::ShowEntryAt(const std::string& path) {
    m_pathToShow = path;
    StartNextRead();
}

// A path first, then the folder shown, then the folders expanded, one read at a time.
void CMediumWindow::StartNextRead() {
    if (m_read)
        return;
    auto read = std::make_shared<Read>();
    const auto current = CurrentFolder();
    if (m_pathToShow) {
        read->path = std::exchange(m_pathToShow, std::nullopt);
    } else if (current && m_shown != current) {
        read->folder = *current;
    } else {
        while (!m_toExpand.empty() && m_items.at(m_toExpand.front())->data(0, kFilledRole).toBool())
            m_toExpand.pop_front();
        if (m_toExpand.empty())
            return;
        read->folder = m_toExpand.front();
        m_toExpand.pop_front();
    }
    StartRead(std::move(read));
}

void CMediumWindow::StartRead(std::shared_ptr<Read> read) {
    m_read = read;
    SetStatus(tr("Reading the catalogue..."));
    m_readTask.Start(m_location,
                     [read, name = m_medium](ICatalogue& catalogue, const std::atomic<bool>&) {
                         read->Run(catalogue, name);
                     });
}

// The read stays in flight while it is applied: the folder it selects is not read again.
void CMediumWindow::EndRead(CCatalogueTask::Outcome outcome, const QString& error) {
    if (outcome == CCatalogueTask::Outcome::Failed) {
        // Nothing more is read until the user asks again.
        m_read.reset();
        m_toExpand.clear();
        SetShown(CurrentFolder());
        SetStatus(error);
        return;
    }
    if (outcome == CCatalogueTask::Outcome::Done)
        Apply(*m_read);
    m_read.reset();
    StartNextRead();
}

void CMediumWindow::Apply(Read& read) {
    if (read.mediumMissing) {
        SetStatus(tr("The catalogue has no medium \"%1\".").arg(ReadableName(m_medium)));
        return;
    }
    if (read.medium && m_items.empty()) {
        ShowIdentity(*read.medium);
        MakeRoot(*read.medium);
    }
    for (const auto& [id, entries] : read.folders)
        if (const auto item = m_items.find(id); item != m_items.end())
            FillFolder(item->second, entries);
    if (read.path && !read.folders.empty()) {
        QTreeWidgetItem* deepest = m_items.at(read.folders.back().first);
        m_entryToSelect = read.entryToSelect;
        for (QTreeWidgetItem* above = deepest->parent(); above; above = above->parent())
            above->setExpanded(true);
        m_tree->setCurrentItem(deepest);
        m_tree->scrollToItem(deepest);
    }
    for (auto& [id, entries] : read.folders)
        if (id == CurrentFolder())
            ShowEntries(id, std::move(entries));
}

// The sub-folders of a folder item, once.
void CMediumWindow::FillFolder(QTreeWidgetItem* item, const std::vector<CataloguedEntry>& entries) {
    if (item->data(FolderColumn, kFilledRole).toBool())
        return;
    item->setData(FolderColumn, kFilledRole, true);
    const QIcon icon = style()->standardIcon(QStyle::SP_DirIcon);
    QList<QTreeWidgetItem*> children;
    for (const CataloguedEntry& entry : entries) {
        if (entry.kind != EntryKind::Folder)
            continue;
        auto* child = new CFolderItem;
        child->setText(FolderColumn, ReadableName(entry.name));
        child->setIcon(FolderColumn, icon);
        child->setData(FolderColumn, kIdRole, static_cast<qlonglong>(entry.id));
        // A folder that could not be read has no totals.
        if (entry.totals) {
            SetTotals(child, *entry.totals);
            MarkExpandable(child, *entry.totals);
        }
        m_items[entry.id] = child;
        children.push_back(child);
    }
    item->addChildren(children);
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void CMediumWindow::ShowEntries(std::int64_t id, std::vector<CataloguedEntry> entries) {
    const std::size_t count = entries.size();
    m_model.SetEntries(std::move(entries));
    SetShown(id);
    const int row = m_entryToSelect ? std::max(0, m_model.RowOf(*m_entryToSelect)) : 0;
    m_entryToSelect.reset();
    if (m_model.rowCount() > 0) {
        m_entries->setCurrentIndex(m_model.index(row, CMediumEntryModel::Name));
        m_entries->scrollTo(m_entries->currentIndex());
    }
    SetStatus(count == 1
                  ? tr("1 entry")
                  : tr("%1 entries").arg(QLocale().toString(static_cast<qulonglong>(count))));
    emit entriesShown(id);
}

// Only a folder whose entries the table shows can be listed.
void CMediumWindow::SetShown(std::optional<std::int64_t> id) {
    m_shown = id;
    m_list->setEnabled(id.has_value());
}

std::optional<std::int64_t> CMediumWindow::CurrentFolder() const {
    const QTreeWidgetItem* item = m_tree->currentItem();
    return item ? std::optional(IdOf(item)) : std::nullopt;
}

// The table empties until the folder has been read: it never shows another's entries.
void CMediumWindow::FolderSelected(QTreeWidgetItem* item) {
    if (!item)
        return;
    if (m_shown != IdOf(item)) {
        m_model.SetEntries({});
        SetShown(std::nullopt);
    }
    emit folderChanged(IdOf(item));
    StartNextRead();
}

void CMediumWindow::FolderExpanded(QTreeWidgetItem* item) {
    if (item->data(FolderColumn, kFilledRole).toBool())
        return;
    m_toExpand.push_back(IdOf(item));
    StartNextRead();
}

void CMediumWindow::EntryActivated(const QModelIndex& index) {
    const CataloguedEntry& entry = m_model.Entry(index.row());
    if (entry.kind == EntryKind::Folder)
        OpenFolder(entry.id);
}

void CMediumWindow::OpenFolder(std::int64_t id) {
    const auto item = m_items.find(id);
    if (item == m_items.end())
        return;
    if (item->second->parent())
        item->second->parent()->setExpanded(true);
    m_tree->setCurrentItem(item->second);
    m_tree->scrollToItem(item->second);
}

void CMediumWindow::OpenParent() {
    QTreeWidgetItem* item = m_tree->currentItem();
    if (!item || !item->parent())
        return;
    m_entryToSelect = IdOf(item);
    m_tree->setCurrentItem(item->parent());
    m_tree->scrollToItem(item->parent());
}

bool CMediumWindow::Reading() const {
    return m_read || m_pathToShow;
}

bool CMediumWindow::Saving() const {
    return m_saving.has_value();
}

// A field that the user left as it shows keeps the catalogue's bytes, which need not be UTF-8.
CMediumWindow::Shelf CMediumWindow::EditedShelf() const {
    const auto edited = [](const QLineEdit* edit, const std::string& saved) {
        return edit->text() == ReadableName(saved) ? saved : edit->text().toStdString();
    };
    return {edited(m_shelfLocation, m_saved.location), edited(m_note, m_saved.note)};
}

void CMediumWindow::UpdateSaveButton() {
    const Shelf edited = EditedShelf();
    m_save->setEnabled(!Saving() && m_shelfLocation->isEnabled() &&
                       (edited.location != m_saved.location || edited.note != m_saved.note));
}

void CMediumWindow::SaveShelf() {
    if (Saving() || !m_shelfLocation->isEnabled())
        return;
    m_saving = EditedShelf();
    m_saveTask.Start(m_location, [name = m_medium, shelf = *m_saving](ICatalogue& catalogue,
                                                                      const std::atomic<bool>&) {
        if (!catalogue.SetShelf(name, shelf.location, shelf.note))
            throw CatalogueError("The catalogue has no medium \"" + name + "\" any more.");
    });
    UpdateSaveButton();
}

void CMediumWindow::EndSave(CCatalogueTask::Outcome outcome, const QString& error) {
    const Shelf saved = *std::exchange(m_saving, std::nullopt);
    if (outcome == CCatalogueTask::Outcome::Done) {
        m_saved = saved;
        SetStatus(tr("Location and note saved."));
    } else if (outcome == CCatalogueTask::Outcome::Failed) {
        // The fields keep what the user typed.
        Report(error.toStdString());
    }
    UpdateSaveButton();
    if (m_closeWhenSaved)
        close();
}

void CMediumWindow::SetStatus(const QString& text) {
    m_status->setText(text);
}

QString CMediumWindow::StatusText() const {
    return m_status->text();
}

void CMediumWindow::Report(const std::string& text) {
    m_prompter.Prompt(text, kAppTitle, MessageIcon::Error, MessageButtons::Ok);
}

// A save in flight ends before the window goes, unless the user closes it once more.
void CMediumWindow::closeEvent(QCloseEvent* event) {
    if (Saving() && !m_closeWhenSaved) {
        m_closeWhenSaved = true;
        SetStatus(tr("Saving the location and note..."));
        event->ignore();
        return;
    }
    m_readTask.Stop();
    m_saveTask.Stop();
    QWidget::closeEvent(event);
}
