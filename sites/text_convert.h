#pragma once
// Conversions and checks shared by the dialogs' number fields and the site list's ordering.

#include <cstdint>
#include <string>

// Converts a whole decimal number: leading blanks, an optional sign, then digits only, within
// the signed 32-bit range. Returns false for anything else (an empty text among them).
bool TryStrToInt(const std::string& text, int32_t& value);

// "'%s' is not a valid integer value" with the text in place of %s.
std::string InvalidIntegerMessage(const std::string& text);

// "<what> <value> is outside the allowed range <min> to <max>; <used> is used."
std::string OutOfRangeNotice(const std::string& what, int32_t value, int32_t min, int32_t max, int32_t used);

// Key filter of the number fields: backspace (8), a digit, or the decimal separator while the
// field holds none yet.
bool IsNumberKeyAccepted(char key, const std::string& fieldText, char decimalSeparator);

// "Please enter a number.  Wrong input: " followed by the refused character.
std::string WrongNumberKeyMessage(char key);

// Compares two byte strings ignoring the case of ASCII letters: <0, 0 or >0.
int CompareTextIgnoreCase(const std::string& a, const std::string& b);
