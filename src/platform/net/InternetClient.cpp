#include "platform/net/InternetClient.h"

#include "platform/base/Limits.h"
#include "platform/crypto/Sha256.h"
#include "platform/files/ScratchFiles.h"
#include "platform/text/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <mutex>
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
// Stops at the size cap and when the announced size does not fit on the disk.
class PartFile {
  public:
    PartFile(std::string path, const ExpectedContent& expected)
        : path_(std::move(path)), expected_(expected) {
        if (expected_.size >= 0) {
            limit_ = expected_.size;
        }
    }
    ~PartFile() { discard(); }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool open() {
        const scratch::CreatedFile created = scratch::createUniqueFile(path_, ".part");
        if (created.fd < 0) {
            error_ = created.error;
            return false;
        }
        part_ = created.path;
        file_ = ::fdopen(created.fd, "wb");
        if (!file_) {
            error_ = errno;
            ::close(created.fd);
            std::remove(part_.c_str());
            return false;
        }
        buffer_.resize(FileBufferSize);
        std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
        return true;
    }
    // Checks a size the server announced before any byte is kept.
    bool admit(long long announced) {
        if (announced > limit_) {
            refuse(announced);
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
        if (expected_.size >= 0) {
            hasher_.update(data, n);
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
            const std::string digest = hasher_.hexDigest();
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
    void discard() {
        if (file_) {
            std::fclose(file_);
            file_ = nullptr;
            std::remove(part_.c_str());
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
    crypto::Sha256 hasher_;
    std::string refused_;

    void refuse(long long bytes) {
        if (expected_.size >= 0) {
            refused_ = "more than the signed size " + std::to_string(expected_.size) +
                       " (at least " + std::to_string(bytes) + " bytes)";
        }
    }
};

struct WriteTarget {
    PartFile* file;
    const ChunkCallback* onChunk;
    CURL* curl;
    bool started = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    auto* target = static_cast<WriteTarget*>(user);
    const std::size_t n = size * count;
    if (!target->started) {
        target->started = true;
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

// Streams the transfer set up on `curl` into localPath (through its ".part" file).
TransferResult fetchInto(CURLM* multi, CURL* curl, const std::string& localPath,
                         const ChunkCallback& onChunk, const std::string& reply,
                         const ExpectedContent& expected) {
    PartFile file(localPath, expected);
    if (!file.open()) {
        TransferResult failed;
        failed.localError = file.error();
        return failed;
    }
    WriteTarget target{&file, &onChunk, curl};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
    const CURLcode code = perform(multi, curl);
    TransferResult result = finish(curl, code, reply);
    result.bytes = file.written();
    if (result.ok && !file.commit()) {
        result.ok = false;
        result.systemError = neterr::ConnectionAborted;
    }
    if (!result.ok) {
        result.localError = file.error();
        result.contentRefused = file.refused();
    }
    return result;
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
                                  const ChunkCallback& onChunk, const ExpectedContent& expected) {
    if (!impl_->curl) {
        TransferResult closed;
        closed.systemError = neterr::InvalidHandle;
        return closed;
    }
    // The URL path after the host's "/" is sent as it stands: "/dir/file" from the root,
    // "dir/file" from the login folder.
    curl_easy_setopt(impl_->curl, CURLOPT_URL,
                     (impl_->baseUrl + "/" + escapePath(impl_->curl, remotePath)).c_str());
    TransferResult result =
        fetchInto(impl_->multi, impl_->curl, localPath, onChunk, impl_->reply, expected);
    curl_easy_setopt(impl_->curl, CURLOPT_WRITEFUNCTION, discardBody);
    return result;
}

TransferResult httpGetFile(const std::string& url, const std::string& localPath,
                           const std::string& agent, const ChunkCallback& onChunk,
                           const ExpectedContent& expected) {
    initialiseCurl();
    std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(curl_multi_init(), curl_multi_cleanup);
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    connectOptions(curl.get());
    stallLimit(curl.get());
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects stay on the web and end: no file:// or other scheme, no endless loops.
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    const bool secure = text::startsWith(text::lower(url), "https://");
    curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, static_cast<long>(MaxRedirects));
    // CAINFO replaces the bundle: the system's folder of certificates stays beside it.
    if (const char* caFile = std::getenv("LIVEUPDATE_CA_FILE"); caFile && *caFile) {
        curl_easy_setopt(curl.get(), CURLOPT_CAINFO, caFile);
        curl_easy_setopt(curl.get(), CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorText);
    // Removed from the multi handle before either is cleaned up.
    TransferResult result = fetchInto(multi.get(), curl.get(), localPath, onChunk, {}, expected);
    if (result.systemError == neterr::TlsFailure) {
        result.tlsError = *errorText ? errorText : "TLS handshake failed";
    }
    return result;
}

TransferResult httpHead(const std::string& url, const std::string& agent) {
    initialiseCurl();
    std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(curl_multi_init(), curl_multi_cleanup);
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    connectOptions(curl.get());
    stallLimit(curl.get());
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    const bool secure = text::startsWith(text::lower(url), "https://");
    curl_easy_setopt(curl.get(), CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
    curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, static_cast<long>(MaxRedirects));
    if (const char* caFile = std::getenv("LIVEUPDATE_CA_FILE"); caFile && *caFile) {
        curl_easy_setopt(curl.get(), CURLOPT_CAINFO, caFile);
        curl_easy_setopt(curl.get(), CURLOPT_CAPATH, "/etc/ssl/certs");
    }
    TransferResult result = finish(curl.get(), perform(multi.get(), curl.get()), {});
    if (result.ok && result.responseNumber >= 400) {
        result.ok = false;
        result.systemError = neterr::ExtendedError;
    }
    return result;
}

} // namespace pelvar
