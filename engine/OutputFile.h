#pragma once

#include "engine/Handles.h"
#include "engine/ReplacingFile.h"

#include <optional>
#include <string>

#include <sys/types.h>

// 0666 without the bits of the umask: the permissions of a new file that the user saves.
mode_t NewFilePermissions();

// The message for a save to `path` that failed with `error` (an errno value); control
// characters of the path show as "?".
std::string SaveFailureText(int error, const std::string& path);

// Where one save writes its bytes, whatever `path` names:
// - a link is followed to its target, which need not exist yet; the link stays;
// - a device or a pipe (FIFO) is written in place, as it is;
// - a regular file, new or old, is written through a temporary file that replaces it only
//   when complete, keeping its permissions (a new one gets `newFilePermissions`); a
//   read-only file is refused, as writing into it would be.
class COutputFile {
public:
    COutputFile(const std::string& path, mode_t newFilePermissions,
                TemporaryFile kind = TemporaryFile::UnnamedWherePossible);
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // The open file to write to; negative when it could not be opened (see Error()).
    int Descriptor() const;
    // errno of the first failed step, 0 while all went well.
    int Error() const { return m_error; }
    // True when the bytes go to a temporary file that replaces a regular file.
    bool ReplacesFile() const { return m_replacing.has_value(); }
    // A path that opens the same file, for writers that take a file name.
    std::string DescriptorPath() const;

    // Ends the save: the temporary file takes the target's place, or the file written in
    // place is closed. False with Error() set when a step fails; a replaced file then stays
    // as it was.
    bool Commit();

private:
    std::optional<CReplacingFile> m_replacing;
    ::Descriptor m_inPlace;
    mode_t m_permissions = 0;
    int m_error = 0;
};
