#include "download/status_text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string_view>

#include "trust/decimal.h"

namespace tavrin {

namespace {

// Above any real Content-Length, and small enough that the percent arithmetic stays exact.
constexpr uint64_t kMaxTotal = uint64_t(1) << 56;

// continues: the text went on past length (it was cut there), so a lead byte at the end has
// lost its trail byte.
size_t CharBoundary(const char* text, size_t length, size_t maxBytes,
                    const LeadBytePredicate& isLead, bool continues) {
    size_t i = 0;
    while (i < length) {
        bool paired = i + 1 < length || continues;
        size_t width = (paired && isLead(static_cast<unsigned char>(text[i]))) ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    return i;
}

std::string Format(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    line[sizeof line - 1] = '\0';
    return line;
}

}  // namespace

bool UrlFileName(const std::string& url, std::string& name) {
    size_t slash = url.rfind('/');
    if (slash == std::string::npos) return false;
    name = url.substr(slash + 1);
    return true;
}

bool IsHttpUrl(const std::string& url) {
    auto startsWith = [&](const char* prefix) {
        size_t n = std::strlen(prefix);
        if (url.size() < n) return false;
        for (size_t i = 0; i < n; ++i) {
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != prefix[i]) return false;
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

namespace {

// The run of decimal digits that starts at text[at] ends here.
size_t DigitsEnd(const std::string& text, size_t at) {
    return std::min(text.find_first_not_of("0123456789", at), text.size());
}

}  // namespace

bool ParseContentLength(const std::string& header, uint64_t& total) {
    total = 0;
    const size_t i = header.find_first_not_of(" \t");
    if (i == std::string::npos) return false;
    const size_t end = DigitsEnd(header, i);
    if (end == i) return false;
    // More digits than a number holds are past any size: the largest one stands for them.
    uint64_t value = kMaxTotal;
    if (end - i <= 19) ParseDecimalDigits(std::string_view(header).substr(i, end - i), 19, &value);
    total = std::min(value, kMaxTotal);
    return true;
}

namespace {

// Decimal digits at text[*at], at most 19 of them; false when there are none or more.
bool TakeNumber(const std::string& text, size_t* at, uint64_t* value) {
    const size_t end = DigitsEnd(text, *at);
    if (!ParseDecimalDigits(std::string_view(text).substr(*at, end - *at), 19, value)) return false;
    *at = end;
    return true;
}

bool Take(const std::string& text, size_t* at, const char* expected) {
    const size_t n = std::strlen(expected);
    if (text.compare(*at, n, expected) != 0) return false;
    *at += n;
    return true;
}

}  // namespace

bool ParseContentRange(const std::string& header, uint64_t from, uint64_t* total) {
    size_t at = 0;
    uint64_t first = 0, last = 0, whole = 0;
    if (!Take(header, &at, "bytes ") || !TakeNumber(header, &at, &first) || !Take(header, &at, "-") ||
        !TakeNumber(header, &at, &last) || !Take(header, &at, "/") ||
        !TakeNumber(header, &at, &whole) || at != header.size())
        return false;
    if (first != from || last >= whole || last + 1 != whole || first > last) return false;
    *total = whole;
    return true;
}

uint16_t PercentOf(uint64_t current, uint64_t total) {
    if (total == 0 || current >= total) return 100;
    if (current > std::numeric_limits<uint64_t>::max() / 100)
        return static_cast<uint16_t>(current / (total / 100));
    return static_cast<uint16_t>(current * 100 / total);
}

void CutText(std::string& text, size_t maxBytes, const LeadBytePredicate& isLead) {
    if (text.size() <= maxBytes) return;
    text.resize(CharBoundary(text.data(), text.size(), maxBytes, isLead, false));
}

void FormatStatusText(char (&buffer)[kStatusTextSize], const LeadBytePredicate& isLead,
                      const char* format, va_list args) {
    int n = std::vsnprintf(buffer, kStatusTextSize, format, args);
    // Some C libraries leave a cut text unterminated or report the cut with -1.
    buffer[kStatusTextSize - 1] = '\0';
    if (n >= 0 && static_cast<size_t>(n) < kStatusTextSize) return;
    size_t length = std::strlen(buffer);
    buffer[CharBoundary(buffer, length, kStatusTextSize - 1, isLead, true)] = '\0';
}

std::string StatusCallbackText(uint32_t status, const void* info, uint32_t infoLength) {
    auto infoText = [&]() {
        if (!info) return std::string();
        const char* s = static_cast<const char*>(info);
        size_t n = 0;
        while (n < infoLength && s[n]) ++n;
        return std::string(s, n);
    };
    switch (status) {
    case 10: return "Resolving name for " + infoText();
    case 11: return "Resolved name for " + infoText();
    case 20: return "Connecting to socket address ";
    case 21: return "Connected to socket address";
    case 30: return "Sending request...";
    case 31: return "Request sent";
    case 40: case 41: case 60: case 70: return std::string();
    case 50: return "Closing the connection to the server";
    case 51: return "Connection to the server closed";
    case 100: {
        if (infoLength != 8 || !info) return std::string();
        uint32_t words[2];
        std::memcpy(words, info, sizeof words);
        return Format("Request complete, dwResult = %8.8X, dwError = %8.8X",
                      static_cast<unsigned>(words[0]), static_cast<unsigned>(words[1]));
    }
    default: return Format("Unknown status: %d", static_cast<int>(status));
    }
}

}  // namespace tavrin
