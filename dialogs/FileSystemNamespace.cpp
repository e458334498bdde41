#include "FileSystemNamespace.h"

#include "dialogs/DialogFrame.h"

#include <QClipboard>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos || path.size() == 1 ? path : path.substr(slash + 1);
}

// Names beginning with "." (".", ".." and hidden folders) are not offered, as file dialogs
// of the desktop leave them out; such a folder can still be typed in the form.
bool IsHiddenName(const char* name) {
    return name[0] == '.';
}

// A directory entry that is a folder or a link to one; the type the directory gives spares a
// look at the entry itself when it is known.
bool IsFolderEntry(const std::string& folder, const dirent& entry) {
    if (entry.d_type == DT_DIR)
        return true;
    return (entry.d_type == DT_LNK || entry.d_type == DT_UNKNOWN) &&
           IsDirectory(JoinPath(folder, entry.d_name));
}

// The folder holds at least one folder. An unreadable folder holds none.
bool HasSubFolder(const std::string& path) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir))
        if (!IsHiddenName(entry->d_name) && IsFolderEntry(path, *entry)) {
            found = true;
            break;
        }
    ::closedir(dir);
    return found;
}

unsigned FileSystemAttributes(const std::string& path) {
    if (!IsDirectory(path))
        return kNsFileSystem;
    return kNsFolder | kNsFileSystem | (HasSubFolder(path) ? kNsHasSubFolder : 0u);
}

int CompareNames(const std::string& a, const std::string& b) {
    const QString first = QString::fromStdString(a);
    const QString second = QString::fromStdString(b);
    const int ignoringCase = QString::compare(first, second, Qt::CaseInsensitive);
    return ignoringCase != 0 ? ignoringCase : QString::compare(first, second, Qt::CaseSensitive);
}

QString PermissionText(mode_t mode) {
    const char* const letters = "rwxrwxrwx";
    QString text = S_ISDIR(mode) ? QStringLiteral("d") : QStringLiteral("-");
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QChar::fromLatin1(letters[bit]) : QChar(u'-');
    return text;
}

bool ShowProperties(QWidget* owner, const std::string& path, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = "The properties of \"" + path + "\" cannot be read: it is no longer there.";
        return false;
    }
    const QString text =
        QStringLiteral("Path: %1\nSize: %2 bytes\nPermissions: %3\nModified: %4")
            .arg(QString::fromStdString(path))
            .arg(static_cast<qulonglong>(st.st_size))
            .arg(PermissionText(st.st_mode))
            .arg(QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec).toString(Qt::ISODate));
    ShowAppMessage(owner, text, QMessageBox::Information);
    return true;
}

// Open (the desktop's file manager), Copy Path, Properties.
bool FileCommands(const std::string& path, std::vector<ContextCommand>& commands,
                  std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = "\"" + path + "\" is no longer there.";
        return false;
    }
    commands.push_back(
        {QStringLiteral("Open"), [path](QWidget*, std::string& failure) {
             if (QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))))
                 return true;
             failure = "\"" + path + "\" could not be opened.";
             return false;
         }});
    commands.push_back({QStringLiteral("Copy Path"), [path](QWidget*, std::string&) {
                            QGuiApplication::clipboard()->setText(QString::fromStdString(path));
                            return true;
                        }});
    commands.push_back({QStringLiteral("Properties"), [path](QWidget* owner, std::string& failure) {
                            return ShowProperties(owner, path, failure);
                        }});
    return true;
}

// A folder whose items are file-system folders and files, identified by their absolute paths.
class CPathItemsFolder : public INamespaceFolder {
public:
    unsigned GetAttributesOf(const ItemId& item) override { return FileSystemAttributes(item); }
    std::shared_ptr<INamespaceFolder> BindToObject(const ItemId& item) override;
    bool GetContextMenu(const ItemId& item, std::vector<ContextCommand>& commands,
                        std::string& error) override {
        return FileCommands(item, commands, error);
    }
};

// A folder of the file system, listing what it holds by name.
class CDirectoryFolder : public CPathItemsFolder {
public:
    explicit CDirectoryFolder(std::string path) : m_path(std::move(path)) {}

    std::optional<std::vector<ItemId>> EnumObjects() override {
        DIR* dir = ::opendir(m_path.c_str());
        if (!dir)
            return std::nullopt;
        std::vector<ItemId> items;
        while (const dirent* entry = ::readdir(dir))
            if (!IsHiddenName(entry->d_name))
                items.push_back(JoinPath(m_path, entry->d_name));
        ::closedir(dir);
        return items;
    }
    std::optional<std::string> GetDisplayNameOf(const ItemId& item) override {
        return BaseName(item);
    }
    int CompareIDs(const ItemId& a, const ItemId& b) override {
        return CompareNames(BaseName(a), BaseName(b));
    }

private:
    std::string m_path;
};

std::shared_ptr<INamespaceFolder> CPathItemsFolder::BindToObject(const ItemId& item) {
    if (!IsDirectory(item))
        return nullptr;
    return std::make_shared<CDirectoryFolder>(item);
}

// The virtual "Computer": the root of the file system and the mounted volumes, by path.
class CComputerFolder : public CPathItemsFolder {
public:
    explicit CComputerFolder(std::vector<std::string> volumes) : m_volumes(std::move(volumes)) {}

    std::optional<std::vector<ItemId>> EnumObjects() override { return m_volumes; }
    std::optional<std::string> GetDisplayNameOf(const ItemId& item) override { return item; }
    int CompareIDs(const ItemId& a, const ItemId& b) override { return CompareNames(a, b); }

private:
    std::vector<std::string> m_volumes;
};

// The top level: "Computer", the home folder and the desktop folder, in that order.
class CTopLevelFolder : public CPathItemsFolder {
public:
    explicit CTopLevelFolder(const NamespaceLocations& locations) : m_locations(locations) {}

    std::optional<std::vector<ItemId>> EnumObjects() override {
        std::vector<ItemId> items = {kComputerId};
        if (IsDirectory(m_locations.home))
            items.push_back(m_locations.home);
        if (m_locations.desktop != m_locations.home && IsDirectory(m_locations.desktop))
            items.push_back(m_locations.desktop);
        return items;
    }
    unsigned GetAttributesOf(const ItemId& item) override {
        if (item == kComputerId)
            return kNsFolder | kNsHasSubFolder;
        return CPathItemsFolder::GetAttributesOf(item);
    }
    std::optional<std::string> GetDisplayNameOf(const ItemId& item) override {
        if (item == kComputerId)
            return "Computer";
        return item == m_locations.home ? "Home" : "Desktop";
    }
    int CompareIDs(const ItemId& a, const ItemId& b) override { return Rank(a) - Rank(b); }
    std::shared_ptr<INamespaceFolder> BindToObject(const ItemId& item) override {
        if (item == kComputerId)
            return std::make_shared<CComputerFolder>(Volumes());
        return CPathItemsFolder::BindToObject(item);
    }
    bool GetContextMenu(const ItemId& item, std::vector<ContextCommand>& commands,
                        std::string& error) override {
        return item == kComputerId || CPathItemsFolder::GetContextMenu(item, commands, error);
    }

private:
    int Rank(const ItemId& item) const {
        if (item == kComputerId)
            return 0;
        return item == m_locations.home ? 1 : 2;
    }
    std::vector<std::string> Volumes() const {
        std::ifstream table(m_locations.mountTable);
        std::stringstream text;
        text << table.rdbuf();
        std::vector<std::string> volumes = {"/"};
        for (auto& volume : CFileSystemNamespace::VolumesOf(text.str(), m_locations.volumeRoots))
            volumes.push_back(std::move(volume));
        return volumes;
    }

    NamespaceLocations m_locations;
};

// A mount point as the table writes it: blanks, tabs, line breaks and backslashes as octal.
std::string UnescapeMountPoint(const std::string& field) {
    std::string text;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
                           field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                           field[i + 3] >= '0' && field[i + 3] <= '7';
        if (!octal) {
            text += field[i];
            continue;
        }
        text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                  (field[i + 3] - '0'));
        i += 3;
    }
    return text;
}

bool IsBelowOrAt(const std::string& path, const std::string& root) {
    return path == root || (path.starts_with(root) && path[root.size()] == '/');
}

} // namespace

NamespaceLocations NamespaceLocations::OfSession() {
    NamespaceLocations locations;
    locations.home = QDir::homePath().toStdString();
    locations.desktop =
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
    locations.mountTable = "/proc/self/mounts";
    return locations;
}

CFileSystemNamespace::CFileSystemNamespace(NamespaceLocations locations)
    : m_locations(std::move(locations)) {}

std::shared_ptr<INamespaceFolder> CFileSystemNamespace::GetDesktopFolder() {
    return std::make_shared<CTopLevelFolder>(m_locations);
}

std::optional<std::string> CFileSystemNamespace::GetPathFromIDList(const ItemIdList& item) {
    if (item.empty() || !item.back().starts_with('/'))
        return std::nullopt;
    return item.back();
}

QIcon CFileSystemNamespace::GetIcon(const ItemIdList& item, bool open) {
    if (item.empty())
        return {};
    if (item.back() == kComputerId)
        return m_icons.icon(QFileIconProvider::Computer);
    const QIcon closed = m_icons.icon(QFileInfo(QString::fromStdString(item.back())));
    return open ? QIcon::fromTheme(QStringLiteral("folder-open"), closed) : closed;
}

std::vector<std::string>
CFileSystemNamespace::VolumesOf(const std::string& mountTableText,
                                const std::vector<std::string>& volumeRoots) {
    std::vector<std::string> volumes;
    std::istringstream lines(mountTableText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device;
        std::string field;
        if (!(fields >> device >> field))
            continue;
        const std::string mountPoint = UnescapeMountPoint(field);
        const bool isVolume =
            std::any_of(volumeRoots.begin(), volumeRoots.end(),
                        [&](const std::string& root) { return IsBelowOrAt(mountPoint, root); });
        if (isVolume && std::find(volumes.begin(), volumes.end(), mountPoint) == volumes.end())
            volumes.push_back(mountPoint);
    }
    return volumes;
}
