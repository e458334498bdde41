#include "DuplicatesWindow.h"

#include "shell/NameBytes.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Where a copy's item keeps its index in the window's copies.
constexpr int kCopyRole = Qt::UserRole;

// An item whose numbers sort as numbers (the display role holds them as such).
QTreeWidgetItem* GroupItem(const DuplicateGroup& group) {
    auto* item = new QTreeWidgetItem;
    const auto copies = static_cast<qulonglong>(group.copies.size());
    item->setData(CDuplicatesWindow::Size, Qt::DisplayRole, qulonglong{group.size});
    item->setData(CDuplicatesWindow::Copies, Qt::DisplayRole, copies);
    item->setData(CDuplicatesWindow::Wasted, Qt::DisplayRole,
                  qulonglong{group.size} * (copies - 1));
    item->setText(CDuplicatesWindow::Name, ReadableName(NameOf(group.copies.front().path)));
    for (int column = CDuplicatesWindow::Size; column <= CDuplicatesWindow::Wasted; ++column)
        item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

// What the search's thread hands over: filled there, read once the call has ended.
struct CDuplicatesWindow::Found {
    std::vector<DuplicateGroup> groups;
    std::size_t total = 0; // groups found, shown or not
    std::uint64_t wasted = 0;
};

CDuplicatesWindow::CDuplicatesWindow(std::string location, IPrompter& prompter,
                                     FolderOpener openFolder, QWidget* parent)
    : QWidget(parent, Qt::Window), m_location(std::move(location)), m_prompter(prompter),
      m_openFolder(std::move(openFolder)) {
    setWindowTitle(tr("Duplicates in Catalogue"));
    m_by = new QComboBox(this);
    m_by->setObjectName(QStringLiteral("compareBy"));
    m_by->addItem(tr("Same name and size"));
    m_by->addItem(tr("Same content (media added with checksums)"));
    auto* byLabel = new QLabel(tr("&Compare:"), this);
    byLabel->setBuddy(m_by);
    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("groups"));
    m_tree->setColumnCount(ColumnCount);
    m_tree->setHeaderLabels(
        {tr("Size"), tr("Copies"), tr("Wasted"), tr("Name or Path"), tr("Medium")});
    m_tree->setUniformRowHeights(true);
    m_tree->setTextElideMode(Qt::ElideMiddle);
    m_tree->header()->setSectionResizeMode(Name, QHeaderView::Stretch);
    m_tree->header()->setStretchLastSection(false);
    m_tree->setSortingEnabled(true);
    m_tree->sortByColumn(Wasted, Qt::DescendingOrder);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));

    auto* top = new QHBoxLayout;
    top->addWidget(byLabel);
    top->addWidget(m_by, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tree, 1);
    layout->addWidget(m_status);
    resize(760, 480);

    connect(m_by, &QComboBox::currentIndexChanged, this, &CDuplicatesWindow::Refresh);
    connect(m_tree, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (const CatalogueMatch* copy = CopyOf(item))
            emit browseAsked(copy->medium, copy->path);
    });
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QWidget::customContextMenuRequested, this,
            &CDuplicatesWindow::ShowContextMenu);
    connect(&m_task, &CCatalogueTask::finished, this, &CDuplicatesWindow::EndSearch);
    m_tree->setFocus(); // the arrows move among the groups, not the comparisons
    Refresh();
}

CDuplicatesWindow::~CDuplicatesWindow() = default;

void CDuplicatesWindow::Refresh() {
    m_tree->clear();
    m_copies.clear();
    m_status->setText(tr("Looking for files held more than once..."));
    const CopiesQuery query{m_by->currentIndex() == 1 ? CopiesBy::Content : CopiesBy::NameAndSize,
                            {}};
    auto found = std::make_shared<Found>();
    m_found = found;
    m_task.Start(m_location, [query, found](ICatalogue& catalogue, const std::atomic<bool>&) {
        catalogue.Duplicates(query, [&](const DuplicateGroup& group) {
            ++found->total;
            found->wasted += group.size * (group.copies.size() - 1);
            if (found->groups.size() < kMaxGroups)
                found->groups.push_back(group);
            return true;
        });
    });
}

void CDuplicatesWindow::EndSearch(CCatalogueTask::Outcome outcome, const QString& error) {
    if (outcome == CCatalogueTask::Outcome::Failed) {
        m_status->setText(ReadableName(error.toStdString()));
        return;
    }
    if (outcome == CCatalogueTask::Outcome::Done)
        ShowGroups();
}

void CDuplicatesWindow::ShowGroups() {
    const Found& found = *m_found;
    const QLocale locale;
    m_tree->setSortingEnabled(false);
    QList<QTreeWidgetItem*> items;
    for (const DuplicateGroup& group : found.groups) {
        QTreeWidgetItem* item = GroupItem(group);
        for (const CatalogueMatch& copy : group.copies) {
            auto* child = new QTreeWidgetItem(item);
            child->setText(Name, ReadableName(copy.path));
            child->setText(Medium, ReadableName(copy.medium));
            child->setData(Name, kCopyRole, static_cast<qulonglong>(m_copies.size()));
            m_copies.push_back(copy);
        }
        items.push_back(item);
    }
    m_tree->addTopLevelItems(items);
    m_tree->setSortingEnabled(true);
    QString text = found.total == 0
                       ? tr("No file is held more than once.")
                       : tr("%1 groups of copies, %2 bytes beyond the first copies.")
                             .arg(locale.toString(static_cast<qulonglong>(found.total)),
                                  locale.toString(static_cast<qulonglong>(found.wasted)));
    if (found.total > found.groups.size())
        text += tr(" The %1 that waste the most are shown.")
                    .arg(locale.toString(static_cast<qulonglong>(found.groups.size())));
    m_status->setText(text);
}

const CatalogueMatch* CDuplicatesWindow::CopyOf(const QTreeWidgetItem* item) const {
    const QVariant index = item ? item->data(Name, kCopyRole) : QVariant();
    return index.isValid() ? &m_copies.at(index.toULongLong()) : nullptr;
}

void CDuplicatesWindow::ShowContextMenu(const QPoint& position) {
    const CatalogueMatch* copy = CopyOf(m_tree->itemAt(position));
    if (!copy)
        return;
    QMenu menu(this);
    connect(menu.addAction(tr("Open Containing Folder")), &QAction::triggered, this,
            [this, match = *copy] { ::OpenContainingFolder(match, m_openFolder, m_prompter); });
    menu.exec(m_tree->viewport()->mapToGlobal(position));
}

QString CDuplicatesWindow::StatusText() const {
    return m_status->text();
}
