#pragma once

#include "dialogs/Namespace.h"

#include <QFileIconProvider>

#include <string>
#include <vector>

// Where the file-system namespace finds its top-level items.
struct NamespaceLocations {
    std::string home;       // the home folder
    std::string desktop;    // the desktop folder (left out when missing or the home itself)
    std::string mountTable; // a mount table in the format of /proc/self/mounts
    // Folders whose mount points count as volumes: mount points below them, or equal.
    std::vector<std::string> volumeRoots = {"/media", "/run/media", "/mnt"};

    // The locations of the running session.
    static NamespaceLocations OfSession();
};

// The local file system as a namespace: a virtual "Computer" holding "/" and the mounted
// volumes, then the home folder and the desktop folder. Items below are folders and files
// of the file system; symbolic links to folders count as folders. Each file-system item's
// identifier is its absolute path. Context menu: Open, Copy Path, Properties.
class CFileSystemNamespace final : public INamespaceProvider {
public:
    explicit CFileSystemNamespace(NamespaceLocations locations = NamespaceLocations::OfSession());

    std::shared_ptr<INamespaceFolder> GetDesktopFolder() override;
    std::optional<std::string> GetPathFromIDList(const ItemIdList& item) override;
    QIcon GetIcon(const ItemIdList& item, bool open) override;

    // Mount points below the volume roots in a mount table's text, in table order.
    static std::vector<std::string> VolumesOf(const std::string& mountTableText,
                                              const std::vector<std::string>& volumeRoots);

private:
    NamespaceLocations m_locations;
    QFileIconProvider m_icons;
};

// The identifier of the virtual "Computer" item.
inline constexpr const char* kComputerId = "computer";
