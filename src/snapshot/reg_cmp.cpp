#include "snapshot/reg_cmp.h"

#include <algorithm>
#include <bit>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "snapshot/reg_snapshot_text.h"

// The mapped snapshot bytes are read in place as UTF-16 code units.
static_assert(std::endian::native == std::endian::little, "snapshot files are read in place as UTF-16LE");

namespace {

constexpr size_t kDifferenceFlushSize = 1 << 20;

bool IsKeyLine(std::u16string_view line) { return line.size() >= 2 && line.front() == u'[' && line.back() == u']'; }

// The path inside a key line's brackets, without the backslash that closes a whole root ("[HKLM\]").
std::u16string_view KeyPath(std::u16string_view keyLine) {
  std::u16string_view inner = keyLine.substr(1, keyLine.size() - 2);
  if (!inner.empty() && inner.back() == u'\\') inner.remove_suffix(1);
  return inner;
}

// Takes the next "\"-separated component of `path` from `pos`; false when there is none left.
bool NextComponent(std::u16string_view path, size_t& pos, std::u16string_view& component) {
  if (pos > path.size()) return false;
  const size_t end = path.find(u'\\', pos);
  if (end == std::u16string_view::npos) {
    component = path.substr(pos);
    pos = path.size() + 1;
  } else {
    component = path.substr(pos, end - pos);
    pos = end + 1;
  }
  return true;
}

}  // namespace

CRegCmp::CRegCmp() : logger_(CLogger::GetInstance()) {
  one_.path = &firstPath_;
  two_.path = &secondPath_;
}

CRegCmp::~CRegCmp() {
  if (difference_ != nullptr) std::fclose(difference_);
  CLogger::ReleaseInstance(logger_);
}

bool CRegCmp::OpenSnapshot(Side& side, const std::wstring& path) {
  side.map.Close();
  side.text = {};
  side.pos = 0;
  side.has = false;
  side.orderWarned = false;
  const platform::Status status = side.map.Open(path);
  if (status != platform::kSuccess) {
    if (logger_) {
      logger_->Write(1, FormatText("CRegCmp::File_Open_Create - Cannot open file %s: Error %ld:",
                                   WideToUtf8(path).c_str(), static_cast<long>(status)));
    }
    return false;
  }
  // An empty (or one-byte) file reads as a file that has ended at once.
  if (side.map.size() >= 2) {
    side.text = std::u16string_view(reinterpret_cast<const char16_t*>(side.map.data()), side.map.size() / 2);
  }
  return true;
}

bool CRegCmp::OpenDifference(const std::wstring& path) {
  platform::Status status = platform::kSuccess;
  difference_ = platform::OpenFileStream(path, "wb", &status);
  if (difference_ == nullptr) {
    if (logger_) {
      logger_->Write(1, FormatText("CRegCmp::File_Open_Create - Cannot open file %s: Error %ld:",
                                   WideToUtf8(path).c_str(), status));
    }
    return false;
  }
  return true;
}

bool CRegCmp::ReadLine(Side& side, std::u16string_view& line) {
  if (side.pos >= side.text.size()) return false;
  const size_t end = side.text.find(u"\r\n", side.pos, 2);
  if (end == std::u16string_view::npos) {
    // Text after the last line end is not a line.
    side.pos = side.text.size();
    return false;
  }
  line = side.text.substr(side.pos, end - side.pos);
  side.pos = end + 2;
  return true;
}

void CRegCmp::ReadBlock(Side& side) {
  const std::u16string_view previous = side.has ? side.key : std::u16string_view();
  side.has = false;
  side.values.clear();
  side.wideKeyValid = false;
  std::u16string_view line;
  // Lines before the first key line (the header) belong to no key.
  while (ReadLine(side, line)) {
    if (IsKeyLine(line)) {
      side.key = line;
      side.has = true;
      break;
    }
  }
  if (!side.has) return;
  const size_t bodyStart = side.pos;
  size_t lineStart = side.pos;
  while (ReadLine(side, line)) {
    if (IsKeyLine(line)) {
      side.pos = lineStart;
      break;
    }
    if (!line.empty()) side.values.push_back(line);
    lineStart = side.pos;
  }
  side.body = side.text.substr(bodyStart, lineStart - bodyStart);

  // The pass relies on the file being in enumeration order; say so once if it is not.
  if (!previous.empty() && !side.orderWarned && CompareKeys(previous, side.key) >= 0) {
    side.orderWarned = true;
    if (logger_) {
      logger_->Write(2, FormatText("CRegCmp::CompareFiles keys out of registry order in %s: %s after %s",
                                   WideToUtf8(*side.path).c_str(), WideToUtf8(regsnap::ToWide(side.key)).c_str(),
                                   WideToUtf8(regsnap::ToWide(previous)).c_str()));
    }
  }
}

int CRegCmp::CompareNames(std::u16string_view a, std::u16string_view b) {
  regsnap::ToWideInto(nameA_, a);
  regsnap::ToWideInto(nameB_, b);
  const int c = platform::CompareRegistryNames(nameA_, nameB_);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CRegCmp::CompareKeys(std::u16string_view a, std::u16string_view b) {
  if (a == b) return 0;
  const std::u16string_view pathA = KeyPath(a);
  const std::u16string_view pathB = KeyPath(b);
  size_t posA = 0;
  size_t posB = 0;
  std::u16string_view componentA;
  std::u16string_view componentB;
  for (;;) {
    const bool hasA = NextComponent(pathA, posA, componentA);
    const bool hasB = NextComponent(pathB, posB, componentB);
    if (!hasA && !hasB) return 0;
    if (!hasA) return -1;  // a is an ancestor of b: its block comes first
    if (!hasB) return 1;
    if (componentA != componentB) {
      const int c = CompareNames(componentA, componentB);
      if (c != 0) return c;
    }
  }
}

bool CRegCmp::IsBelow(std::u16string_view key, std::u16string_view ancestor) {
  const std::u16string_view path = KeyPath(key);
  const std::u16string_view top = KeyPath(ancestor);
  size_t pos = 0;
  size_t topPos = 0;
  std::u16string_view component;
  std::u16string_view topComponent;
  while (NextComponent(top, topPos, topComponent)) {
    if (!NextComponent(path, pos, component)) return false;
    if (component != topComponent && CompareNames(component, topComponent) != 0) return false;
  }
  return NextComponent(path, pos, component);
}

CRegCmp::ValueParts CRegCmp::ParseValue(std::u16string_view line) {
  ValueParts parts;
  parts.line = line;
  auto typeAfter = [](std::u16string_view rest) {
    // rest begins with ="; the type runs to the next quote.
    std::u16string_view tail = rest.substr(std::min<size_t>(2, rest.size()));
    const size_t quote = tail.find(u'"');
    return quote == std::u16string_view::npos ? std::u16string_view() : tail.substr(0, quote);
  };
  if (line.size() >= 2 && line[0] == u'@' && line[1] == u'=') {
    parts.nameField = line.substr(0, 1);
    parts.rest = line.substr(1);
    parts.typeText = typeAfter(parts.rest);
    return parts;
  }
  if (!line.empty() && line[0] == u'"') {
    // The name ends at the first quote followed by ="<type>"= ; a name may itself hold =" .
    size_t from = 1;
    for (;;) {
      const size_t p = line.find(u"\"=\"", from, 3);
      if (p == std::u16string_view::npos) break;
      size_t q = p + 3;
      if (q < line.size() && line[q] == u'-') ++q;
      const size_t digits = q;
      while (q < line.size() && line[q] >= u'0' && line[q] <= u'9') ++q;
      if (q > digits && line.substr(q, 3) == u"\"=\"") {
        parts.nameField = line.substr(0, p + 1);
        parts.nameKey = line.substr(1, p - 1);
        parts.rest = line.substr(p + 1);
        parts.typeText = line.substr(p + 3, q - (p + 3));
        return parts;
      }
      from = p + 1;
    }
  }
  // Not in the snapshot's form: the name is what comes before the first =" (the whole line if
  // there is none).
  const size_t q = line.find(u"=\"", 0, 2);
  if (q == std::u16string_view::npos) {
    parts.nameField = line;
    parts.nameKey = line;
    return parts;
  }
  parts.nameField = line.substr(0, q);
  parts.nameKey = parts.nameField;
  parts.rest = line.substr(q);
  parts.typeText = typeAfter(parts.rest);
  return parts;
}

std::wstring CRegCmp::TypeName(std::u16string_view typeText) {
  long type = 0;
  bool negative = false;
  size_t i = 0;
  if (!typeText.empty() && typeText[0] == u'-') {
    negative = true;
    i = 1;
  }
  if (i >= typeText.size() || typeText.size() - i > 10) return std::wstring();
  for (; i < typeText.size(); ++i) {
    if (typeText[i] < u'0' || typeText[i] > u'9') return std::wstring();
    type = type * 10 + (typeText[i] - u'0');
  }
  if (negative) return std::wstring();
  static const wchar_t* const kNames[] = {L"REG_SZ", L"REG_EXPAND_SZ", L"REG_BINARY", L"REG_DWORD", L"REG_QWORD"};
  auto name = [](int index) {
    return RegTypeNames.size() > static_cast<size_t>(index) ? RegTypeNames[index] : std::wstring(kNames[index]);
  };
  switch (type) {
    case 1: return name(kRegTypeSz);
    case 2: return name(kRegTypeExpandSz);
    case 3: return name(kRegTypeBinary);
    case 4: return name(kRegTypeDword);
    case 11: return name(kRegTypeQword);
    default: return std::wstring();
  }
}

void CRegCmp::WriteDifference(std::u16string_view text) {
  if (difference_ == nullptr) return;
  regsnap::AppendLittleEndian(differenceBuffer_, text);
  if (differenceBuffer_.size() >= kDifferenceFlushSize) FlushDifference();
}

void CRegCmp::FlushDifference() {
  if (difference_ == nullptr || differenceBuffer_.empty()) return;
  if (std::fwrite(differenceBuffer_.data(), 1, differenceBuffer_.size(), difference_) != differenceBuffer_.size() &&
      !differenceFailed_) {
    differenceFailed_ = true;
    if (logger_) {
      logger_->Write(2, FormatText("CRegCmp::CompareFiles - Cannot write file %s: Error %ld:",
                                   WideToUtf8(differencePath_).c_str(), static_cast<long>(platform::kWriteFault)));
    }
  }
  differenceBuffer_.clear();
}

bool CRegCmp::Heading(std::u16string_view key, int kind) {
  if (key == lastHeadingKey_ && kind == lastHeadingKind_) return false;
  lastHeadingKey_ = key;
  lastHeadingKind_ = kind;
  WriteDifference(regsnap::kLineEnd);
  WriteDifference(key);
  WriteDifference(regsnap::kLineEnd);
  return true;
}

void CRegCmp::Report(const wchar_t* category, Side& side, std::u16string_view nameField,
                     std::u16string_view typeText) {
  if (callback_ == nullptr) return;
  if (!side.wideKeyValid) {
    regsnap::ToWideInto(side.wideKey, side.key);
    side.wideKeyValid = true;
  }
  record_.key = side.wideKey;
  if (nameField.empty()) {
    record_.valueName.clear();
    record_.typeName.clear();
  } else {
    regsnap::ToWideInto(record_.valueName, nameField);
    record_.typeName = TypeName(typeText);
  }
  const RegValueRecord copy = record_;
  callback_->OnRegistryChange(category, copy);
  record_.valueName.clear();
  record_.typeName.clear();
}

void CRegCmp::ReportKeyOnly(const wchar_t* category, Side& side) { Report(category, side, {}, {}); }

void CRegCmp::ReportValue(const wchar_t* category, Side& side, const ValueParts& value) {
  // A value line always has a name field; "@" for the default value.
  Report(category, side, value.nameField.empty() ? std::u16string_view(u"\"\"") : value.nameField, value.typeText);
}

void CRegCmp::OnAddedKey() {
  if (Heading(two_.key, 0)) ReportKeyOnly(regcategory::kAdded, two_);
  for (std::u16string_view line : two_.values) {
    WriteDifference(line);
    WriteDifference(regsnap::kLineEnd);
    ReportValue(regcategory::kAdded, two_, ParseValue(line));
  }
}

void CRegCmp::OnDeletedKey() {
  const std::u16string_view deleted = one_.key;
  if (deleted != lastHeadingKey_) {
    lastHeadingKey_ = deleted;
    lastHeadingKind_ = 1;
    WriteDifference(regsnap::kLineEnd);
    WriteDifference(u"[~*");
    WriteDifference(deleted.substr(1));
    WriteDifference(regsnap::kLineEnd);
    ReportKeyOnly(regcategory::kDeleted, one_);
  }
  // Only the top of a deleted subtree is reported; its subkeys go with it.
  do {
    ReadBlock(one_);
  } while (one_.has && IsBelow(one_.key, deleted));
}

void CRegCmp::CompareBlocks() {
  if (one_.body == two_.body) return;

  auto prepare = [](const Side& side, std::vector<ValueParts>& parts, std::vector<std::wstring>& names,
                        std::vector<size_t>& order) {
    parts.clear();
    order.clear();
    if (names.size() < side.values.size()) names.resize(side.values.size());
    for (size_t i = 0; i < side.values.size(); ++i) {
      parts.push_back(ParseValue(side.values[i]));
      regsnap::ToWideInto(names[i], parts.back().nameKey);
      order.push_back(i);
    }
    std::stable_sort(order.begin(), order.end(), [&names](size_t a, size_t b) {
      return platform::CompareRegistryNames(names[a], names[b]) < 0;
    });
  };
  prepare(one_, partsOne_, namesOne_, orderOne_);
  prepare(two_, partsTwo_, namesTwo_, orderTwo_);

  size_t i = 0;
  size_t j = 0;
  while (i < orderOne_.size() || j < orderTwo_.size()) {
    int c;
    if (i == orderOne_.size()) {
      c = 1;
    } else if (j == orderTwo_.size()) {
      c = -1;
    } else {
      c = platform::CompareRegistryNames(namesOne_[orderOne_[i]], namesTwo_[orderTwo_[j]]);
    }
    if (c < 0) {
      const ValueParts& value = partsOne_[orderOne_[i++]];
      if (Heading(one_.key, 1)) ReportKeyOnly(regcategory::kDeleted, one_);
      if (!value.rest.empty()) {
        WriteDifference(u"~* ");
        WriteDifference(value.nameField);
        WriteDifference(u"=");
        WriteDifference(regsnap::kLineEnd);
      }
      ReportValue(regcategory::kDeleted, one_, value);
    } else if (c > 0) {
      const ValueParts& value = partsTwo_[orderTwo_[j++]];
      if (Heading(two_.key, 0)) ReportKeyOnly(regcategory::kAdded, two_);
      WriteDifference(value.line);
      WriteDifference(regsnap::kLineEnd);
      ReportValue(regcategory::kAdded, two_, value);
    } else {
      const ValueParts& before = partsOne_[orderOne_[i++]];
      const ValueParts& after = partsTwo_[orderTwo_[j++]];
      if (before.rest == after.rest) continue;
      if (Heading(two_.key, 0)) ReportKeyOnly(regcategory::kModified, two_);
      WriteDifference(after.line);
      WriteDifference(regsnap::kLineEnd);
      ReportValue(regcategory::kModified, two_, after);
    }
  }
}

bool CRegCmp::CompareFiles(const std::wstring& firstFile, const std::wstring& secondFile,
                           const std::wstring& differenceFile) {
  CTraceScope trace(logger_, "CRegCmp::CompareFiles");
  if (!firstFile.empty()) firstPath_ = firstFile;
  if (!secondFile.empty()) secondPath_ = secondFile;
  if (!differenceFile.empty()) differencePath_ = differenceFile;

  if (!OpenSnapshot(one_, firstPath_) || !OpenSnapshot(two_, secondPath_)) {
    one_.map.Close();
    two_.map.Close();
    return false;
  }
  if (difference_ != nullptr) {
    std::fclose(difference_);
    difference_ = nullptr;
  }
  differenceBuffer_.clear();
  differenceFailed_ = false;
  if (!differencePath_.empty() && OpenDifference(differencePath_)) WriteDifference(regsnap::kHeaderLine);

  lastHeadingKey_ = {};
  lastHeadingKind_ = -1;
  record_ = RegValueRecord();

  ReadBlock(one_);
  ReadBlock(two_);
  while (one_.has || two_.has) {
    if (!two_.has) {
      OnDeletedKey();
      continue;
    }
    if (!one_.has) {
      OnAddedKey();
      ReadBlock(two_);
      continue;
    }
    const int c = CompareKeys(one_.key, two_.key);
    if (c == 0) {
      CompareBlocks();
      ReadBlock(one_);
      ReadBlock(two_);
    } else if (c > 0) {
      OnAddedKey();
      ReadBlock(two_);
    } else {
      OnDeletedKey();
    }
  }

  FlushDifference();
  if (difference_ != nullptr) {
    if (std::fclose(difference_) != 0 && !differenceFailed_ && logger_) {
      logger_->Write(2, FormatText("CRegCmp::CompareFiles - Cannot write file %s: Error %ld:",
                                   WideToUtf8(differencePath_).c_str(), static_cast<long>(platform::kWriteFault)));
    }
    difference_ = nullptr;
  }
  lastHeadingKey_ = {};
  one_.has = two_.has = false;
  one_.map.Close();
  two_.map.Close();
  return true;
}
