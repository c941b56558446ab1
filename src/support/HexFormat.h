// Small text helpers shared by the front ends and the protocol layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends each byte as two lower-case hex digits, separated by single spaces
// (no leading or trailing space).
void AppendHexBytes(std::string& out, const uint8_t* bytes, size_t count);

// Reads an unsigned number the way the panel reads its fields: leading blanks
// skipped, optional 0x/0X prefix, stops at the first non-digit, no digits gives 0,
// a value too large for 32 bits gives 0xFFFFFFFF. At most maxChars characters of
// text are looked at (0 means all).
uint32_t ParseHexField(const std::string& text, size_t maxChars = 0);

// Strict parse for command lines: the whole text must be a number in the given
// base (16 accepts an optional 0x prefix) that fits 32 bits. Returns false otherwise.
bool ParseStrictNumber(const std::string& text, int base, uint32_t& value);
