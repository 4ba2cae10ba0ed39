#include "model/residue_id.h"

#include <cctype>
#include <climits>

#include "model/error.h"

namespace lorvane {

namespace {

int base36Digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    return -1;
}

}  // namespace

bool decodeHybrid36(const std::string& field, int& value) {
    if (field.size() != 4) return false;
    const bool upper = field[0] >= 'A' && field[0] <= 'Z';
    const bool lower = field[0] >= 'a' && field[0] <= 'z';
    if (!upper && !lower) return false;
    long v = 0;
    for (char c : field) {
        // One case throughout: "A0b0" is neither form.
        if ((upper && c >= 'a' && c <= 'z') || (lower && c >= 'A' && c <= 'Z')) return false;
        const int d = base36Digit(c);
        if (d < 0) return false;
        v = v * 36 + d;
    }
    constexpr long p3 = 36L * 36 * 36;
    // Upper case starts at "A000" = 10 * 36^3 and continues the decimal 9999;
    // lower case starts where upper case ends (26 * 36^3 values later).
    value = static_cast<int>(upper ? v - 10 * p3 + 10000 : v - 10 * p3 + 10000 + 26 * p3);
    return true;
}

ResidueId parseResidueId(const std::string& text, const std::string& option) {
    auto bad = [&](const std::string& why) -> ResidueId { fail(option + " " + text + ": " + why, STATUS_USAGE); };
    if (text.empty()) return bad("empty residue number");
    ResidueId id;
    if (decodeHybrid36(text, id.num)) return id;
    size_t i = 0;
    const bool negative = text[0] == '-';
    if (negative) ++i;
    const size_t digitsFrom = i;
    long long n = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        n = n * 10 + (text[i] - '0');
        if (n > INT_MAX) return bad("residue number out of range");
        ++i;
    }
    if (i == digitsFrom) return bad("not a residue number (expected a number with an optional insertion code, such as 60 or 60A)");
    if (i < text.size()) {
        if (i + 1 != text.size() || !std::isalpha(static_cast<unsigned char>(text[i])))
            return bad("not a residue number (expected a number with an optional insertion code, such as 60 or 60A)");
        id.icode = text[i];
    }
    id.num = static_cast<int>(negative ? -n : n);
    return id;
}

}  // namespace lorvane
