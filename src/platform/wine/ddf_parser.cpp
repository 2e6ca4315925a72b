#include "platform/wine/ddf_parser.h"

#include <set>

#include "core/strings.h"

namespace platform::wine {
namespace {

constexpr size_t kMaxMemberNameBytes = 255;  // the cabinet format's limit for a stored name

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) { return FoldAsciiUpper(s); }

bool StartsWithUpper(const std::string& upper, const char* prefix) {
  return upper.rfind(prefix, 0) == 0;
}

// Reads one token at `pos`: quoted with ' or " (the quote doubled inside stands for itself), or
// bare up to a blank or ";". False with `error` set for an unterminated quote or text glued to
// the closing quote.
bool ReadToken(std::string_view line, size_t& pos, std::string& token, bool& quoted, std::string& error) {
  token.clear();
  quoted = false;
  if (pos >= line.size()) return false;
  char c = line[pos];
  if (c == '\'' || c == '"') {
    quoted = true;
    char quote = c;
    ++pos;
    for (;;) {
      if (pos >= line.size()) {
        error = "unterminated quote";
        return false;
      }
      if (line[pos] == quote) {
        if (pos + 1 < line.size() && line[pos + 1] == quote) {
          token.push_back(quote);
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      token.push_back(line[pos++]);
    }
    if (pos < line.size() && !IsBlank(line[pos]) && line[pos] != ';') {
      error = "text right after a closing quote";
      return false;
    }
    return true;
  }
  while (pos < line.size() && !IsBlank(line[pos]) && line[pos] != ';') token.push_back(line[pos++]);
  return true;
}

void SkipBlanks(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
}

bool AtEndOrComment(std::string_view line, size_t pos) { return pos >= line.size() || line[pos] == ';'; }

bool ParseSwitch(const std::string& value, bool& on) {
  std::string v = Upper(value);
  if (v == "ON" || v == "YES" || v == "TRUE" || v == "1") {
    on = true;
    return true;
  }
  if (v == "OFF" || v == "NO" || v == "FALSE" || v == "0") {
    on = false;
    return true;
  }
  return false;
}

// The maker's standard variables (upper case); prefixes end in "*".
bool IsStandardVariable(const std::string& upper) {
  static const char* const kNames[] = {
      "CABINET", "CABINETFILECOUNTTHRESHOLD", "CABINETNAMETEMPLATE", "CHECKSUMWIDTH", "CLUSTERSIZE",
      "COMPRESS", "COMPRESSEDFILEEXTENSIONCHAR", "COMPRESSIONLEVEL", "COMPRESSIONMEMORY",
      "COMPRESSIONTYPE", "DESTINATIONDIR", "DISKDIRECTORYTEMPLATE", "DISKLABELTEMPLATE",
      "DONOTCOPYFILES", "FOLDERFILECOUNTTHRESHOLD", "FOLDERSIZETHRESHOLD", "GENERATEINF",
      "INFFILENAME", "MAXCABINETSIZE", "MAXDISKFILECOUNT*", "MAXDISKSIZE*", "MAXERRORS",
      "RESERVEPERCABINETSIZE", "RESERVEPERDATABLOCKSIZE", "RESERVEPERFOLDERSIZE", "RPTFILENAME",
      "SOURCEDIR", "UNIQUEFILES", "DISKDIRECTORY*", "DISKLABEL*", "CABINETLABEL*", "INF*"};
  for (const char* name : kNames) {
    std::string n = name;
    if (n.back() == '*') {
      n.pop_back();
      if (upper.rfind(n, 0) == 0) return true;
    } else if (upper == n) {
      return true;
    }
  }
  return false;
}

bool IsAbsoluteWindowsPath(const std::wstring& path) {
  return (path.size() >= 2 && path[1] == L':') || (path.size() >= 1 && (path[0] == L'\\' || path[0] == L'/'));
}

std::wstring JoinWindows(const std::wstring& folder, const std::wstring& name) {
  if (folder.empty()) return name;
  if (folder.back() == L'\\' || folder.back() == L'/') return folder + name;
  return folder + L"\\" + name;
}

std::wstring ReplaceStar(std::wstring text) {
  ReplaceAll(text, L"*", L"1");
  return text;
}

struct Settings {
  bool explicitNames = false;
  bool cabinet = true;
  bool compress = true;
  std::wstring sourceDir;
  std::wstring destinationDir;
  bool newFolder = false;
  std::set<std::string> defined;  // .Define'd names, upper case
};

}  // namespace

Status ParseDirectiveFile(std::string_view text, DirectiveFile& out, std::string& error) {
  out = DirectiveFile{};
  error.clear();
  Settings settings;
  std::set<std::wstring> members;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  auto fail = [&](size_t line, const std::string& what) {
    error = FormatText("line %zu: %s", line, what.c_str());
    out.files.clear();
    return kInvalidData;
  };

  size_t lineNumber = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t lf = text.find('\n', start);
    std::string_view raw = text.substr(start, lf == std::string_view::npos ? std::string_view::npos : lf - start);
    start = (lf == std::string_view::npos) ? text.size() + 1 : lf + 1;
    ++lineNumber;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '.') {
      size_t pos = 1;
      size_t wordEnd = pos;
      while (wordEnd < line.size() && !IsBlank(line[wordEnd])) ++wordEnd;
      std::string command = Upper(line.substr(pos, wordEnd - pos));
      pos = wordEnd;
      SkipBlanks(line, pos);
      std::string_view rest = line.substr(pos);

      if (command == "OPTION") {
        std::string option = Upper(Trim(rest.substr(0, rest.find(';'))));
        if (option == "EXPLICIT") {
          settings.explicitNames = true;
          continue;
        }
        return fail(lineNumber, "unknown option '" + std::string(rest) + "'");
      }
      if (command == "NEW") {
        std::string what = Upper(Trim(rest.substr(0, rest.find(';'))));
        if (what == "FOLDER") {
          settings.newFolder = true;
          continue;
        }
        return fail(lineNumber, "'.New " + std::string(rest) + "' is not supported: the package has one cabinet");
      }
      if (command != "SET" && command != "DEFINE") {
        return fail(lineNumber, "unknown directive '." + std::string(line.substr(1, wordEnd - 1)) + "'");
      }
      // Name = value
      size_t eq = rest.find('=');
      if (eq == std::string_view::npos) return fail(lineNumber, "'=' is missing");
      std::string name(Trim(rest.substr(0, eq)));
      if (name.empty()) return fail(lineNumber, "the variable name is missing");
      for (char c : name) {
        if (IsBlank(c) || c == '\'' || c == '"') return fail(lineNumber, "'" + name + "' is not a variable name");
      }
      size_t valuePos = pos + eq + 1;
      SkipBlanks(line, valuePos);
      std::string value;
      bool quoted = false;
      std::string tokenError;
      if (!AtEndOrComment(line, valuePos)) {
        if (line[valuePos] == '\'' || line[valuePos] == '"') {
          if (!ReadToken(line, valuePos, value, quoted, tokenError)) return fail(lineNumber, tokenError);
          SkipBlanks(line, valuePos);
          if (!AtEndOrComment(line, valuePos)) return fail(lineNumber, "text after the value");
        } else {
          std::string_view bare = line.substr(valuePos);
          value = std::string(Trim(bare.substr(0, bare.find(';'))));
        }
      }
      std::string upper = Upper(name);
      if (command == "DEFINE") {
        settings.defined.insert(upper);
        continue;
      }
      if (!IsStandardVariable(upper) && settings.defined.count(upper) == 0) {
        if (settings.explicitNames) return fail(lineNumber, "variable '" + name + "' is not defined");
        continue;
      }
      if (upper == "CABINET" || upper == "COMPRESS" || upper == "UNIQUEFILES") {
        bool on = false;
        if (!ParseSwitch(value, on)) return fail(lineNumber, "'" + value + "' is not on or off");
        if (upper == "CABINET") settings.cabinet = on;
        if (upper == "COMPRESS") settings.compress = on;
      } else if (upper == "COMPRESSIONTYPE") {
        std::string type = Upper(value);
        if (type == "LZX" || type.rfind("LZX:", 0) == 0 || type == "QUANTUM") {
          out.notes.push_back(FormatText("line %zu: compression %s is written as MSZIP", lineNumber, value.c_str()));
        } else if (type != "MSZIP") {
          return fail(lineNumber, "unknown compression type '" + value + "'");
        }
      } else if (upper == "CABINETNAMETEMPLATE") {
        if (value.empty()) return fail(lineNumber, "the cabinet name is empty");
        out.cabinetName = ReplaceStar(Utf8ToWide(value));
      } else if (upper == "DISKDIRECTORYTEMPLATE") {
        out.diskDirectory = ReplaceStar(Utf8ToWide(value));
      } else if (upper == "SOURCEDIR") {
        settings.sourceDir = Utf8ToWide(value);
      } else if (upper == "DESTINATIONDIR") {
        settings.destinationDir = Utf8ToWide(value);
      } else if (StartsWithUpper(upper, "MAXDISKSIZE") || upper == "MAXCABINETSIZE") {
        out.notes.push_back(FormatText("line %zu: %s is not applied: one cabinet holds every file", lineNumber,
                                       name.c_str()));
      }
      continue;
    }

    // A file line: source [member] [/parameters]
    size_t pos = 0;
    std::string source;
    std::string member;
    bool quoted = false;
    std::string tokenError;
    if (!ReadToken(line, pos, source, quoted, tokenError)) return fail(lineNumber, tokenError);
    SkipBlanks(line, pos);
    if (!AtEndOrComment(line, pos) && line[pos] != '/') {
      if (!ReadToken(line, pos, member, quoted, tokenError)) return fail(lineNumber, tokenError);
      if (member.empty()) return fail(lineNumber, "the name inside the cabinet is empty");
      SkipBlanks(line, pos);
    }
    while (!AtEndOrComment(line, pos)) {
      std::string parameter;
      if (line[pos] != '/') return fail(lineNumber, "unexpected text after the file names");
      if (!ReadToken(line, pos, parameter, quoted, tokenError)) return fail(lineNumber, tokenError);
      SkipBlanks(line, pos);
    }
    if (source.empty()) return fail(lineNumber, "the source file is empty");
    if (!settings.cabinet) return fail(lineNumber, "files outside a cabinet (Cabinet=off) are not supported");

    DirectiveFileEntry entry;
    entry.line = lineNumber;
    entry.source = Utf8ToWide(source);
    if (!settings.sourceDir.empty() && !IsAbsoluteWindowsPath(entry.source)) {
      entry.source = JoinWindows(settings.sourceDir, entry.source);
    }
    std::wstring name = member.empty() ? entry.source.substr(entry.source.find_last_of(L"\\/") + 1)
                                       : Utf8ToWide(member);
    if (name.empty()) return fail(lineNumber, "no name inside the cabinet");
    entry.member = settings.destinationDir.empty() ? name : JoinWindows(settings.destinationDir, name);
    if (WideToUtf8(entry.member).size() > kMaxMemberNameBytes) {
      return fail(lineNumber, "the name inside the cabinet is longer than 255 bytes");
    }
    if (!members.insert(entry.member).second) {
      return fail(lineNumber, "the name '" + WideToUtf8(entry.member) + "' is already in the cabinet");
    }
    entry.compression = settings.compress ? CabinetCompression::kMszip : CabinetCompression::kNone;
    entry.newFolder = settings.newFolder;
    settings.newFolder = false;
    out.files.push_back(std::move(entry));
  }
  return kSuccess;
}

}  // namespace platform::wine
