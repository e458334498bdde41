#include "VolumeInfo.h"

#include "catalogue/MediaRules.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace fs = std::filesystem;

namespace {

struct MountLine {
    std::string device; // major:minor
    std::string root;   // the folder of the file system that is mounted
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

// The mount table writes blanks, tabs, line breaks and backslashes as \ooo (octal); udev
// names its links with \xhh.
std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (text[i] == '\\' && i + 3 < text.size() &&
                   std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out += static_cast<char>(std::strtol(text.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// "36 35 98:0 /mnt1 /mnt2 rw,noatime master:1 - ext3 /dev/root rw,errors=continue"
bool ParseMountLine(const std::string& line, MountLine& parsed) {
    std::istringstream in(line);
    std::string id;
    std::string parent;
    std::string field;
    if (!(in >> id >> parent >> parsed.device >> parsed.root >> parsed.mountPoint))
        return false;
    while (in >> field && field != "-") {
    }
    if (!(in >> parsed.fsType >> parsed.source))
        return false;
    parsed.root = Unescape(parsed.root);
    parsed.mountPoint = Unescape(parsed.mountPoint);
    parsed.source = Unescape(parsed.source);
    return true;
}

bool IsBelow(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/")
        return true;
    return path.compare(0, mountPoint.size(), mountPoint) == 0 &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The mount of the folder's device whose mount point is the longest prefix of its path `real`
// (without links).
bool FindMount(const fs::path& real, const std::string& mountInfo, MountLine& found) {
    struct stat st;
    if (::stat(real.c_str(), &st) != 0)
        return false;
    const std::string device =
        std::to_string(major(st.st_dev)) + ':' + std::to_string(minor(st.st_dev));
    std::ifstream in(mountInfo);
    bool any = false;
    MountLine line;
    for (std::string text; std::getline(in, text);) {
        if (!ParseMountLine(text, line) || line.device != device ||
            !IsBelow(real.string(), line.mountPoint))
            continue;
        if (!any || line.mountPoint.size() >= found.mountPoint.size())
            found = line;
        any = true;
    }
    return any;
}

// The name of the link in `folder` that leads to `device`, unescaped.
std::string LinkNameFor(const fs::path& folder, const fs::path& device) {
    std::error_code ec;
    for (const auto& link : fs::directory_iterator(folder, ec)) {
        std::error_code linkEc;
        if (fs::canonical(link.path(), linkEc) == device && !linkEc)
            return Unescape(link.path().filename().string());
    }
    return {};
}

// The folder `real`, below `mount`'s mount point, as a path from the root of the file system:
// the same whichever folder the file system, or a folder of it, is mounted on.
std::string PathInFileSystem(const fs::path& real, const MountLine& mount) {
    const fs::path below = real.lexically_relative(mount.mountPoint);
    fs::path path = fs::path(mount.root) / (below == "." ? fs::path() : below);
    std::string text = path.lexically_normal().string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

} // namespace

VolumeInfo VolumeOf(const std::string& folder, const std::string& mountInfo,
                    const std::string& diskFolder) {
    VolumeInfo volume;
    MountLine mount;
    std::error_code ec;
    const fs::path real = fs::canonical(folder.empty() ? "/" : folder, ec);
    if (ec || !FindMount(real, mountInfo, mount))
        return volume;
    volume.fsType = mount.fsType;
    volume.path = PathInFileSystem(real, mount);
    const fs::path device = fs::canonical(mount.source, ec);
    if (ec)
        return volume;
    volume.uuid = LinkNameFor(fs::path(diskFolder) / "by-uuid", device);
    volume.label = LinkNameFor(fs::path(diskFolder) / "by-label", device);
    return volume;
}

std::string MountPointOf(const std::string& folder, const std::string& mountInfo) {
    MountLine mount;
    std::error_code ec;
    const fs::path real = fs::canonical(folder.empty() ? "/" : folder, ec);
    if (ec || !FindMount(real, mountInfo, mount))
        return {};
    return mount.mountPoint;
}

std::vector<Medium> MediaListedFrom(ICatalogue& catalogue, const std::string& folder) {
    const VolumeInfo volume = VolumeOf(folder);
    std::vector<Medium> media = catalogue.Media();
    std::erase_if(media, [&](const Medium& m) { return !SameFolder(m.volume, volume); });
    return media;
}
