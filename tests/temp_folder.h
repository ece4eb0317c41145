// temp_folder.h - real folders and files on disk for the tests.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testfs {

// Returns a file's bytes, none when it cannot be read.
inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
}

inline std::vector<uint8_t> Fixture(const std::string& name) { return ReadFile(ORVALE_FIXTURES "/" + name); }

// A fresh folder under /tmp, removed with everything in it at the end of the
// scope; the process's current folder is put back as it was.
struct TempFolder
{
    char pattern[24] = "/tmp/orvale-test-XXXXXX";
    const std::string path = mkdtemp(pattern), previous = std::filesystem::current_path();

    ~TempFolder() { std::error_code e; std::filesystem::current_path(previous, e), std::filesystem::remove_all(path, e); }
    std::string At(const std::string& name) const { return path + "/" + name; }
    bool Write(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        std::ofstream f(At(name), std::ios::binary);
        return f.write((const char*)bytes.data(), (std::streamsize)bytes.size()).flush().good();
    }
    bool Folder(const std::string& name) const { return mkdir(At(name).c_str(), 0755) == 0; }
    bool Enter() const { return chdir(path.c_str()) == 0; }
};

}  // namespace testfs
