#include "platform/crypto/ParallelSha256.h"

namespace pelvar::crypto {
namespace {

constexpr std::size_t BlockBytes = 1 << 20;
constexpr std::size_t MaxWaiting = 4;

} // namespace

ParallelSha256::ParallelSha256() : worker_([this] { work(); }) {
    current_.reserve(BlockBytes);
}

ParallelSha256::~ParallelSha256() {
    stop();
}

void ParallelSha256::update(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const std::size_t take = std::min(size, BlockBytes - current_.size());
        current_.insert(current_.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (current_.size() == BlockBytes) {
            hand(std::move(current_));
            current_ = spareBlock();
        }
    }
}

// A hashed block back from the worker, its memory kept: fresh 1 MiB blocks would cost a page
// fault per 4 KiB, as much time as the hash itself saves by running beside the transfer.
std::vector<char> ParallelSha256::spareBlock() {
    std::vector<char> block;
    {
        std::lock_guard lock(mutex_);
        if (!spare_.empty()) {
            block = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    block.clear();
    block.reserve(BlockBytes);
    return block;
}

std::string ParallelSha256::hexDigest() {
    if (!current_.empty()) {
        hand(std::move(current_));
        current_ = {};
    }
    stop();
    return hasher_.hexDigest();
}

void ParallelSha256::hand(std::vector<char>&& block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < MaxWaiting; });
    waiting_.push_back(std::move(block));
    changed_.notify_all();
}

void ParallelSha256::work() {
    for (;;) {
        std::vector<char> block;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !waiting_.empty() || done_; });
            if (waiting_.empty()) {
                return;
            }
            block = std::move(waiting_.front());
            waiting_.pop_front();
            changed_.notify_all();
        }
        hasher_.update(block.data(), block.size());
        std::lock_guard lock(mutex_);
        spare_.push_back(std::move(block));
    }
}

void ParallelSha256::stop() {
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

} // namespace pelvar::crypto
