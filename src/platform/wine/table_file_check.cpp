#include "platform/wine/table_file_check.h"

#include <glib.h>

#include <cerrno>
#include <cstdlib>
#include <unordered_set>
#include <vector>

#include "core/strings.h"

namespace platform::wine {
namespace {

std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

struct ColumnType {
  char kind = 's';  // s, l, i, v (lower case)
  bool nullable = false;
  int width = 0;
};

bool ParseType(std::string_view text, ColumnType& type) {
  if (text.empty()) return false;
  char c = text[0];
  type.nullable = (c >= 'A' && c <= 'Z');
  if (type.nullable) c = static_cast<char>(c - 'A' + 'a');
  if (c != 's' && c != 'l' && c != 'i' && c != 'v' && c != 'g' && c != 'j') return false;
  type.kind = (c == 'g') ? 's' : (c == 'j') ? 'i' : c;
  std::string digits(text.substr(1));
  if (digits.empty()) return false;
  for (char d : digits) {
    if (d < '0' || d > '9') return false;
  }
  type.width = std::atoi(digits.c_str());
  return true;
}

bool ParseInteger(std::string_view text, long long& value) {
  std::string s(text);
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(s.c_str(), &end, 10);
  return errno == 0 && end != nullptr && *end == '\0';
}

}  // namespace

bool CheckTableFile(std::string_view text, TableFileFacts& facts, std::string& problem) {
  facts = TableFileFacts{};
  if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
    problem = "the file is not UTF-8 text";
    return false;
  }
  // Lines end in CR LF or LF; a CR anywhere else would end a row inside a value.
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = (lf == std::string_view::npos) ? text.size() : lf;
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find('\r') != std::string_view::npos) {
      problem = FormatText("line %zu: a carriage return inside a value", lines.size() + 1);
      return false;
    }
    lines.push_back(line);
    start = (lf == std::string_view::npos) ? text.size() : lf + 1;
  }
  if (lines.size() < 3) {
    problem = "the file has fewer than the three header lines";
    return false;
  }
  std::vector<std::string_view> third = SplitFields(lines[2]);
  if (third.size() >= 2 && third[1] == "_ForceCodepage") {
    long long codepage = 0;
    if (!ParseInteger(third[0], codepage) || codepage < 0 || codepage > 65535) {
      problem = "line 3: the code page is not a number";
      return false;
    }
    facts.table = "_ForceCodepage";
    facts.codepageOnly = true;
    facts.codepage = static_cast<int>(codepage);
    return true;
  }

  std::vector<std::string_view> names = SplitFields(lines[0]);
  std::vector<std::string_view> typeTexts = SplitFields(lines[1]);
  if (names.size() != typeTexts.size() || names.empty() || names[0].empty()) {
    problem = "lines 1 and 2: column names and types do not match";
    return false;
  }
  std::vector<ColumnType> types(typeTexts.size());
  for (size_t i = 0; i < typeTexts.size(); ++i) {
    if (!ParseType(typeTexts[i], types[i])) {
      problem = FormatText("line 2: unknown column type '%s'", std::string(typeTexts[i]).c_str());
      return false;
    }
  }
  if (third.size() < 2 || third[0].empty()) {
    problem = "line 3: the table name and its key columns are missing";
    return false;
  }
  facts.table = std::string(third[0]);
  std::vector<size_t> keyColumns;
  for (size_t k = 1; k < third.size(); ++k) {
    size_t found = names.size();
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == third[k]) found = i;
    }
    if (found == names.size()) {
      problem = FormatText("line 3: key column '%s' is not a column", std::string(third[k]).c_str());
      return false;
    }
    keyColumns.push_back(found);
  }

  // Trailing empty lines are the end of the file, not rows.
  size_t last = lines.size();
  while (last > 3 && lines[last - 1].empty()) --last;
  std::unordered_set<std::string> keys;
  for (size_t n = 3; n < last; ++n) {
    std::vector<std::string_view> fields = SplitFields(lines[n]);
    if (fields.size() != names.size()) {
      problem = FormatText("line %zu: %zu fields where the table has %zu columns", n + 1, fields.size(),
                           names.size());
      return false;
    }
    for (size_t i = 0; i < fields.size(); ++i) {
      const ColumnType& type = types[i];
      if (fields[i].empty()) {
        if (!type.nullable) {
          problem = FormatText("line %zu: column '%s' must have a value", n + 1, std::string(names[i]).c_str());
          return false;
        }
        continue;
      }
      if (type.kind == 'v') {
        // The engine would read the stream from <current folder>/<table>/<value>, which depends on
        // the process's current folder; streams are set through records instead.
        problem = FormatText("line %zu: stream column '%s' cannot be filled from a table file", n + 1,
                             std::string(names[i]).c_str());
        return false;
      }
      if (type.kind == 'i') {
        long long value = 0;
        long long limit = (type.width == 2) ? 32767 : 2147483647;
        if (!ParseInteger(fields[i], value) || value < -limit || value > limit) {
          problem = FormatText("line %zu: '%s' is not a valid value of integer column '%s'", n + 1,
                               std::string(fields[i]).c_str(), std::string(names[i]).c_str());
          return false;
        }
      }
    }
    std::string key;
    for (size_t k : keyColumns) {
      key.append(fields[k]);
      key.push_back('\t');
    }
    if (!keys.insert(key).second) {
      problem = FormatText("line %zu: the key is already used by an earlier row", n + 1);
      return false;
    }
    ++facts.rows;
  }
  return true;
}

}  // namespace platform::wine
