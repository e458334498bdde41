// Saving the listing file: written beside the target and renamed over it once complete, so
// a failed save never costs the previous file.
#include "CatalogriumDoc.h"

#include "ReplacingFile.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <streambuf>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A stream buffer over a file descriptor that keeps the error of the first failed write.
class DescriptorBuffer : public std::streambuf {
public:
    explicit DescriptorBuffer(int fd) : m_fd(fd), m_buffer(1 << 16) { ResetBuffer(); }

    // errno of the first failed write, 0 while all went well.
    int Error() const { return m_error; }

protected:
    int_type overflow(int_type ch) override {
        if (!WritePending())
            return traits_type::eof();
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        *pptr() = traits_type::to_char_type(ch);
        pbump(1);
        return ch;
    }
    int sync() override { return WritePending() ? 0 : -1; }

private:
    bool WritePending() {
        if (m_error == 0)
            m_error = WriteAll(
                m_fd, std::string_view(pbase(), static_cast<std::size_t>(pptr() - pbase())));
        ResetBuffer();
        return m_error == 0;
    }
    void ResetBuffer() { setp(m_buffer.data(), m_buffer.data() + m_buffer.size()); }

    int m_fd;
    int m_error = 0;
    std::vector<char> m_buffer;
};

std::string MessageFor(int error, const std::string& path) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return "Access to " + path + " was denied.";
    case ENOSPC:
    case EDQUOT:
        return "Disk full while accessing " + path + ".";
    default:
        return path + " could not be written: " + std::strerror(error) + ".";
    }
}

// The permission bits of a new file: 0666 without the bits of the umask. The program creates
// its files from one thread, so the umask may be read by setting it.
mode_t NewFilePermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes the listing to an open file; returns errno of the first failed write, or 0.
int WriteListing(const CCatalogriumDoc& doc, int fd) {
    DescriptorBuffer buffer(fd);
    std::ostream stream(&buffer);
    doc.Serialize(stream);
    stream.flush();
    return buffer.Error();
}

// Devices and pipes (such as /dev/null) cannot be replaced; they are written where they are.
int WriteInPlace(const CCatalogriumDoc& doc, const std::string& target) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = WriteListing(doc, fd);
    if (::close(fd) != 0 && error == 0)
        return errno;
    return error;
}

int WriteReplacing(const CCatalogriumDoc& doc, const std::string& target, mode_t permissions) {
    CReplacingFile file(target);
    if (file.Descriptor() < 0)
        return file.Error();
    if (const int error = WriteListing(doc, file.Descriptor()))
        return error;
    return file.Commit(permissions) ? 0 : file.Error();
}

} // namespace

bool CCatalogriumDoc::SaveListingFile(const std::string& path, std::string& error) const {
    const std::string target = ResolvedTarget(path);
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    int result = 0;
    if (exists && !S_ISREG(existing.st_mode))
        result = WriteInPlace(*this, target);
    else if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        result = errno; // a read-only file is refused, as writing into it would be
    else
        result =
            WriteReplacing(*this, target, exists ? existing.st_mode & 07777 : NewFilePermissions());
    if (result != 0)
        error = MessageFor(result, path);
    return result == 0;
}
