#pragma once
// Status codes of the machine seam. They keep the Win32 numbers because callers compare them and
// log them ("error code is: %ld"); every backend maps its native errors onto these in one place.

namespace platform {

using Status = long;

inline constexpr Status kSuccess = 0;
inline constexpr Status kInvalidFunction = 1;
inline constexpr Status kFileNotFound = 2;
inline constexpr Status kPathNotFound = 3;
inline constexpr Status kAccessDenied = 5;
inline constexpr Status kInvalidHandle = 6;
inline constexpr Status kNotEnoughMemory = 8;
inline constexpr Status kInvalidData = 13;
inline constexpr Status kNoMoreFiles = 18;
inline constexpr Status kWriteFault = 29;
inline constexpr Status kReadFault = 30;
inline constexpr Status kSharingViolation = 32;
inline constexpr Status kFileExists = 80;
inline constexpr Status kInvalidParameter = 87;
inline constexpr Status kDiskFull = 112;
inline constexpr Status kDirNotEmpty = 145;
inline constexpr Status kAlreadyExists = 183;
inline constexpr Status kMoreData = 234;
inline constexpr Status kWaitTimeout = 258;
inline constexpr Status kCancelled = 1223;       // ERROR_CANCELLED: the caller asked the operation to stop
inline constexpr Status kNoMoreItems = 259;
inline constexpr Status kBadFormat = 1006;        // ERROR_BADDB: a registry file we could not use
inline constexpr Status kNotReady = 21;
inline constexpr Status kBadQuerySyntax = 1615;   // installer database: statement rejected
inline constexpr Status kFunctionFailed = 1627;   // installer database: operation failed
inline constexpr Status kOpenFailed = 110;
inline constexpr Status kTooManyOpenFiles = 4;
inline constexpr Status kGenFailure = 31;       // a device or host error with no closer code
inline constexpr Status kNotADirectory = 267;   // ERROR_DIRECTORY: a folder operation on a file

}  // namespace platform
