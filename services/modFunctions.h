#pragma once
// Language texts, number texts and the small text helpers shared by all modules.
#include <string>

namespace modFunctions {

// `text` without the leading and trailing characters found in `blanks`
// (by default space, tab, CR, LF, VT and FF).
std::string Trim(const std::string& text, const char* blanks = " \t\r\n\v\f");

// Whether two names are equal when ASCII letters are compared without case
// ("Ports" and "PORTS"); other bytes must match exactly.
bool EqualIgnoringCase(const std::string& a, const std::string& b);

// Language offset: 0 German, 1000 English (added to the German text id).
constexpr int German = 0;
constexpr int English = 1000;
int LanguageOffset();
void SetLanguageOffset(int offset);

// Text of German id `id` in the current language (neutral ids 1-29, 800-999 are
// read without the offset). A missing id gives "".
std::string GetText(int id);

// Decimal separator of the user's locale ('.' or ','); injectable for tests.
char DecimalSeparator();
void SetDecimalSeparator(char separator);

// A number as the program shows it in text: at most 15 significant digits,
// no trailing zeros, the locale's decimal separator (0.1 + 0.2 gives "0.3").
// Magnitudes from 1E-4 up to below 1E15 are written out ("0.0001",
// "123456789012345"); others get an exponent ("1E+15", "2,5E-05").
// The text of a finite number always reads back as a finite number: where
// rounding would pass the largest double, the digits are rounded toward zero.
std::string NumberText(double x);

// Reads a number written by people or by NumberText: optional sign, digits,
// one decimal separator, optional exponent ("1E+16"), blanks around it allowed.
// The locale's separator is the decimal separator; the other of ',' and '.'
// is taken as the decimal separator too when it occurs exactly once and the
// locale's does not occur ("12.5" on a German system is 12.5), otherwise it
// groups thousands and is skipped. False (value untouched) for anything else.
bool ParseNumber(const std::string& text, double& value);

// "0", "0.0", "0.00"...: a number pattern with as many decimals as x has in its text.
std::string DecimalsPattern(double x);

}  // namespace modFunctions
