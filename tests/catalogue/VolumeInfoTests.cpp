#include "catalogue/VolumeInfo.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

// A mount table and udev's links, made up around the device of a real folder.
TEST(VolumeInfo, ReadsTypeUuidAndLabelOfTheFoldersMount) {
    TempDir dir;
    const auto folder = dir.MakeDir("media/USB STICK/photos");
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    const std::string device =
        std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev));
    const std::string mountPoint = (dir.path() / "media/USB STICK").string();
    std::string escaped;
    for (const char c : mountPoint)
        escaped += c == ' ' ? std::string("\\040") : std::string(1, c);
    const auto sdb1 = dir.WriteFile("dev/sdb1", "");
    dir.WriteFile("dev/sda1", "");
    dir.MakeDir("disk/by-uuid");
    dir.MakeDir("disk/by-label");
    std::filesystem::create_symlink("../../dev/sda1", dir.path() / "disk/by-uuid/1111-2222");
    std::filesystem::create_symlink("../../dev/sdb1", dir.path() / "disk/by-uuid/3E4F-5A6B");
    std::filesystem::create_symlink("../../dev/sdb1",
                                    dir.path() / "disk/by-label/HOLIDAY\\x202024");
    const std::string table = "22 1 " + device + " / / rw - ext4 " +
                              (dir.path() / "dev/sda1").string() + " rw\n" + "23 22 " + device +
                              " / " + escaped + " rw,nosuid shared:5 - vfat " + sdb1.string() +
                              " rw\n" + "24 22 0:99 / " + escaped + "/photos rw - tmpfs none rw\n";
    const auto mountInfo = dir.WriteFile("mountinfo", table);

    const VolumeInfo volume =
        VolumeOf(folder.string(), mountInfo.string(), (dir.path() / "disk").string());
    EXPECT_EQ(volume.fsType, "vfat");
    EXPECT_EQ(volume.uuid, "3E4F-5A6B");
    EXPECT_EQ(volume.label, "HOLIDAY 2024");
    EXPECT_EQ(volume.path, "/photos");

    // A folder of the file system mounted on its own: the path within the file system counts.
    std::string bound = table;
    bound.replace(bound.find(" / " + escaped), 3, " /DCIM/100 ");
    const VolumeInfo below = VolumeOf(folder.string(), dir.WriteFile("bound", bound).string(),
                                      (dir.path() / "disk").string());
    EXPECT_EQ(below.uuid, "3E4F-5A6B");
    EXPECT_EQ(below.path, "/DCIM/100/photos");

    const VolumeInfo unknown =
        VolumeOf((dir.path() / "missing").string(), mountInfo.string(), dir.str());
    EXPECT_EQ(unknown.fsType, "");
    EXPECT_EQ(unknown.uuid, "");
}

} // namespace
