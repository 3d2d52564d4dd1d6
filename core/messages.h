// Numbered messages: every text a user sees is asked for by a four-digit
// number text ("0040") in the current language.
//
// Where a message comes from, in this order:
//   1. the language file "KV_LANG_<code>.MSJ", when one is loaded: the text
//      it gives that number, empty when it has none;
//   2. a request longer than four characters carries its own default text
//      from position 5 ("0040 View Log?" gives "View Log?");
//   3. the built-in English catalogue; empty for an unknown number.
//
// Language files. The language code is environment slot 4 (string table 0,
// item 4; "*" when empty) and the file is looked for in the first folder of
// slot 5 (a list separated by ',' or ';'). Each line is a four-digit number,
// one separator character and the text, in which the two characters "\n"
// stand for CR LF. Numbers ascend through the file; the numbers a file skips
// read as empty texts. The texts are kept together in string table 9, slot 2,
// with an index of end offsets covering every number from the file's first
// to its last, so a file may span the whole 0001-9999 range (at most 9999
// index entries of 2 bytes). Lines that cannot be used are skipped: a number
// that reads as 0 or is not above the previous line's, and lines beyond the
// 65535 bytes a text slot holds. A file without any usable line leaves the
// built-in catalogue in use.
//
// The load is tried on the first request, and again whenever the language
// code or the first folder of slot 5 has changed since the last try, so the
// start-up sequence may settle the language and folders after the first
// message was asked for. ResetLanguage forgets everything and tries afresh.
//
// The core cannot open files: the data layer installs a line reader
// (SetLineFileReader) at start-up. Without one, or when the file is absent,
// an optional supplier (SetLanguageLinesSupplier) may queue the lines
// instead; otherwise the built-in catalogue is used.
//
// Lifetime: a message slice points into the catalogue (static) or into string
// table 9 slot 2 (valid until the language is loaded again or reset), or is a
// part of the request text. Copy it before changing the language.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <span>

#include "core/slice.h"

namespace tessaly {

// ---- Message by number --------------------------------------------------

// The text of the message whose number is the first four characters of
// `number_text` (see above for the lookup order).
Slice Message(Slice number_text);
// The message with this number (1-9999), without a default text.
Slice Message(int number);
// The built-in English text of `number`; empty when the catalogue has none.
Slice BuiltInMessage(int number);

// ---- Language files -------------------------------------------------------

inline constexpr char kLanguageCodes[] = "EN,ES,FR,DE,IT";
inline constexpr char kLanguageSuffixes[] = "_en,_es,_fr,_de,_it";
inline constexpr char kLanguageFileFormat[] = "KV_LANG_%s.MSJ";
inline constexpr int kLanguageFileNameLimit = 15;

// Reads the lines of a text file onto string table 37 (a queue), in file
// order, and returns how many it queued, or -1 when the file cannot be
// opened. `file_name` is written as the runtime writes paths ('\'
// separators); the reader translates it.
using LineFileReader = int (*)(Slice file_name);
void SetLineFileReader(LineFileReader reader);
LineFileReader GetLineFileReader();

// Queues the message lines of `language_code` on string table 37, in the
// language file's own form, when no language file exists; returns their
// count (0 or -1: none).
using LanguageLinesSupplier = int (*)(Slice language_code);
void SetLanguageLinesSupplier(LanguageLinesSupplier supplier);

enum class LanguageState {
  kNotTried,  // no message asked for since the start or the last reset
  kBuiltIn,   // no usable language file: the built-in catalogue answers
  kLoaded,    // a language file's texts answer
};
LanguageState CurrentLanguageState();
// Tries to load the language file now, whatever the state. Returns 0 when a
// file (or the supplier's lines) loaded, 164 when none was found (the
// built-in catalogue answers), or the status that stopped the load.
Status LoadLanguage();
// Forgets the loaded texts; the next request tries the load again.
void ResetLanguage();

// 1-5: the position of the language code (slot 4) in "EN,ES,FR,DE,IT";
// 0 when the code is none of them.
int LanguageNumber();
// `file_name` with the suffix of language `n` (1-5; 0: the current language)
// inserted before its extension: "index.html" -> "index_es.html". A base
// that carries an extension of its own gets the suffix before that one too,
// so the suffix goes before the first '.' of the last path component. The
// name comes back unchanged when the language number is not 1-5. On the
// string area.
Slice LanguageVariant(Slice file_name, int n = 0);

// ---- Format message -----------------------------------------------------

// Limits of formatted messages.
inline constexpr int kMessageLimit = 384;
inline constexpr int kAboutBoxLimit = 1024;

// One value for a format: a text or an integer.
class FormatArg {
 public:
  FormatArg(Slice text) : text_(text), is_text_(true) {}        // NOLINT: implicit by design
  FormatArg(const char* text) : text_(text), is_text_(true) {}  // NOLINT
  template <std::integral T>
  FormatArg(T n) : number_(static_cast<int64_t>(n)) {}  // NOLINT

  bool is_text() const { return is_text_; }
  Slice text() const { return text_; }
  int64_t number() const { return number_; }

 private:
  Slice text_;
  int64_t number_ = 0;
  bool is_text_ = false;
};

// Formats `format` with `args` the way the C library's printf does for the
// conversions messages use: %s, %d, %i, %u, %x, %X, %c and %%, with the
// flags '-' and '0', a width and (for %s) a precision; length modifiers
// (l, ll, h, z) are accepted and ignored. A text given to a number
// conversion is written as it is, a number given to %s in decimal; an error
// slice value writes nothing and a missing value writes nothing.
// The result is on the string area. When it would be `limit` + 1 bytes or
// longer, the error slice 146 (recorded with area 16). An error slice as
// format is passed on.
Slice FormatMessageV(int limit, Slice format, std::span<const FormatArg> args);
template <typename... Args>
Slice FormatMessage(int limit, Slice format, const Args&... args) {
  const FormatArg list[] = {FormatArg(args)..., FormatArg(Slice())};
  return FormatMessageV(limit, format, std::span<const FormatArg>(list, sizeof...(Args)));
}

}  // namespace tessaly
