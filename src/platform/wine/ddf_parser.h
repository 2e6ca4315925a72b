#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

// Reading of the cabinet maker's directive file ("MSIProject.ddf"), without any file access.
//
// The form read: one directive per line; ";" starts a comment; ".Option EXPLICIT";
// ".Set Name = value" (value bare or quoted with ' or ", the quote doubled inside); ".Define";
// ".New Folder"; and file lines: the source path, then optionally the name inside the cabinet,
// each bare or quoted ('it''s here.txt' or "say ""hi"".txt"), then optional /parameters. Settings
// apply to the file lines that follow them.
//
// Honoured: ".New Folder", Cabinet (file lines need it on), Compress (off stores files
// uncompressed; a folder is written with its first file's setting), CompressionType (MSZIP; LZX
// and QUANTUM, which libgcab cannot write, become MSZIP), CabinetNameTemplate,
// DiskDirectoryTemplate ("*" is disk 1), SourceDir, DestinationDir.
// Accepted and without effect: the size, reserve, threshold, report and INF settings. In particular
// MaxDiskSize does not split the cabinet: the package refers to exactly one cabinet.
namespace platform::wine {

enum class CabinetCompression { kNone, kMszip };

struct DirectiveFileEntry {
  std::wstring source;   // as written, prefixed by SourceDir when relative; may still be relative
  std::wstring member;   // the name inside the cabinet
  CabinetCompression compression = CabinetCompression::kMszip;
  bool newFolder = false;  // a ".New Folder" came before this file
  size_t line = 0;
};

struct DirectiveFile {
  std::wstring diskDirectory = L"DISK1";  // the maker's defaults
  std::wstring cabinetName = L"1.CAB";
  std::vector<DirectiveFileEntry> files;
  std::vector<std::string> notes;  // settings accepted but changed or ignored, for the logs
};

// kSuccess, or kInvalidData with "line N: what" in `error` (unknown directive, a variable not
// defined under .Option EXPLICIT, a bad value, an unterminated quote, a file line while Cabinet is
// off, an empty or too long member name, a member name used twice).
Status ParseDirectiveFile(std::string_view text, DirectiveFile& out, std::string& error);

}  // namespace platform::wine
