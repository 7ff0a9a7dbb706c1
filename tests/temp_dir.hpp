#pragma once
// A private temporary directory for one test, removed with everything in it.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace cncsend::test {

class TempDir {
  public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "cncsend-XXXXXX").string();
        path_ = mkdtemp_path(pattern);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    static std::filesystem::path mkdtemp_path(std::string pattern);
    std::filesystem::path path_;
};

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace cncsend::test

#include <stdlib.h>

inline std::filesystem::path cncsend::test::TempDir::mkdtemp_path(std::string pattern) {
    const char* made = ::mkdtemp(pattern.data());
    return made ? std::filesystem::path(made) : std::filesystem::path(pattern);
}
