#include "numeric_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace brownian {

namespace {

/// Decodes one UTF-8 sequence at `pos`; returns its code point and advances `pos`, or returns
/// -1 (and advances by one byte) for a byte that starts no valid sequence.
long decodeOne(std::string_view s, std::size_t &pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b0 = byte(pos);
    int length = 0;
    long cp = 0;
    if (b0 < 0x80) {
        ++pos;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        ++pos;
        return -1;
    }
    if (pos + length > s.size()) {
        ++pos;
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    pos += length;
    return cp;
}

/// The ASCII character a full-width or typographic variant stands for, or 0.
char asciiFormOf(long cp)
{
    if (cp >= 0xFF10 && cp <= 0xFF19)
        return static_cast<char>('0' + (cp - 0xFF10));
    switch (cp) {
    case 0xFF0B: // ＋
        return '+';
    case 0xFF0D: // －
    case 0x2212: // − minus sign
        return '-';
    case 0xFF0E: // ．
        return '.';
    case 0xFF45: // ｅ
        return 'e';
    case 0xFF25: // Ｅ
        return 'E';
    case 0x3000: // ideographic space
        return ' ';
    default:
        return 0;
    }
}

/// The text with the full-width forms replaced by ASCII; every other character is kept as it
/// was, so it still stops a number.
std::string toAsciiForms(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t start = pos;
        const long cp = decodeOne(text, pos);
        const char ascii = cp > 0x7F ? asciiFormOf(cp) : 0;
        if (ascii)
            out.push_back(ascii);
        else
            out.append(text.substr(start, pos - start));
    }
    return out;
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// The parts of a number read from an ASCII text.
struct NumberScan
{
    std::size_t end = 0; ///< one past the last character of the number; the start if none
    bool negative = false;
    std::string_view intDigits, fracDigits;
    long exponent = 0; ///< saturated at +-kExponentLimit
    bool found = false;
};

constexpr long kExponentLimit = 100000;

/// Reads the longest number at `pos`: [sign] digits [. digits] [e [sign] digits], with at least
/// one mantissa digit. An 'e' not followed by digits is not part of the number.
NumberScan scanNumber(std::string_view s, std::size_t pos)
{
    NumberScan scan;
    scan.end = pos;
    std::size_t p = pos;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) {
        scan.negative = s[p] == '-';
        ++p;
    }
    const std::size_t intStart = p;
    while (p < s.size() && isDigit(s[p]))
        ++p;
    scan.intDigits = s.substr(intStart, p - intStart);
    if (p < s.size() && s[p] == '.') {
        ++p;
        const std::size_t fracStart = p;
        while (p < s.size() && isDigit(s[p]))
            ++p;
        scan.fracDigits = s.substr(fracStart, p - fracStart);
    }
    if (scan.intDigits.empty() && scan.fracDigits.empty())
        return scan;
    scan.found = true;
    scan.end = p;
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        std::size_t q = p + 1;
        bool negativeExponent = false;
        if (q < s.size() && (s[q] == '+' || s[q] == '-')) {
            negativeExponent = s[q] == '-';
            ++q;
        }
        if (q < s.size() && isDigit(s[q])) {
            long exponent = 0;
            while (q < s.size() && isDigit(s[q])) {
                exponent = std::min(kExponentLimit, exponent * 10 + (s[q] - '0'));
                ++q;
            }
            scan.exponent = negativeExponent ? -exponent : exponent;
            scan.end = q;
        }
    }
    return scan;
}

/// The decimal order of magnitude of a scanned number with a non-zero mantissa: the power of
/// ten of its first significant digit.
long orderOfMagnitude(const NumberScan &scan)
{
    const auto firstNonZero = [](std::string_view digits) { return digits.find_first_not_of('0'); };
    const std::size_t inInt = firstNonZero(scan.intDigits);
    if (inInt != std::string_view::npos)
        return static_cast<long>(scan.intDigits.size() - inInt - 1) + scan.exponent;
    const std::size_t inFrac = firstNonZero(scan.fracDigits);
    if (inFrac != std::string_view::npos)
        return -static_cast<long>(inFrac + 1) + scan.exponent;
    return std::numeric_limits<long>::min(); // the mantissa is zero
}

/// The Double value of a scanned number; out-of-range magnitudes saturate (see valueOf).
double valueOfScan(const NumberScan &scan)
{
    // A canonical form for the conversion: digits "." digits "e" exponent.
    std::string canonical(scan.intDigits.empty() ? std::string_view("0") : scan.intDigits);
    canonical += '.';
    canonical += scan.fracDigits;
    canonical += 'e';
    canonical += std::to_string(scan.exponent);
    const char *begin = canonical.data();
    const char *end = begin + canonical.size();
    double magnitude = 0.0;
    const auto result = std::from_chars(begin, end, magnitude, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Far beyond the Double range one way or the other: decide which from the digits.
        magnitude = orderOfMagnitude(scan) >= 0 ? std::numeric_limits<double>::max() : 0.0;
    }
    if (std::isinf(magnitude))
        magnitude = std::numeric_limits<double>::max();
    return scan.negative ? -magnitude : magnitude;
}

/// Keeps a value within a range wide enough that clamping it changes no count or size.
double boundedForRounding(double value)
{
    return std::clamp(value, -1e9, 1e9);
}

} // namespace

bool isNumeric(std::string_view text)
{
    const std::string s = toAsciiForms(text);
    std::size_t first = 0;
    while (first < s.size() && isBlank(s[first]))
        ++first;
    std::size_t last = s.size();
    while (last > first && isBlank(s[last - 1]))
        --last;
    const std::string_view trimmed = std::string_view(s).substr(0, last);
    const NumberScan scan = scanNumber(trimmed, first);
    return scan.found && scan.end == last;
}

double valueOf(std::string_view text)
{
    std::string s = toAsciiForms(text);
    s.erase(std::remove_if(s.begin(), s.end(), isBlank), s.end());
    const NumberScan scan = scanNumber(s, 0);
    if (!scan.found)
        return 0.0;
    return valueOfScan(scan);
}

std::string plainDecimal(double value)
{
    if (std::isnan(value))
        value = 0.0;
    value =
        std::clamp(value, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
    if (value == 0.0)
        return "0"; // also for -0
    char buffer[512];
    const auto [ptr, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc())
        return "0";
    return std::string(buffer, ptr);
}

std::string normaliseCount(std::string_view numericText)
{
    double count = std::floor(boundedForRounding(valueOf(numericText)));
    if (count <= 0.0)
        count = 1.0;
    else if (count > 10.0)
        count = 10.0;
    return plainDecimal(count);
}

std::string normaliseSize(std::string_view numericText)
{
    double size = std::floor(boundedForRounding(valueOf(numericText)) / 20.0) * 20.0;
    if (size < 200.0)
        size = 200.0;
    else if (size > 500.0)
        size = 500.0;
    return plainDecimal(size);
}

} // namespace brownian
