// The comments-file reader, and the attachment of what it accepts to a small listing.
#include "engine/Text.h"
#include "fuzz/FuzzSupport.h"
#include "tools/Comments.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace {

EntryList SomeEntries() {
    EntryList entries;
    for (const char* name : {"a", "B", "report.doc", "\xc3\xa9t\xc3\xa9", ""}) {
        entries.push_back(std::make_unique<CFolderEntry>());
        entries.back()->m_strName = name;
    }
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile file("comments.txt");
    const std::string& path = file.Write(data, size);

    std::vector<EntryComments> comments;
    std::string error;
    if (!ReadCommentsFile(path, comments, error)) {
        Require(!error.empty());
        return 0;
    }
    for (const EntryComments& entry : comments) {
        Require(!entry.name.empty());
        for (int number = 1; number <= 3; ++number)
            Require(CountChars(entry.comments.Line(number)) <=
                    static_cast<std::size_t>(kCommentLineChars));
    }
    for (bool upperCase : {false, true}) {
        EntryList entries = SomeEntries();
        const auto unmatched = AttachComments(entries, comments, upperCase);
        Require(unmatched.size() <= comments.size());
    }
    return 0;
}
