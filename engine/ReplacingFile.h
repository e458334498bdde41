#pragma once

#include <string>
#include <string_view>

#include <sys/types.h>

// The file a save replaces: the target of a symbolic link rather than the link itself, so the
// link stays and points to the new contents.
std::string ResolvedTarget(const std::string& path);

// Writes all of `bytes` to `fd`, going on after interruptions; errno of the failure, or 0.
int WriteAll(int fd, std::string_view bytes);

// A temporary file beside its target that takes the target's place only once it is
// completely written and on disk; until then, and whenever a step fails, the target stays as
// it was and the temporary file is removed when this object goes.
class CReplacingFile {
public:
    explicit CReplacingFile(const std::string& target);
    ~CReplacingFile();
    CReplacingFile(const CReplacingFile&) = delete;
    CReplacingFile& operator=(const CReplacingFile&) = delete;

    // The open temporary file; negative when it could not be created (see Error()).
    int Descriptor() const { return m_fd; }
    // errno of the first failed step, 0 while all went well.
    int Error() const { return m_error; }

    // Gives the file its permission bits, syncs and closes it and renames it over the target;
    // false with Error() set when any step fails.
    bool Commit(mode_t permissions);

private:
    bool Check(bool ok);

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    int m_error = 0;
    bool m_created = false;
    bool m_committed = false;
};
