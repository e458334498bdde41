#pragma once

#include "dialogs/Namespace.h"

#include <QTreeWidget>

#include <memory>
#include <optional>
#include <string>

// What the browser keeps for each tree item: the folder that holds it (one shared reference),
// its identifier there, and its full identifier list. Released with the item.
struct ShellItemData {
    std::shared_ptr<INamespaceFolder> pParentFolder;
    ItemId pidlRelative;
    ItemIdList pidlAbsolute;
    bool bHasChildrenMark = false; // inserted as expandable
    bool bExpandedOnce = false;    // its children have been read
};

// The folder tree of the browser over a namespace provider (borrowed; it must outlive the
// tree). Folders are read lazily, on an item's first expansion or first selection, and never
// twice; files are never listed; siblings are ordered by their folder's own comparison.
class CShellTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit CShellTree(INamespaceProvider& provider, QWidget* parent = nullptr);

    void SetSystemImageList();
    // Lists the top-level items, sorted, expands the first and selects it.
    void FillRoot();
    // Inserts the folders of `folder` under `parent` (null: the top level), in enumeration
    // order. An item whose name cannot be read ends the fill there.
    void FillChildren(const std::shared_ptr<INamespaceFolder>& folder,
                      const ItemIdList& parentAbsolute, QTreeWidgetItem* parent);
    static int CompareItems(const ShellItemData& first, const ShellItemData& second);
    void OnItemExpanding(QTreeWidgetItem* item);
    // Reads the children of the selected item when not yet read; its file-system path, if any.
    std::optional<std::string> OnSelChanged();
    // Selects the item on the row at `pos` (viewport coordinates), which may end the dialog,
    // and opens its context menu when the point is on the item's icon or label. The dialog
    // runs it on a right click (the tree asks for its context menu through a signal).
    void OnRightClick(const QPoint& pos);
    void ShowContextMenu(QWidget* owner, const std::shared_ptr<INamespaceFolder>& folder,
                         const ItemId& item, const QPoint& screenPos);

    // The record of a tree item; null for an item the tree did not make.
    static ShellItemData* ItemData(QTreeWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ReadChildren(QTreeWidgetItem* item, ShellItemData& record,
                      const std::shared_ptr<INamespaceFolder>& folder);
    void SortChildren(QTreeWidgetItem* parent);
    bool IsOnIconOrLabel(QTreeWidgetItem* item, const QPoint& pos) const;

    INamespaceProvider& m_provider;
};
