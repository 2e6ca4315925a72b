#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/replace_file.h"

namespace fs = std::filesystem;

// The file is kept as its original lines (raw bytes with their line ends), so a write changes
// only the lines it must and everything else stays byte for byte. Parsing follows Wine's
// private-profile reader: leading blanks are skipped, "[name]" opens a section (the last "]"
// closes it), "name=value" is a key, a line without "=" is a key without value, ';' starts a
// comment line.
namespace platform {
namespace {

enum class Encoding { kUtf8, kUtf8Bom, kUtf16Le };

enum class LineKind { kBlank, kComment, kSection, kKey };

struct Line {
  std::string raw;   // bytes of the line, line end included
  LineKind kind = LineKind::kBlank;
  std::wstring name;   // section or key name, trimmed
  std::wstring value;  // key value, trimmed (empty without '=')
  bool hasEquals = false;
  std::wstring text;   // the whole line, trimmed (for lines without '=')
};

struct ProfileFile {
  Encoding encoding = Encoding::kUtf8;
  std::string bom;
  std::vector<Line> lines;
  std::string newline = "\r\n";  // in the file's encoding, taken from its first line end
};

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' || c == 0x1A;
}

std::wstring Trim(std::wstring_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return std::wstring(text.substr(begin, end - begin));
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && ToUpperSimple(a[i]) != ToUpperSimple(b[i])) return false;
  }
  return true;
}

std::string Encode(Encoding encoding, std::wstring_view text) {
  return encoding == Encoding::kUtf16Le ? WideToUtf16Le(text) : WideToUtf8(text);
}

std::wstring Decode(Encoding encoding, std::string_view bytes) {
  return encoding == Encoding::kUtf16Le ? Utf16LeToWide(bytes.data(), bytes.size()) : Utf8ToWide(bytes);
}

void Classify(Line& line, Encoding encoding) {
  std::wstring text = Trim(Decode(encoding, line.raw));
  line.text = text;
  if (text.empty()) {
    line.kind = LineKind::kBlank;
    return;
  }
  if (text[0] == L';') {
    line.kind = LineKind::kComment;
    return;
  }
  if (text[0] == L'[') {
    size_t close = text.rfind(L']');
    if (close != std::wstring::npos && close > 0) {
      line.kind = LineKind::kSection;
      line.name = Trim(std::wstring_view(text).substr(1, close - 1));
      return;
    }
    // "[" without "]" is an ordinary line, as Wine reads it.
  }
  line.kind = LineKind::kKey;
  size_t equals = text.find(L'=');
  if (equals == std::wstring::npos) {
    line.name = text;
    return;
  }
  line.hasEquals = true;
  line.name = Trim(std::wstring_view(text).substr(0, equals));
  line.value = Trim(std::wstring_view(text).substr(equals + 1));
}

ProfileFile Parse(const std::string& bytes) {
  ProfileFile file;
  size_t start = 0;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    file.encoding = Encoding::kUtf16Le;
    file.bom = bytes.substr(0, 2);
    start = 2;
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    file.encoding = Encoding::kUtf8Bom;
    file.bom = bytes.substr(0, 3);
    start = 3;
  }
  const size_t unit = file.encoding == Encoding::kUtf16Le ? 2 : 1;
  bool newlineKnown = false;
  size_t lineStart = start;
  for (size_t i = start; i + unit <= bytes.size(); i += unit) {
    bool isNewline = bytes[i] == '\n' && (unit == 1 || bytes[i + 1] == '\0');
    if (!isNewline) continue;
    Line line;
    line.raw = bytes.substr(lineStart, i + unit - lineStart);
    if (!newlineKnown) {
      bool crlf = i >= lineStart + unit && bytes[i - unit] == '\r' && (unit == 1 || bytes[i - unit + 1] == '\0');
      file.newline = Encode(file.encoding, crlf ? L"\r\n" : L"\n");
      newlineKnown = true;
    }
    Classify(line, file.encoding);
    file.lines.push_back(std::move(line));
    lineStart = i + unit;
  }
  if (lineStart < bytes.size()) {
    Line line;
    line.raw = bytes.substr(lineStart);
    Classify(line, file.encoding);
    file.lines.push_back(std::move(line));
  }
  if (!newlineKnown) file.newline = Encode(file.encoding, L"\r\n");
  return file;
}

// Reads the file; nullopt when it cannot be read (missing or unreadable).
std::optional<std::string> ReadBytes(const fs::path& host) {
  if (host.empty()) return std::nullopt;
  std::ifstream in(host, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream data;
  data << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return data.str();
}

std::optional<ProfileFile> Load(const std::wstring& path) {
  auto bytes = ReadBytes(Machine::HostPath(path));
  if (!bytes) return std::nullopt;
  return Parse(*bytes);
}

// Calls fn(lineIndex) for every key line of every occurrence of the section.
template <typename Fn>
void ForEachLineInSection(const ProfileFile& file, const std::wstring& section, Fn&& fn) {
  const std::wstring wanted = Trim(section);
  bool inside = false;
  for (size_t i = 0; i < file.lines.size(); ++i) {
    const Line& line = file.lines[i];
    if (line.kind == LineKind::kSection) {
      inside = SameName(line.name, wanted);
      continue;
    }
    if (inside) fn(i);
  }
}

std::optional<size_t> FindKey(const ProfileFile& file, const std::wstring& section, const std::wstring& key) {
  const std::wstring wanted = Trim(key);
  std::optional<size_t> found;
  ForEachLineInSection(file, section, [&](size_t i) {
    const Line& line = file.lines[i];
    if (!found && line.kind == LineKind::kKey && SameName(line.name, wanted)) found = i;
  });
  return found;
}

// The name a section is told apart by: its letters upper-cased, as SameName compares them.
std::wstring NameKey(std::wstring_view name) {
  std::wstring key(name);
  for (wchar_t& c : key) c = ToUpperSimple(c);
  return key;
}

// A key line as the section readers give it.
std::wstring SectionLineText(const Line& line) {
  return line.hasEquals ? line.name + L"=" + line.value : line.text;
}

std::wstring Unquote(const std::wstring& value) {
  if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') return value.substr(1, value.size() - 2);
  return value;
}

// One lock for every write of this process: a write reads, changes and replaces the whole file.
std::mutex g_writeMutex;

// Replaces the file with new content (one write-then-rename: a failure leaves the old file whole).
bool ReplaceFile(const fs::path& host, const std::string& bytes) { return wine::ReplaceHostFile(host, bytes) == 0; }

std::string Serialize(const ProfileFile& file) {
  std::string out = file.bom;
  for (const Line& line : file.lines) out += line.raw;
  return out;
}

bool EndsWithNewline(const std::string& raw, Encoding encoding) {
  if (encoding == Encoding::kUtf16Le) return raw.size() >= 2 && raw[raw.size() - 2] == '\n' && raw.back() == '\0';
  return !raw.empty() && raw.back() == '\n';
}

Line MakeLine(const ProfileFile& file, const std::wstring& text) {
  Line line;
  line.raw = Encode(file.encoding, text) + file.newline;
  Classify(line, file.encoding);
  return line;
}

// The line end of a line, in raw bytes ("" for a last line without one).
std::string LineEnd(const Line& line, Encoding encoding) {
  if (!EndsWithNewline(line.raw, encoding)) return {};
  const size_t unit = encoding == Encoding::kUtf16Le ? 2 : 1;
  size_t n = unit;
  if (line.raw.size() >= 2 * unit && line.raw[line.raw.size() - 2 * unit] == '\r') n = 2 * unit;
  return line.raw.substr(line.raw.size() - n);
}

// Makes sure the last line ends, so a line can follow it.
void TerminateLastLine(ProfileFile& file) {
  if (!file.lines.empty() && !EndsWithNewline(file.lines.back().raw, file.encoding)) {
    file.lines.back().raw += file.newline;
  }
}

}  // namespace

std::wstring GetProfileText(const std::wstring& section, const std::wstring& key,
                            const std::wstring& defaultValue, const std::wstring& file) {
  if (key.empty()) return defaultValue;
  auto profile = Load(file);
  if (!profile) return defaultValue;
  auto index = FindKey(*profile, section, key);
  if (!index) return defaultValue;
  // A key line without "=" has an empty value, as Wine reads it.
  return Unquote(profile->lines[*index].value);
}

int GetProfileNumber(const std::wstring& section, const std::wstring& key, int defaultValue,
                     const std::wstring& file) {
  if (key.empty()) return defaultValue;
  auto profile = Load(file);
  if (!profile) return defaultValue;
  auto index = FindKey(*profile, section, key);
  if (!index) return defaultValue;
  const std::wstring value = Unquote(profile->lines[*index].value);
  size_t i = 0;
  bool negative = false;
  if (i < value.size() && (value[i] == L'-' || value[i] == L'+')) negative = value[i++] == L'-';
  // Digits accumulate in 32 bits and wrap, as the Windows conversion does.
  uint32_t number = 0;
  for (; i < value.size() && value[i] >= L'0' && value[i] <= L'9'; ++i) {
    number = number * 10u + static_cast<uint32_t>(value[i] - L'0');
  }
  if (negative) number = 0u - number;
  return static_cast<int>(number);
}

std::vector<std::wstring> GetProfileSectionNames(const std::wstring& file) {
  std::vector<std::wstring> names;
  for (ProfileSection& section : GetProfileSections(file)) names.push_back(std::move(section.name));
  return names;
}

std::vector<ProfileSection> GetProfileSections(const std::wstring& file) {
  std::vector<ProfileSection> sections;
  auto profile = Load(file);
  if (!profile) return sections;
  // One pass: the lines of a repeated section join those of its first occurrence.
  std::unordered_map<std::wstring, size_t> indexByName;
  std::optional<size_t> current;
  for (const Line& line : profile->lines) {
    if (line.kind == LineKind::kSection) {
      auto [at, added] = indexByName.emplace(NameKey(line.name), sections.size());
      if (added) sections.push_back(ProfileSection{line.name, {}});
      current = at->second;
      continue;
    }
    if (current && line.kind == LineKind::kKey) sections[*current].lines.push_back(SectionLineText(line));
  }
  return sections;
}

std::vector<std::wstring> GetProfileSection(const std::wstring& section, const std::wstring& file) {
  std::vector<std::wstring> lines;
  auto profile = Load(file);
  if (!profile) return lines;
  ForEachLineInSection(*profile, section, [&](size_t i) {
    const Line& line = profile->lines[i];
    if (line.kind != LineKind::kKey) return;
    lines.push_back(SectionLineText(line));
  });
  return lines;
}

bool WriteProfileText(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                      const std::wstring& file) {
  const std::wstring sectionName = Trim(section);
  const std::wstring keyName = Trim(key);
  if (sectionName.empty() || keyName.empty()) return false;
  // A line break inside the value or the names would make lines of its own.
  for (const std::wstring* text : {&sectionName, &keyName, &value}) {
    if (text->find_first_of(L"\r\n") != std::wstring::npos) return false;
  }
  const fs::path host = Machine::HostPath(file);
  if (host.empty()) return false;

  std::lock_guard<std::mutex> lock(g_writeMutex);
  ProfileFile profile;
  if (auto bytes = ReadBytes(host)) {
    profile = Parse(*bytes);
  } else if (fs::exists(host)) {
    return false;  // there but unreadable: never replace what we could not read
  }
  const std::wstring newValue = Trim(value);

  if (auto index = FindKey(profile, sectionName, keyName)) {
    Line& line = profile.lines[*index];
    const std::wstring text = line.name + L"=" + newValue;
    if (line.hasEquals && line.value == newValue) return true;  // nothing to change
    std::string end = LineEnd(line, profile.encoding);
    line.raw = Encode(profile.encoding, text) + end;
    Classify(line, profile.encoding);
  } else {
    // After the last non-blank line of the section's first occurrence; else a new section at
    // the end of the file.
    std::optional<size_t> sectionLine;
    std::optional<size_t> lastContent;
    for (size_t i = 0; i < profile.lines.size(); ++i) {
      const Line& line = profile.lines[i];
      if (line.kind == LineKind::kSection) {
        if (sectionLine) break;
        if (SameName(line.name, sectionName)) sectionLine = i;
        continue;
      }
      if (sectionLine && line.kind != LineKind::kBlank) lastContent = i;
    }
    const std::wstring text = keyName + L"=" + newValue;
    if (sectionLine) {
      size_t at = (lastContent ? *lastContent : *sectionLine) + 1;
      if (at == profile.lines.size()) TerminateLastLine(profile);
      profile.lines.insert(profile.lines.begin() + static_cast<std::ptrdiff_t>(at), MakeLine(profile, text));
    } else {
      TerminateLastLine(profile);
      if (!profile.lines.empty() && profile.lines.back().kind != LineKind::kBlank) {
        profile.lines.push_back(MakeLine(profile, L""));
      }
      profile.lines.push_back(MakeLine(profile, L"[" + sectionName + L"]"));
      profile.lines.push_back(MakeLine(profile, text));
    }
  }
  return ReplaceFile(host, Serialize(profile));
}

bool DeleteProfileKey(const std::wstring& section, const std::wstring& key, const std::wstring& file) {
  const fs::path host = Machine::HostPath(file);
  if (host.empty()) return false;
  std::lock_guard<std::mutex> lock(g_writeMutex);
  auto bytes = ReadBytes(host);
  if (!bytes) return !fs::exists(host);
  ProfileFile profile = Parse(*bytes);
  const std::wstring wanted = Trim(key);
  std::vector<bool> drop(profile.lines.size(), false);
  bool any = false;
  ForEachLineInSection(profile, section, [&](size_t i) {
    const Line& line = profile.lines[i];
    if (line.kind == LineKind::kKey && SameName(line.name, wanted)) drop[i] = any = true;
  });
  if (!any) return true;
  std::vector<Line> kept;
  for (size_t i = 0; i < profile.lines.size(); ++i) {
    if (!drop[i]) kept.push_back(std::move(profile.lines[i]));
  }
  profile.lines = std::move(kept);
  return ReplaceFile(host, Serialize(profile));
}

}  // namespace platform
