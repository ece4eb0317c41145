// posix_drives.h - drive letters on POSIX: which place each letter stands for.
//
// C: is the root "/". D: is the home folder. E: onward are the mounted volumes
// a person would think of as drives (network shares, optical discs, memory
// sticks, RAM disks, disks under /media, /mnt and /run/media), ordered by
// mount point. A: and B: are never used. Each place remembers the folder last
// visited on it, as Windows remembers a current folder per drive.
//
// Internal to the POSIX backend; the tests build maps from their own texts.
#pragma once

enum
{
    kPosixDriveLetters = 26,
};

struct PosixDriveMap
{
    int type[kPosixDriveLetters];    // DRIVE_* per letter; DRIVE_NO_ROOT_DIR when unused
    char* root[kPosixDriveLetters];  // the place of each letter in use, owned; null otherwise
};

// Builds the letters from the text of a mountinfo file, the home folder (null
// or "/" for none) and the root of the sysfs tree that tells which block
// devices are removable. Replaces whatever the map held.
void PosixMapDrives(PosixDriveMap* map, const char* mountinfo, const char* home, const char* sysRoot);
// Builds the letters from /proc/self/mountinfo, $HOME (or the password
// entry's home) and /sys.
void PosixMapSystemDrives(PosixDriveMap* map);
// Frees the places and marks every letter unused.
void PosixFreeDrives(PosixDriveMap* map);
// Returns the letter index whose place holds path (the longest such place),
// or -1 when none does.
int PosixDriveOfPath(const PosixDriveMap* map, const char* path);
// Makes drive number (1 = A ... 26 = Z) of the map current: records the
// current folder as last visited on its own drive, then goes to the folder
// last visited on the target, or to its root. Returns 0, or -1 with the
// current folder unchanged when the place cannot be entered.
int PosixChangeDrive(const PosixDriveMap* map, int driveNumber);
// Forgets every remembered folder.
void PosixForgetVisits();
