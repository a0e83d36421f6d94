// The texts and numbers of the status protocol: file names taken from URLs, the percent rule,
// the Content-Length value, texts cut to their buffers, and the diagnostic texts of the HTTP
// library's status callback.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "download/status_codes.h"

namespace tavrin {

using LeadBytePredicate = std::function<bool(unsigned char)>;

// What follows the last "/" of url; false when url has no "/".
bool UrlFileName(const std::string& url, std::string& name);
// True for http:// and https:// URLs (any letter case): only they give HTTP responses.
bool IsHttpUrl(const std::string& url);

// The header's leading decimal digits (after blanks); 0 and false when there are none.
// Values too large for any file saturate.
bool ParseContentLength(const std::string& header, uint64_t& total);
// A Content-Range answer to "Range: bytes=from-": "bytes from-last/total" with last the file's
// last byte; total into *total. False for anything else.
bool ParseContentRange(const std::string& header, uint64_t from, uint64_t* total);
// current * 100 / total, truncated, without overflow and at most 100; 100 when total is 0.
uint16_t PercentOf(uint64_t current, uint64_t total);

// Cuts text to at most maxBytes without splitting a double-byte character.
void CutText(std::string& text, size_t maxBytes, const LeadBytePredicate& isLead);
// printf into a status buffer; a longer text is cut at a character boundary, never overrun.
void FormatStatusText(char (&buffer)[kStatusTextSize], const LeadBytePredicate& isLead,
                      const char* format, va_list args);

// One diagnostic line per status callback; empty where a status has none.
std::string StatusCallbackText(uint32_t status, const void* info, uint32_t infoLength);

}  // namespace tavrin
