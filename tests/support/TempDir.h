#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace pelvar::test {

// A fresh folder below the system's temp folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  private:
    std::string path_;
};

// Writes a file (and its folders) with exactly these bytes.
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
// The permission bits of a file (0 when it is missing).
unsigned fileMode(const std::string& path);
// Polls `condition` every 20 ms for at most `seconds`; whether it came true.
bool waitUntil(const std::function<bool()>& condition, double seconds = 10);

} // namespace pelvar::test
