#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace pelvar {

// Numbered run-time errors: the currency every error trap of the system catches.
namespace err {
constexpr std::int64_t InvalidProcedureCall = 5;
constexpr std::int64_t Overflow = 6;
constexpr std::int64_t SubscriptOutOfRange = 9;
constexpr std::int64_t TypeMismatch = 13;
constexpr std::int64_t BadFileNameOrNumber = 52;
constexpr std::int64_t FileNotFound = 53;
constexpr std::int64_t DiskFull = 61;
constexpr std::int64_t PermissionDenied = 70;
constexpr std::int64_t PathFileAccess = 75;
constexpr std::int64_t PathNotFound = 76;
constexpr std::int64_t InvalidPropertyValue = 380;
constexpr std::int64_t ConnectionClosed = 3709;
constexpr std::int64_t InternetFailure = 0x800403E8;
constexpr std::int64_t TableNotFound = 0x80040E37;
constexpr std::int64_t IntegrityViolation = 0x80040E2F;
constexpr std::int64_t Unspecified = 0x80004005;
constexpr std::int64_t CommandError = 0x80040E14;
constexpr std::int64_t UserMappedSection = 0x800704C8;
constexpr std::int64_t AccountNotFound = 0x80041310;
} // namespace err

class RunTimeError : public std::runtime_error {
  public:
    RunTimeError(std::int64_t number, const std::string& description, std::string source = {});

    std::int64_t number() const { return number_; }
    const std::string& description() const { return description_; }
    const std::string& source() const { return source_; }

    // The number as a host would print it: HRESULT-style numbers are negative 32-bit values.
    std::string numberText() const;

  private:
    std::int64_t number_;
    std::string description_;
    std::string source_;
};

// The standard description of a numbered error ("Path not found" for 76, ...).
std::string describeError(std::int64_t number);

// Raises the numbered error with its standard description.
[[noreturn]] void raise(std::int64_t number, const std::string& source = {});

// Translates an errno value met while working on a file or folder into the error the caller traps.
[[noreturn]] void raiseFromErrno(int errnoValue, const std::string& path);

} // namespace pelvar
