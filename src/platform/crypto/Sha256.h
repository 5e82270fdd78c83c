#pragma once

#include <memory>
#include <string>

namespace pelvar::crypto {

// SHA-256 over data that arrives in pieces (a download as it streams to disk). OpenSSL's
// libcrypto: with the CPU's SHA instructions it hashed 256 MiB four to six times faster than
// libsodium's portable code on the build machine.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, std::size_t size);
    // The digest in lower-case hex; the hasher starts over afterwards.
    std::string hexDigest();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The lower-case hex SHA-256 of a whole file, with its size; nothing when it cannot be read.
struct FileDigest {
    bool ok = false;
    long long size = 0;
    std::string sha256;
};
FileDigest sha256OfFile(const std::string& path);

// The lower-case hex SHA-256 of bytes in memory.
std::string sha256OfBytes(const std::string& bytes);

} // namespace pelvar::crypto
