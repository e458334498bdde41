#include "CatalogriumDoc.h"

#include "Format.h"
#include "Text.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The size column: FormatSize with this width, right-aligned in as many characters.
constexpr int kSizeWidth = 26;
constexpr std::size_t kDetailIndent = 43;
constexpr std::size_t kRuleLength = 97;
constexpr std::size_t kNameLineWidth = 79;
constexpr std::size_t kNameLimitNumbered = 67;
constexpr std::size_t kNameLimitUnnumbered = 72;
constexpr std::size_t kFlushBytes = 1 << 16;

// Collects the lines of the file and hands them to the stream in large pieces.
class LineSink {
public:
    explicit LineSink(std::ostream& out) : m_out(out) { m_text.reserve(2 * kFlushBytes); }
    LineSink(const LineSink&) = delete;
    LineSink& operator=(const LineSink&) = delete;

    // The text not yet handed to the stream; the line being built is appended to it and
    // EndLine() ends that line with CR LF.
    std::string& Text() { return m_text; }
    void Line(std::string_view text) {
        m_text += text;
        EndLine();
    }
    void EndLine() {
        m_text += "\r\n";
        if (m_text.size() >= kFlushBytes)
            Flush();
    }
    void Flush() {
        m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
        m_text.clear();
    }

private:
    std::ostream& m_out;
    std::string m_text;
};

// A number right-aligned in `width` characters ("%10ld"), never cut.
std::string RightAligned(long long number, std::size_t width) {
    return PadLeft(std::to_string(number), width);
}

std::string ColumnHeader() {
    std::string header(9, ' ');
    header += "Name";
    header.append(43, ' ');
    header += "Size";
    header.append(9, ' ');
    header += "Attributes";
    header.append(4, ' ');
    header += "Last Modified";
    return header;
}

// A name holding a comma, a double quote or a line break is quoted, with inner quotes doubled,
// so that it stays one field.
void AppendDelimitedName(std::string& out, std::string_view name) {
    if (name.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += name;
        return;
    }
    out += '"';
    for (char c : name) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// Writes the listing file of a document with options, in either layout.
class ListingFileWriter {
public:
    ListingFileWriter(const CCatalogriumDoc& doc, const ListingOptions& options, std::ostream& out)
        : m_doc(doc), m_options(options), m_sink(out) {}

    void WriteFixedColumn() {
        WriteHeaderBlock();
        long long number = 0;
        for (const auto& entry : m_doc.m_entryList)
            WriteFixedEntry(*entry, ++number);
        if (!m_doc.m_entryList.empty())
            m_sink.Line("");
        m_sink.Flush();
    }

    void WriteDelimited() {
        WriteDelimitedHeader();
        long long number = 0;
        for (const auto& entry : m_doc.m_entryList)
            WriteDelimitedRow(*entry, ++number);
        m_sink.Flush();
    }

private:
    std::string SizeText(std::uint64_t size) const {
        std::string text;
        m_doc.FormatSize(text, size, kSizeWidth);
        return text;
    }

    void WriteHeaderBlock() {
        std::string& line = m_sink.Text();
        line += "Catalogrium3: Listing of   <";
        line += ReplaceControlChars(m_doc.m_strListedFolder);
        line += "> Created on: ";
        line += FormatLocalTime(m_doc.Now());
        m_sink.EndLine();
        m_sink.Line("Directory(Folder)  summary:  Size(bytes): " + SizeText(m_doc.m_nTotalSize));
        line += "SubFolders Total:....";
        line += RightAligned(m_doc.m_nSubFolders, 10);
        m_sink.EndLine();
        line += "Files Total:.........";
        line += RightAligned(m_doc.m_nFiles, 10);
        m_sink.EndLine();
        m_sink.Line("");
        m_sink.Line("Attributes: A - archive, H - hidden, S - system, R - read only");
        m_sink.Line("");
        WriteBanner();
        m_sink.Line("");
        m_sink.Line(std::string(kRuleLength, '='));
        m_sink.Line(ColumnHeader());
        m_sink.Line(std::string(kRuleLength, '='));
    }

    void WriteBanner() {
        if (m_options.m_nFilesAndFolders == kFoldersOnly)
            m_sink.Line("*********OUTPUT DIRECTORY ONLY*******");
        else if (m_options.m_nFilesAndFolders == kFilesOnly)
            m_sink.Line("******OUTPUT FILES ONLY********");
    }

    // A name too long for the line gives way to the short name.
    const std::string& ShownName(const CFolderEntry& entry) const {
        const std::size_t limit =
            m_options.m_bNumberFileLines ? kNameLimitNumbered : kNameLimitUnnumbered;
        return CountChars(entry.m_strName) <= limit ? entry.m_strName : entry.m_strShortName;
    }

    void WriteFixedEntry(const CFolderEntry& entry, long long number) {
        WriteNameLine(entry, number);
        WriteDetailLine(entry);
        for (const std::string* comment :
             {&entry.m_strComment1, &entry.m_strComment2, &entry.m_strComment3})
            if (!comment->empty())
                m_sink.Line("  *** comment:   " + *comment);
    }

    void WriteNameLine(const CFolderEntry& entry, long long number) {
        std::string& line = m_sink.Text();
        const std::size_t start = line.size();
        if (m_options.m_bNumberFileLines) {
            line += RightAligned(number, 6);
            line += ". ";
        } else {
            line += ' ';
        }
        line += entry.IsFolder() ? "[ " : "  ";
        line += ReplaceControlChars(ShownName(entry));
        line += entry.IsFolder() ? " ]  " : "    ";
        const std::size_t length = CountChars(std::string_view(line).substr(start));
        if (length < kNameLineWidth)
            line.append(kNameLineWidth - length, ' ');
        line += ' ';
        m_sink.EndLine();
    }

    void WriteDetailLine(const CFolderEntry& entry) {
        std::string& line = m_sink.Text();
        line.append(kDetailIndent, ' ');
        if (m_options.m_bAddSize) {
            line += PadLeft(SizeText(entry.m_nSize), kSizeWidth);
            line += ' ';
        } else {
            line.append(28, '.');
        }
        if (m_options.m_bAddAttribute) {
            line += PadLeft(FormatAttributes(entry.m_dwAttributes), 6);
            line += "  ";
        } else {
            line.append(6, '.');
        }
        line += "  ";
        if (m_options.m_bAddDate)
            line += FormatFileTime(entry.m_ftLastWrite);
        m_sink.EndLine();
    }

    void WriteDelimitedHeader() {
        std::string& line = m_sink.Text();
        if (m_options.m_bNumberFileLines)
            line += "Number,";
        line += "Type,Name";
        if (m_options.m_bAddSize)
            line += ",Size(bytes)";
        if (m_options.m_bAddAttribute)
            line += ",Attributes";
        if (m_options.m_bAddDate)
            line += ",Last Modified";
        m_sink.EndLine();
    }

    void WriteDelimitedRow(const CFolderEntry& entry, long long number) {
        std::string& line = m_sink.Text();
        if (m_options.m_bNumberFileLines) {
            line += std::to_string(number);
            line += ',';
        }
        line += entry.IsFolder() ? "Y," : "N,";
        AppendDelimitedName(line, TrimWhiteSpace(entry.m_strName));
        if (m_options.m_bAddSize) {
            line += ',';
            line += std::to_string(entry.m_nSize);
        }
        if (m_options.m_bAddAttribute) {
            line += ',';
            line += FormatAttributes(entry.m_dwAttributes);
            line += ' ';
        }
        if (m_options.m_bAddDate) {
            line += ',';
            line += FormatFileTime(entry.m_ftLastWrite);
        }
        m_sink.EndLine();
    }

    const CCatalogriumDoc& m_doc;
    const ListingOptions& m_options;
    LineSink m_sink;
};

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
        const char* data = pbase();
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0 && m_error == 0) {
            const ssize_t written = ::write(m_fd, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                m_error = written < 0 ? errno : EIO;
                break;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
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

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Saving through a symbolic link replaces the file it points to, not the link.
std::string ResolvedTarget(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                               &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

// The permission bits of a new file: 0666 without the bits of the umask. The program creates
// its files from one thread, so the umask may be read by setting it.
mode_t NewFilePermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A temporary file beside the target that takes its place only once completely written.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& target)
        : m_target(target), m_tempPath(FolderOf(target) + "/.catalogrium3-XXXXXX") {
        m_fd = ::mkostemp(m_tempPath.data(), O_CLOEXEC);
        m_created = m_fd >= 0;
        if (!m_created)
            m_error = errno;
    }
    ~ReplacingFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_created && !m_committed)
            ::unlink(m_tempPath.c_str());
    }
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    int Descriptor() const { return m_fd; }
    int Error() const { return m_error; }

    // Gives the file its permissions, closes it and renames it over the target; false with
    // Error() set when any step fails.
    bool Commit(mode_t permissions) {
        if (!Check(::fchmod(m_fd, permissions) == 0) || !Check(SyncToDisk()))
            return false;
        const int fd = m_fd;
        m_fd = -1;
        if (!Check(::close(fd) == 0) || !Check(::rename(m_tempPath.c_str(), m_target.c_str()) == 0))
            return false;
        m_committed = true;
        return true;
    }

private:
    // File systems that cannot sync (EINVAL) have nothing more to write.
    bool SyncToDisk() const { return ::fsync(m_fd) == 0 || errno == EINVAL; }

    bool Check(bool ok) {
        if (!ok && m_error == 0)
            m_error = errno;
        return ok;
    }

    std::string m_target;
    std::string m_tempPath;
    int m_fd = -1;
    int m_error = 0;
    bool m_created = false;
    bool m_committed = false;
};

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
    ReplacingFile file(target);
    if (file.Descriptor() < 0)
        return file.Error();
    if (const int error = WriteListing(doc, file.Descriptor()))
        return error;
    return file.Commit(permissions) ? 0 : file.Error();
}

} // namespace

void CCatalogriumDoc::FormatSize(std::string& out, std::uint64_t size, int width) const {
    if (!m_pOptions)
        return;
    // Two-column case inserts have no room for byte counts.
    const bool bytesMode =
        m_pOptions->m_bSizeInBytes && !(m_pOptions->m_bTwoColumn && m_pOptions->IsCaseInsert());
    out = FormatSizeText(size, width, bytesMode);
}

void CCatalogriumDoc::Serialize(std::ostream& out) const {
    if (!m_pOptions)
        return;
    ListingFileWriter writer(*this, *m_pOptions, out);
    if (m_pOptions->m_bDelimited)
        writer.WriteDelimited();
    else
        writer.WriteFixedColumn();
}

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
