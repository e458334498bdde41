#pragma once

#include "catalogue/Catalogue.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <vector>

// The entries of one catalogued folder as the medium's window shows them: in the order the
// folder was read, or sorted by any column, sizes as numbers and times as times, names as the
// user reads them with case aside; ties keep the order of reading.
class CMediumEntryModel final : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name, Size, Modified, Attributes, ColumnCount };

    explicit CMediumEntryModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // A column of -1 gives back the order of reading.
    void sort(int column, Qt::SortOrder order) override;

    void SetEntries(std::vector<CataloguedEntry> entries);
    const CataloguedEntry& Entry(int row) const { return Row(row).entry; }
    // The row of the entry `id`, -1 when the folder has none.
    int RowOf(std::int64_t id) const;

private:
    struct Shown {
        CataloguedEntry entry;
        QString name; // as the user reads it
        std::size_t read = 0;
    };

    const Shown& Row(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    void Order();
    QVariant Display(const Shown& row, int column) const;
    QIcon Icon(EntryKind kind) const;

    std::vector<Shown> m_rows;
    int m_column = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    QIcon m_folderIcon;
    QIcon m_fileIcon;
    QIcon m_linkIcon;
};
