#include "EntryStat.h"

#include "engine/FolderEntry.h"
#include "engine/Handles.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

namespace {

// A sub-folder may be where another volume is mounted (a CD below /media): whether it is
// read-only is a matter of that volume. It is looked at without being opened for reading.
bool IsReadOnlyFolder(int folderFd, const char* name) {
    const Descriptor folder(
        ::openat(folderFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return folder.IsOpen() && IsReadOnlyVolume(folder.Get());
}

struct stat StatusOf(const struct statx& found) {
    struct stat status {};
    status.st_dev = makedev(found.stx_dev_major, found.stx_dev_minor);
    status.st_ino = found.stx_ino;
    status.st_mode = found.stx_mode;
    status.st_nlink = found.stx_nlink;
    status.st_uid = found.stx_uid;
    status.st_gid = found.stx_gid;
    status.st_rdev = makedev(found.stx_rdev_major, found.stx_rdev_minor);
    status.st_size = static_cast<off_t>(found.stx_size);
    status.st_blksize = static_cast<blksize_t>(found.stx_blksize);
    status.st_blocks = static_cast<blkcnt_t>(found.stx_blocks);
    status.st_atim = {found.stx_atime.tv_sec, found.stx_atime.tv_nsec};
    status.st_mtim = {found.stx_mtime.tv_sec, found.stx_mtime.tv_nsec};
    status.st_ctim = {found.stx_ctime.tv_sec, found.stx_ctime.tv_nsec};
    return status;
}

// statx tells whether an entry is the root of a mount, which spares a folder that is none
// the look at its volume (three calls more); stat is the way of a system without statx. Like
// stat, it does not mount what an automounter would mount there.
bool Examine(int folderFd, const char* name, ExaminedEntry& entry) {
    struct statx found;
    if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_BASIC_STATS, &found) ==
        0) {
        entry.status = StatusOf(found);
        entry.mayBeMountPoint = (found.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) == 0 ||
                                (found.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
        return true;
    }
    return errno == ENOSYS && ::fstatat(folderFd, name, &entry.status, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

bool IsReadOnlyVolume(int fd) {
    struct statvfs volume;
    return ::fstatvfs(fd, &volume) == 0 && (volume.f_flag & ST_RDONLY) != 0;
}

ExaminedEntry ExamineEntry(int folderFd, const char* name, unsigned char type, bool* refused) {
    ExaminedEntry entry;
    const bool examined = Examine(folderFd, name, entry);
    if (refused)
        *refused = !examined && errno != ENOENT && errno != ENOTDIR;
    if (examined)
        return entry;
    entry = {};
    entry.status.st_mode = (type == DT_UNKNOWN ? S_IFREG : DTTOIF(type)) | S_IWUSR;
    return entry;
}

std::uint32_t EntryAttributes(int folderFd, const char* name, const ExaminedEntry& entry,
                              bool readOnlyVolume) {
    const bool mayBeReadOnlyMount = S_ISDIR(entry.status.st_mode) && entry.mayBeMountPoint;
    const bool readOnly =
        readOnlyVolume || (mayBeReadOnlyMount && IsReadOnlyFolder(folderFd, name));
    return AttributesOfMode(entry.status.st_mode, name, readOnly);
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
