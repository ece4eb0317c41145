// temp_folder.h - real folders and files on disk for the tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifndef ORVALE_FIXTURES
#define ORVALE_FIXTURES "fixtures"
#endif

namespace testfs {

// Removes a file, a link or a whole folder tree.
inline void RemoveTree(const std::string& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// Returns a file's bytes, none when it cannot be read.
inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path.c_str(), "rb");
    for (int c; f && (c = fgetc(f)) != EOF;)
        bytes.push_back((uint8_t)c);
    if (f)
        fclose(f);
    return bytes;
}

inline std::vector<uint8_t> Fixture(const std::string& name) { return ReadFile(std::string(ORVALE_FIXTURES) + "/" + name); }

// A fresh folder under /tmp, removed with everything in it at the end of the
// scope; the process's current folder is put back as it was.
struct TempFolder
{
    std::string path, previous;

    TempFolder()
    {
        char pattern[] = "/tmp/orvale-test-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "";
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
    bool Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        FILE* f = fopen(At(name).c_str(), "wb");
        bool ok = f && (bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
        return f && fclose(f) == 0 && ok;
    }
    bool Folder(const std::string& name) const { return mkdir(At(name).c_str(), 0755) == 0; }
    bool Enter() const { return chdir(path.c_str()) == 0; }
};

}  // namespace testfs
