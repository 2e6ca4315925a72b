#pragma once
#include <string>

// The numbered texts of the program: page texts, messages and progress lines. The numbers are
// the contract with the pages and the engine; the wording is ours. Texts used as formats carry
// printf-style arguments (%d, %s), which the caller fills in. An unknown number gives an empty
// text.
std::wstring MessageText(int number);
