// The profile reader and the in-place save over any existing file: whatever the old file
// holds, the settings just saved are the settings read back.
#include "FuzzSupport.h"
#include "Profile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static ScratchFile profile("catalogrium3.ini");
    const std::string& path = profile.Write(data, size);

    ListingOptions options = LoadListingOptions(path);
    options.m_bDescend = !options.m_bDescend;
    options.m_nSortBy = options.m_nSortBy == kSortTime ? kSortName : kSortTime;
    options.m_strFontName = options.m_strFontName == "Arial" ? "Liberation Serif" : "Arial";
    if (std::string error; SaveListingOptions(path, options, error))
        Require(LoadListingOptions(path) == options);
    return 0;
}
