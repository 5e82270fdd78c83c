#include "platform/base/RunTimeError.h"

#include <cerrno>

namespace pelvar {

RunTimeError::RunTimeError(std::int64_t number, const std::string& description, std::string source)
    : std::runtime_error(description), number_(number), description_(description),
      source_(std::move(source)) {}

std::string RunTimeError::numberText() const {
    if (number_ > 0x7FFFFFFF) {
        return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(number_)));
    }
    return std::to_string(number_);
}

std::string describeError(std::int64_t number) {
    switch (number) {
    case err::InvalidProcedureCall:
        return "Invalid procedure call or argument";
    case err::Overflow:
        return "Overflow";
    case err::SubscriptOutOfRange:
        return "Subscript out of range";
    case err::TypeMismatch:
        return "Type mismatch";
    case err::BadFileNameOrNumber:
        return "Bad file name or number";
    case err::FileNotFound:
        return "File not found";
    case err::DiskFull:
        return "Disk full";
    case err::PermissionDenied:
        return "Permission denied";
    case err::PathFileAccess:
        return "Path/File access error";
    case err::PathNotFound:
        return "Path not found";
    case err::InvalidPropertyValue:
        return "Invalid property value";
    case err::ConnectionClosed:
        return "The connection cannot be used to perform this operation. It is either closed or "
               "invalid in this context.";
    default:
        return "Application-defined or object-defined error";
    }
}

void raise(std::int64_t number, const std::string& source) {
    throw RunTimeError(number, describeError(number), source);
}

void raiseFromErrno(int errnoValue, const std::string& path) {
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR:
        raise(err::PathNotFound, path);
    case EACCES:
    case EPERM:
        raise(err::PermissionDenied, path);
    case EROFS:
    case EISDIR:
    case EBUSY:
        raise(err::PathFileAccess, path);
    case ENOSPC:
    case EDQUOT:
        raise(err::DiskFull, path);
    case ENAMETOOLONG:
        raise(err::BadFileNameOrNumber, path);
    default:
        raise(err::PathFileAccess, path);
    }
}

} // namespace pelvar
