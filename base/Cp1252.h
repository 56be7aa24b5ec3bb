#pragma once
// The one 8-bit code page of the program: Windows-1252. ID3v1 text, ID3v2 ISO-8859-1 text and
// file-name bytes that are not UTF-8 are all shown through it.
#include <cstdint>
#include <string>
#include <string_view>

char16_t Cp1252ToChar(std::uint8_t byte);
std::u16string Cp1252ToUtf16(std::string_view bytes);
