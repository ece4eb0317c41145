// Tests of drive letters on POSIX: which mounts become drives, their order,
// and changing drive with the folder last visited on each.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_drives.h"

namespace {

std::string MakeTempFolder()
{
    char pattern[] = "/tmp/orvale-drives-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "";
}

void MakeFolder(const std::string& path) { ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path; }

void WriteFile(const std::string& path, const char* text)
{
    FILE* f = fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr) << path;
    fputs(text, f);
    fclose(f);
}

std::string CurrentFolder()
{
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
}

class DrivesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        memset(&map, 0, sizeof map);
        start = CurrentFolder();
        tmp = MakeTempFolder();
        ASSERT_FALSE(tmp.empty());
        PosixForgetVisits();
    }
    void TearDown() override
    {
        PosixFreeDrives(&map);
        PosixForgetVisits();
        ASSERT_EQ(chdir(start.c_str()), 0);
        std::string rm = "rm -rf '" + tmp + "'";
        ASSERT_EQ(system(rm.c_str()), 0);
    }
    // A sysfs tree with the disks sdb (removable, partition 8:17), sdc (fixed,
    // 8:33), sde (removable, 8:65) and sda (fixed, 8:1).
    std::string FakeSys()
    {
        std::string sys = tmp + "/sys";
        MakeFolder(sys);
        MakeFolder(sys + "/dev");
        MakeFolder(sys + "/dev/block");
        MakeFolder(sys + "/devices");
        struct
        {
            const char* disk;
            const char* partitionNumbers;
            const char* removable;
        } disks[] = {{"sda", "8:1", "0\n"}, {"sdb", "8:17", "1\n"}, {"sdc", "8:33", "0\n"}, {"sde", "8:65", "1\n"}};
        for (const auto& d : disks)
        {
            std::string disk = sys + "/devices/" + d.disk;
            MakeFolder(disk);
            MakeFolder(disk + "/" + d.disk + "1");
            WriteFile(disk + "/removable", d.removable);
            std::string link = sys + "/dev/block/" + d.partitionNumbers;
            std::string target = std::string("../../devices/") + d.disk + "/" + d.disk + "1";
            EXPECT_EQ(symlink(target.c_str(), link.c_str()), 0);
        }
        return sys;
    }

    PosixDriveMap map;
    std::string start, tmp;
};

const char kMountinfo[] =
    "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
    "26 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
    "27 26 0:22 / /dev/shm rw - tmpfs tmpfs rw\n"
    "28 26 0:23 / /tmp rw - tmpfs tmpfs rw\n"
    "29 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n"
    "30 26 0:40 / /home/ann/remote rw - fuse.sshfs ann@host: rw\n"
    "31 26 0:41 / /srv/photos rw shared:5 - nfs4 server:/photos rw\n"
    "32 26 8:17 / /media/ann/STICK rw - vfat /dev/sdb1 rw\n"
    "33 26 8:33 / /mnt/backup rw - ext4 /dev/sdc1 rw\n"
    "34 26 11:0 / /media/cdrom0 ro - iso9660 /dev/sr0 ro\n"
    "35 26 0:42 / /mnt/ram rw - tmpfs tmpfs rw\n"
    "36 26 0:43 / /run/media/ann/My\\040Disk rw - exfat /dev/sdd1 rw\n"
    "37 26 0:44 / /mnt/win rw - cifs //srv/share rw\n"
    "38 26 0:45 / /mnt/wsl rw - 9p drvfs rw\n"
    "39 26 8:65 / /mnt/usbext4 rw - ext4 /dev/sde1 rw\n"
    "40 26 0:46 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "41 26 11:1 / /media/ann/udf ro - udf /dev/sr1 ro\n"
    "42 26 0:47 / /usr/lib/wsl/drivers ro - 9p drivers ro\n"
    "43 26 0:48 / /var/lib/docker/overlay2/x/merged rw - overlay overlay rw\n"
    "44 26 7:0 / /snap/core/1 ro - squashfs /dev/loop0 ro\n"
    "45 26 8:1 / /mnt/efi rw - vfat /dev/sda1 rw\n"
    "46 26 8:17 / /opt/stick rw - vfat /dev/sdb1 rw\n"
    "47 26 8:33 / /home/ann/disk rw - vfat /dev/sdc1 rw\n"
    "48 26 8:33 / /mnt/stack rw - ext4 /dev/sdc1 rw\n"
    "49 48 0:49 / /mnt/stack rw - tmpfs tmpfs rw\n"
    "50 26 0:50 / /srv/cache rw - tmpfs tmpfs rw\n"
    "this line is not a mount\n"
    "51 26 0:51 / /mnt/short rw\n";

TEST_F(DrivesTest, VolumesAreClassifiedAndOrderedByMountPoint)
{
    std::string home = tmp + "/home";
    MakeFolder(home);
    PosixMapDrives(&map, kMountinfo, home.c_str(), FakeSys().c_str());
    struct
    {
        const char* root;
        int type;
    } expected[] = {
        {"/", DRIVE_FIXED},                        // C
        {home.c_str(), DRIVE_FIXED},               // D
        {"/home/ann/remote", DRIVE_REMOTE},        // E
        {"/media/ann/STICK", DRIVE_REMOVABLE},     // F: vfat under /media
        {"/media/ann/udf", DRIVE_CDROM},           // G
        {"/media/cdrom0", DRIVE_CDROM},            // H
        {"/mnt/backup", DRIVE_FIXED},              // I: a fixed disk under /mnt
        {"/mnt/efi", DRIVE_FIXED},                 // J: vfat, fixed, under /mnt
        {"/mnt/ram", DRIVE_RAMDISK},               // K
        {"/mnt/stack", DRIVE_RAMDISK},             // L: the topmost of stacked mounts
        {"/mnt/usbext4", DRIVE_REMOVABLE},         // M: removable disk
        {"/mnt/win", DRIVE_REMOTE},                // N
        {"/mnt/wsl", DRIVE_REMOTE},                // O
        {"/opt/stick", DRIVE_REMOVABLE},           // P: vfat on a removable disk
        {"/run/media/ann/My Disk", DRIVE_REMOVABLE},  // Q: escapes decoded
        {"/srv/photos", DRIVE_REMOTE},             // R
    };
    EXPECT_EQ(map.type[0], DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(map.type[1], DRIVE_NO_ROOT_DIR);
    int letter = 2;
    for (const auto& e : expected)
    {
        ASSERT_NE(map.root[letter], nullptr) << (char)('A' + letter);
        EXPECT_STREQ(map.root[letter], e.root) << (char)('A' + letter);
        EXPECT_EQ(map.type[letter], e.type) << (char)('A' + letter);
        letter++;
    }
    for (; letter < kPosixDriveLetters; letter++)
    {
        EXPECT_EQ(map.type[letter], DRIVE_NO_ROOT_DIR) << (char)('A' + letter);
        EXPECT_EQ(map.root[letter], nullptr) << (char)('A' + letter);
    }
}

TEST_F(DrivesTest, WithoutAHomeVolumesStartAtD)
{
    const char text[] = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                        "31 26 0:41 / /srv/photos rw - nfs server:/photos rw\n";
    for (const char* home : {(const char*)nullptr, "", "/", "relative/home"})
    {
        PosixMapDrives(&map, text, home, tmp.c_str());
        EXPECT_STREQ(map.root[2], "/");
        ASSERT_NE(map.root[3], nullptr);
        EXPECT_STREQ(map.root[3], "/srv/photos");
        EXPECT_EQ(map.type[3], DRIVE_REMOTE);
        EXPECT_EQ(map.type[4], DRIVE_NO_ROOT_DIR);
    }
}

TEST_F(DrivesTest, HomeIsNamedByItsRealPath)
{
    MakeFolder(tmp + "/real");
    ASSERT_EQ(symlink((tmp + "/real").c_str(), (tmp + "/link").c_str()), 0);
    PosixMapDrives(&map, "", (tmp + "/link/").c_str(), tmp.c_str());
    EXPECT_EQ(std::string(map.root[3]), tmp + "/real");
    // A home that does not exist keeps its name, trailing slash dropped.
    PosixMapDrives(&map, "", "/nowhere/ann//", tmp.c_str());
    EXPECT_STREQ(map.root[3], "/nowhere/ann");
    EXPECT_EQ(map.type[3], DRIVE_FIXED);
}

TEST_F(DrivesTest, HomeOnANetworkShareIsANetworkDrive)
{
    std::string text = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                       "30 26 0:40 / /nethome rw - nfs4 srv:/home rw\n";
    PosixMapDrives(&map, text.c_str(), "/nethome/ann", tmp.c_str());
    EXPECT_STREQ(map.root[3], "/nethome/ann");
    EXPECT_EQ(map.type[3], DRIVE_REMOTE);
    EXPECT_STREQ(map.root[4], "/nethome");  // the share itself is a drive too
}

TEST_F(DrivesTest, MountOnTheHomeFolderIsNotASecondLetter)
{
    std::string home = tmp + "/home";
    MakeFolder(home);
    std::string text = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                       "30 26 0:40 / " + home + " rw - nfs4 srv:/home rw\n";
    PosixMapDrives(&map, text.c_str(), home.c_str(), tmp.c_str());
    EXPECT_EQ(map.type[3], DRIVE_REMOTE);
    EXPECT_EQ(map.type[4], DRIVE_NO_ROOT_DIR);
}

TEST_F(DrivesTest, LettersStopAtZ)
{
    std::string text;
    for (int i = 0; i < 40; i++)
        text += "30 26 0:40 / /srv/share" + std::to_string(100 + i) + " rw - nfs srv:/x rw\n";
    PosixMapDrives(&map, text.c_str(), nullptr, tmp.c_str());
    EXPECT_STREQ(map.root[3], "/srv/share100");
    EXPECT_STREQ(map.root[25], "/srv/share122");
    EXPECT_EQ(map.type[25], DRIVE_REMOTE);
}

TEST_F(DrivesTest, EmptyOrBrokenTablesGiveRootAndHome)
{
    for (const char* text : {"", "\n\n", "1 2 3\n", "1 2 3:4 / /mnt/x rw - \n"})
    {
        PosixMapDrives(&map, text, "/home/ann", tmp.c_str());
        EXPECT_STREQ(map.root[2], "/");
        EXPECT_STREQ(map.root[3], "/home/ann");
        EXPECT_EQ(map.type[4], DRIVE_NO_ROOT_DIR);
    }
}

TEST_F(DrivesTest, PathBelongsToTheLongestPlaceHoldingIt)
{
    PosixMapDrives(&map, "30 26 0:40 / /home/ann/remote rw - fuse.sshfs a@b: rw\n", "/home/ann", tmp.c_str());
    EXPECT_EQ(PosixDriveOfPath(&map, "/home/ann/remote/x"), 4);
    EXPECT_EQ(PosixDriveOfPath(&map, "/home/ann/remote"), 4);
    EXPECT_EQ(PosixDriveOfPath(&map, "/home/ann/remotes"), 3);
    EXPECT_EQ(PosixDriveOfPath(&map, "/home/ann"), 3);
    EXPECT_EQ(PosixDriveOfPath(&map, "/home/annx"), 2);
    EXPECT_EQ(PosixDriveOfPath(&map, "/"), 2);
}

// [SECTION] Changing drive

class ChangeDriveTest : public DrivesTest
{
protected:
    void SetUp() override
    {
        DrivesTest::SetUp();
        home = tmp + "/home";
        volume = tmp + "/volume";
        MakeFolder(home);
        MakeFolder(home + "/photos");
        MakeFolder(volume);
        MakeFolder(volume + "/trip");
        Map();
    }
    void Map()
    {
        std::string text = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                           "30 26 0:40 / " + volume + " rw - nfs4 srv:/v rw\n";
        PosixMapDrives(&map, text.c_str(), home.c_str(), tmp.c_str());
    }
    std::string home, volume;
};

TEST_F(ChangeDriveTest, FirstVisitGoesToTheRoot)
{
    ASSERT_EQ(chdir((home + "/photos").c_str()), 0);
    EXPECT_EQ(PosixChangeDrive(&map, 5), 0);  // E:
    EXPECT_EQ(CurrentFolder(), volume);
    EXPECT_EQ(PosixChangeDrive(&map, 3), 0);  // C:
    EXPECT_EQ(CurrentFolder(), "/");
}

TEST_F(ChangeDriveTest, EachDriveRemembersItsLastFolder)
{
    ASSERT_EQ(chdir((home + "/photos").c_str()), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 5), 0);
    ASSERT_EQ(chdir("trip"), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 4), 0);  // back to D:
    EXPECT_EQ(CurrentFolder(), home + "/photos");
    ASSERT_EQ(PosixChangeDrive(&map, 5), 0);
    EXPECT_EQ(CurrentFolder(), volume + "/trip");
    // The root drive remembers a folder outside home and the volume.
    ASSERT_EQ(chdir(tmp.c_str()), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 4), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 3), 0);
    EXPECT_EQ(CurrentFolder(), tmp);
}

TEST_F(ChangeDriveTest, CurrentDriveStaysInItsFolder)
{
    ASSERT_EQ(chdir((volume + "/trip").c_str()), 0);
    EXPECT_EQ(PosixChangeDrive(&map, 5), 0);
    EXPECT_EQ(CurrentFolder(), volume + "/trip");
}

TEST_F(ChangeDriveTest, GoneFolderFallsBackToTheRoot)
{
    ASSERT_EQ(chdir((volume + "/trip").c_str()), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 4), 0);
    ASSERT_EQ(rmdir((volume + "/trip").c_str()), 0);
    EXPECT_EQ(PosixChangeDrive(&map, 5), 0);
    EXPECT_EQ(CurrentFolder(), volume);
}

TEST_F(ChangeDriveTest, GonePlaceFailsAndChangesNothing)
{
    ASSERT_EQ(chdir((volume + "/trip").c_str()), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 4), 0);
    ASSERT_EQ(system(("rm -rf '" + volume + "'").c_str()), 0);
    EXPECT_EQ(PosixChangeDrive(&map, 5), -1);
    EXPECT_EQ(CurrentFolder(), home);
    // Unused letters and numbers outside A to Z fail the same way.
    for (int number : {0, 1, 2, 6, 26, 27, -3})
    {
        EXPECT_EQ(PosixChangeDrive(&map, number), -1) << number;
        EXPECT_EQ(CurrentFolder(), home);
    }
}

TEST_F(ChangeDriveTest, FolderIsRememberedByPlaceWhenLettersShift)
{
    ASSERT_EQ(chdir((volume + "/trip").c_str()), 0);
    ASSERT_EQ(PosixChangeDrive(&map, 4), 0);
    // A share that sorts before the volume appears and takes E:.
    std::string other = tmp + "/another";
    MakeFolder(other);
    std::string text = "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                       "30 26 0:40 / " + volume + " rw - nfs4 srv:/v rw\n"
                       "31 26 0:41 / " + other + " rw - nfs4 srv:/a rw\n";
    PosixMapDrives(&map, text.c_str(), home.c_str(), tmp.c_str());
    ASSERT_STREQ(map.root[4], other.c_str());
    EXPECT_EQ(PosixChangeDrive(&map, 5), 0);
    EXPECT_EQ(CurrentFolder(), other);
    EXPECT_EQ(PosixChangeDrive(&map, 6), 0);
    EXPECT_EQ(CurrentFolder(), volume + "/trip");
}

// [SECTION] The system's own letters

TEST_F(DrivesTest, SystemHasRootAsCAndNoAOrB)
{
    EXPECT_EQ(PlatGetDriveType(0), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(PlatGetDriveType(1), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(PlatGetDriveType(2), DRIVE_FIXED);
    EXPECT_EQ(PlatGetDriveType(-1), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(PlatGetDriveType(26), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(PlatChangeDrive(1), -1);
    EXPECT_EQ(CurrentFolder(), start);
    // The temporary folder lies on C: (the root), so C: keeps it.
    ASSERT_EQ(chdir(tmp.c_str()), 0);
    EXPECT_EQ(PlatChangeDrive(3), 0);
    EXPECT_EQ(CurrentFolder(), tmp);
}

}  // namespace
