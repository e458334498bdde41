#pragma once

#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

// Adds what lies below `folder` to the catalogue at `location` as the medium `name`, as
// ctlgrm --add does; an add that does not succeed fails the test.
inline void AddMedium(const std::string& location, const std::string& name,
                      const std::filesystem::path& folder) {
    const std::atomic<bool> stop = false;
    EXPECT_EQ(AddToCatalogue(*OpenCatalogue(location), name, folder.string(), false, stop),
              AddOutcome::Added)
        << name;
}
