#include "MediumEntryModel.h"

#include "shell/EntryText.h"
#include "shell/NameBytes.h"

#include <QApplication>
#include <QLocale>
#include <QStyle>

#include <algorithm>

namespace {

// -1, 0 or 1 as `a` comes before, with or after `b`.
template <typename T> int Compare(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

CMediumEntryModel::CMediumEntryModel(QObject* parent)
    : QAbstractTableModel(parent),
      m_folderIcon(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
      m_fileIcon(QApplication::style()->standardIcon(QStyle::SP_FileIcon)),
      m_linkIcon(QApplication::style()->standardIcon(QStyle::SP_FileLinkIcon)) {}

int CMediumEntryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CMediumEntryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CMediumEntryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    const Shown& row = Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return Display(row, index.column());
    case Qt::DecorationRole:
        return index.column() == Name ? QVariant(Icon(row.entry.kind)) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Size ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

QVariant CMediumEntryModel::Display(const Shown& row, int column) const {
    switch (static_cast<Column>(column)) {
    case Name:
        return row.name;
    case Size:
        return QLocale().toString(static_cast<qulonglong>(row.entry.size));
    case Modified:
        return LocalTimeText(row.entry.modified);
    case Attributes:
        return AttributeLetters(row.entry.attributes);
    case ColumnCount:
        break;
    }
    return {};
}

QIcon CMediumEntryModel::Icon(EntryKind kind) const {
    switch (kind) {
    case EntryKind::Folder:
        return m_folderIcon;
    case EntryKind::Link:
        return m_linkIcon;
    default:
        return m_fileIcon;
    }
}

QVariant CMediumEntryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kTitles[] = {"Name", "Size", "Modified", "Attributes"};
    return tr(kTitles[section]);
}

void CMediumEntryModel::sort(int column, Qt::SortOrder order) {
    m_column = column >= 0 && column < ColumnCount ? column : -1;
    m_order = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::int64_t> ids;
    for (const QModelIndex& index : before)
        ids.push_back(Row(index.row()).entry.id);
    Order();
    QModelIndexList after;
    for (std::size_t i = 0; i < ids.size(); ++i)
        after.push_back(index(RowOf(ids[i]), before[static_cast<qsizetype>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CMediumEntryModel::Order() {
    const auto key = [column = m_column](const Shown& a, const Shown& b) {
        switch (column) {
        case Name:
            return a.name.compare(b.name, Qt::CaseInsensitive);
        case Size:
            return Compare(a.entry.size, b.entry.size);
        case Modified:
            return Compare(a.entry.modified, b.entry.modified);
        case Attributes:
            return AttributeLetters(a.entry.attributes)
                .compare(AttributeLetters(b.entry.attributes));
        default:
            return 0;
        }
    };
    const bool descending = m_order == Qt::DescendingOrder;
    std::sort(m_rows.begin(), m_rows.end(), [&](const Shown& a, const Shown& b) {
        const int order = key(a, b);
        if (order != 0)
            return descending ? order > 0 : order < 0;
        return a.read < b.read;
    });
}

void CMediumEntryModel::SetEntries(std::vector<CataloguedEntry> entries) {
    beginResetModel();
    m_rows.clear();
    m_rows.reserve(entries.size());
    for (CataloguedEntry& entry : entries) {
        QString name = ReadableName(entry.name);
        m_rows.push_back({std::move(entry), std::move(name), m_rows.size()});
    }
    Order();
    endResetModel();
}

int CMediumEntryModel::RowOf(std::int64_t id) const {
    const auto found = std::find_if(m_rows.begin(), m_rows.end(),
                                    [id](const Shown& row) { return row.entry.id == id; });
    return found == m_rows.end() ? -1 : static_cast<int>(found - m_rows.begin());
}
