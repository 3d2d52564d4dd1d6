// Names cross the operating system boundary here: runtime text is
// single-byte Windows-1252, Linux file names and environment values are
// UTF-8. Also the letter-case rule by which the other platform compared
// file names.
#pragma once

#include <string>
#include <string_view>

namespace tessaly::platform {

// Every byte becomes its Unicode character; the five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control
// characters of the same number, so that every text survives the round trip.
std::string Cp1252ToUtf8(std::string_view text);
// Characters the code page cannot hold become '?'. A byte that is not part of
// a well-formed UTF-8 sequence is kept as it is, so that a name written in a
// single-byte encoding still reaches the runtime.
std::string Utf8ToCp1252(std::string_view text);

// The lower-case partner of a Windows-1252 byte: ASCII letters, the accented
// Latin letters and the pairs Š/š, Œ/œ, Ž/ž, Ÿ/ÿ.
unsigned char FoldCp1252(unsigned char c);
// The comparison key of a UTF-8 name: its Windows-1252 form folded to lower
// case. Two names the other platform held equal have the same key; so does a
// name stored on disk in a single-byte encoding and its UTF-8 spelling.
std::string NameKey(std::string_view utf8);

}  // namespace tessaly::platform
