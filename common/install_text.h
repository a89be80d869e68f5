// The English/Russian text table of the installer and the uninstaller: every
// text they show is looked up here by its English wording.
#pragma once

#include <cstddef>
#include <span>
#include <string>

// One row of the Russian catalogue: the English text (the key) and its Russian
// partner, both UTF-8.
struct TextPair {
    const char* english;
    const char* russian;
};

// The English licence agreement; a key of the table like every other text.
extern const char kLicenseAgreementText[];

// The Russian catalogue, in table order.
std::span<const TextPair> russian_text_table();

// Select the catalogue: Russian, or none (English). Safe to call while another
// thread translates.
void select_text_catalogue(bool russian);
// Whether the Russian catalogue is selected.
bool text_catalogue_is_russian();
// Entries of the selected catalogue, two per pair; 0 for English.
size_t text_catalogue_entries();

// With the Russian catalogue: the Russian partner of the first key that equals
// english byte for byte; otherwise, or when no key matches, english itself.
// The result lives as long as the program (or as english).
const char* translate_text(const char* english);

// A designed text as GTK shows it: without the carriage returns of "\n\r",
// and "&" mnemonics as "_".
std::string shown_text(const char* text);
std::string mnemonic_text(const char* text);
