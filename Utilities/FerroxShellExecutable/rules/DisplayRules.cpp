#include "DisplayRules.h"

#include <climits>
#include <cstring>

namespace {

const int kFields = 4;
const size_t kMaxFieldChars = 11;

bool IsBlank(char ch)
{
    return ch == ' ' || ch == '\t';
}

// One field: blanks around it, an optional sign, then 1+ digits, within int.
bool ParseField(const char* begin, const char* end, int* value)
{
    // The shell and atoi take blanks around a number; so does this, and
    // only what is between them counts towards the length.
    while (begin != end && IsBlank(*begin)) ++begin;
    while (end != begin && IsBlank(end[-1])) --end;
    size_t length = static_cast<size_t>(end - begin);
    if (length == 0 || length > kMaxFieldChars) return false;
    bool negative = false;
    if (*begin == '-' || *begin == '+') {
        negative = *begin == '-';
        ++begin;
    }
    if (begin == end) return false;
    long long number = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9') return false;
        number = number * 10 + (*p - '0');   // at most 11 digits: no overflow of long long
    }
    if (negative) number = -number;
    if (number < INT_MIN || number > INT_MAX) return false;
    *value = static_cast<int>(number);
    return true;
}

} // namespace

bool ParseShellScreenSize(const char* text, ShellRect* rect)
{
    if (!text) return false;
    int values[kFields];
    const char* field = text;
    for (int i = 0; i < kFields; ++i) {
        const char* bar = std::strchr(field, '|');
        bool last = i == kFields - 1;
        if (last != (bar == nullptr)) return false;   // fewer or more than four fields
        const char* end = bar ? bar : field + std::strlen(field);
        if (!ParseField(field, end, &values[i])) return false;
        field = end + 1;
    }
    if (values[2] <= 0 || values[3] <= 0) return false;
    *rect = ShellRect{values[0], values[1], values[2], values[3]};
    return true;
}

ShellRect WindowRectForClient(const ShellRect& client, int offsetX, int offsetY, int extraWidth, int extraHeight)
{
    return ShellRect{client.left - offsetX, client.top - offsetY, client.width + extraWidth,
                     client.height + extraHeight};
}
