// posix_drives.cpp - drive letters on POSIX: places from the mount table, the
// folder last visited on each, and making a drive current.
//
// [SECTION] Reading the mount table
// [SECTION] Deciding what a mount is
// [SECTION] Building the letters
// [SECTION] Remembered folders and changing drive
// [SECTION] Platform services
#include "platform/posix/posix_drives.h"
#include "platform/posix/posix_read.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"

// [SECTION] Reading the mount table

struct Mount
{
    char* point;   // mount point, escapes decoded
    char* type;    // file-system type
    char* source;  // what is mounted, escapes decoded
    unsigned major, minor;
    int order;     // line number, for keeping the topmost of stacked mounts
};

// Decodes the \ooo escapes the kernel writes for blanks and backslashes.
static void DecodeEscapes(char* text)
{
    char* out = text;
    for (char* in = text; *in; in++)
    {
        if (in[0] == '\\' && in[1] >= '0' && in[1] <= '3' && in[2] >= '0' && in[2] <= '7' &&
            in[3] >= '0' && in[3] <= '7')
        {
            *out++ = (char)((in[1] - '0') * 64 + (in[2] - '0') * 8 + (in[3] - '0'));
            in += 3;
        }
        else
            *out++ = *in;
    }
    *out = 0;
}

// Splits one line into its blank-separated fields in place. Returns the count.
static int SplitFields(char* line, char** fields, int capacity)
{
    int n = 0;
    char* p = line;
    while (*p && n < capacity)
    {
        while (*p == ' ')
            p++;
        if (!*p)
            break;
        fields[n++] = p;
        while (*p && *p != ' ')
            p++;
        if (*p)
            *p++ = 0;
    }
    return n;
}

// Parses one mountinfo line: "id parent major:minor root point options
// [optional...] - type source superoptions". Returns 0 for a malformed line.
static int ParseMountLine(char* line, Mount* mount)
{
    enum { kMaxFields = 64 };
    char* f[kMaxFields];
    int n = SplitFields(line, f, kMaxFields);
    int dash = -1;
    for (int i = 6; i < n; i++)
        if (strcmp(f[i], "-") == 0)
        {
            dash = i;
            break;
        }
    if (dash < 0 || dash + 2 >= n)
        return 0;
    if (sscanf(f[2], "%u:%u", &mount->major, &mount->minor) != 2)
        mount->major = mount->minor = 0;
    mount->point = f[4];
    mount->type = f[dash + 1];
    mount->source = f[dash + 2];
    DecodeEscapes(mount->point);
    DecodeEscapes(mount->source);
    return mount->point[0] == '/';
}

// Orders mounts by mount point, stacked mounts in the order they were made.
static int CompareMounts(const void* a, const void* b)
{
    const Mount* x = (const Mount*)a;
    const Mount* y = (const Mount*)b;
    int c = strcmp(x->point, y->point);
    return c ? c : x->order - y->order;
}

// Parses a whole mountinfo text (modified in place) into a new array sorted by
// mount point, keeping only the topmost mount of each point. Returns the count.
static int ReadMounts(char* text, Mount** out)
{
    int lines = 1;
    for (const char* p = text; *p; p++)
        lines += *p == '\n';
    Mount* mounts = (Mount*)calloc((size_t)lines, sizeof(Mount));
    *out = mounts;
    if (!mounts)
        return 0;
    int n = 0;
    char* line = text;
    while (line && *line)
    {
        char* end = strchr(line, '\n');
        if (end)
            *end = 0;
        if (n < lines && ParseMountLine(line, &mounts[n]))
        {
            mounts[n].order = n;
            n++;
        }
        line = end ? end + 1 : nullptr;
    }
    qsort(mounts, (size_t)n, sizeof(Mount), CompareMounts);
    int kept = 0;
    for (int i = 0; i < n; i++)
    {
        if (i + 1 < n && strcmp(mounts[i].point, mounts[i + 1].point) == 0)
            continue;  // hidden under a later mount on the same point
        mounts[kept++] = mounts[i];
    }
    return kept;
}

// [SECTION] Deciding what a mount is

// Returns whether path is folder or lies below it.
static bool Under(const char* path, const char* folder)
{
    size_t n = strlen(folder);
    if (n == 1 && folder[0] == '/')
        return path[0] == '/';
    return strncmp(path, folder, n) == 0 && (path[n] == 0 || path[n] == '/');
}

static bool IsOneOf(const char* text, const char* const* list)
{
    for (; *list; list++)
        if (strcmp(text, *list) == 0)
            return true;
    return false;
}

// Returns whether a mount point belongs to the system rather than to a person:
// pseudo file systems, the boot partition, programs, state and runtime data.
static bool InSystemFolder(const char* point)
{
    static const char* const folders[] = {"/proc", "/sys", "/dev", "/run", "/boot", "/usr",
                                          "/etc", "/var", "/snap", "/lib", "/lib32", "/lib64",
                                          "/libx32", "/bin", "/sbin", nullptr};
    if (Under(point, "/run/media"))
        return false;
    for (const char* const* f = folders; *f; f++)
        if (Under(point, *f))
            return true;
    return false;
}

// Returns whether a mount point lies where desktops and people mount volumes.
static bool InMediaFolder(const char* point)
{
    return Under(point, "/media") || Under(point, "/mnt") || Under(point, "/run/media");
}

// Returns whether the file holds a number other than 0.
static bool FileSaysYes(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char c = 0;
    ssize_t n = read(fd, &c, 1);
    close(fd);
    return n == 1 && c >= '1' && c <= '9';
}

// Returns whether the block device under a mount says it is removable. A
// partition asks its disk, one folder up in sysfs.
static bool DeviceRemovable(const Mount* mount, const char* sysRoot)
{
    unsigned major = mount->major, minor = mount->minor;
    struct stat st;
    // FUSE block mounts (ntfs-3g) report a device of major 0; the source names
    // the real one.
    if (major == 0 && strncmp(mount->source, "/dev/", 5) == 0 && stat(mount->source, &st) == 0 &&
        S_ISBLK(st.st_mode))
    {
        major = major(st.st_rdev);
        minor = minor(st.st_rdev);
    }
    if (major == 0)
        return false;
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s/dev/block/%u:%u/removable", sysRoot, major, minor);
    if (access(path, F_OK) == 0)
        return FileSaysYes(path);
    snprintf(path, sizeof path, "%s/dev/block/%u:%u/../removable", sysRoot, major, minor);
    return FileSaysYes(path);
}

static const char* const kRemoteTypes[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "sshfs",
                                           "fuse.sshfs", "9p", "ceph", "afs", "glusterfs",
                                           "fuse.glusterfs", nullptr};
static const char* const kOpticalTypes[] = {"iso9660", "udf", nullptr};
static const char* const kRamTypes[] = {"tmpfs", "ramfs", nullptr};
static const char* const kStickTypes[] = {"vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", nullptr};
static const char* const kDiskTypes[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "jfs",
                                         "reiserfs", "nilfs2", "hfs", "hfsplus", "zfs", "bcachefs",
                                         nullptr};

// Returns the DRIVE_* type of a mount, or -1 when it is no drive.
static int ClassifyMount(const Mount* m, const char* sysRoot)
{
    if (InSystemFolder(m->point))
        return -1;
    if (IsOneOf(m->type, kRemoteTypes))
        return DRIVE_REMOTE;
    if (IsOneOf(m->type, kOpticalTypes))
        return DRIVE_CDROM;
    if (IsOneOf(m->type, kRamTypes))
        return InMediaFolder(m->point) ? DRIVE_RAMDISK : -1;
    bool media = InMediaFolder(m->point);
    if (IsOneOf(m->type, kStickTypes))
    {
        if (Under(m->point, "/media") || Under(m->point, "/run/media") || DeviceRemovable(m, sysRoot))
            return DRIVE_REMOVABLE;
        return media ? DRIVE_FIXED : -1;
    }
    bool disk = IsOneOf(m->type, kDiskTypes) || strncmp(m->source, "/dev/", 5) == 0;
    if (!disk || !media)
        return -1;
    return DeviceRemovable(m, sysRoot) ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

// [SECTION] Building the letters

// Returns a new copy of a folder's name without trailing slashes ("/" stays).
static char* TrimmedCopy(const char* path)
{
    size_t n = strlen(path);
    while (n > 1 && path[n - 1] == '/')
        n--;
    char* copy = (char*)malloc(n + 1);
    if (copy)
    {
        memcpy(copy, path, n);
        copy[n] = 0;
    }
    return copy;
}

void PosixFreeDrives(PosixDriveMap* map)
{
    for (int i = 0; i < kPosixDriveLetters; i++)
    {
        free(map->root[i]);
        map->root[i] = nullptr;
        map->type[i] = DRIVE_NO_ROOT_DIR;
    }
}

// Gives letter i a place and a type. Returns the next free letter.
static int AddDrive(PosixDriveMap* map, int i, const char* place, int type)
{
    if (i >= kPosixDriveLetters)
        return i;
    map->root[i] = TrimmedCopy(place);
    if (!map->root[i])
        return i;
    map->type[i] = type;
    return i + 1;
}

void PosixMapDrives(PosixDriveMap* map, const char* mountinfo, const char* home, const char* sysRoot)
{
    PosixFreeDrives(map);
    size_t length = strlen(mountinfo);
    char* text = (char*)malloc(length + 1);
    Mount* mounts = nullptr;
    int count = 0;
    if (text)
    {
        memcpy(text, mountinfo, length + 1);
        count = ReadMounts(text, &mounts);
    }

    // The home folder by its real name, so that it matches what getcwd says.
    char* homePlace = nullptr;
    if (home && home[0] == '/')
    {
        homePlace = realpath(home, nullptr);
        if (!homePlace)
            homePlace = TrimmedCopy(home);
        if (homePlace && strcmp(homePlace, "/") == 0)
        {
            free(homePlace);
            homePlace = nullptr;
        }
    }

    int next = AddDrive(map, 2, "/", DRIVE_FIXED);
    if (homePlace)
    {
        // A home on a network share is a network drive.
        int type = DRIVE_FIXED;
        size_t best = 0;
        for (int i = 0; i < count; i++)
        {
            size_t n = strlen(mounts[i].point);
            if (Under(homePlace, mounts[i].point) && n >= best)
            {
                best = n;
                type = IsOneOf(mounts[i].type, kRemoteTypes) ? DRIVE_REMOTE : DRIVE_FIXED;
            }
        }
        next = AddDrive(map, next, homePlace, type);
    }
    for (int i = 0; i < count && next < kPosixDriveLetters; i++)
    {
        const Mount* m = &mounts[i];
        if (strcmp(m->point, "/") == 0 || (homePlace && strcmp(m->point, homePlace) == 0))
            continue;
        int type = ClassifyMount(m, sysRoot);
        if (type >= 0)
            next = AddDrive(map, next, m->point, type);
    }
    free(homePlace);
    free(mounts);
    free(text);
}

void PosixMapSystemDrives(PosixDriveMap* map)
{
    const char* home = getenv("HOME");
    char buffer[4096];
    if (!home || !home[0])
    {
        struct passwd entry, *found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found)
            home = found->pw_dir;
    }
    char* mountinfo = PosixReadWholeFile("/proc/self/mountinfo", nullptr);
    PosixMapDrives(map, mountinfo ? mountinfo : "", home, "/sys");
    free(mountinfo);
}

int PosixDriveOfPath(const PosixDriveMap* map, const char* path)
{
    int best = -1;
    size_t bestLength = 0;
    for (int i = 0; i < kPosixDriveLetters; i++)
    {
        if (!map->root[i] || !Under(path, map->root[i]))
            continue;
        size_t n = strlen(map->root[i]);
        if (best < 0 || n > bestLength)
        {
            best = i;
            bestLength = n;
        }
    }
    return best;
}

// [SECTION] Remembered folders and changing drive

// The folder last visited on each place. Keyed by the place rather than by
// the letter, so a volume that comes or goes and shifts the letters after it
// does not hand one place's folder to another.
struct Visit
{
    char* place;
    char* folder;
};

static Visit* gVisits;
static int gVisitCount;
static int gVisitCapacity;

static Visit* FindVisit(const char* place)
{
    for (int i = 0; i < gVisitCount; i++)
        if (strcmp(gVisits[i].place, place) == 0)
            return &gVisits[i];
    return nullptr;
}

// Records folder as the last visited on place; a failure only forgets.
static void RememberVisit(const char* place, const char* folder)
{
    Visit* v = FindVisit(place);
    char* copy = strdup(folder);
    if (!copy)
        return;
    if (v)
    {
        free(v->folder);
        v->folder = copy;
        return;
    }
    if (gVisitCount == gVisitCapacity)
    {
        int capacity = gVisitCapacity ? gVisitCapacity * 2 : 8;
        Visit* grown = (Visit*)realloc(gVisits, (size_t)capacity * sizeof(Visit));
        if (!grown)
        {
            free(copy);
            return;
        }
        gVisits = grown;
        gVisitCapacity = capacity;
    }
    char* placeCopy = strdup(place);
    if (!placeCopy)
    {
        free(copy);
        return;
    }
    gVisits[gVisitCount++] = {placeCopy, copy};
}

static void ForgetVisit(const char* place)
{
    Visit* v = FindVisit(place);
    if (!v)
        return;
    free(v->place);
    free(v->folder);
    *v = gVisits[--gVisitCount];
}

void PosixForgetVisits()
{
    for (int i = 0; i < gVisitCount; i++)
    {
        free(gVisits[i].place);
        free(gVisits[i].folder);
    }
    free(gVisits);
    gVisits = nullptr;
    gVisitCount = gVisitCapacity = 0;
}

int PosixChangeDrive(const PosixDriveMap* map, int driveNumber)
{
    if (driveNumber < 1 || driveNumber > kPosixDriveLetters)
        return -1;
    const char* place = map->root[driveNumber - 1];
    if (!place || map->type[driveNumber - 1] == DRIVE_NO_ROOT_DIR)
        return -1;

    // Leaving a drive: it keeps the folder we were in. When that folder is on
    // the target drive itself, going there keeps us where we are.
    char* current = getcwd(nullptr, 0);
    if (current)
    {
        int owner = PosixDriveOfPath(map, current);
        if (owner >= 0)
            RememberVisit(map->root[owner], current);
        free(current);
    }

    Visit* v = FindVisit(place);
    if (v && chdir(v->folder) == 0)
        return 0;
    if (v)
        ForgetVisit(place);  // gone since: start again at the root
    return chdir(place) == 0 ? 0 : -1;
}

// [SECTION] Platform services

// The letters as last read. The toolbar asks for A to Z on every pass that
// draws it; the mount table is read again at A, and whenever the letters are
// older than a second, so a row costs one reading and a volume that comes or
// goes shows at the next pass.
static PosixDriveMap gDrives;
static int gHaveDrives;
static struct timespec gDrivesTime;

// Returns whether the remembered letters are more than a second old.
static bool DrivesStale()
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long ms = (long long)(now.tv_sec - gDrivesTime.tv_sec) * 1000 +
                   (now.tv_nsec - gDrivesTime.tv_nsec) / 1000000;
    return ms > 1000 || ms < 0;
}

int PlatGetDriveType(int index)
{
    if (index < 0 || index >= kPosixDriveLetters)
        return DRIVE_NO_ROOT_DIR;
    if (!gHaveDrives || index == 0 || DrivesStale())
    {
        PosixMapSystemDrives(&gDrives);
        clock_gettime(CLOCK_MONOTONIC, &gDrivesTime);
        gHaveDrives = 1;
    }
    return gDrives.type[index];
}

int PlatChangeDrive(int driveNumber)
{
    // Always from a fresh reading: the volume may have gone since the row
    // was drawn.
    PosixDriveMap map;
    memset(&map, 0, sizeof map);
    PosixMapSystemDrives(&map);
    int result = PosixChangeDrive(&map, driveNumber);
    PosixFreeDrives(&map);
    return result;
}
