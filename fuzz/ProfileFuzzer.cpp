// The profile reader and the in-place save over any existing file: whatever the old file
// holds, the settings just saved are the settings read back.
#include "engine/Profile.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile profile("catalogrium3.ini");
    const std::string& path = profile.Write(data, size);

    ListingOptions options;
    std::string error;
    LoadListingOptions(path, options, error);
    options.m_bDescend = !options.m_bDescend;
    options.m_nSortBy = options.m_nSortBy == kSortTime ? kSortName : kSortTime;
    options.m_strFontName = options.m_strFontName == "Arial" ? "Liberation Serif" : "Arial";
    if (SaveListingOptions(path, options, error)) {
        ListingOptions reread;
        Require(LoadListingOptions(path, reread, error) && reread == options);
    }
    return 0;
}
