#include "support/pe_builder.h"

#include <fstream>
#include <map>

#include "support/wine_prefix.h"

namespace pe_builder {
namespace {

void Put16(std::string& s, size_t at, uint16_t v) {
  if (s.size() < at + 2) s.resize(at + 2);
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 4) s.resize(at + 4);
  for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

void Pad4(std::string& s) {
  while (s.size() % 4) s.push_back('\0');
}

}  // namespace

std::string BuildPe(const std::vector<Resource>& resources, bool pe32plus) {
  std::map<uint16_t, std::map<uint16_t, std::map<uint16_t, std::string>>> tree;
  for (const Resource& r : resources) tree[r.type][r.id][r.language] = r.data;

  // Layout: all directories, then the data entries, then the data.
  std::string rsrc;
  size_t offset = 16 + 8 * tree.size();
  std::map<uint16_t, size_t> typeDir;
  std::map<std::pair<uint16_t, uint16_t>, size_t> idDir;
  for (const auto& [type, ids] : tree) {
    typeDir[type] = offset;
    offset += 16 + 8 * ids.size();
  }
  for (const auto& [type, ids] : tree) {
    for (const auto& [id, languages] : ids) {
      idDir[{type, id}] = offset;
      offset += 16 + 8 * languages.size();
    }
  }
  std::vector<size_t> entryOffsets;
  for (const auto& [type, ids] : tree) {
    for (const auto& [id, languages] : ids) {
      for (size_t i = 0; i < languages.size(); ++i) {
        entryOffsets.push_back(offset);
        offset += 16;
      }
    }
  }
  rsrc.resize(offset);
  // Root.
  Put16(rsrc, 14, static_cast<uint16_t>(tree.size()));
  size_t i = 0;
  for (const auto& [type, ids] : tree) {
    Put32(rsrc, 16 + 8 * i, type);
    Put32(rsrc, 16 + 8 * i + 4, 0x80000000u | static_cast<uint32_t>(typeDir[type]));
    ++i;
  }
  size_t leaf = 0;
  for (const auto& [type, ids] : tree) {
    const size_t t = typeDir[type];
    Put16(rsrc, t + 14, static_cast<uint16_t>(ids.size()));
    size_t j = 0;
    for (const auto& [id, languages] : ids) {
      Put32(rsrc, t + 16 + 8 * j, id);
      Put32(rsrc, t + 16 + 8 * j + 4, 0x80000000u | static_cast<uint32_t>(idDir[{type, id}]));
      const size_t d = idDir[{type, id}];
      Put16(rsrc, d + 14, static_cast<uint16_t>(languages.size()));
      size_t k = 0;
      for (const auto& [language, data] : languages) {
        const size_t entry = entryOffsets[leaf++];
        Put32(rsrc, d + 16 + 8 * k, language);
        Put32(rsrc, d + 16 + 8 * k + 4, static_cast<uint32_t>(entry));
        Pad4(rsrc);
        const size_t dataOffset = rsrc.size();
        rsrc += data;
        Put32(rsrc, entry, static_cast<uint32_t>(0x1000 + dataOffset));
        Put32(rsrc, entry + 4, static_cast<uint32_t>(data.size()));
        ++k;
      }
      ++j;
    }
  }

  const uint16_t optionalSize = pe32plus ? 240 : 224;
  std::string file(0x200, '\0');
  file[0] = 'M';
  file[1] = 'Z';
  Put32(file, 0x3C, 0x40);
  Put32(file, 0x40, 0x00004550);
  Put16(file, 0x44, pe32plus ? 0x8664 : 0x014C);
  Put16(file, 0x46, 1);  // sections
  Put16(file, 0x54, optionalSize);
  Put16(file, 0x56, 0x22);
  const size_t optional = 0x58;
  Put16(file, optional, pe32plus ? 0x20B : 0x10B);
  const size_t count = pe32plus ? 108 : 92;
  const size_t directories = pe32plus ? 112 : 96;
  Put32(file, optional + count, 16);
  Put32(file, optional + directories + 16, 0x1000);
  Put32(file, optional + directories + 20, static_cast<uint32_t>(rsrc.size()));
  const size_t section = optional + optionalSize;
  file.replace(section, 5, ".rsrc");
  Put32(file, section + 8, static_cast<uint32_t>(rsrc.size()));
  Put32(file, section + 12, 0x1000);
  const uint32_t rawSize = static_cast<uint32_t>((rsrc.size() + 0x1FF) & ~size_t{0x1FF});
  Put32(file, section + 16, rawSize);
  Put32(file, section + 20, 0x200);
  rsrc.resize(rawSize, '\0');
  return file + rsrc;
}

std::string Utf16z(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
  }
  out.append(2, '\0');
  return out;
}

std::string VersionNode(const std::wstring& key, const std::string& value, bool text,
                        const std::vector<std::string>& children) {
  std::string node(6, '\0');
  node += Utf16z(key);
  Pad4(node);
  node += value;
  for (const std::string& child : children) {
    Pad4(node);
    node += child;
  }
  Put16(node, 0, static_cast<uint16_t>(node.size()));
  Put16(node, 2, static_cast<uint16_t>(text ? value.size() / 2 : value.size()));
  Put16(node, 4, text ? 1 : 0);
  return node;
}

std::string FixedFileInfo(uint16_t a, uint16_t b, uint16_t c, uint16_t d) {
  std::string fixed(52, '\0');
  Put32(fixed, 0, 0xFEEF04BD);
  Put32(fixed, 4, 0x00010000);
  Put32(fixed, 8, (static_cast<uint32_t>(a) << 16) | b);
  Put32(fixed, 12, (static_cast<uint32_t>(c) << 16) | d);
  Put32(fixed, 16, (static_cast<uint32_t>(a) << 16) | b);
  Put32(fixed, 20, (static_cast<uint32_t>(c) << 16) | d);
  Put32(fixed, 40, 0x00040004);  // VOS_NT_WINDOWS32
  Put32(fixed, 44, 1);           // VFT_APP
  return fixed;
}

std::string VersionBlock(const std::string& fixed, const std::vector<uint32_t>& translations,
                         const std::vector<std::pair<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>>>& tables) {
  std::vector<std::string> tableNodes;
  for (const auto& [key, strings] : tables) {
    std::vector<std::string> stringNodes;
    for (const auto& [name, value] : strings) stringNodes.push_back(VersionNode(name, Utf16z(value), true));
    tableNodes.push_back(VersionNode(key, "", true, stringNodes));
  }
  std::vector<std::string> parts;
  if (!tableNodes.empty()) parts.push_back(VersionNode(L"StringFileInfo", "", true, tableNodes));
  if (!translations.empty()) {
    std::string value;
    for (uint32_t t : translations) {
      const size_t at = value.size();
      Put32(value, at, t);
    }
    parts.push_back(VersionNode(L"VarFileInfo", "", true, {VersionNode(L"Translation", value, false)}));
  }
  return VersionNode(L"VS_VERSION_INFO", fixed, false, parts);
}

std::filesystem::path BuildNsisProgram(const std::filesystem::path& folder, const std::string& name,
                                       const std::string& scriptLines, std::string* log) {
  return BuildNsisScript(folder, name,
                         "SilentInstall silent\nRequestExecutionLevel user\n" + scriptLines + "\nSection\nSectionEnd\n", log);
}

std::filesystem::path BuildNsisScript(const std::filesystem::path& folder, const std::string& name,
                                      const std::string& script, std::string* log) {
  const std::filesystem::path source = folder / (name + ".nsi");
  {
    std::ofstream out(source, std::ios::binary);
    out << "Unicode true\nTarget amd64-unicode\nOutFile \"" << name << ".exe\"\n" << script;
  }
  std::string output;
  const int status = RunHostCommand({"makensis", "-V1", source.string()}, {"PATH=/usr/bin:/bin"}, &output);
  if (log) *log = output;
  if (status != 0) return {};
  return folder / (name + ".exe");
}

}  // namespace pe_builder
