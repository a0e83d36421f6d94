#include "trust/base64.h"

namespace tavrin {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const std::vector<uint8_t>& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        const uint32_t chunk = uint32_t(bytes[i]) << 16 | (left > 1 ? uint32_t(bytes[i + 1]) << 8 : 0) |
                               (left > 2 ? bytes[i + 2] : 0);
        out += kAlphabet[chunk >> 18 & 63];
        out += kAlphabet[chunk >> 12 & 63];
        out += left > 1 ? kAlphabet[chunk >> 6 & 63] : '=';
        out += left > 2 ? kAlphabet[chunk & 63] : '=';
    }
    return out;
}

bool Base64Decode(const std::string& text, std::vector<uint8_t>* bytes, bool allowBreaks) {
    std::string clean;
    for (char c : text) {
        if (allowBreaks && (c == '\r' || c == '\n' || c == ' ' || c == '\t')) continue;
        clean += c;
    }
    if (clean.empty() || clean.size() % 4 != 0) return false;
    std::vector<uint8_t> out;
    out.reserve(clean.size() / 4 * 3);
    for (size_t i = 0; i < clean.size(); i += 4) {
        const bool last = i + 4 == clean.size();
        int v[4];
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            const char c = clean[i + k];
            // Padding only at the very end, and only in the last two places.
            if (c == '=' && last && k >= 2 && (k == 3 || clean[i + 3] == '=')) {
                v[k] = 0;
                ++padding;
                continue;
            }
            v[k] = Value(c);
            if (v[k] < 0) return false;
        }
        const uint32_t chunk = uint32_t(v[0]) << 18 | uint32_t(v[1]) << 12 | uint32_t(v[2]) << 6 | uint32_t(v[3]);
        out.push_back(static_cast<uint8_t>(chunk >> 16));
        if (padding < 2) out.push_back(static_cast<uint8_t>(chunk >> 8));
        if (padding < 1) out.push_back(static_cast<uint8_t>(chunk));
    }
    bytes->swap(out);
    return true;
}

bool PemToDer(const std::string& pem, const std::string& label, std::vector<uint8_t>* der) {
    const std::string begin = "-----BEGIN " + label + "-----";
    const std::string end = "-----END " + label + "-----";
    const size_t from = pem.find(begin);
    if (from == std::string::npos) return false;
    const size_t bodyStart = from + begin.size();
    const size_t to = pem.find(end, bodyStart);
    if (to == std::string::npos) return false;
    return Base64Decode(pem.substr(bodyStart, to - bodyStart), der, true);
}

}  // namespace tavrin
