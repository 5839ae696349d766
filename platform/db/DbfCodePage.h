#pragma once

// The code page of a dBase table's text, as the language-driver byte of its
// header (offset 29) names it.
namespace db {

// The Windows code page the byte names (0x4D gives 936, 0x03 gives 1252,
// ...); 0 for a byte of 0 or one that names no code page the reader knows,
// which leaves the table to the Chinese code page.
[[nodiscard]] int CodePageOfDriver(unsigned char driver);

} // namespace db
