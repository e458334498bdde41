#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

// The file a save replaces: the target of a symbolic link rather than the link itself, so the
// link stays and points to the new contents. Links are followed one by one, so a link whose
// target does not exist yet gives that target; a relative target is taken from the link's
// folder, and the path is left for the kernel to resolve (no ".." is removed by hand).
// Following them here must not allow what the kernel refuses: after 40 links `error` is ELOOP,
// and a link in a sticky world-writable folder (such as /tmp) is followed only when it belongs
// to the user or to the folder's owner, else `error` is EACCES; the result is then empty.
std::string ResolvedTarget(const std::string& path, int& error);

// Writes all of `bytes` to `fd`, going on after interruptions; errno of the failure, or 0.
int WriteAll(int fd, std::string_view bytes);

// How the temporary file of a save is made.
enum class TemporaryFile {
    // Unnamed (O_TMPFILE) where the file system allows it, so that nothing is left behind
    // however the process ends; a named one otherwise.
    UnnamedWherePossible,
    // Always a named one, beside the target.
    Named,
};

// A temporary file beside its target that takes the target's place only once it is
// completely written and on disk; until then, and whenever a step fails, the target stays as
// it was and the temporary file is removed when this object goes.
//
// An unnamed temporary file vanishes with the process. A named one (".catalogrium3-XXXXXX")
// is noted, while it exists, where RemovePendingTemporaryFile finds it; an unnamed one is noted
// there too for the moment between taking a name and replacing the target. Saves run one at a
// time: only the first of two files alive together is noted.
class CReplacingFile {
public:
    explicit CReplacingFile(const std::string& target,
                            TemporaryFile kind = TemporaryFile::UnnamedWherePossible);
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // The open temporary file; negative when it could not be created (see Error()).
    int Descriptor() const { return m_fd; }
    // errno of the first failed step, 0 while all went well.
    int Error() const { return m_error; }

    // Gives the file its permission bits, syncs it, names it when it has no name yet, closes
    // it and renames it over the target; false with Error() set when any step fails.
    bool Commit(mode_t permissions);

private:
    bool OpenUnnamed(const std::string& folder);
    void OpenNamed(const std::string& folder);
    bool GiveName();
    bool Check(bool ok);

    std::string m_target;
    std::string m_tempPath; // empty while the file has no name
    char* m_noted = nullptr;
    int m_fd = -1;
    int m_error = 0;
    bool m_committed = false;
};

// Removes the named temporary file of the save under way, if there is one. Makes only
// async-signal-safe calls, for a handler of SIGINT or SIGTERM that ends the process next.
void RemovePendingTemporaryFile() noexcept;

// True from the moment a save starts to put its file in the target's place: the target may
// already hold the new contents. Async-signal-safe, for a handler of SIGINT or SIGTERM that
// must not report such a save as interrupted.
bool AnySaveReachedItsTarget() noexcept;
