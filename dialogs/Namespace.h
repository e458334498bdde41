#pragma once

#include <QIcon>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

// What the folder browser knows of an item.
enum NamespaceAttribute : unsigned {
    kNsFolder = 0x1,       // can hold other items
    kNsHasSubFolder = 0x2, // holds at least one folder
    kNsFileSystem = 0x4,   // has a path in the file system
};

// An item's identifier within its parent folder; only the provider reads it.
using ItemId = std::string;
// An item's identifiers from the top-level folder down to the item itself.
using ItemIdList = std::vector<ItemId>;

// One command of an item's context menu. `run` returns false with a message in `error`.
struct ContextCommand {
    QString text;
    std::function<bool(QWidget* owner, std::string& error)> run;
};

// A folder of the namespace: it lists its items and answers for them. Folder objects are
// shared by the browser's records of the items they contain.
class INamespaceFolder {
public:
    virtual ~INamespaceFolder() = default;
    // Every item of the folder, folders and others alike; nothing when it cannot be read.
    virtual std::optional<std::vector<ItemId>> EnumObjects() = 0;
    // A mask of NamespaceAttribute.
    virtual unsigned GetAttributesOf(const ItemId& item) = 0;
    virtual std::optional<std::string> GetDisplayNameOf(const ItemId& item) = 0;
    // Negative when `a` comes before `b`, 0 when equal, positive after.
    virtual int CompareIDs(const ItemId& a, const ItemId& b) = 0;
    // The item opened as a folder; null when it cannot be opened.
    virtual std::shared_ptr<INamespaceFolder> BindToObject(const ItemId& item) = 0;
    // The commands the item offers (possibly none); false with a message in `error`.
    virtual bool GetContextMenu(const ItemId& item, std::vector<ContextCommand>& commands,
                                std::string& error) = 0;
};

// The namespace the folder browser shows: a top-level folder and what is known of an item
// from its full identifier list.
class INamespaceProvider {
public:
    virtual ~INamespaceProvider() = default;
    // Null when the namespace cannot be reached.
    virtual std::shared_ptr<INamespaceFolder> GetDesktopFolder() = 0;
    // The item's file-system path; nothing for a virtual item.
    virtual std::optional<std::string> GetPathFromIDList(const ItemIdList& item) = 0;
    // The item's small icon, or its open icon.
    virtual QIcon GetIcon(const ItemIdList& item, bool open) = 0;
};
