#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "project/change_types.h"
#include "project/xml_document_handler.h"

// Registry changes as comparable text, for tests of the capture: one line per key, the key and
// then " | name type" per value record.
std::vector<std::wstring> RegChangeLines(const RegKeyMap& map);
// The SubKey elements of one list of a change file, as RegChangeLines gives the map they were
// written from (the writer puts every element first, so the file holds them in reverse).
std::vector<std::wstring> SubKeyListLines(CXMLDocumentHandler& document, const std::wstring& listPath);

// The bytes Wine stores for a string value: UTF-16LE with one NUL unit.
std::vector<uint8_t> StoredString(std::u16string_view text);
std::vector<uint8_t> StoredString(std::wstring_view text);

// The text of a string value of `key`, or "<status N>" when it cannot be read as a string.
std::wstring StringValue(const platform::RegistryKey& key, const std::wstring& name);
