#pragma once

#include <string>
#include <string_view>

namespace brownian {

/// The rules by which the settings dialog reads numbers from what a person typed. Texts are
/// UTF-8. Full-width digits, signs (＋ － and the minus sign −), the full-width point, the
/// full-width e and E and the ideographic space count as their ASCII forms everywhere, so
/// "７" reads as 7 and "　５　" as 5. Blanks are the space, the tab, CR, LF and the ideographic
/// space.

/// True when the whole text, blanks around it ignored, is one plain decimal number: an optional
/// sign, digits with an optional decimal point (".5" and "5." included), and an optional
/// exponent (e or E, optional sign, digits). Thousands separators, currency signs and
/// hexadecimal prefixes are not numbers.
bool isNumeric(std::string_view text);

/// The number at the start of the text, read after every blank is dropped; 0 when the text does
/// not begin with a number (the empty text included). Trailing characters that are not part of
/// the number are ignored ("12abc" is 12, "1e" is 1). A magnitude beyond the Double range reads
/// as the largest finite Double of its sign, never as an infinity; one too small for it reads
/// as 0 of its sign.
double valueOf(std::string_view text);

/// The plain decimal form of a finite value: no exponent, no leading blank, no "-0", the
/// shortest digits that read back as the same Double ("5", "380", "0.5", "-3").
std::string plainDecimal(double value);

/// The particle count a numeric text stands for, as the text the count field is left with: the
/// value rounded down to an integer, then clamped into 1..10. Result "1" to "10".
std::string normaliseCount(std::string_view numericText);

/// The particle size a numeric text stands for, as the text the size field is left with: the
/// value rounded down to a multiple of 20, then clamped into 200..500 twips.
std::string normaliseSize(std::string_view numericText);

} // namespace brownian
