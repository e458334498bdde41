#include "EntryStat.h"

#include "engine/FolderEntry.h"
#include "engine/Handles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/statvfs.h>

namespace {

// A sub-folder may be where another volume is mounted (a CD below /media): whether it is
// read-only is a matter of that volume. It is looked at without being opened for reading.
bool IsReadOnlyFolder(int folderFd, const char* name) {
    const Descriptor folder(
        ::openat(folderFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return folder.IsOpen() && IsReadOnlyVolume(folder.Get());
}

} // namespace

bool IsReadOnlyVolume(int fd) {
    struct statvfs volume;
    return ::fstatvfs(fd, &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
}

struct stat ExamineEntry(int folderFd, const char* name, unsigned char type, bool* refused) {
    struct stat st;
    const bool examined = ::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (refused)
        *refused = !examined && errno != ENOENT && errno != ENOTDIR;
    if (examined)
        return st;
    st = {};
    st.st_mode = (type == DT_UNKNOWN ? S_IFREG : DTTOIF(type)) | S_IWUSR;
    return st;
}

std::uint32_t EntryAttributes(int folderFd, const char* name, const struct stat& st,
                              bool readOnlyVolume) {
    const bool readOnly =
        readOnlyVolume || (S_ISDIR(st.st_mode) && IsReadOnlyFolder(folderFd, name));
    return AttributesOfMode(st.st_mode, name, readOnly);
}

std::uint32_t AttributesOfMode(mode_t mode, std::string_view name, bool readOnly) {
    std::uint32_t attributes = 0;
    if (S_ISDIR(mode))
        attributes |= kAttrFolder;
    else if (S_ISREG(mode) || S_ISLNK(mode))
        attributes |= kAttrArchive;
    else
        attributes |= kAttrSystem;
    if ((mode & S_IWUSR) == 0 || readOnly)
        attributes |= kAttrReadOnly;
    if (name.starts_with('.'))
        attributes |= kAttrHidden;
    return attributes;
}
