#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pelvar {

// System error codes of failed transfers, as the transfer reports know them.
namespace neterr {
constexpr std::int32_t InvalidHandle = 6;     // the session was closed before
constexpr std::int32_t ExtendedError = 12003; // the server answered with an error
constexpr std::int32_t NameNotResolved = 12007;
constexpr std::int32_t ConnectionAborted = 12030; // the transfer broke off
constexpr std::int32_t CannotConnect = 12029;
constexpr std::int32_t Timeout = 12002;
constexpr std::int32_t RedirectRefused = 12156; // a redirect loop or a scheme other than http(s)
constexpr std::int32_t TlsFailure = 12175;      // the server's certificate did not verify
} // namespace neterr

// The outcome of one transfer step. On failure `systemError` says why; when the server
// answered, `serverResponse` holds its last reply (with its number in `responseNumber`).
struct TransferResult {
    bool ok = false;
    std::int32_t systemError = 0;
    long responseNumber = 0;
    std::string serverResponse;
    long long bytes = 0;
    // errno of a local failure: ENOSPC (disk full), EFBIG (over the size cap), or why the
    // scratch file could not be created.
    int localError = 0;
    // The TLS library's reason when a secure connection could not be made (never retried
    // without TLS).
    std::string tlsError;
    // Why the bytes did not match the expected content (empty when they did or none was set).
    std::string contentRefused;
};

// What a signed entry says a file must be. The transfer refuses more than `size` bytes and
// hashes the bytes as they are written; a file that differs never gets its final name.
struct ExpectedContent {
    long long size = -1; // -1: unknown (unsigned mode)
    std::string sha256;  // lower-case hex
};

// Called after every chunk written to disk with the bytes of the file so far.
using ChunkCallback = std::function<void(long long bytesSoFar)>;

// An FTP session on one server: log in once, then fetch files by path relative to the
// login folder. Files are streamed to a fresh "<local>.XXXXXX.part" and renamed when complete,
// so a broken transfer never leaves a partial file under the final name. Binary transfers, no
// proxy (not even one from the environment). A resumable transfer keeps what it received when
// the line breaks and continues it next time (see ResumeRecord.h); the server's file size and
// modification time must still be the same.
class FtpClient {
  public:
    FtpClient();
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // Port 0 means the FTP default; `active` chooses active mode, passive otherwise.
    TransferResult login(const std::string& host, int port, const std::string& user,
                         const std::string& password, bool active);
    TransferResult getFile(const std::string& remotePath, const std::string& localPath,
                           const ChunkCallback& onChunk = {}, const ExpectedContent& expected = {},
                           bool resumable = false);
    void close();
    bool isOpen() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Fetches a URL into a file, whatever the status code (an error page is stored as the body).
// Proxies come from the system's settings (http_proxy and friends). Only http and https, also
// as redirect targets (an https URL is redirected only to https), and at most 10 redirects.
// Certificates are checked against the system's store plus the CA file LIVEUPDATE_CA_FILE
// names, if any. A resumable transfer asks for the rest of a partial file with Range and
// If-Range (the ETag or Last-Modified it was fetched under) and continues it only on a 206 that
// starts where the part ends; any other reply starts the file over.
TransferResult httpGetFile(const std::string& url, const std::string& localPath,
                           const std::string& agent, const ChunkCallback& onChunk = {},
                           const ExpectedContent& expected = {}, bool resumable = false);

// Asks for a URL's headers only (HEAD), with httpGetFile's proxy, redirect and certificate
// rules: whether the server answers for the file. An answer of 400 or more is a failure with
// the status in `responseNumber`.
TransferResult httpHead(const std::string& url, const std::string& agent);

} // namespace pelvar
