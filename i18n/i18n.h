// The texts of the user interface in the language in use, from tables compiled into the program
// (i18n/lang/<code>.txt). set_language, language and effective_language belong to the main
// thread; T and rtl may be called from any thread at any time, also while the language changes:
// they see either the old or the new language. No call fails or allocates on the lookup path.
#pragma once
#include <string>
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

}  // namespace i18n
