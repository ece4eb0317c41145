// temp_folder.h - real folders and files on disk for the tests.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef ORVALE_FIXTURES
#define ORVALE_FIXTURES "fixtures"
#endif

namespace testfs {

// Removes a file, a link or a whole folder tree.
inline void RemoveTree(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return;
    if (S_ISDIR(st.st_mode))
    {
        if (DIR* dir = opendir(path.c_str()))
        {
            while (struct dirent* d = readdir(dir))
            {
                std::string n = d->d_name;
                if (n != "." && n != "..")
                    RemoveTree(path + "/" + n);
            }
            closedir(dir);
        }
        rmdir(path.c_str());
    }
    else
        unlink(path.c_str());
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    if (FILE* f = fopen(path.c_str(), "rb"))
    {
        uint8_t buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        fclose(f);
    }
    return bytes;
}

inline std::vector<uint8_t> Fixture(const std::string& name) { return ReadFile(std::string(ORVALE_FIXTURES) + "/" + name); }

// A fresh folder under /tmp, removed with everything in it at the end of the
// scope; the process's current folder is put back as it was.
struct TempFolder
{
    std::string path;
    std::string previous;

    TempFolder()
    {
        char pattern[] = "/tmp/orvale-test-XXXXXX";
        char* made = mkdtemp(pattern);
        path = made ? made : "";
        char* cwd = getcwd(nullptr, 0);
        previous = cwd ? cwd : "/";
        free(cwd);
    }
    ~TempFolder()
    {
        if (chdir(previous.c_str()) != 0)
            perror("chdir");
        RemoveTree(path);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string At(const std::string& name) const { return path + "/" + name; }
    bool Write(const std::string& name, const std::vector<uint8_t>& bytes) const { return WriteFile(At(name), bytes); }
    bool Folder(const std::string& name) const { return mkdir(At(name).c_str(), 0755) == 0; }
    bool Enter() const { return chdir(path.c_str()) == 0; }
};

}  // namespace testfs
