#include "support/prefix_diff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string_view>

#include "core/strings.h"
#include "platform/wine/registry_file_parser.h"
#include "session/shell_link.h"

namespace fs = std::filesystem;

namespace {

std::string Fold(std::string_view text) { return FoldAsciiUpper(text); }

bool EndsWithFolded(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && Fold(std::string_view(text).substr(text.size() - tail.size())) == Fold(tail);
}

bool StartsWith(std::string_view text, std::string_view head) { return text.substr(0, head.size()) == head; }

// A place at or below a key: "KEY", "KEY\sub..." or "KEY|value" (all folded).
bool AtOrUnder(std::string_view foldedPlace, std::string_view foldedKey) {
  if (!StartsWith(foldedPlace, foldedKey)) return false;
  return foldedPlace.size() == foldedKey.size() || foldedPlace[foldedKey.size()] == '\\' ||
         foldedPlace[foldedKey.size()] == '|';
}

// Folders of drive_c that hold caches and scratch rather than what a setup installs ("*" stands
// for any one component).
const std::vector<std::vector<std::string>> kSkippedFolders = {
    {"WINDOWS", "INSTALLER"},  // the Windows Installer's cached packages
    {"WINDOWS", "TEMP"},
    {"USERS", "*", "TEMP"},
};

// Registry keys Wine itself rewrites when a program runs (device classes and their driver dates,
// display and monitor devices found at start, Wine's own per-user settings).
// (Wine 8 stores the current control set under its own name, not under ControlSet001.)
const std::vector<std::string> kNoiseKeys = [] {
  std::vector<std::string> keys = {"HKEY_CURRENT_USER\\SOFTWARE\\WINE"};
  for (const char* set : {"CURRENTCONTROLSET", "CONTROLSET001"}) {
    for (const char* key : {"CONTROL\\CLASS", "CONTROL\\DEVICECLASSES", "CONTROL\\VIDEO", "ENUM"}) {
      keys.push_back(std::string("HKEY_LOCAL_MACHINE\\SYSTEM\\") + set + "\\" + key);
    }
  }
  return keys;
}();

bool Skipped(const std::vector<std::string>& components) {
  for (const auto& pattern : kSkippedFolders) {
    if (components.size() < pattern.size()) continue;
    bool match = true;
    for (size_t i = 0; i < pattern.size() && match; ++i) {
      match = pattern[i] == "*" || Fold(components[i]) == pattern[i];
    }
    if (match) return true;
  }
  return false;
}

std::string U16ToUtf8(std::u16string_view text) {
  return WideToUtf8(Utf16LeToWide(text.data(), text.size() * sizeof(char16_t)));
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Size and a 64-bit FNV-1a hash of the bytes: enough to tell two installed files apart.
std::string ContentText(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : bytes) {
    hash ^= byte;
    hash *= 1099511628211ull;
  }
  return std::to_string(bytes.size()) + " bytes, fnv1a " + FormatText("%016llx", static_cast<unsigned long long>(hash));
}

std::string TypeName(uint32_t type) {
  switch (type) {
    case 0: return "REG_NONE";
    case 1: return "REG_SZ";
    case 2: return "REG_EXPAND_SZ";
    case 3: return "REG_BINARY";
    case 4: return "REG_DWORD";
    case 5: return "REG_DWORD_BIG_ENDIAN";
    case 6: return "REG_LINK";
    case 7: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return FormatText("REG_TYPE_%x", type);
  }
}

// Type and data, readable: strings as text (one terminating NUL dropped, others shown as \0),
// a four-byte DWORD as a number, everything else as hex bytes.
std::string ValueText(uint32_t type, const std::string& data) {
  std::string text = TypeName(type) + ":";
  if ((type == 1 || type == 2 || type == 7) && data.size() % 2 == 0) {
    std::wstring wide = Utf16LeToWide(data.data(), data.size());
    if (!wide.empty() && wide.back() == L'\0') wide.pop_back();
    std::wstring shown;
    for (wchar_t c : wide) shown += c == L'\0' ? std::wstring(L"\\0") : std::wstring(1, c);
    return text + WideToUtf8(shown);
  }
  if (type == 4 && data.size() == 4) {
    const auto* b = reinterpret_cast<const unsigned char*>(data.data());
    return text + FormatText("0x%08x", b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<unsigned>(b[3]) << 24));
  }
  for (size_t i = 0; i < data.size(); ++i) {
    text += FormatText(i ? ",%02x" : "%02x", static_cast<unsigned char>(data[i]));
  }
  return text;
}

// A shortcut's folder and name are its place; what it points at is its content.
std::string ShortcutText(const std::string& bytes) {
  CShellLink link;
  if (!link.Parse(bytes)) return "unreadable link, " + ContentText(bytes);
  return "target=" + WideToUtf8(link.target()) + " arguments=" + WideToUtf8(link.arguments());
}

std::string Trim(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(start, end - start + 1));
}

// The entries of an INI file (UTF-8/ANSI, or UTF-16LE with its mark), keyed without letter case,
// as the private-profile functions read them: the first of two equal keys counts.
template <typename Entry>
std::map<std::string, Entry> ParseIni(const std::string& file, std::string bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    bytes = WideToUtf8(Utf16LeToWide(bytes.data() + 2, (bytes.size() - 2) & ~size_t{1}));
  }
  std::map<std::string, Entry> entries;
  std::string section;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = Trim(std::string_view(bytes).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      section = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    const std::string place = file + "|" + section + "|" + key;
    entries.emplace(Fold(place), Entry{place, Trim(line.substr(equals + 1))});
  }
  return entries;
}

}  // namespace

bool PrefixState::Take(const fs::path& prefix, std::string& error) {
  prefix_ = prefix;
  entries_.clear();
  iniFiles_.clear();
  values_.clear();
  emptyKeys_.clear();
  keys_.clear();

  // drive_c, walked without following links (a link is an item of its own).
  const fs::path driveC = prefix / "drive_c";
  std::error_code ec;
  if (!fs::is_directory(driveC, ec)) {
    error = "no drive_c in " + prefix.string();
    return false;
  }
  std::vector<std::pair<fs::path, std::vector<std::string>>> pending = {{driveC, {}}};
  while (!pending.empty()) {
    const auto [folder, components] = pending.back();
    pending.pop_back();
    for (const auto& child : fs::directory_iterator(folder, ec)) {
      std::vector<std::string> path = components;
      path.push_back(child.path().filename().string());
      if (Skipped(path)) continue;
      std::string place = "C:";
      for (const std::string& component : path) place += "\\" + component;
      struct stat info {};
      if (lstat(child.path().c_str(), &info) != 0) continue;
      Entry entry;
      entry.place = place;
      entry.size = static_cast<uint64_t>(info.st_size);
      entry.modified = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
      entry.inode = info.st_ino;
      if (S_ISLNK(info.st_mode)) {
        entry.type = 'l';
        entry.linkTarget = fs::read_symlink(child.path(), ec).string();
      } else if (S_ISDIR(info.st_mode)) {
        entry.type = 'd';
        entry.empty = fs::is_empty(child.path(), ec);
        pending.push_back({child.path(), path});
      } else {
        entry.type = 'f';
        if (EndsWithFolded(place, ".ini")) iniFiles_[Fold(place)] = ParseIni<IniEntry>(place, ReadBytes(child.path()));
      }
      entries_.emplace(Fold(place), std::move(entry));
    }
  }

  // The registry, as Wine's server last wrote it.
  const std::pair<const char*, const char*> hives[] = {
      {"system.reg", "HKEY_LOCAL_MACHINE"}, {"user.reg", "HKEY_CURRENT_USER"}, {"userdef.reg", "HKEY_USERS\\.DEFAULT"}};
  for (const auto& [file, root] : hives) {
    const std::string text = ReadBytes(prefix / file);
    const platform::wine::ParsedRegistryFile parsed = platform::wine::ParseRegistryFile(text);
    if (!parsed.valid) {
      error = "cannot read " + (prefix / file).string();
      return false;
    }
    for (const auto& key : parsed.keys) {
      if (key.isLink) continue;  // data lives at the link's target, which is read there
      const std::string path = std::string(root) + (key.path.empty() ? "" : "\\" + U16ToUtf8(key.path));
      const std::string folded = Fold(path);
      bool noise = false;
      for (const std::string& noiseKey : kNoiseKeys) noise = noise || AtOrUnder(folded, noiseKey);
      if (noise) continue;
      // Every ancestor exists too, even when the file gives it no line of its own.
      for (size_t cut = folded.find('\\'); cut != std::string::npos; cut = folded.find('\\', cut + 1)) {
        keys_[folded.substr(0, cut)] = true;
      }
      keys_[folded] = true;
      if (key.values.empty()) emptyKeys_[folded] = path;
      for (const auto& value : key.values) {
        const std::string place = path + "|" + U16ToUtf8(value.name);
        values_[Fold(place)] =
            Value{place, value.type, std::string(value.data.begin(), value.data.end())};
      }
    }
  }
  return true;
}

std::vector<PrefixItem> DiffPrefixStates(const PrefixState& before, const PrefixState& after) {
  std::vector<PrefixItem> items;
  auto hostPath = [&after](const std::string& place) {
    fs::path host = after.prefix_ / "drive_c";
    size_t start = 3;  // after "C:\"
    while (start <= place.size()) {
      size_t end = place.find('\\', start);
      if (end == std::string::npos) end = place.size();
      host /= place.substr(start, end - start);
      start = end + 1;
    }
    return host;
  };
  auto fileItem = [&](const std::string& place) {
    const std::string bytes = ReadBytes(hostPath(place));
    if (EndsWithFolded(place, ".lnk")) return PrefixItem{"shortcut", place, ShortcutText(bytes)};
    return PrefixItem{"file", place, ContentText(bytes)};
  };

  for (const auto& [folded, entry] : after.entries_) {
    const auto old = before.entries_.find(folded);
    const bool isNew = old == before.entries_.end() || old->second.type != entry.type;
    if (entry.type == 'd') {
      if (entry.empty && isNew) items.push_back({"folder", entry.place, "empty"});
    } else if (entry.type == 'l') {
      if (isNew || old->second.linkTarget != entry.linkTarget) items.push_back({"link", entry.place, entry.linkTarget});
    } else if (isNew) {
      items.push_back(fileItem(entry.place));
    } else if (old->second.size != entry.size || old->second.modified != entry.modified ||
               old->second.inode != entry.inode) {
      const auto oldIni = before.iniFiles_.find(folded);
      const auto newIni = after.iniFiles_.find(folded);
      if (oldIni == before.iniFiles_.end() || newIni == after.iniFiles_.end()) {
        items.push_back(fileItem(entry.place));
        continue;
      }
      // An INI file that was there before: what changed is its entries.
      for (const auto& [key, value] : newIni->second) {
        const auto was = oldIni->second.find(key);
        if (was == oldIni->second.end() || was->second.value != value.value) {
          items.push_back({"ini", value.place, value.value});
        }
      }
      for (const auto& [key, value] : oldIni->second) {
        if (newIni->second.count(key) == 0) items.push_back({"ini", value.place, "<deleted>"});
      }
    }
  }
  for (const auto& [folded, entry] : before.entries_) {
    if (after.entries_.count(folded)) continue;
    if (entry.type == 'f') {
      items.push_back({EndsWithFolded(entry.place, ".lnk") ? "shortcut" : "file", entry.place, "<deleted>"});
    } else if (entry.type == 'l' || entry.empty) {
      items.push_back({entry.type == 'l' ? "link" : "folder", entry.place, "<deleted>"});
    }
  }

  for (const auto& [folded, value] : after.values_) {
    const auto old = before.values_.find(folded);
    if (old == before.values_.end() || old->second.type != value.type || old->second.data != value.data) {
      items.push_back({"value", value.place, ValueText(value.type, value.data)});
    }
  }
  for (const auto& [folded, value] : before.values_) {
    if (after.values_.count(folded) == 0) items.push_back({"value", value.place, "<deleted>"});
  }
  for (const auto& [folded, key] : after.emptyKeys_) {
    if (before.keys_.count(folded) == 0) items.push_back({"key", key, "new"});
  }
  for (const auto& [folded, key] : before.emptyKeys_) {
    if (after.keys_.count(folded) == 0) items.push_back({"key", key, "<deleted>"});
  }
  return items;
}

std::vector<PrefixItem> WrittenBy(const WinePrefixCopy& machine, const std::vector<std::string>& arguments,
                                  bool privateDisplay) {
  PrefixState before, after;
  std::string error, output;
  if (!before.Take(machine.prefix(), error)) {
    ADD_FAILURE() << error;
    return {};
  }
  std::vector<PrefixItem> wrote;
  int status = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt > 0) std::printf("retrying %s after: %s\n", arguments.back().c_str(), output.c_str());
    output.clear();
    status = machine.Run(arguments, &output, privateDisplay);
    if (!after.Take(machine.prefix(), error)) {
      ADD_FAILURE() << error;
      return {};
    }
    wrote = DiffPrefixStates(before, after);
    if (status == 0 || !wrote.empty()) break;
  }
  EXPECT_EQ(status, 0) << arguments[0] << " " << (arguments.size() > 1 ? arguments[1] : "") << ": " << output;
  return wrote;
}

PrefixComparison ComparePrefixItems(const std::vector<PrefixItem>& expected, const std::vector<PrefixItem>& actual) {
  auto keyOf = [](const PrefixItem& item) { return item.kind + "|" + Fold(item.place); };
  std::map<std::string, const PrefixItem*> found;
  for (const PrefixItem& item : actual) found[keyOf(item)] = &item;
  PrefixComparison result;
  std::set<std::string> matched;
  for (const PrefixItem& item : expected) {
    const auto it = found.find(keyOf(item));
    if (it == found.end()) {
      result.missing.push_back(item);
      continue;
    }
    matched.insert(it->first);
    if (it->second->content == item.content) {
      result.reproduced.push_back(item);
    } else {
      PrefixItem differing = item;
      differing.content += "  [found: " + it->second->content + "]";
      result.missing.push_back(differing);
    }
  }
  for (const PrefixItem& item : actual) {
    if (matched.count(keyOf(item)) == 0) result.extra.push_back(item);
  }
  return result;
}

namespace {

// Moves the items `pick` chooses from `items` into the returned list.
template <typename Pick>
std::vector<PrefixItem> TakeItems(std::vector<PrefixItem>& items, Pick pick) {
  std::vector<PrefixItem> taken, kept;
  for (PrefixItem& item : items) (pick(item) ? taken : kept).push_back(std::move(item));
  items = std::move(kept);
  return taken;
}

// The uninstall key a value or key place belongs to ("...\UNINSTALL\NAME", folded), or "".
std::string UninstallKeyOf(const std::string& foldedPlace) {
  static const std::vector<std::string> roots = {"HKEY_LOCAL_MACHINE\\SOFTWARE\\", "HKEY_CURRENT_USER\\SOFTWARE\\"};
  static const std::vector<std::string> views = {"", "WOW6432NODE\\"};
  static const std::string tail = "MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\";
  for (const std::string& root : roots) {
    for (const std::string& view : views) {
      const std::string head = root + view + tail;
      if (!StartsWith(foldedPlace, head)) continue;
      const size_t end = foldedPlace.find_first_of("\\|", head.size());
      return foldedPlace.substr(0, end);
    }
  }
  return {};
}

// The program an uninstall command names: the quoted path, else everything up to ".exe".
std::string CommandProgram(std::string command) {
  if (!command.empty() && command[0] == '"') {
    const size_t close = command.find('"', 1);
    return command.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  const size_t exe = Fold(command).find(".EXE");
  return exe == std::string::npos ? Trim(command) : command.substr(0, exe + 4);
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('\\')); }

std::string StemOf(const std::string& path) {
  const std::string name = path.substr(path.rfind('\\') + 1);
  return name.substr(0, name.rfind('.'));
}

}  // namespace

std::vector<PrefixItem> TakeUninstallRegistration(std::vector<PrefixItem>& items) {
  std::set<std::string> keys;
  std::vector<std::string> uninstallers;  // folded
  for (const PrefixItem& item : items) {
    if (item.kind != "value" && item.kind != "key") continue;
    const std::string key = UninstallKeyOf(Fold(item.place));
    if (key.empty()) continue;
    keys.insert(key);
    const std::string prefix = "REG_SZ:";
    if (EndsWithFolded(item.place, "|UninstallString") && StartsWith(item.content, prefix)) {
      uninstallers.push_back(Fold(CommandProgram(item.content.substr(prefix.size()))));
    }
  }
  return TakeItems(items, [&](const PrefixItem& item) {
    const std::string folded = Fold(item.place);
    if (item.kind == "value" || item.kind == "key") return keys.count(UninstallKeyOf(folded)) > 0;
    for (const std::string& uninstaller : uninstallers) {
      if (item.kind == "file" && FolderOf(folded) == FolderOf(uninstaller) && StemOf(folded) == StemOf(uninstaller)) {
        return true;
      }
      if (item.kind == "shortcut" && StartsWith(Fold(item.content), "TARGET=" + uninstaller + " ")) return true;
    }
    return false;
  });
}

std::vector<PrefixItem> TakeInstallerBookkeeping(std::vector<PrefixItem>& items, const std::string& productCode) {
  const std::vector<std::string> keys = {
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\INSTALLER",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\INSTALLER",
      "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\INSTALLER",
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\" + Fold(productCode),
      // A 32-bit package is registered in the 32-bit view.
      "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432NODE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\" + Fold(productCode),
      "HKEY_CURRENT_USER\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\" + Fold(productCode),
  };
  return TakeItems(items, [&](const PrefixItem& item) {
    const std::string folded = Fold(item.place);
    if (item.kind == "value" || item.kind == "key") {
      for (const std::string& key : keys) {
        if (AtOrUnder(folded, key)) return true;
      }
      return false;
    }
    // The per-user icon cache of shortcuts:
    // C:\users\<name>\AppData\Roaming\Microsoft\Installer\{ProductCode}\...
    const std::vector<std::wstring> parts = SplitPathComponents(Utf8ToWide(folded));
    return parts.size() > 7 && parts[1] == L"USERS" && parts[3] == L"APPDATA" && parts[4] == L"ROAMING" &&
           parts[5] == L"MICROSOFT" && parts[6] == L"INSTALLER";
  });
}
