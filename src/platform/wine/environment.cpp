#include "platform/environment.h"

#include <sys/stat.h>

#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "core/strings.h"
#include "platform/machine.h"
#include "platform/text.h"

namespace fs = std::filesystem;

// The environment a program of the prefix sees, computed the way Wine builds it at process start:
// from the prefix's registry files, never from the Linux environment. Only the few keys that hold
// these values are read, straight from the files, with a cache keyed on the files' identity.
// This does not go through RegistryKey on purpose: RegistryKey waits (up to a minute) for a
// running Wine server of the prefix to end, and start-up must neither block nor come out with
// empty folders because some Wine program is open. These values do not change while a server
// runs, and Wine replaces the files by rename, so the saved files are always whole.
namespace platform {
namespace {

constexpr const wchar_t* kCurrentVersionNt = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
constexpr const wchar_t* kCurrentVersion = L"Software\\Microsoft\\Windows\\CurrentVersion";
constexpr const wchar_t* kProfileList = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kUserProfileKey =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000";
constexpr const wchar_t* kSystemEnvironment = L"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
constexpr const wchar_t* kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const wchar_t* kUserEnvironment = L"Environment";

std::wstring Upper(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = ToUpperSimple(c);
  return out;
}

// Values of one key, by upper-cased name; only string values are kept.
using KeyValues = std::map<std::wstring, std::wstring>;
// Keys by upper-cased path.
using HiveValues = std::map<std::wstring, KeyValues>;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes an escaped string of the files from `pos` (after the opening quote or bracket) up to
// the unescaped terminator: \x with 1-4 hex digits, octal with 1-3 digits, the C letters, any
// other escaped character as itself; raw bytes are UTF-8.
bool DecodeString(const std::string& line, size_t& pos, char terminator, std::wstring& out) {
  std::string raw;
  auto flush = [&] {
    out += Utf8ToWide(raw);
    raw.clear();
  };
  while (pos < line.size()) {
    char c = line[pos++];
    if (c == terminator) {
      flush();
      return true;
    }
    if (c != '\\' || pos >= line.size()) {
      raw.push_back(c);
      continue;
    }
    char e = line[pos++];
    wchar_t decoded = 0;
    switch (e) {
      case 'a': decoded = L'\a'; break;
      case 'b': decoded = L'\b'; break;
      case 'e': decoded = 27; break;
      case 'f': decoded = L'\f'; break;
      case 'n': decoded = L'\n'; break;
      case 'r': decoded = L'\r'; break;
      case 't': decoded = L'\t'; break;
      case 'v': decoded = L'\v'; break;
      case 'x': {
        int digits = 0;
        unsigned value = 0;
        while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0) {
          value = value * 16 + static_cast<unsigned>(HexDigit(line[pos++]));
          ++digits;
        }
        decoded = digits == 0 ? L'x' : static_cast<wchar_t>(value);
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned value = static_cast<unsigned>(e - '0');
          for (int digits = 1; digits < 3 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++digits) {
            value = value * 8 + static_cast<unsigned>(line[pos++] - '0');
          }
          decoded = static_cast<wchar_t>(value);
        } else {
          decoded = static_cast<wchar_t>(static_cast<unsigned char>(e));
        }
    }
    flush();
    out.push_back(decoded);
  }
  return false;
}

// Joins UTF-16 surrogate pairs that the escapes produced one unit at a time (wide strings hold
// whole code points here); a lone surrogate becomes U+FFFD.
std::wstring JoinSurrogates(const std::wstring& text) {
  if constexpr (sizeof(wchar_t) == 2) return text;
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        out.push_back(static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00)));
        ++i;
        continue;
      }
    }
    out.push_back(c >= 0xD800 && c <= 0xDFFF ? static_cast<wchar_t>(0xFFFD) : text[i]);
  }
  return out;
}

// The string of a value's data, for the string forms ("...", str(N):"...", hex(1|2):...).
std::optional<std::wstring> StringData(const std::string& data) {
  size_t pos = 0;
  if (data.compare(0, 1, "\"") == 0) {
    pos = 1;
  } else if (data.compare(0, 4, "str:") == 0 || data.compare(0, 7, "str(2):") == 0) {
    pos = data.find('"');
    if (pos == std::string::npos) return std::nullopt;
    ++pos;
  } else if (data.compare(0, 7, "hex(1):") == 0 || data.compare(0, 7, "hex(2):") == 0) {
    std::string bytes;
    for (size_t i = 7; i + 1 < data.size();) {
      int hi = HexDigit(data[i]), lo = HexDigit(data[i + 1]);
      if (hi < 0 || lo < 0) {
        ++i;
        continue;
      }
      bytes.push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    }
    std::wstring text = Utf16LeToWide(bytes.data(), bytes.size());
    size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    return text;
  } else {
    return std::nullopt;
  }
  std::wstring out;
  if (!DecodeString(data, pos, '"', out)) return std::nullopt;
  out = JoinSurrogates(out);
  size_t nul = out.find(L'\0');
  if (nul != std::wstring::npos) out.resize(nul);
  return out;
}

// Reads the string values of the wanted keys (upper-cased paths) from one registry file.
HiveValues ReadHive(const fs::path& file, const std::vector<std::wstring>& wantedKeys) {
  HiveValues result;
  std::ifstream in(file, std::ios::binary);
  if (!in) return result;
  std::string line;
  if (!std::getline(in, line)) return result;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line != "WINE REGISTRY Version 2") return result;

  KeyValues* current = nullptr;
  std::string pending;  // a hex value continued on the next lines
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    if (!pending.empty()) {
      pending += line.substr(start);
      if (pending.back() == '\\') {
        pending.pop_back();
        continue;
      }
      line = pending;
      pending.clear();
      start = line.find_first_not_of(" \t");
    }
    char first = line[start];
    if (first == '[') {
      size_t pos = start + 1;
      std::wstring path;
      current = nullptr;
      if (!DecodeString(line, pos, ']', path)) continue;
      std::wstring upper = Upper(JoinSurrogates(path));
      for (const std::wstring& wanted : wantedKeys) {
        if (wanted == upper) current = &result[upper];
      }
      continue;
    }
    if (current == nullptr || (first != '"' && first != '@')) continue;
    std::wstring name;
    size_t pos = start + 1;
    if (first == '"' && !DecodeString(line, pos, '"', name)) continue;
    size_t equals = line.find_first_not_of(" \t", pos);
    if (equals == std::string::npos || line[equals] != '=') continue;
    size_t dataStart = line.find_first_not_of(" \t", equals + 1);
    std::string data = dataStart == std::string::npos ? std::string() : line.substr(dataStart);
    if (data.compare(0, 3, "hex") == 0 && data.back() == '\\') {
      pending = line.substr(0, line.size() - 1);  // continued on the next lines
      continue;
    }
    if (auto text = StringData(data)) {
      const std::wstring key = Upper(JoinSurrogates(name));
      // The first occurrence stands.
      current->emplace(key, *text);
    }
  }
  return result;
}

// A file's identity for the cache: path, size and modification time.
struct FileStamp {
  std::string path;
  int64_t size = -1;
  int64_t mtime = 0;
  int64_t mtimeNs = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp StampOf(const fs::path& file) {
  FileStamp stamp;
  stamp.path = file.string();
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    stamp.size = st.st_size;
    stamp.mtime = st.st_mtim.tv_sec;
    stamp.mtimeNs = st.st_mtim.tv_nsec;
  }
  return stamp;
}

struct PrefixValues {
  FileStamp system;
  FileStamp user;
  HiveValues machine;
  HiveValues currentUser;
};

std::mutex g_mutex;
std::optional<PrefixValues> g_cache;

PrefixValues LoadValues() {
  const fs::path root = Machine::Root();
  PrefixValues values;
  values.system = StampOf(root / "system.reg");
  values.user = StampOf(root / "user.reg");
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_cache && g_cache->system == values.system && g_cache->user == values.user) return *g_cache;
  if (!root.empty()) {
    values.machine = ReadHive(root / "system.reg", {Upper(kCurrentVersionNt), Upper(kCurrentVersion),
                                                    Upper(kProfileList), Upper(kUserProfileKey),
                                                    Upper(kSystemEnvironment)});
    values.currentUser = ReadHive(root / "user.reg", {Upper(kShellFolders), Upper(kUserEnvironment)});
  }
  g_cache = values;
  return values;
}

std::wstring Lookup(const HiveValues& hive, const wchar_t* key, const wchar_t* name) {
  auto k = hive.find(Upper(key));
  if (k == hive.end()) return {};
  auto v = k->second.find(Upper(name));
  return v == k->second.end() ? std::wstring() : v->second;
}

std::wstring Resolve(const PrefixValues& values, const std::wstring& upperName, int depth);

// Replaces %NAME% by the value of NAME, as ExpandEnvironmentStrings does; unknown or empty
// names stay as they are written.
std::wstring Expand(const PrefixValues& values, const std::wstring& text, int depth) {
  if (depth > 8 || text.find(L'%') == std::wstring::npos) return text;
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    size_t open = text.find(L'%', i);
    if (open == std::wstring::npos) break;
    size_t close = text.find(L'%', open + 1);
    if (close == std::wstring::npos) break;
    out.append(text, i, open - i);
    std::wstring name = text.substr(open + 1, close - open - 1);
    std::wstring value = name.empty() ? std::wstring() : Resolve(values, Upper(name), depth + 1);
    if (value.empty()) {
      out.append(text, open, close - open);  // keep "%NAME" and look again from the second '%'
      i = close;
      continue;
    }
    out += value;
    i = close + 1;
  }
  out.append(text, i, std::wstring::npos);
  return out;
}

std::wstring DriveOf(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' ? path.substr(0, 2) : std::wstring();
}

std::wstring Resolve(const PrefixValues& values, const std::wstring& name, int depth) {
  const HiveValues& machine = values.machine;
  const HiveValues& user = values.currentUser;
  auto expanded = [&](const std::wstring& text) { return Expand(values, text, depth); };
  if (name == L"WINDIR" || name == L"SYSTEMROOT") return expanded(Lookup(machine, kCurrentVersionNt, L"SystemRoot"));
  if (name == L"SYSTEMDRIVE") return DriveOf(Resolve(values, L"WINDIR", depth + 1));
  if (name == L"PROGRAMFILES" || name == L"PROGRAMW6432") {
    return expanded(Lookup(machine, kCurrentVersion, L"ProgramFilesDir"));
  }
  if (name == L"PROGRAMFILES(X86)") return expanded(Lookup(machine, kCurrentVersion, L"ProgramFilesDir (x86)"));
  if (name == L"COMMONPROGRAMFILES" || name == L"COMMONPROGRAMW6432") {
    return expanded(Lookup(machine, kCurrentVersion, L"CommonFilesDir"));
  }
  if (name == L"USERPROFILE") return expanded(Lookup(machine, kUserProfileKey, L"ProfileImagePath"));
  if (name == L"ALLUSERSPROFILE" || name == L"PROGRAMDATA") return expanded(Lookup(machine, kProfileList, L"ProgramData"));
  if (name == L"PUBLIC") return expanded(Lookup(machine, kProfileList, L"Public"));
  if (name == L"APPDATA") return expanded(Lookup(user, kShellFolders, L"AppData"));
  if (name == L"LOCALAPPDATA") return expanded(Lookup(user, kShellFolders, L"Local AppData"));
  if (name == L"HOMEDRIVE" || name == L"HOMEPATH") {
    std::wstring profile = Resolve(values, L"USERPROFILE", depth + 1);
    std::wstring drive = DriveOf(profile);
    if (drive.empty()) return {};
    return name == L"HOMEDRIVE" ? drive : profile.substr(2);
  }
  // Everything else (TEMP, TMP, PATH, ...) comes from the user's environment key, else from the
  // machine's, as Wine builds a new process's environment.
  std::wstring value = Lookup(user, kUserEnvironment, name.c_str());
  if (value.empty()) value = Lookup(machine, kSystemEnvironment, name.c_str());
  return expanded(value);
}

}  // namespace

std::wstring GetEnvironmentValue(const std::wstring& name) {
  if (name.empty() || name.find(L'=') != std::wstring::npos) return {};
  PrefixValues values = LoadValues();
  return Resolve(values, Upper(name), 0);
}

}  // namespace platform
