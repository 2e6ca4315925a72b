#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/strings.h"
#include "platform/status.h"

// Read access to the machine's registry, as the Win32 registry API gives it. The system only
// reads the registry. Under Wine the registry is read from the prefix's files (system.reg,
// user.reg, userdef.reg); they are read only while no Wine server of the prefix runs (the backend
// waits for it, bounded, and reports kNotReady if it does not end), and they are read again when
// they changed since the last load.
namespace platform {

// The five predefined roots, with the numbers of the Win32 predefined handles.
enum class RootKey : uint32_t {
  ClassesRoot = 0x80000000u,
  CurrentUser = 0x80000001u,
  LocalMachine = 0x80000002u,
  Users = 0x80000003u,
  CurrentConfig = 0x80000005u,
};

// Root names (short and long: "HKLM", "HKEY_LOCAL_MACHINE", ...), compared on the letters A-Z
// without regard to case.
extern const std::map<std::wstring, RootKey, AsciiCaseInsensitiveLess> RootKeyTable;

// Value types, with their Win32 numbers. Any other 32-bit number can occur and is passed through.
inline constexpr uint32_t kRegNone = 0;
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegDwordBigEndian = 5;
inline constexpr uint32_t kRegLink = 6;
inline constexpr uint32_t kRegMultiSz = 7;
inline constexpr uint32_t kRegQword = 11;

// RegQueryInfoKeyW: lengths in characters without terminator, data size in bytes.
struct RegistryKeyInfo {
  uint32_t subKeyCount = 0;
  uint32_t maxSubKeyNameLength = 0;
  uint32_t valueCount = 0;
  uint32_t maxValueNameLength = 0;
  uint32_t maxValueDataSize = 0;
};

// An open registry key (RegOpenKeyExW ... RegCloseKey). Closing is automatic; Close() may be
// called early. A key opened from a parent is independent of it afterwards.
class RegistryKey {
 public:
  RegistryKey();
  ~RegistryKey();
  RegistryKey(RegistryKey&&) noexcept;
  RegistryKey& operator=(RegistryKey&&) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens a key below a root for reading; an empty path opens the root itself. Components are
  // separated by "\" and compared without regard to case; link keys are followed; keys that exist
  // only as parents of other keys exist. kSuccess, kFileNotFound (no such key), kAccessDenied,
  // kNotReady (the machine's registry cannot be read now) or another status.
  Status Open(RootKey root, const std::wstring& path);
  // Opens a key below an open key (an empty path opens the same key again).
  Status Open(const RegistryKey& parent, const std::wstring& path);
  bool IsOpen() const;
  void Close();

  Status QueryInfo(RegistryKeyInfo& info) const;
  // Subkey name at an index (from 0), in the platform's enumeration order. kNoMoreItems past the end.
  Status EnumKey(uint32_t index, std::wstring& name) const;
  // Value at an index (from 0), in the platform's enumeration order: name ("" for the default
  // value), type and raw data bytes. kNoMoreItems past the end.
  Status EnumValue(uint32_t index, std::wstring& name, uint32_t& type,
                   std::vector<uint8_t>& data) const;
  // A value by name (compared without regard to case): type and raw data. kFileNotFound if absent.
  Status QueryValue(const std::wstring& name, uint32_t& type, std::vector<uint8_t>& data) const;

  // Typed reads for the package builder; kInvalidData when the stored type or form does not match.
  Status QueryDword(const std::wstring& name, uint32_t& value) const;             // type 4, 4 bytes
  Status QueryQword(const std::wstring& name, uint64_t& value) const;             // type 11, 8 bytes
  Status QueryBinary(const std::wstring& name, std::vector<uint8_t>& value) const;  // type 3
  Status QueryString(const std::wstring& name, std::wstring& value) const;  // type 1 or 2, NUL-ended
  Status QueryMultiString(const std::wstring& name, std::vector<std::wstring>& value) const;  // type 7

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// The collation in which EnumKey and EnumValue list names: negative, zero or positive as a sorts
// before, equal to, or after b. Names that compare equal are the same key or value.
int CompareRegistryNames(std::wstring_view a, std::wstring_view b);

}  // namespace platform
