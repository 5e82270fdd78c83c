#include "platform/net/InternetClient.h"

#include "platform/base/Limits.h"
#include "platform/crypto/ParallelSha256.h"
#include "platform/files/ScratchFiles.h"
#include "platform/net/ResumeRecord.h"
#include "platform/text/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelvar {
namespace {

void initialiseCurl() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

constexpr int MaxRedirects = 10;
constexpr std::size_t FileBufferSize = 1 << 20;

// Streams the body into a fresh "<path>.XXXXXX.part" file, created exclusively so that no
// link planted in the folder can redirect the write; renamed to the final name when complete.
// Stops at the size cap and when the announced size does not fit on the disk. A resumable
// transfer writes "<path>.partial" instead, which outlives a broken transfer.
class PartFile {
  public:
    PartFile(std::string path, const ExpectedContent& expected, bool resumable)
        : path_(std::move(path)), expected_(expected), resumable_(resumable) {
        if (expected_.size >= 0) {
            limit_ = expected_.size;
            hasher_ = std::make_unique<crypto::ParallelSha256>();
        }
    }
    ~PartFile() { discard(); }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Opens the scratch file; with an offset, continues the partial file holding that many
    // bytes, hashing them again first.
    bool open(long long offset) {
        const int fd = resumable_ ? openPartial(offset) : openUnique();
        if (fd < 0) {
            return false;
        }
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            error_ = errno;
            ::close(fd);
            std::remove(part_.c_str());
            return false;
        }
        buffer_.resize(FileBufferSize);
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
        return true;
    }
    // Checks a size the server announced (the rest of the file, when resumed) before any byte
    // is kept.
    bool admit(long long announced) {
        if (announced >= 0 && written_ + announced > limit_) {
            refuse(written_ + announced);
            error_ = EFBIG;
            return false;
        }
        const long long space = scratch::freeBytes(part_);
        if (announced > 0 && space >= 0 && announced > space) {
            error_ = ENOSPC;
            return false;
        }
        return true;
    }
    bool write(const char* data, std::size_t n) {
        if (written_ + static_cast<long long>(n) > limit_) {
            refuse(written_ + static_cast<long long>(n));
            error_ = EFBIG;
            return false;
        }
        if (hasher_) {
            hasher_->update(data, n);
        }
        errno = 0;
        if (std::fwrite(data, 1, n, file_) != n) {
            error_ = errno != 0 ? errno : EIO;
            return false;
        }
        written_ += static_cast<long long>(n);
        return true;
    }
    bool commit() {
        errno = 0;
        const bool flushed = std::fflush(file_) == 0;
        if (!flushed) {
            error_ = errno != 0 ? errno : EIO;
        }
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (!flushed || !closed) {
            std::remove(part_.c_str());
            error_ = error_ != 0 ? error_ : EIO;
            return false;
        }
        if (expected_.size >= 0) {
            const std::string digest = hasher_->hexDigest();
            if (written_ != expected_.size) {
                refused_ = "size " + std::to_string(written_) + " instead of the signed " +
                           std::to_string(expected_.size);
            } else if (digest != expected_.sha256) {
                refused_ = "SHA-256 " + digest + " instead of the signed " + expected_.sha256;
            }
            if (!refused_.empty()) {
                std::remove(part_.c_str());
                error_ = EBADMSG;
                return false;
            }
        }
        // rename replaces a link at the final name instead of writing through it.
        if (std::rename(part_.c_str(), path_.c_str()) != 0) {
            error_ = errno;
            std::remove(part_.c_str());
            return false;
        }
        return true;
    }
    // Starts the partial file over: the old one is removed and a new one created exclusively.
    bool restart() {
        std::fclose(file_);
        file_ = nullptr;
        written_ = 0;
        if (hasher_) {
            hasher_ = std::make_unique<crypto::ParallelSha256>();
        }
        return open(0);
    }
    // Keeps the partial file for the next run instead of removing it.
    void keep() { kept_ = true; }
    void discard() {
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
            if (!kept_) {
                std::remove(part_.c_str());
            }
        }
    }
    long long written() const { return written_; }
    int error() const { return error_; }
    const std::string& refused() const { return refused_; }

  private:
    std::string path_;
    std::string part_;
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    long long written_ = 0;
    long long limit_ = limits::maximumFileBytes();
    int error_ = 0;
    ExpectedContent expected_;
    bool resumable_ = false;
    bool kept_ = false;
    // Signed content only: hashed on a second core while the transfer goes on.
    std::unique_ptr<crypto::ParallelSha256> hasher_;
    std::string refused_;

    void refuse(long long bytes) {
        if (expected_.size >= 0) {
            refused_ = "more than the signed size " + std::to_string(expected_.size) +
                       " (at least " + std::to_string(bytes) + " bytes)";
        }
    }
    int openUnique() {
        const scratch::CreatedFile created = scratch::createUniqueFile(path_, ".part");
        error_ = created.error;
        part_ = created.path;
        return created.fd;
    }
    // The partial file: continued when it is this user's own regular file of exactly `offset`
    // bytes, else made anew (the old name unlinked, the new file created exclusively).
    int openPartial(long long offset) {
        part_ = partialPathOf(path_);
        if (offset > 0) {
            const int fd = ::open(part_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
            struct stat info {};
            if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                info.st_uid == ::geteuid() && info.st_nlink == 1 && info.st_size == offset &&
                rehash(fd) && ::lseek(fd, 0, SEEK_END) == offset) {
                written_ = offset;
                return fd;
            }
            if (fd >= 0) {
                ::close(fd);
            }
            error_ = EBADF;
            return -1;
        }
        ::unlink(part_.c_str());
        const int fd =
            ::open(part_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        error_ = fd < 0 ? errno : 0;
        return fd;
    }
    // The bytes already on disk go into the hash, read again rather than trusted.
    bool rehash(int fd) {
        if (expected_.size < 0) {
            return true;
        }
        std::vector<char> chunk(FileBufferSize);
        for (;;) {
            const ssize_t got = ::read(fd, chunk.data(), chunk.size());
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                return true;
            }
            hasher_->update(chunk.data(), static_cast<std::size_t>(got));
        }
    }
};

// How a resumable transfer goes: whether it continues a partial file, the record kept while
// it runs, and what the protocol says about the reply at its first byte.
struct Resume {
    bool enabled = false;
    long long offset = 0;
    ResumeRecord record;
    // The reply's validator; nothing when this reply cannot be resumed later.
    std::function<std::optional<std::string>()> validator;
    // Whether the reply continues the partial file exactly where it ends.
    std::function<bool(long long offset)> continues;
    // Whether a reply that does not continue it is the whole file from its first byte.
    std::function<bool()> wholeFile = [] { return false; };
    bool recorded = false; // the record describes the bytes on disk
    bool restart = false;  // the reply did not continue: start over from zero
};

// Continues a partial file only for the same URL, with the same signed entry, and (unsigned)
// with a validator to hold the server to; anything else is removed.
Resume planResume(const std::string& localPath, const std::string& url,
                  const ExpectedContent& expected, bool resumable) {
    Resume plan;
    if (!resumable || !resumableName(localPath)) {
        return plan;
    }
    plan.enabled = true;
    plan.record = {url, {}, expected.size, expected.sha256};
    const auto saved = loadResumeRecord(localPath);
    struct stat info {};
    const bool partial = ::lstat(partialPathOf(localPath).c_str(), &info) == 0 &&
                         S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_size > 0;
    const bool sameEntry = saved && (expected.size < 0 ? !saved->validator.empty()
                                                       : saved->size == expected.size &&
                                                             saved->sha256 == expected.sha256 &&
                                                             info.st_size < expected.size);
    if (partial && sameEntry && saved->url == url) {
        plan.offset = info.st_size;
        plan.record = *saved;
        plan.recorded = true;
    } else {
        dropResumeFiles(localPath);
    }
    return plan;
}

struct WriteTarget {
    PartFile* file;
    const ChunkCallback* onChunk;
    CURL* curl;
    Resume* resume;
    const std::string* localPath;
    bool started = false;
};

// At the first byte of a resumable reply: a continuation must fit the partial file, a fresh
// reply gets its record before any byte is kept.
bool admitResumable(WriteTarget& target) {
    Resume& resume = *target.resume;
    if (resume.offset > 0) {
        if (resume.continues(resume.offset)) {
            return true;
        }
        if (!resume.wholeFile()) {
            resume.restart = true;
            return false;
        }
        // The server sent the whole file instead: the part goes and this reply starts over.
        dropResumeFiles(*target.localPath);
        resume.offset = 0;
        resume.recorded = false;
        if (!target.file->restart()) {
            return false;
        }
    }
    const auto validator = resume.validator();
    if (validator && (!validator->empty() || resume.record.size >= 0)) {
        resume.record.validator = *validator;
        resume.recorded = saveResumeRecord(*target.localPath, resume.record);
    }
    return true;
}

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* target = static_cast<WriteTarget*>(user);
    const std::size_t n = size * count;
    if (!target->started) {
        target->started = true;
        if (target->resume->enabled && !admitResumable(*target)) {
            return 0;
        }
        curl_off_t announced = -1;
        curl_easy_getinfo(target->curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
        if (!target->file->admit(static_cast<long long>(announced))) {
            return 0;
        }
    }
    if (!target->file->write(data, n)) {
        return 0;
    }
    if (target->onChunk && *target->onChunk) {
        (*target->onChunk)(target->file->written());
    }
    return n;
}

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

// Keeps the server's most recent reply: a command sent starts a new one.
int recordReplies(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* reply = static_cast<std::string*>(user);
    if (type == CURLINFO_HEADER_OUT) {
        reply->clear();
    } else if (type == CURLINFO_HEADER_IN) {
        reply->append(data, size);
    }
    return 0;
}

std::int32_t systemErrorFor(CURLcode code, long responseNumber) {
    if (code == CURLE_TOO_MANY_REDIRECTS || code == CURLE_UNSUPPORTED_PROTOCOL) {
        return neterr::RedirectRefused;
    }
    if (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR ||
        code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_CERTPROBLEM) {
        return neterr::TlsFailure;
    }
    // A server that ended the transfer with an error reply (a 426 included) has something to say.
    if (responseNumber >= 400 && code != CURLE_WRITE_ERROR) {
        return neterr::ExtendedError;
    }
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_URL_MALFORMAT:
        return neterr::NameNotResolved;
    case CURLE_COULDNT_CONNECT:
        return neterr::CannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return neterr::Timeout;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return neterr::ConnectionAborted;
    default:
        return responseNumber >= 400 ? neterr::ExtendedError : neterr::ConnectionAborted;
    }
}

TransferResult finish(CURL* curl, CURLcode code, const std::string& reply) {
    TransferResult result;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.responseNumber);
    result.ok = code == CURLE_OK;
    result.serverResponse =
        text::trim(text::replaceAll(text::replaceAll(reply, "\r", ""), "\n", " "));
    if (!result.ok) {
        result.systemError = systemErrorFor(code, result.responseNumber);
    }
    return result;
}

void connectOptions(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
}

// A server that stalls or trickles is given up rather than waited on forever.
void stallLimit(CURL* curl) {
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(limits::minimumSpeedBytes()));
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME,
                     static_cast<long>(limits::minimumSpeedSeconds()));
    // Larger reads mean fewer wake-ups per megabyte on fast local networks.
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 262144L);
}

// Escapes every path segment, keeping each "/" between them exactly as given.
std::string escapePath(CURL* curl, const std::string& path) {
    std::string out;
    bool first = true;
    for (const auto& piece : text::splitAll(path, '/')) {
        if (!first) {
            out += '/';
        }
        first = false;
        char* escaped = curl_easy_escape(curl, piece.c_str(), static_cast<int>(piece.size()));
        out += escaped ? escaped : "";
        curl_free(escaped);
    }
    return out;
}

// Runs one transfer on a multi handle, waking at least every 10 ms. curl's own blocking
// perform can miss the readiness of a fresh FTP data connection on a reused control
// connection and then sleeps a whole second before every file; short waits bound that.
CURLcode perform(CURLM* multi, CURL* easy) {
    constexpr int WaitMilliseconds = 10;
    curl_multi_add_handle(multi, easy);
    int running = 1;
    CURLcode result = CURLE_OK;
    while (running > 0) {
        if (curl_multi_perform(multi, &running) != CURLM_OK) {
            result = CURLE_SEND_ERROR;
            break;
        }
        if (running > 0) {
            curl_multi_poll(multi, nullptr, 0, WaitMilliseconds, nullptr);
        }
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
            result = message->data.result;
        }
    }
    curl_multi_remove_handle(multi, easy);
    return result;
}

// Streams the transfer set up on `curl` into localPath (through its scratch file).
TransferResult fetchInto(CURLM* multi, CURL* curl, const std::string& localPath,
                         const ChunkCallback& onChunk, const std::string& reply,
                         const ExpectedContent& expected, Resume& resume) {
    PartFile file(localPath, expected, resume.enabled);
    if (!file.open(resume.offset)) {
        TransferResult failed;
        failed.localError = file.error();
        return failed;
    }
    WriteTarget target{&file, &onChunk, curl, &resume, &localPath};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
    const CURLcode code = perform(multi, curl);
    TransferResult result = finish(curl, code, reply);
    result.bytes = file.written();
    // A continuation the server never confirmed (an empty reply) is not trusted either.
    if (resume.offset > 0 && !target.started) {
        resume.restart = true;
    }
    if (resume.restart) {
        return result;
    }
    if (result.ok && !file.commit()) {
        result.ok = false;
        result.systemError = neterr::ConnectionAborted;
    }
    if (!result.ok) {
        result.localError = file.error();
        result.contentRefused = file.refused();
    }
    if (resume.enabled) {
        // Only a line that broke leaves something worth continuing.
        if (!result.ok && resume.recorded && result.localError == 0) {
            file.keep();
        } else {
            file.discard();
            dropResumeFiles(localPath);
        }
    }
    return result;
}

// Sets up (offset > 0) or clears the protocol's request for the rest of a file.
using ResumeRequest = std::function<void(long long offset, const ResumeRecord& record)>;

// A transfer that continues a partial file when it can, and starts over from zero when the
// server's reply does not continue it.
TransferResult fetchResumable(CURLM* multi, CURL* curl, const std::string& localPath,
                              const ChunkCallback& onChunk, const std::string& reply,
                              const ExpectedContent& expected, Resume& resume,
                              const ResumeRequest& request) {
    request(resume.offset, resume.record);
    TransferResult result = fetchInto(multi, curl, localPath, onChunk, reply, expected, resume);
    if (resume.restart) {
        dropResumeFiles(localPath);
        resume.offset = 0;
        resume.recorded = false;
        resume.restart = false;
        resume.record.validator.clear();
        resume.record.size = expected.size;
        resume.record.sha256 = expected.sha256;
        request(0, resume.record);
        result = fetchInto(multi, curl, localPath, onChunk, reply, expected, resume);
    }
    request(0, resume.record);
    return result;
}

// The reply headers of the last response (a redirect's are dropped when the next begins).
struct ReplyHeaders {
    std::map<std::string, std::string> values; // lower-case name -> value

    std::string get(const std::string& name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::string() : found->second;
    }
};

size_t recordHeader(char* data, size_t size, size_t count, void* user) {
    auto* headers = static_cast<ReplyHeaders*>(user);
    const std::string line(data, size * count);
    if (text::startsWith(line, "HTTP/")) {
        headers->values.clear();
    }
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        headers->values[text::lower(text::trim(line.substr(0, colon)))] = text::trim(
            text::replaceAll(text::replaceAll(line.substr(colon + 1), "\r", ""), "\n", ""));
    }
    return size * count;
}

// ETag when the server gives one, else Last-Modified, written as the header it came from.
std::string httpValidator(const ReplyHeaders& headers) {
    if (const std::string tag = headers.get("etag"); !tag.empty() && !text::startsWith(tag, "W/")) {
        return "ETag: " + tag;
    }
    const std::string modified = headers.get("last-modified");
    return modified.empty() ? std::string() : "Last-Modified: " + modified;
}

} // namespace

struct FtpClient::Impl {
    CURLM* multi = nullptr; // holds the control connection between transfers
    CURL* curl = nullptr;
    std::string baseUrl;
    std::string reply;
};

FtpClient::FtpClient() : impl_(std::make_unique<Impl>()) {
    initialiseCurl();
}

FtpClient::~FtpClient() {
    close();
}

bool FtpClient::isOpen() const {
    return impl_->curl != nullptr;
}

void FtpClient::close() {
    if (impl_->curl) {
        curl_easy_cleanup(impl_->curl);
        impl_->curl = nullptr;
    }
    if (impl_->multi) {
        curl_multi_cleanup(impl_->multi);
        impl_->multi = nullptr;
    }
}

TransferResult FtpClient::login(const std::string& host, int port, const std::string& user,
                                const std::string& password, bool active) {
    close();
    impl_->multi = curl_multi_init();
    impl_->curl = curl_easy_init();
    CURL* curl = impl_->curl;
    connectOptions(curl);
    impl_->baseUrl = "ftp://" + host + (port > 0 ? ":" + std::to_string(port) : std::string());
    // The session is direct: ftp_proxy or all_proxy must never see the login.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    if (active) {
        curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");
    }
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, recordReplies);
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &impl_->reply);
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardBody);

    // Logging in alone: connect, authenticate, ask for the folder, transfer nothing.
    curl_easy_setopt(curl, CURLOPT_URL, (impl_->baseUrl + "/").c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    const CURLcode code = perform(impl_->multi, curl);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    // Files are addressed by their whole path, without changing folders. Set only after the
    // login: with it set for the login itself, curl stalls a second before the next transfer.
    curl_easy_setopt(curl, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_NOCWD));
    stallLimit(curl);
    TransferResult result = finish(curl, code, impl_->reply);
    if (!result.ok) {
        close();
    }
    return result;
}

TransferResult FtpClient::getFile(const std::string& remotePath, const std::string& localPath,
                                  const ChunkCallback& onChunk, const ExpectedContent& expected,
                                  bool resumable) {
    if (!impl_->curl) {
        TransferResult closed;
        closed.systemError = neterr::InvalidHandle;
        return closed;
    }
    CURL* curl = impl_->curl;
    // The URL path after the host's "/" is sent as it stands: "/dir/file" from the root,
    // "dir/file" from the login folder.
    const std::string url = impl_->baseUrl + "/" + escapePath(curl, remotePath);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    Resume resume = planResume(localPath, url, expected, resumable);
    // The file's size and modification time (SIZE, MDTM) stand for its version.
    const auto validator = [curl](long long offset) -> std::optional<std::string> {
        curl_off_t length = -1;
        curl_off_t modified = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        curl_easy_getinfo(curl, CURLINFO_FILETIME_T, &modified);
        if (length < 0 || modified < 0) {
            return std::string();
        }
        return "size=" + std::to_string(offset + length) + " mdtm=" + std::to_string(modified);
    };
    resume.validator = [validator] { return validator(0); };
    resume.continues = [&resume, validator](long long offset) {
        const auto now = validator(offset);
        return now && !now->empty() && *now == resume.record.validator;
    };
    const ResumeRequest request = [curl, resumable](long long offset, const ResumeRecord&) {
        curl_easy_setopt(curl, CURLOPT_FILETIME, resumable ? 1L : 0L);
        curl_easy_setopt(curl, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(offset));
    };
    TransferResult result = fetchResumable(impl_->multi, curl, localPath, onChunk, impl_->reply,
                                           expected, resume, request);
    curl_easy_setopt(curl, CURLOPT_FILETIME, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discardBody);
    return result;
}

namespace {

// The options every HTTP(S) request shares: address, agent, time limits, redirects and
// certificates.
void webOptions(CURL* curl, const std::string& url, const std::string& agent) {
    connectOptions(curl);
    stallLimit(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects stay on the web and end: no file:// or other scheme, no endless loops, and a
    // secure address never falls back to plain HTTP.
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    const bool secure = text::startsWith(text::lower(url), "https://");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(MaxRedirects));
    // CAINFO replaces the bundle: the system's folder of certificates stays beside it.
    if (const char* caFile = std::getenv("LIVEUPDATE_CA_FILE"); caFile && *caFile) {
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile);
        curl_easy_setopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
    }
}

} // namespace

TransferResult httpGetFile(const std::string& url, const std::string& localPath,
                           const std::string& agent, const ChunkCallback& onChunk,
                           const ExpectedContent& expected, bool resumable) {
    initialiseCurl();
    std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(curl_multi_init(), curl_multi_cleanup);
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    webOptions(curl.get(), url, agent);
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
    ReplyHeaders headers;
    curl_easy_setopt(curl.get(), CURLOPT_HEADERFUNCTION, recordHeader);
    curl_easy_setopt(curl.get(), CURLOPT_HEADERDATA, &headers);
    CURL* handle = curl.get();
    Resume resume = planResume(localPath, url, expected, resumable);
    // Only a whole file (200) may be continued later; an error page is not.
    resume.validator = [&headers, handle]() -> std::optional<std::string> {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        if (status != 200) {
            return std::nullopt;
        }
        return httpValidator(headers);
    };
    resume.wholeFile = [handle] {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        return status == 200;
    };
    // 206 with a Content-Range from where the part ends, for the version the part came from.
    resume.continues = [&headers, &resume, handle](long long offset) {
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        const std::string& saved = resume.record.validator;
        return status == 206 &&
               text::startsWith(headers.get("content-range"),
                                "bytes " + std::to_string(offset) + "-") &&
               (saved.empty() || saved == httpValidator(headers));
    };
    std::unique_ptr<curl_slist, void (*)(curl_slist*)> ifRange(nullptr, curl_slist_free_all);
    const ResumeRequest request = [&](long long offset, const ResumeRecord& record) {
        if (offset == 0) {
            curl_easy_setopt(handle, CURLOPT_RANGE, nullptr);
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
            return;
        }
        curl_easy_setopt(handle, CURLOPT_RANGE, (std::to_string(offset) + "-").c_str());
        // The server sends the rest only while its file is the one the part came from.
        const auto colon = record.validator.find(": ");
        if (colon != std::string::npos) {
            ifRange.reset(curl_slist_append(
                nullptr, ("If-Range: " + record.validator.substr(colon + 2)).c_str()));
            curl_easy_setopt(handle, CURLOPT_HTTPHEADER, ifRange.get());
        }
    };
    // Removed from the multi handle before either is cleaned up.
    TransferResult result =
        fetchResumable(multi.get(), handle, localPath, onChunk, {}, expected, resume, request);
    if (result.systemError == neterr::TlsFailure) {
        result.tlsError = *errorText ? errorText : "TLS handshake failed";
    }
    return result;
}

TransferResult httpHead(const std::string& url, const std::string& agent) {
    initialiseCurl();
    std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(curl_multi_init(), curl_multi_cleanup);
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    webOptions(curl.get(), url, agent);
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    TransferResult result = finish(curl.get(), perform(multi.get(), curl.get()), {});
    if (result.ok && result.responseNumber >= 400) {
        result.ok = false;
        result.systemError = neterr::ExtendedError;
    }
    return result;
}

} // namespace pelvar
