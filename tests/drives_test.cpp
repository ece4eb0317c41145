// Tests of drive letters on POSIX: which mounts become drives, their order,
// and changing drive with the folder last visited on each.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_drives.h"
#include "tests/temp_folder.h"

namespace {

typedef std::vector<std::pair<std::string, int>> Places;

std::string CurrentFolder()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

class DrivesTest : public ::testing::Test
{
protected:
    void SetUp() override { PosixForgetVisits(); }
    void TearDown() override { PosixFreeDrives(&map), PosixForgetVisits(); }
    // Requires letters C: on to hold these places and types, and no more.
    void ExpectDrives(const Places& want)
    {
        for (size_t i = 0; i < kPosixDriveLetters; i++)  // A: and B: never
            EXPECT_EQ(Places::value_type(map.root[i] ? map.root[i] : "", map.type[i]),
                      i >= 2 && i - 2 < want.size() ? want[i - 2] : Places::value_type("", DRIVE_NO_ROOT_DIR))
                << (char)('A' + i);
    }
    testfs::TempFolder tmp;  // puts the current folder back
    PosixDriveMap map = {};
};

TEST_F(DrivesTest, LettersFollowTheMountTable)
{
    // A sysfs tree: disks sda (partition 8:1) and sdc (8:33) fixed, sdb
    // (8:17) and sde (8:65) removable.
    std::string sys = "cd '" + tmp.path + "' && mkdir -p sys/dev/block real home";
    for (const char* d : {"sda 8:1 0", "sdb 8:17 1", "sdc 8:33 0", "sde 8:65 1"})
        sys += " && set -- " + std::string(d) + " && mkdir -p sys/devices/$1/${1}1" +
               " && echo $3 > sys/devices/$1/removable && ln -s ../../devices/$1/${1}1 sys/dev/block/$2";
    ASSERT_EQ(system((sys + " && ln -s real link").c_str()), 0);
    const std::string home = tmp.At("home"), link = tmp.At("link/"), root = "26 1 254:0 / / rw - ext4 /dev/vda rw\n";
    const std::string photos = "31 26 0:41 / /srv/photos rw - nfs s:/p rw\n";
    const std::string table =
        "21 26 0:20 / /proc rw - proc proc rw\n" + root + "27 26 0:22 / /dev/shm rw - tmpfs tmpfs rw\n"
        "28 26 0:23 / /tmp rw - tmpfs tmpfs rw\n29 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
        "30 26 0:40 / /home/ann/remote rw - fuse.sshfs a@h: rw\n31 26 0:41 / /srv/photos rw shared:5 - nfs4 s:/p rw\n"
        "32 26 8:17 / /media/ann/STICK rw - vfat /dev/sdb1 rw\n33 26 8:33 / /mnt/backup rw - ext4 /dev/sdc1 rw\n"
        "34 26 11:0 / /media/cdrom0 ro - iso9660 /dev/sr0 ro\n35 26 0:42 / /mnt/ram rw - tmpfs tmpfs rw\n"
        "36 26 0:43 / /run/media/ann/My\\040Disk rw - exfat /dev/sdd1 rw\n37 26 0:44 / /mnt/win rw - cifs //s/x rw\n"
        "38 26 0:45 / /mnt/wsl rw - 9p drvfs rw\n39 26 8:65 / /mnt/usbext4 rw - ext4 /dev/sde1 rw\n"
        "40 26 0:46 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
        "41 26 11:1 / /media/ann/udf ro - udf /dev/sr1 ro\n42 26 0:47 / /usr/lib/wsl/drivers ro - 9p drivers ro\n"
        "43 26 0:48 / /var/lib/docker/x rw - overlay o rw\n44 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
        "45 26 8:1 / /mnt/efi rw - vfat /dev/sda1 rw\n46 26 8:17 / /opt/stick rw - vfat /dev/sdb1 rw\n"
        "47 26 8:33 / /home/ann/disk rw - vfat /dev/sdc1 rw\n48 26 8:33 / /mnt/stack rw - ext4 /dev/sdc1 rw\n"
        "49 48 0:49 / /mnt/stack rw - tmpfs tmpfs rw\n50 26 0:50 / /srv/cache rw - tmpfs tmpfs rw\n"
        "this line is not a mount\n51 26 0:51 / /mnt/short rw\n";
    std::string shares;  // 40 of them: the letters stop at Z
    Places lettersToZ = {{"/", DRIVE_FIXED}};
    for (int i = 100; i < 140; i++)
    {
        shares += "30 26 0:40 / /srv/share" + std::to_string(i) + " rw - nfs srv:/x rw\n";
        if (i < 123)
            lettersToZ.push_back({"/srv/share" + std::to_string(i), DRIVE_REMOTE});
    }
    // C: the root, D: home, then volumes ordered by mount point; without a
    // home (none, empty, "/" or relative) volumes start at D:.
    const struct { std::string table; std::vector<const char*> homes; Places want; } cases[] = {
        {table, {home.c_str()}, {{"/", DRIVE_FIXED}, {home, DRIVE_FIXED}, {"/home/ann/remote", DRIVE_REMOTE},
          {"/media/ann/STICK", DRIVE_REMOVABLE}, {"/media/ann/udf", DRIVE_CDROM}, {"/media/cdrom0", DRIVE_CDROM},
          {"/mnt/backup", DRIVE_FIXED}, {"/mnt/efi", DRIVE_FIXED}, {"/mnt/ram", DRIVE_RAMDISK},
          {"/mnt/stack", DRIVE_RAMDISK},  // the topmost of stacked mounts
          {"/mnt/usbext4", DRIVE_REMOVABLE}, {"/mnt/win", DRIVE_REMOTE}, {"/mnt/wsl", DRIVE_REMOTE},
          {"/opt/stick", DRIVE_REMOVABLE}, {"/run/media/ann/My Disk", DRIVE_REMOVABLE}, {"/srv/photos", DRIVE_REMOTE}}},
        {root + photos, {nullptr, "", "/", "a/b"}, {{"/", DRIVE_FIXED}, {"/srv/photos", DRIVE_REMOTE}}},
        // Home is named by its real path, or as given less trailing slashes;
        // on a share it is a network drive, the share one more; a mount on
        // home itself is no second letter.
        {"", {link.c_str()}, {{"/", DRIVE_FIXED}, {tmp.At("real"), DRIVE_FIXED}}},
        {"", {"/nowhere/ann//"}, {{"/", DRIVE_FIXED}, {"/nowhere/ann", DRIVE_FIXED}}},
        {root + "30 26 0:40 / /nethome rw - nfs4 srv:/home rw\n", {"/nethome/ann"},
         {{"/", DRIVE_FIXED}, {"/nethome/ann", DRIVE_REMOTE}, {"/nethome", DRIVE_REMOTE}}},
        {root + "30 26 0:40 / " + home + " rw - nfs4 srv:/home rw\n", {home.c_str()},
         {{"/", DRIVE_FIXED}, {home, DRIVE_REMOTE}}},
        {shares, {nullptr}, lettersToZ},
        // Empty or broken tables leave the root and home.
        {"\n\n1 2 3\n1 2 3:4 / /mnt/x rw - \n", {"/home/ann"}, {{"/", DRIVE_FIXED}, {"/home/ann", DRIVE_FIXED}}}};
    for (const auto& c : cases)
        for (const char* h : c.homes)
        {
            SCOPED_TRACE(h ? h : "no home");
            PosixMapDrives(&map, c.table.c_str(), h, tmp.At("sys").c_str());
            ExpectDrives(c.want);
        }
}

TEST_F(DrivesTest, PathBelongsToTheLongestPlaceHoldingIt)
{
    PosixMapDrives(&map, "30 26 0:40 / /home/ann/remote rw - fuse.sshfs a@b: rw\n", "/home/ann", tmp.path.c_str());
    const std::pair<const char*, int> cases[] = {{"/home/ann/remote/x", 4}, {"/home/ann/remote", 4},
                                                 {"/home/ann/remotes", 3},  {"/home/ann", 3},
                                                 {"/home/annx", 2},         {"/", 2}};
    for (const auto& [path, letter] : cases)
        EXPECT_EQ(PosixDriveOfPath(&map, path), letter) << path;
}

TEST_F(DrivesTest, ChangingDriveGoesToTheFolderLastVisitedThere)
{
    // C: the root, D: home, E: a network volume; the result and the current
    // folder after changing to drive number n (1 = A).
    const std::string home = tmp.At("home"), volume = tmp.At("volume"), other = tmp.At("another");
    ASSERT_EQ(system(("mkdir -p '" + home + "/photos' '" + volume + "/trip' '" + other + "'").c_str()), 0);
    auto remap = [&](const std::string& more) {
        std::string table = "26 1 254:0 / / rw - ext4 /dev/vda rw\n30 26 0:40 / " + volume + " rw - nfs4 srv:/v rw\n";
        PosixMapDrives(&map, (table + more).c_str(), home.c_str(), tmp.path.c_str());
    };
    auto change = [&](int n) {
        int result = PosixChangeDrive(&map, n);
        return std::to_string(result) + " " + CurrentFolder();
    };
    remap("");
    ASSERT_EQ(chdir((home + "/photos").c_str()), 0);
    EXPECT_EQ(change(5), "0 " + volume);  // the first visit goes to the root
    ASSERT_EQ(chdir("trip"), 0);
    EXPECT_EQ(change(5), "0 " + volume + "/trip");  // the current drive stays
    EXPECT_EQ(change(4), "0 " + home + "/photos");
    EXPECT_EQ(change(5), "0 " + volume + "/trip");
    EXPECT_EQ(change(3), "0 /");
    ASSERT_EQ(chdir(tmp.path.c_str()), 0);  // on C:, outside home and the volume
    EXPECT_EQ(change(4), "0 " + home + "/photos");
    EXPECT_EQ(change(3), "0 " + tmp.path);
    // A share that sorts before the volume takes E:; the folder is
    // remembered by place, not by letter.
    remap("31 26 0:41 / " + other + " rw - nfs4 srv:/a rw\n");
    EXPECT_EQ(change(5), "0 " + other);
    EXPECT_EQ(change(6), "0 " + volume + "/trip");
    EXPECT_EQ(change(4), "0 " + home + "/photos");
    ASSERT_EQ(rmdir((volume + "/trip").c_str()), 0);
    EXPECT_EQ(change(6), "0 " + volume);  // a folder gone: the root
    EXPECT_EQ(change(4), "0 " + home + "/photos");
    ASSERT_EQ(rmdir(volume.c_str()), 0);
    // A place gone, unused letters and numbers outside A to Z fail and
    // change nothing.
    for (int n : {6, 0, 1, 2, 7, 26, 27, -3})
        EXPECT_EQ(change(n), "-1 " + home + "/photos") << n;
}

// [SECTION] The system's own letters

TEST_F(DrivesTest, SystemHasRootAsCAndNoAOrB)
{
    for (int index : {-1, 0, 1, 26})
        EXPECT_EQ(PlatGetDriveType(index), DRIVE_NO_ROOT_DIR) << index;
    EXPECT_EQ(PlatGetDriveType(2), DRIVE_FIXED);
    ASSERT_TRUE(tmp.Enter());
    EXPECT_EQ(PlatChangeDrive(1), -1);
    EXPECT_EQ(CurrentFolder(), tmp.path);
    EXPECT_EQ(PlatChangeDrive(3), 0);  // the temporary folder lies on C:, the root, which keeps it
    EXPECT_EQ(CurrentFolder(), tmp.path);
}

}  // namespace
