#pragma once

#include "platform/crypto/Sha256.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelvar::crypto {

// SHA-256 of data that arrives in pieces, computed on a thread of its own so that hashing a
// download overlaps receiving and writing it. The bytes are copied into blocks; at most a few
// blocks wait, so memory stays bounded.
class ParallelSha256 {
  public:
    ParallelSha256();
    ~ParallelSha256();
    ParallelSha256(const ParallelSha256&) = delete;
    ParallelSha256& operator=(const ParallelSha256&) = delete;

    void update(const void* data, std::size_t size);
    // The digest of everything given, in lower-case hex; the hasher takes nothing after it.
    std::string hexDigest();

  private:
    void hand(std::vector<char>&& block);
    std::vector<char> spareBlock();
    void work();
    void stop();

    Sha256 hasher_;
    std::vector<char> current_;
    std::deque<std::vector<char>> waiting_;
    std::vector<std::vector<char>> spare_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
    std::thread worker_;
};

} // namespace pelvar::crypto
