#include "ShellTree.h"

#include "dialogs/DialogFrame.h"

#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QStyle>

#include <algorithm>
#include <vector>

namespace {

constexpr int kShellItemType = QTreeWidgetItem::UserType + 1;

// A tree item that owns its record: deleting the item releases the folder reference and
// the identifiers.
class CShellTreeItem : public QTreeWidgetItem {
public:
    explicit CShellTreeItem(ShellItemData data)
        : QTreeWidgetItem(kShellItemType), m_data(std::move(data)) {}
    ShellItemData m_data;
};

// The small icon, with the open icon shown while the item is selected.
QIcon ItemIcon(const QIcon& normal, const QIcon& open, const QSize& size) {
    QIcon icon;
    if (!normal.isNull())
        icon.addPixmap(normal.pixmap(size), QIcon::Normal);
    if (!open.isNull())
        icon.addPixmap(open.pixmap(size), QIcon::Selected);
    return icon;
}

} // namespace

CShellTree::CShellTree(INamespaceProvider& provider, QWidget* parent)
    : QTreeWidget(parent), m_provider(provider) {
    setObjectName(QStringLiteral("1055"));
    setHeaderHidden(true);
    // A long name widens the column and brings a horizontal scroll bar, rather than being cut.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QTreeWidget::itemExpanded, this, &CShellTree::OnItemExpanding);
}

ShellItemData* CShellTree::ItemData(QTreeWidgetItem* item) {
    if (!item || item->type() != kShellItemType)
        return nullptr;
    return &static_cast<CShellTreeItem*>(item)->m_data;
}

void CShellTree::SetSystemImageList() {
    const int size = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
    setIconSize(QSize(size, size));
}

void CShellTree::FillRoot() {
    const auto desktop = m_provider.GetDesktopFolder();
    if (!desktop)
        return;
    clear();
    FillChildren(desktop, {}, nullptr);
    SortChildren(nullptr);
    QTreeWidgetItem* first = topLevelItem(0);
    if (!first)
        return;
    first->setExpanded(true);
    setCurrentItem(first);
}

void CShellTree::FillChildren(const std::shared_ptr<INamespaceFolder>& folder,
                              const ItemIdList& parentAbsolute, QTreeWidgetItem* parent) {
    const auto items = folder->EnumObjects();
    if (!items)
        return;
    for (const ItemId& id : *items) {
        const unsigned attributes = folder->GetAttributesOf(id);
        if (!(attributes & kNsFolder))
            continue;
        const auto name = folder->GetDisplayNameOf(id);
        if (!name)
            return;
        ShellItemData record{folder, id, parentAbsolute, (attributes & kNsHasSubFolder) != 0,
                             false};
        record.pidlAbsolute.push_back(id);
        const QIcon icon = ItemIcon(m_provider.GetIcon(record.pidlAbsolute, false),
                                    m_provider.GetIcon(record.pidlAbsolute, true), iconSize());
        auto* item = new CShellTreeItem(std::move(record));
        item->setText(0, QString::fromStdString(*name));
        item->setIcon(0, icon);
        item->setChildIndicatorPolicy(item->m_data.bHasChildrenMark
                                          ? QTreeWidgetItem::ShowIndicator
                                          : QTreeWidgetItem::DontShowIndicatorWhenChildless);
        if (parent)
            parent->addChild(item);
        else
            addTopLevelItem(item);
    }
}

int CShellTree::CompareItems(const ShellItemData& first, const ShellItemData& second) {
    return first.pParentFolder->CompareIDs(first.pidlRelative, second.pidlRelative);
}

// Siblings share one parent folder, whose comparison orders them.
void CShellTree::SortChildren(QTreeWidgetItem* parent) {
    QList<QTreeWidgetItem*> items;
    if (parent)
        items = parent->takeChildren();
    else
        while (topLevelItemCount() > 0)
            items.push_back(takeTopLevelItem(0));
    std::stable_sort(items.begin(), items.end(), [](QTreeWidgetItem* a, QTreeWidgetItem* b) {
        return CompareItems(*ItemData(a), *ItemData(b)) < 0;
    });
    if (parent)
        parent->addChildren(items);
    else
        addTopLevelItems(items);
}

// Reads the item's folders once (none when `folder` is null); an item found to hold none
// loses its expand button.
void CShellTree::ReadChildren(QTreeWidgetItem* item, ShellItemData& record,
                              const std::shared_ptr<INamespaceFolder>& folder) {
    record.bExpandedOnce = true;
    if (folder)
        FillChildren(folder, record.pidlAbsolute, item);
    SortChildren(item);
    if (item->childCount() == 0)
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void CShellTree::OnItemExpanding(QTreeWidgetItem* item) {
    ShellItemData* record = ItemData(item);
    if (!record || record->bExpandedOnce || !record->bHasChildrenMark)
        return;
    ReadChildren(item, *record, record->pParentFolder->BindToObject(record->pidlRelative));
}

std::optional<std::string> CShellTree::OnSelChanged() {
    QTreeWidgetItem* item = currentItem();
    ShellItemData* record = ItemData(item);
    if (!record || !record->pParentFolder || record->pidlRelative.empty())
        return std::nullopt;
    const auto folder = record->pParentFolder->BindToObject(record->pidlRelative);
    if (!folder)
        return std::nullopt;
    std::optional<std::string> path;
    if (record->pParentFolder->GetAttributesOf(record->pidlRelative) & kNsFileSystem)
        path = m_provider.GetPathFromIDList(record->pidlAbsolute);
    if (record->bHasChildrenMark && !record->bExpandedOnce)
        ReadChildren(item, *record, folder);
    return path;
}

// The right button selects through the right click alone, once the press is over: a selection
// at the press would end the dialog before the click could open the item's menu over it.
void CShellTree::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CShellTree::OnRightClick(const QPoint& pos) {
    // The row counts, also beside or right of the label.
    QTreeWidgetItem* item = itemAt(QPoint(0, pos.y()));
    setCurrentItem(item);
    ShellItemData* record = ItemData(item);
    if (!record || !IsOnIconOrLabel(item, pos))
        return;
    ShowContextMenu(window(), record->pParentFolder, record->pidlRelative,
                    viewport()->mapToGlobal(pos));
}

bool CShellTree::IsOnIconOrLabel(QTreeWidgetItem* item, const QPoint& pos) const {
    const QRect row = visualItemRect(item);
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    int right = row.left() + margin + fontMetrics().horizontalAdvance(item->text(0)) + margin;
    if (!item->icon(0).isNull())
        right += iconSize().width() + 2 * margin;
    return row.contains(pos) && pos.x() < right;
}

void CShellTree::ShowContextMenu(QWidget* owner, const std::shared_ptr<INamespaceFolder>& folder,
                                 const ItemId& item, const QPoint& screenPos) {
    std::vector<ContextCommand> commands;
    std::string error;
    if (!folder->GetContextMenu(item, commands, error)) {
        ShowAppMessage(owner, QString::fromStdString(error), QMessageBox::NoIcon);
        return;
    }
    if (commands.empty())
        return;
    QMenu menu(owner);
    for (std::size_t i = 0; i < commands.size(); ++i)
        menu.addAction(commands[i].text)->setData(static_cast<qulonglong>(i));
    const QAction* chosen = menu.exec(screenPos);
    if (!chosen)
        return;
    if (!commands[chosen->data().toULongLong()].run(owner, error))
        ShowAppMessage(owner, QString::fromStdString(error), QMessageBox::NoIcon);
}
