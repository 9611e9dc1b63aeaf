#include "platform/win_error.h"

#include <cerrno>

namespace druvex {

namespace {
thread_local std::uint32_t t_lastError = kErrorSuccess;
}  // namespace

std::uint32_t getLastError() noexcept
{
    return t_lastError;
}

void setLastError(std::uint32_t error) noexcept
{
    t_lastError = error;
}

std::uint32_t errorFromErrno(int errnoValue) noexcept
{
    switch (errnoValue) {
    case 0:
        return kErrorSuccess;
    case ENOENT:
        return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP:
        return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
        return kErrorAccessDenied;
    case EROFS:
        return kErrorWriteProtect;
    case EEXIST:
        return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
        return kErrorDiskFull;
    case ENAMETOOLONG:
        return kErrorFilenameExcedRange;
    case EMFILE:
    case ENFILE:
        return kErrorTooManyOpenFiles;
    case ENOMEM:
        return kErrorNotEnoughMemory;
    case EBADF:
        return kErrorInvalidHandle;
    case EINVAL:
        return kErrorInvalidParameter;
    case ENOTEMPTY:
        return kErrorDirNotEmpty;
    case EBUSY:
    case ETXTBSY:
        return kErrorSharingViolation;
    case EXDEV:
        return kErrorNotSameDevice;
    case ENOEXEC:
        return kErrorBadExeFormat;
    case EFBIG:
        return kErrorFileTooLarge;
    case ENOSYS:
    case EOPNOTSUPP:
        return kErrorNotSupported;
    case ETIMEDOUT:
        return kErrorTimeout;
    case ECANCELED:
        return kErrorCancelled;
    default:
        return kErrorGenFailure;
    }
}

}  // namespace druvex
