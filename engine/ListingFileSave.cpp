// Saving the listing file: written beside the target and renamed over it once complete, so
// a failed save never costs the previous file.
#include "engine/CatalogriumDoc.h"

#include "engine/OutputFile.h"
#include "engine/ReplacingFile.h"

#include <ostream>
#include <streambuf>
#include <string_view>
#include <vector>

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

// Writes the listing to an open file; returns errno of the first failed write, or 0.
int WriteListing(const CCatalogriumDoc& doc, int fd) {
    DescriptorBuffer buffer(fd);
    std::ostream stream(&buffer);
    doc.Serialize(stream);
    stream.flush();
    return buffer.Error();
}

int Save(const CCatalogriumDoc& doc, const std::string& path) {
    COutputFile file(path, NewFilePermissions());
    if (file.Descriptor() < 0)
        return file.Error();
    if (const int error = WriteListing(doc, file.Descriptor()))
        return error;
    return file.Commit() ? 0 : file.Error();
}

} // namespace

bool CCatalogriumDoc::SaveListingFile(const std::string& path, std::string& error) const {
    const int result = Save(*this, path);
    if (result != 0)
        error = SaveFailureText(result, path);
    return result == 0;
}
