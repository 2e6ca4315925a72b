#include "platform/wine/glib_status.h"

#include <gio/gio.h>
#include <libgcab.h>
#include <libmsi.h>

#include <mutex>

#include "core/logger.h"
#include "core/strings.h"

namespace platform::wine {
namespace {

void LogGLibMessage(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
  // Debug and info chatter is dropped; everything else is kept for whoever reads the error log.
  if ((level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) == 0) return;
  const char* kind = (level & G_LOG_LEVEL_WARNING) != 0 ? "warning" : "critical";
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, FormatText("GLib %s %s: %s", domain != nullptr ? domain : "(library)", kind,
                              message != nullptr ? message : ""));
  CLogger::ReleaseInstance(logger);
}

Status FromResultCode(int code) {
  switch (code) {
    case LIBMSI_RESULT_SUCCESS: return kFunctionFailed;  // an error object that claims success
    case LIBMSI_RESULT_ACCESS_DENIED: return kAccessDenied;
    case LIBMSI_RESULT_INVALID_HANDLE: return kInvalidHandle;
    case LIBMSI_RESULT_NOT_ENOUGH_MEMORY: return kNotEnoughMemory;
    case LIBMSI_RESULT_INVALID_DATA: return kInvalidData;
    case LIBMSI_RESULT_OUTOFMEMORY: return 14;            // ERROR_OUTOFMEMORY
    case LIBMSI_RESULT_INVALID_PARAMETER: return kInvalidParameter;
    case LIBMSI_RESULT_OPEN_FAILED: return kOpenFailed;
    case LIBMSI_RESULT_CALL_NOT_IMPLEMENTED: return 120;  // ERROR_CALL_NOT_IMPLEMENTED
    case LIBMSI_RESULT_MORE_DATA: return kMoreData;
    case LIBMSI_RESULT_NOT_FOUND: return 1168;            // ERROR_NOT_FOUND
    case LIBMSI_RESULT_CONTINUE: return 1246;             // ERROR_CONTINUE
    case LIBMSI_RESULT_UNKNOWN_PROPERTY: return 1608;     // ERROR_UNKNOWN_PROPERTY
    case LIBMSI_RESULT_BAD_QUERY_SYNTAX: return kBadQuerySyntax;
    case LIBMSI_RESULT_INVALID_FIELD: return 1616;        // ERROR_INVALID_FIELD
    case LIBMSI_RESULT_FUNCTION_FAILED: return kFunctionFailed;
    case LIBMSI_RESULT_INVALID_TABLE: return 1628;        // ERROR_INVALID_TABLE
    case LIBMSI_RESULT_DATATYPE_MISMATCH: return 1629;    // ERROR_DATATYPE_MISMATCH
    case LIBMSI_RESULT_INVALID_DATATYPE: return 1630;     // ERROR_UNSUPPORTED_TYPE
    default: return kFunctionFailed;
  }
}

Status FromIoCode(int code, Status fallback) {
  switch (code) {
    case G_IO_ERROR_NOT_FOUND: return kFileNotFound;
    case G_IO_ERROR_EXISTS: return kFileExists;
    case G_IO_ERROR_IS_DIRECTORY: return kAccessDenied;
    case G_IO_ERROR_NOT_DIRECTORY: return kPathNotFound;
    case G_IO_ERROR_NO_SPACE: return kDiskFull;
    case G_IO_ERROR_PERMISSION_DENIED: return kAccessDenied;
    case G_IO_ERROR_INVALID_FILENAME: return kInvalidParameter;
    case G_IO_ERROR_TOO_MANY_OPEN_FILES: return kTooManyOpenFiles;
    case G_IO_ERROR_READ_ONLY: return kAccessDenied;
    case G_IO_ERROR_INVALID_DATA: return kInvalidData;
    default: return fallback;
  }
}

Status FromFileCode(int code, Status fallback) {
  switch (code) {
    case G_FILE_ERROR_NOENT: return kFileNotFound;
    case G_FILE_ERROR_EXIST: return kFileExists;
    case G_FILE_ERROR_ACCES:
    case G_FILE_ERROR_PERM:
    case G_FILE_ERROR_ROFS:
    case G_FILE_ERROR_ISDIR: return kAccessDenied;
    case G_FILE_ERROR_NOTDIR: return kPathNotFound;
    case G_FILE_ERROR_NOSPC: return kDiskFull;
    case G_FILE_ERROR_NOMEM: return kNotEnoughMemory;
    case G_FILE_ERROR_MFILE: return kTooManyOpenFiles;
    case G_FILE_ERROR_IO: return kWriteFault;
    default: return fallback;
  }
}

Status FromCabinetCode(int code, Status fallback) {
  switch (code) {
    case GCAB_ERROR_FORMAT:
    case GCAB_ERROR_INVALID_DATA: return kInvalidData;
    case GCAB_ERROR_NOT_SUPPORTED: return kInvalidFunction;
    default: return fallback;
  }
}

}  // namespace

void PrepareGLib() {
  static std::once_flag once;
  std::call_once(once, [] {
    // G_DEBUG=fatal-warnings or fatal-criticals would turn a library's complaint about a bad
    // argument into an abort; only real errors stay fatal (GLib insists on that one).
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_FATAL_MASK));
    g_log_set_default_handler(LogGLibMessage, nullptr);
  });
}

Status StatusFromGError(const GError* error, Status fallback) {
  if (error == nullptr) return fallback;
  if (error->domain == LIBMSI_RESULT_ERROR) return FromResultCode(error->code);
  // Validation errors of the database (duplicate key, required value missing, ...) are all
  // "the operation failed" to our callers.
  if (error->domain == LIBMSI_DB_ERROR) return kFunctionFailed;
  if (error->domain == G_IO_ERROR) return FromIoCode(error->code, fallback);
  if (error->domain == G_FILE_ERROR) return FromFileCode(error->code, fallback);
  if (error->domain == GCAB_ERROR) return FromCabinetCode(error->code, fallback);
  return fallback;
}

std::string GErrorText(const GError* error, const char* fallback) {
  if (error == nullptr) return fallback != nullptr ? fallback : "";
  return FormatText("%s (%s code %d)", error->message != nullptr ? error->message : "",
                    g_quark_to_string(error->domain), error->code);
}

}  // namespace platform::wine
