#include "session/setup_check.h"

#include <cstdio>

#include "core/strings.h"
#include "platform/file_system.h"
#include "platform/installer_database.h"
#include "platform/machine_arch.h"
#include "platform/pe_reader.h"

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kCharacteristicExecutable = 0x0002;
constexpr uint16_t kCharacteristicDll = 0x2000;
constexpr uint16_t kSubsystemNative = 1;

using platform::pe::Read16;
using platform::pe::Read32;

bool EndsWithNoCase(const std::wstring& text, const wchar_t* tail) {
  const std::wstring t(tail);
  return text.size() >= t.size() && FoldAsciiLower(text.substr(text.size() - t.size())) == t;
}

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case 0x01C0: return "ARM";
    case 0x01C2: return "ARM Thumb";
    case 0x01C4: return "ARM (Thumb-2)";
    case 0xAA64: return "ARM64";
    case 0x0200: return "Itanium";
    case 0x0166: return "MIPS";
    case 0x01F0: return "PowerPC";
    case 0x5064: return "RISC-V 64";
    default: return FormatText("machine type 0x%04X", machine);
  }
}

}  // namespace

ExecutableFacts ClassifyExecutable(std::string_view bytes) {
  ExecutableFacts facts;
  if (bytes.size() < 2 || bytes[0] != 'M' || bytes[1] != 'Z') return facts;
  facts.kind = ExecutableKind::kDamaged;
  uint32_t newHeader = 0;
  if (bytes.size() < 0x40 || !Read32(bytes, 0x3C, newHeader)) return facts;
  // A DOS program has no new header: the field is 0, or points into the DOS header or beyond the file.
  if (newHeader < 0x40 || newHeader >= bytes.size()) {
    facts.kind = ExecutableKind::kDos;
    return facts;
  }
  const std::string_view signature = bytes.substr(newHeader, 4);
  if (signature.size() >= 2 && (signature.substr(0, 2) == "NE" || signature.substr(0, 2) == "LE" ||
                                signature.substr(0, 2) == "LX")) {
    facts.kind = ExecutableKind::kWindows16;
    return facts;
  }
  if (signature != std::string_view("PE\0\0", 4)) {
    facts.kind = ExecutableKind::kDos;
    return facts;
  }
  const size_t fileHeader = static_cast<size_t>(newHeader) + 4;
  uint16_t machine = 0, sectionCount = 0, optionalSize = 0, characteristics = 0, magic = 0;
  if (!Read16(bytes, fileHeader, machine) || !Read16(bytes, fileHeader + 2, sectionCount) ||
      !Read16(bytes, fileHeader + 16, optionalSize) || !Read16(bytes, fileHeader + 18, characteristics)) {
    return facts;
  }
  facts.machine = machine;
  const size_t optional = fileHeader + 20;
  if (!Read16(bytes, optional, magic)) return facts;
  // The optional header must be the one of the machine's word size and lie inside the file.
  const bool pe32 = magic == 0x10B, pe32plus = magic == 0x20B;
  if ((!pe32 && !pe32plus) || optionalSize < (pe32 ? 96 : 112) || optional + optionalSize > bytes.size()) {
    return facts;
  }
  uint16_t subsystem = 0;
  Read16(bytes, optional + 68, subsystem);
  // Every section's data must be inside the file: a download cut short is found here.
  const size_t sections = optional + optionalSize;
  if (sectionCount == 0 || sections + static_cast<size_t>(sectionCount) * 40 > bytes.size()) return facts;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    uint32_t rawSize = 0, rawOffset = 0;
    Read32(bytes, sections + i * 40u + 16, rawSize);
    Read32(bytes, sections + i * 40u + 20, rawOffset);
    if (rawSize != 0 && (rawOffset > bytes.size() || bytes.size() - rawOffset < rawSize)) return facts;
  }
  if (machine == kMachineI386 || machine == kMachineAmd64) {
    if ((machine == kMachineI386) != pe32) return facts;  // header of the other word size
  } else {
    facts.kind = ExecutableKind::kOtherMachine;
    return facts;
  }
  if (!(characteristics & kCharacteristicExecutable) || (characteristics & kCharacteristicDll) ||
      subsystem == kSubsystemNative) {
    facts.kind = ExecutableKind::kLibrary;
    return facts;
  }
  facts.kind = machine == kMachineI386 ? ExecutableKind::kX86 : ExecutableKind::kX64;
  return facts;
}

bool CheckSetupRunnable(const std::wstring& setupWindowsPath, std::string& reason) {
  const bool package = EndsWithNoCase(setupWindowsPath, L".msi");
  if (!package && !EndsWithNoCase(setupWindowsPath, L".exe")) {
    reason = "is neither a program (.exe) nor a Windows Installer package (.msi)";
    return false;
  }
  platform::MappedFile file;
  if (const platform::Status status = file.Open(setupWindowsPath); status != platform::kSuccess) {
    reason = FormatText("cannot be read (error %ld)", static_cast<long>(status));
    return false;
  }
  const std::string_view bytes(reinterpret_cast<const char*>(file.data()), static_cast<size_t>(file.size()));
  if (package) {
    // Every installer database is a compound file; libmsi must then open it.
    static constexpr char kCompoundFile[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    platform::InstallerDatabase database;
    if (bytes.substr(0, 8) != std::string_view(kCompoundFile, 8) ||
        database.OpenReadOnly(setupWindowsPath) != platform::kSuccess) {
      reason = "is not a Windows Installer package (damaged, or another kind of file)";
      return false;
    }
    return true;
  }
  const ExecutableFacts facts = ClassifyExecutable(bytes);
  switch (facts.kind) {
    case ExecutableKind::kX86:
      return true;
    case ExecutableKind::kX64:
      if (platform::MachineIs64Bit()) return true;
      reason = "is a 64-bit (x64) program, which this 32-bit Windows cannot run";
      return false;
    case ExecutableKind::kNotAProgram:
      reason = "is not a program (no program header; damaged, or another kind of file)";
      return false;
    case ExecutableKind::kDamaged:
      reason = "is a damaged program (its headers are cut short or point outside the file)";
      return false;
    case ExecutableKind::kDos:
      reason = "is an MS-DOS program; only 32- and 64-bit Windows programs can be captured";
      return false;
    case ExecutableKind::kWindows16:
      reason = "is a 16-bit program; only 32- and 64-bit Windows programs can be captured";
      return false;
    case ExecutableKind::kLibrary:
      reason = "is a library or a driver, not a program";
      return false;
    case ExecutableKind::kOtherMachine:
      reason = "is a program for " + MachineName(facts.machine) + " processors, which this x86/x64 Windows cannot run";
      return false;
  }
  reason = "cannot be run";
  return false;
}
