#include "updater/install/install_journal.h"

#include "updater/package_names.h"
#include "updater/signed_config.h"

namespace tavrin {
namespace {

constexpr const char* kHead = "tavrin-journal 2";
constexpr size_t kSha256Hex = 64;

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

bool IsLowerHex(const std::string& text) {
    return text.size() == kSha256Hex &&
           text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string DigestLine(size_t index, const FileDigest& digest) {
    return "digest " + std::to_string(index) + " " + std::to_string(digest.size) + " " +
           digest.sha256 + "\r\n";
}

// "I SIZE SHA256" for the next entry without a digest.
bool TakeDigest(const std::string& rest, Journal* journal) {
    const size_t first = rest.find(' ');
    const size_t second = first == std::string::npos ? first : rest.find(' ', first + 1);
    uint64_t index = 0;
    FileDigest digest;
    if (second == std::string::npos || !ParseDecimal(rest.substr(0, first), &index) ||
        index != journal->digests || index >= journal->entries.size() ||
        !ParseDecimal(rest.substr(first + 1, second - first - 1), &digest.size))
        return false;
    digest.sha256 = rest.substr(second + 1);
    if (!IsLowerHex(digest.sha256)) return false;
    journal->entries[journal->digests++].newFile = digest;
    return true;
}

// A mark moves the journal on only from the phase it follows.
bool TakeMark(const std::string& line, Journal* journal) {
    using P = Journal::Phase;
    const struct {
        const char* line;
        P from, from2, to;
    } moves[] = {
        {"commit", P::kStaging, P::kStaging, P::kCommitting},
        {"complete", P::kCommitting, P::kCommitting, P::kCompleting},
        {"undo", P::kCommitting, P::kCommitting, P::kUndoing},
        {"done", P::kCommitting, P::kCompleting, P::kDone},
        {"undone", P::kUndoing, P::kUndoing, P::kUndone},
    };
    for (const auto& move : moves) {
        if (line != move.line) continue;
        if (journal->phase != move.from && journal->phase != move.from2) return false;
        // Nothing is replaced before every new file is measured.
        if (move.to == P::kCommitting && journal->digests != journal->entries.size())
            return false;
        journal->phase = move.to;
        return true;
    }
    return false;
}

// One line of the journal into journal; false when it does not belong where it stands.
bool TakeLine(const std::string& line, size_t index, bool* staged, Journal* journal) {
    if (index == 0) return line == kHead;
    if (index == 1) return StartsWith(line, "serial ") && ParseDecimal(line.substr(7), &journal->serial);
    if (!*staged && (StartsWith(line, "old ") || StartsWith(line, "new "))) {
        // Read back from the disk: only a plain name inside the folder is taken.
        const std::string name = line.substr(4);
        journal->entries.push_back({name, line[0] == 'o', {}});
        return IsSafePackageName(name);
    }
    if (!*staged) return *staged = line == "staged";
    if (StartsWith(line, "digest ") && journal->phase == Journal::kStaging)
        return TakeDigest(line.substr(7), journal);
    return TakeMark(line, journal);
}

}  // namespace

std::string JournalHead(uint64_t serial, const std::vector<JournalEntry>& entries) {
    std::string text = std::string(kHead) + "\r\nserial " + std::to_string(serial) + "\r\n";
    for (const JournalEntry& entry : entries)
        text += (entry.hadOld ? "old " : "new ") + entry.name + "\r\n";
    return text + "staged\r\n";
}

std::string JournalDigests(const std::vector<JournalEntry>& entries) {
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) text += DigestLine(i, entries[i].newFile);
    return text;
}

std::string JournalMark(Journal::Phase phase) {
    switch (phase) {
    case Journal::kCommitting: return "commit\r\n";
    case Journal::kCompleting: return "complete\r\n";
    case Journal::kUndoing: return "undo\r\n";
    case Journal::kDone: return "done\r\n";
    case Journal::kUndone: return "undone\r\n";
    default: return "";
    }
}

size_t LargestJournal(uint64_t serial, const std::vector<JournalEntry>& entries) {
    const FileDigest widest = {UINT64_MAX, std::string(kSha256Hex, 'f')};
    size_t size = JournalHead(serial, entries).size();
    for (size_t i = 0; i < entries.size(); ++i) size += DigestLine(i, widest).size();
    return size + JournalMark(Journal::kCommitting).size() +
           JournalMark(Journal::kCompleting).size() + JournalMark(Journal::kUndone).size();
}

bool ParseJournal(const std::string& text, Journal* journal) {
    *journal = Journal();
    bool staged = false;
    size_t index = 0;
    for (size_t start = 0; start < text.size(); ++index) {
        const size_t end = text.find("\r\n", start);
        // A last line cut short by a crash was not written: the phase before it holds.
        if (end == std::string::npos) break;
        if (!TakeLine(text.substr(start, end - start), index, &staged, journal)) return false;
        start = end + 2;
        journal->wholeBytes = start;
    }
    return staged;
}

}  // namespace tavrin
