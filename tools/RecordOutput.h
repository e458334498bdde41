#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// How --find and --media print their records (one matched entry, one medium).
enum class RecordFormat {
    // Fields between tabs, one record a line, each field escaped (see EscapedField).
    Escaped,
    // Each field as its bytes, a NUL after every field: for scripts, as find -print0.
    NulTerminated,
};

// `field` with nothing that a terminal would act on and no tab or line break of its own: "\"
// becomes "\\", a tab, a line feed and a carriage return "\t", "\n" and "\r", and every other
// control character (C0, DEL, and C1 in its UTF-8 form) and every byte that is not part of
// valid UTF-8 becomes "\xHH" with the byte's two hex digits, one for each byte. Everything
// else stays, so the original bytes can always be told back.
std::string EscapedField(std::string_view field);

// Records written to a file (standard output), buffered. The first write that fails is kept:
// nothing more is written after it, and Error() gives its errno.
class CRecordWriter {
public:
    CRecordWriter(int fd, RecordFormat format) : m_fd(fd), m_format(format) {}
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    // False once a write has failed.
    bool Write(std::initializer_list<std::string_view> fields);
    // Writes what is buffered; false once a write has failed.
    bool Flush();
    int Error() const { return m_error; }

private:
    void Append(std::string_view bytes);

    int m_fd;
    RecordFormat m_format;
    std::string m_buffer;
    int m_error = 0;
};
