#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reader of Wine's registry files ("WINE REGISTRY Version 2": system.reg, user.reg, userdef.reg).
// It works on the text alone, so the loader and the tests share it; nothing here touches a file.
namespace platform::wine {

// Receives what ParseRegistryText finds, in file order. Views are valid only during the call.
class RegistryFileSink {
 public:
  virtual ~RegistryFileSink() = default;
  // The path of the ";; All keys relative to ..." line, decoded (e.g. "REGISTRY\User\S-1-5-...").
  virtual void OnRoot(std::u16string_view path) { (void)path; }
  // A "#name=value" option before the first key (e.g. "#arch=win64").
  virtual void OnOption(std::string_view name, std::string_view value) { (void)name, (void)value; }
  // A key line: its path relative to the root, decoded, components joined by one '\' ("" is the
  // root itself). Every following line up to the next key belongs to it.
  virtual void OnKey(std::u16string_view path, size_t line) = 0;
  // The key's modification time (FILETIME): from "#time=", else from the seconds of the key line.
  virtual void OnKeyTime(uint64_t fileTime) { (void)fileTime; }
  virtual void OnKeyClass(std::u16string_view className) { (void)className; }
  virtual void OnKeyLink() {}
  // A value of the current key: name ("" for "@"), type and raw data (string forms: UTF-16LE
  // text plus one NUL unit).
  virtual void OnValue(std::u16string_view name, uint32_t type, const uint8_t* data, size_t size,
                       size_t line) = 0;
  // A line that was skipped, with why (line numbers count from 1).
  virtual void OnError(size_t line, std::string_view message) = 0;
};

// Parses a whole file. Returns false (after one OnError for line 1) when the text is not a
// "WINE REGISTRY Version 2" file; Wine ignores such files. Malformed lines are reported and
// skipped; the rest of the file is still read.
bool ParseRegistryText(std::string_view text, RegistryFileSink& sink);

// Decodes a string in the escaped form of the files, starting after its opening quote (or '['),
// up to the unescaped terminator. Appends to `out`; `pos` ends after the terminator. False when
// the terminator is missing. Bytes of invalid UTF-8 are dropped, as Wine does.
bool DecodeRegistryString(std::string_view line, size_t& pos, char terminator, std::u16string& out);

// Everything of one file, collected (for tests and tools).
struct ParsedRegistryValue {
  std::u16string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
  size_t line = 0;
};

struct ParsedRegistryKey {
  std::u16string path;
  size_t line = 0;
  uint64_t time = 0;
  bool hasClass = false;
  std::u16string className;
  bool isLink = false;
  std::vector<ParsedRegistryValue> values;
};

struct RegistryFileError {
  size_t line = 0;
  std::string message;
};

struct ParsedRegistryFile {
  bool valid = false;
  std::u16string root;
  std::vector<std::pair<std::string, std::string>> options;
  std::vector<ParsedRegistryKey> keys;
  std::vector<RegistryFileError> errors;
};

ParsedRegistryFile ParseRegistryFile(std::string_view text);

}  // namespace platform::wine
