// The texts of the user interface in the language in use, from tables compiled into the program
// (i18n/lang/<code>.txt). set_language, language and effective_language belong to the main
// thread; T, rtl and isolate may be called from any thread at any time, also while the language
// changes: they see either the old or the new language. No call fails or allocates on the lookup
// path.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace i18n {

struct Language {
    std::string code;
    std::string name;  // in the language's own script
    bool rtl;
};

// Chooses the language: a code of the table (also zh-TW, pt_BR: see resolution in i18n.cpp) or
// "auto" (and "" meaning "auto") for the one the environment asks for; anything else gives "en".
void set_language(const std::string& setting);
// The setting as last passed ("auto" before any choice).
std::string language();
// The code of the language in use, always one of the table's codes ("en" before any choice).
std::string effective_language();
// Whether the language in use is written right to left (false before any choice).
bool rtl();
// The text of `key` in the language in use: a pointer into constant tables valid for the whole
// run; a key not in the table comes back as the caller's own pointer, a null key as "".
// Chooses "auto" first when no language was chosen yet.
const char* T(const char* key);
// All languages in table order; built once, shared afterwards.
const std::vector<Language>& languages();

// A part that a line puts beside translated words without being translated itself: numbers with
// their signs, arrows and units, a date, a clock time, a name or a path. In a right-to-left
// language the bidirectional algorithm would otherwise take the part apart (a minus sign after
// its number, an arrow pointing back, a unit torn from its value, a path's first "/" at its
// end), so there the part is set off by Unicode isolates and moves as one unit to where the
// reading puts it: Ltr keeps it left to right (LRI ... PDI), Own gives it the direction of its
// own first letter (FSI ... PDI), for names and paths. In a left-to-right language the part
// comes back unchanged, so those lines stay byte for byte what they always were.
enum class Order { Ltr, Own };
std::string isolate(std::string_view part, Order order = Order::Ltr);
// The largest offset at or before `offset` (itself cut to the text's length) at which `text` may
// be cut: between UTF-8 characters and outside every isolate, so that no unit made by isolate
// loses its end.
size_t cut_point(std::string_view text, size_t offset);

}  // namespace i18n
