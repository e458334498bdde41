// The status bar after Go on a folder of a real volume, mounted in two places by
// CataloguedVolume.sh in a mount namespace of its own; skipped when run otherwise.
#include "catalogue/Adding.h"
#include "catalogue/Catalogue.h"
#include "shell/CatalogueListing.h"
#include "shell/CatalogueMenu.h"
#include "tests/app/AppFixture.h"
#include "tests/support/ReadAll.h"

#include <QDateTime>
#include <gmock/gmock.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

class CataloguedVolumeTest : public AppTest {
protected:
    void SetUp() override {
        const char* mounted = std::getenv("CATALOGRIUM3_TEST_VOLUME");
        const char* mountedAgain = std::getenv("CATALOGRIUM3_TEST_VOLUME_AGAIN");
        if (!mounted || !mountedAgain)
            GTEST_SKIP() << "needs a volume of its own: CataloguedVolume.sh runs it as root";
        volume = mounted;
        volumeAgain = mountedAgain;
        location = (data.path() / "catalogue.sqlite").string();
        setenv("CATALOGRIUM3_CATALOGUE", location.c_str(), 1);
        AppTest::SetUp();
    }
    void TearDown() override { unsetenv("CATALOGRIUM3_CATALOGUE"); }

    // Lists `path` to a file with Go, then waits for the look-up in the catalogue.
    void Go(const fs::path& path) {
        Click(IDC_TO_FILE);
        const fs::path listing = data.path() / "listing.txt";
        dialogs.saveFileName = listing.string();
        TypeFolder(path.string());
        ClickGo();
        ASSERT_THAT(ReadAll(listing), testing::HasSubstr(path.string()));
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !app->CatalogueMenu()->Listing().LookingUp(); }, 5000));
        QTest::qWait(50); // the result's event
    }

    fs::path volume;
    fs::path volumeAgain;
    TempDir data;
    std::string location;
};

// The medium is named with the time it was added, wherever its volume is mounted now; a folder
// of the volume that no medium was listed from leaves "Ready".
TEST_F(CataloguedVolumeTest, GoOnACataloguedFolderNamesItsMedium) {
    fs::create_directories(volume / "photos/2024");
    fs::create_directories(volume / "other");
    std::ofstream(volume / "photos/2024/p.jpg") << "picture";
    const std::atomic<bool> stop = false;
    auto catalogue = OpenCatalogue(location);
    ASSERT_EQ(AddToCatalogue(*catalogue, "Photos", (volume / "photos").string(), false, stop),
              AddOutcome::Added);
    const std::int64_t added = catalogue->Media().at(0).added;
    catalogue.reset();

    Go(volumeAgain / "photos");
    EXPECT_EQ(Frame()->StatusText(), QStringLiteral("Catalogued as Photos, ") +
                                         QDateTime::fromSecsSinceEpoch(added).toString(
                                             QStringLiteral("yyyy-MM-dd HH:mm:ss")));

    Go(volumeAgain / "other");
    EXPECT_EQ(Frame()->StatusText(), CMainFrame::kIdleText);
}

} // namespace
