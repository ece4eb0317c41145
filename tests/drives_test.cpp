// Tests of drive letters on POSIX: which mounts become drives, their order,
// and changing drive with the folder last visited on each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_drives.h"
#include "tests/temp_folder.h"

namespace {

std::string CurrentFolder() { return std::filesystem::current_path(); }

class DrivesTest : public ::testing::Test
{
protected:
    void SetUp() override { PosixForgetVisits(); }
    void TearDown() override { PosixFreeDrives(&map), PosixForgetVisits(); }
    // Returns each letter in use, its place and its type: F fixed, R
    // removable, N network, O optical, M memory.
    std::string Letters() const
    {
        std::string s;
        for (int i = 0; i < kPosixDriveLetters; i++)
            if (map.root[i] || map.type[i] != DRIVE_NO_ROOT_DIR)
                s += std::string(1, (char)('A' + i)) + ":" + (map.root[i] ? map.root[i] : "") + " " +
                     "?-RFNOM?"[std::clamp(map.type[i], 0, 7)] + " ";
        return s;
    }
    testfs::TempFolder tmp;  // puts the current folder back
    PosixDriveMap map = {};
};

TEST_F(DrivesTest, LettersFollowTheMountTable)
{
    // A sysfs tree: disks sda (partition 8:1) and sdc (8:33) fixed, sdb
    // (8:17) and sde (8:65) removable.
    std::string sys = "cd '" + tmp.path + "' && mkdir -p sys/dev/block real home && ln -s real link";
    for (const char* d : {"sda 8:1 0", "sdb 8:17 1", "sdc 8:33 0", "sde 8:65 1"})
        sys += " && set -- " + std::string(d) + " && mkdir -p sys/devices/$1/${1}1" +
               " && echo $3 > sys/devices/$1/removable && ln -s ../../devices/$1/${1}1 sys/dev/block/$2";
    ASSERT_EQ(system(sys.c_str()), 0);
    const std::string home = tmp.At("home"), link = tmp.At("link/"), root = "26 1 254:0 / / rw - ext4 /dev/vda rw\n";
    const std::string table = root + "21 26 0:20 / /proc rw - proc proc rw\n28 26 0:23 / /tmp rw - tmpfs tmpfs rw\n"
        "29 26 8:1 / /boot/efi rw - vfat /dev/sda1 rw\n30 26 0:40 / /home/ann/remote rw - fuse.sshfs a@h: rw\n"
        "31 26 0:41 / /srv/photos rw shared:5 - nfs4 s:/p rw\n32 26 8:17 / /media/ann/STICK rw - vfat /dev/sdb1 rw\n"
        "33 26 8:33 / /mnt/backup rw - ext4 /dev/sdc1 rw\n34 26 11:0 / /media/cdrom0 ro - iso9660 /dev/sr0 ro\n"
        "35 26 0:42 / /mnt/ram rw - tmpfs tmpfs rw\n36 26 0:43 / /run/media/ann/My\\040Disk rw - exfat /dev/sdd1 rw\n"
        "39 26 8:65 / /mnt/usbext4 rw - ext4 /dev/sde1 rw\n40 26 0:46 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse g rw\n"
        "42 26 0:47 / /usr/lib/wsl/drivers ro - 9p drivers ro\n45 26 8:1 / /mnt/efi rw - vfat /dev/sda1 rw\n"
        "46 26 8:17 / /opt/stick rw - vfat /dev/sdb1 rw\n47 26 8:33 / /home/ann/disk rw - vfat /dev/sdc1 rw\n"
        "48 26 8:33 / /mnt/stack rw - ext4 /dev/sdc1 rw\n49 48 0:49 / /mnt/stack rw - tmpfs tmpfs rw\n"
        "this line is not a mount\n51 26 0:51 / /mnt/short rw\n";
    std::string shares, lettersToZ = "C:/ F ";  // 40 of them: the letters stop at Z
    for (int i = 100; i < 140; i++)
    {
        shares += "30 26 0:40 / /srv/share" + std::to_string(i) + " rw - nfs srv:/x rw\n";
        lettersToZ += i < 123 ? std::string(1, (char)('D' + i - 100)) + ":/srv/share" + std::to_string(i) + " N " : "";
    }
    // C: the root, D: home, then volumes ordered by mount point (the topmost
    // of stacked mounts); without a home (none, empty, "/" or relative)
    // volumes start at D:. Home is named by its real path, or as given less
    // trailing slashes; on a share it is a network drive, the share one
    // more; a mount on home itself is no second letter. Empty or broken
    // tables leave the root and home.
    const struct { std::string table; std::vector<const char*> homes; std::string want; } cases[] = {
        {table, {home.c_str()}, "C:/ F D:" + home + " F E:/home/ann/remote N F:/media/ann/STICK R G:/media/cdrom0 O "
         "H:/mnt/backup F I:/mnt/efi F J:/mnt/ram M K:/mnt/stack M L:/mnt/usbext4 R M:/opt/stick R "
         "N:/run/media/ann/My Disk R O:/srv/photos N "},
        {root + "31 26 0:41 / /srv/photos rw - nfs s:/p rw\n", {nullptr, "", "/", "a/b"}, "C:/ F D:/srv/photos N "},
        {"", {link.c_str()}, "C:/ F D:" + tmp.At("real") + " F "},
        {"", {"/nowhere/ann//"}, "C:/ F D:/nowhere/ann F "},
        {root + "30 26 0:40 / /nethome rw - nfs4 srv:/home rw\n", {"/nethome/ann"},
         "C:/ F D:/nethome/ann N E:/nethome N "},
        {root + "30 26 0:40 / " + home + " rw - nfs4 srv:/home rw\n", {home.c_str()}, "C:/ F D:" + home + " N "},
        {shares, {nullptr}, lettersToZ},
        {"\n\n1 2 3\n1 2 3:4 / /mnt/x rw - \n", {"/home/ann"}, "C:/ F D:/home/ann F "}};
    for (const auto& c : cases)
        for (const char* h : c.homes)
        {
            PosixMapDrives(&map, c.table.c_str(), h, tmp.At("sys").c_str());
            EXPECT_EQ(Letters(), c.want) << (h ? h : "no home");
        }
}

TEST_F(DrivesTest, ChangingDriveGoesToTheFolderLastVisitedThere)
{
    // C: the root, D: home, E: a network volume, until a share that sorts
    // before it takes E:; folders are remembered by place, not by letter.
    const std::string home = tmp.At("home"), volume = tmp.At("volume"), other = tmp.At("another");
    ASSERT_EQ(system(("mkdir -p '" + home + "/photos' '" + volume + "/trip' '" + other + "'").c_str()), 0);
    const std::string table = "26 1 254:0 / / rw - ext4 /dev/vda rw\n30 26 0:40 / " + volume + " rw - nfs4 srv:/v rw\n";
    // What is done first (cd, rmdir, or the share mounted), the drive number
    // changed to (1 = A), the result and the current folder after.
    const struct { std::string first; int n; std::string want; } steps[] = {
        {"cd " + home + "/photos", 5, "0 " + volume},  // the first visit goes to the root
        {"cd trip", 5, "0 " + volume + "/trip"},       // the current drive stays
        {"", 4, "0 " + home + "/photos"}, {"", 5, "0 " + volume + "/trip"}, {"", 3, "0 /"},
        {"cd " + tmp.path, 4, "0 " + home + "/photos"}, {"", 3, "0 " + tmp.path},  // C: outside home and volume
        {"share", 5, "0 " + other}, {"", 6, "0 " + volume + "/trip"}, {"", 4, "0 " + home + "/photos"},
        {"rmdir " + volume + "/trip", 6, "0 " + volume},  // a folder gone: the root
        {"", 4, "0 " + home + "/photos"},
        // A place gone, unused letters and numbers outside A to Z fail and change nothing.
        {"rmdir " + volume, 6, "-1 " + home + "/photos"}, {"", 0, "-1 " + home + "/photos"},
        {"", 1, "-1 " + home + "/photos"}, {"", 7, "-1 " + home + "/photos"}, {"", 27, "-1 " + home + "/photos"}};
    PosixMapDrives(&map, table.c_str(), home.c_str(), tmp.path.c_str());
    for (const auto& s : steps)
    {
        const std::string arg = s.first.substr(s.first.find(' ') + 1);
        if (s.first == "share")
            PosixMapDrives(&map, (table + "31 26 0:41 / " + other + " rw - nfs4 srv:/a rw\n").c_str(), home.c_str(),
                           tmp.path.c_str());
        ASSERT_EQ(s.first.size() < 6 ? 0 : s.first[0] == 'c' ? chdir(arg.c_str()) : rmdir(arg.c_str()), 0) << s.first;
        const int result = PosixChangeDrive(&map, s.n);
        EXPECT_EQ(std::to_string(result) + " " + CurrentFolder(), s.want) << s.first << " " << s.n;
    }
}

TEST_F(DrivesTest, SystemHasRootAsCAndNoAOrB)
{
    for (int index : {-1, 0, 1, 26})
        EXPECT_EQ(PlatGetDriveType(index), DRIVE_NO_ROOT_DIR) << index;
    ASSERT_TRUE(PlatGetDriveType(2) == DRIVE_FIXED && tmp.Enter());
    // The temporary folder lies on C:, the root, which keeps it.
    EXPECT_TRUE(PlatChangeDrive(1) == -1 && PlatChangeDrive(3) == 0 && CurrentFolder() == tmp.path);
}

}  // namespace
