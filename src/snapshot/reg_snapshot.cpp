#include "snapshot/reg_snapshot.h"


#include "core/logger.h"
#include "core/message_texts.h"
#include "core/status_values.h"
#include "core/strings.h"
#include "platform/file_system.h"
#include "snapshot/reg_snapshot_text.h"

namespace {

constexpr char16_t kHexDigits[] = u"0123456789abcdef";

void AppendHexByte(std::u16string& out, uint8_t byte) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 0x0F]);
}

}  // namespace

CRegSnapshot::CRegSnapshot() : logger_(CLogger::GetInstance()) {}

CRegSnapshot::~CRegSnapshot() {
  if (file_ != nullptr) {
    if (std::fclose(file_) != 0) {
      LogError(2, FormatText("CRegSnapshot::WriteFile_Unicode - Error %ld:", static_cast<long>(platform::kWriteFault)));
    }
    file_ = nullptr;
  }
  if (failedWrites_ > 1) {
    LogError(2, FormatText("CRegSnapshot::WriteFile_Unicode - %lu writes to %s failed", failedWrites_,
                           WideToUtf8(fileName_).c_str()));
  }
  CLogger::ReleaseInstance(logger_);
}

void CRegSnapshot::LogError(int level, const std::string& text) {
  if (logger_ != nullptr) logger_->Write(level, text);
}

bool CRegSnapshot::File_Open_Create(const std::wstring& fileName) {
  fileName_ = fileName;
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  platform::Status status = platform::kSuccess;
  file_ = platform::OpenFileStream(fileName, "wb", &status);
  if (file_ == nullptr) {
    LogError(1, FormatText("CRegSnapshot::File_Open_Create - Cannot open file %s: Error %ld:",
                           WideToUtf8(fileName).c_str(), static_cast<long>(status)));
    return false;
  }
  // Whole registries give files of tens of megabytes: write in large pieces.
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
  return true;
}

void CRegSnapshot::WriteFile_Unicode(const char16_t* chars, size_t count) {
  if (count == 0) return;
  bool ok = false;
  if (file_ != nullptr) {
    bytes_.clear();
    regsnap::AppendLittleEndian(bytes_, std::u16string_view(chars, count));
    ok = std::fwrite(bytes_.data(), 1, bytes_.size(), file_) == bytes_.size();
  }
  if (!ok) {
    ++failedWrites_;
    // A file that cannot be written fails on every line; one message says it.
    if (!writeFailureLogged_) {
      writeFailureLogged_ = true;
      const platform::Status status = file_ == nullptr ? platform::kInvalidHandle : platform::kWriteFault;
      LogError(2, FormatText("CRegSnapshot::WriteFile_Unicode - Error %ld:", static_cast<long>(status)));
    }
  }
}

platform::Status CRegSnapshot::TakeFirstSnapShot(const std::wstring& rootName, platform::RootKey root,
                                                 const std::wstring& startPath) {
  rootName_ = rootName;
  rootNameNarrow_ = WideToUtf8(rootName);
  root_ = root;
  startPath_ = startPath;
  WriteFile_Unicode(regsnap::kHeaderLine.data(), regsnap::kHeaderLine.size());
  return GetSnapShot(root, startPath);
}

std::u16string CRegSnapshot::DataText(uint32_t type, const std::vector<uint8_t>& data, bool& known) {
  known = true;
  std::u16string text;
  auto byteAt = [&data](size_t i) -> uint8_t { return i < data.size() ? data[i] : 0; };
  switch (type) {
    case platform::kRegSz: {
      // The stored characters up to the first NUL; an odd last byte pairs with a zero byte.
      const size_t units = (data.size() + 1) / 2;
      for (size_t i = 0; i < units; ++i) {
        const char16_t unit = static_cast<char16_t>(byteAt(2 * i) | (byteAt(2 * i + 1) << 8));
        if (unit == 0) break;
        text.push_back(unit);
      }
      break;
    }
    case platform::kRegDword:
      for (int i = 3; i >= 0; --i) AppendHexByte(text, byteAt(static_cast<size_t>(i)));
      break;
    case platform::kRegDwordBigEndian:
      for (size_t i = 0; i < 4; ++i) AppendHexByte(text, byteAt(i));
      break;
    case platform::kRegNone:
    case platform::kRegExpandSz:
    case platform::kRegBinary:
    case platform::kRegLink:
    case platform::kRegMultiSz:
    case 8:  // REG_RESOURCE_LIST
    case 9:  // REG_FULL_RESOURCE_DESCRIPTOR
    case 10:  // REG_RESOURCE_REQUIREMENTS_LIST
    case platform::kRegQword:
      text.reserve(data.size() * 3);
      for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) text.push_back(u',');
        AppendHexByte(text, data[i]);
      }
      break;
    default:
      known = false;
      break;
  }
  return text;
}

platform::Status CRegSnapshot::GetValues_Vect(const platform::RegistryKey& key, const std::wstring& path,
                                              uint32_t /*maxNameLength*/, uint32_t /*maxDataSize*/,
                                              uint32_t valueCount) {
  // The registry interface hands each value over in buffers of its exact size, so a value that
  // grew since the key was queried is read whole; nothing is read past its data.
  platform::Status status = platform::kSuccess;
  std::wstring name;
  std::vector<uint8_t> data;
  for (uint32_t index = 0; index < valueCount; ++index) {
    uint32_t type = 0;
    name.clear();
    data.clear();
    status = key.EnumValue(index, name, type, data);
    if (status == platform::kNoMoreItems) break;
    if (status != platform::kSuccess) {
      // A value that cannot be read is left out; the others of the key are still written.
      LogError(2, FormatText("CRegSnapshot::GetValues_Vect - RegEnumValue: Cannot read value %u of %s\\%s: Error %ld:",
                             index, rootNameNarrow_.c_str(), WideToUtf8(path).c_str(), static_cast<long>(status)));
      continue;
    }
    ValueEntry entry;
    entry.name = name;
    entry.type = type;
    entry.size = static_cast<uint32_t>(data.size());
    bool known = true;
    entry.dataText = DataText(type, data, known);
    if (!known) {
      LogError(2, FormatText("CRegSnapshot::GetValues_Vect- GetValue: Unknown registry type %d for %s\\%s",
                             static_cast<int>(type), rootNameNarrow_.c_str(), WideToUtf8(path).c_str()));
    }
    values_.push_back(std::move(entry));
  }
  return status == platform::kNoMoreItems ? platform::kSuccess : status;
}

platform::Status CRegSnapshot::GetSnapShot(platform::RootKey root, const std::wstring& path) {
  if (CancelRequest.IsRequested()) return platform::kCancelled;
  platform::RegistryKey key;
  platform::Status status = key.Open(root, path);
  if (status != platform::kSuccess) {
    if (status == platform::kAccessDenied) {
      LogError(2, FormatText("CRegSnapshot::GetSnapShot - RegOpenKeyEx: Access Denied %s\\%s: Error %ld:",
                             rootNameNarrow_.c_str(), WideToUtf8(path).c_str(), static_cast<long>(status)));
    } else {
      LogError(1, FormatText("CRegSnapshot::GetSnapShot - RegOpenKeyEx: Cannot open key %s\\%s: Error %ld:",
                             rootNameNarrow_.c_str(), WideToUtf8(path).c_str(), static_cast<long>(status)));
    }
    return status;
  }

  const long counted = KeyCounter.fetch_add(1) + 1;
  std::wstring detail = MessageText(153);
  ReplaceAll(detail, L"%d", std::to_wstring(counted));
  StatusDetail.Set(detail);

  platform::RegistryKeyInfo info;
  status = key.QueryInfo(info);
  if (status != platform::kSuccess) {
    LogError(2, FormatText("CRegSnapshot::GetSnapShot(RegQueryInfoKey)-Cannot open key %s\\%s: Error %ld:",
                           rootNameNarrow_.c_str(), WideToUtf8(path).c_str(), static_cast<long>(status)));
    key.Close();
    return status;
  }

  values_.clear();
  if (info.valueCount > 0) {
    GetValues_Vect(key, path, info.maxValueNameLength, info.maxValueDataSize, info.valueCount);
  }

  // The key block.
  line_.clear();
  line_.push_back(u'[');
  regsnap::AppendWide(line_, rootName_);
  line_.push_back(u'\\');
  regsnap::AppendWide(line_, path);
  line_.append(u"]\r\n");
  for (const ValueEntry& value : values_) {
    if (value.name.empty()) {
      line_.append(u"@");
    } else {
      line_.push_back(u'"');
      regsnap::AppendWide(line_, value.name);
      line_.push_back(u'"');
    }
    line_.append(u"=\"");
    regsnap::AppendWide(line_, std::to_wstring(static_cast<int>(value.type)));
    line_.append(u"\"=\"");
    line_.append(value.dataText);
    line_.append(u"\"\r\n");
  }
  line_.append(regsnap::kLineEnd);
  WriteText(line_);
  values_.clear();
  line_.clear();

  // The subkeys: names first, then each subtree in turn, opened by its full path.
  std::vector<std::wstring> names;
  names.reserve(info.subKeyCount);
  std::wstring name;
  for (uint32_t index = 0;; ++index) {
    name.clear();
    const platform::Status enumStatus = key.EnumKey(index, name);
    if (enumStatus != platform::kSuccess) break;
    names.push_back(name);
  }
  for (const std::wstring& child : names) {
    status = GetSnapShot(root, path.empty() ? child : path + L'\\' + child);
    if (status == platform::kCancelled) break;
  }
  key.Close();
  return status;
}
