#include "system/perf_data.h"

#include <cstring>
#include <string_view>

#include "trust/decimal.h"

namespace tavrin {

namespace {

bool EqualsNoCase(const char* s, size_t length, const char* lower) {
    size_t i = 0;
    for (; i < length && lower[i] != '\0'; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return i == length && lower[i] == '\0';
}

// A counter index: 1 to 10 decimal digits whose value fits 32 bits.
bool ParseIndex(const char* s, size_t length, uint32_t& value) {
    uint64_t v = 0;
    if (!ParseDecimalDigits(std::string_view(s, length), 10, &v) || v > 0xFFFFFFFFu) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);  // the data need not be aligned
    return v;
}

// A view of the block that answers reads only inside [0, end).
class Bytes {
public:
    Bytes(const uint8_t* data, uint64_t end) : m_data(data), m_end(end) {}
    bool Has(uint64_t at, uint64_t length) const { return at <= m_end && length <= m_end - at; }
    bool U32(uint64_t at, uint32_t& value) const {
        if (!Has(at, 4)) return false;
        value = ReadU32(m_data + at);
        return true;
    }
    const uint8_t* At(uint64_t at) const { return m_data + at; }

private:
    const uint8_t* m_data;
    uint64_t m_end;
};

// The caller has checked that text and suffix fit the field with the terminator.
void SetName(ProcessEntry& entry, const std::string& text, const char* suffix = "") {
    std::memcpy(entry.name, text.data(), text.size());
    std::strcpy(entry.name + text.size(), suffix);
}

}  // namespace

ProcessCounterIndexes ParseCounterNames(const char* data, size_t size) {
    ProcessCounterIndexes found;
    if (!data) return found;
    const char* previous = nullptr;
    size_t previousLength = 0;
    size_t pos = 0;
    while (pos < size) {
        const char* s = data + pos;
        size_t length = 0;
        while (pos + length < size && s[length] != '\0') ++length;
        if (length == 0) break;  // the empty string that ends the list
        uint32_t index = 0;
        if (previous && ParseIndex(previous, previousLength, index)) {
            if (EqualsNoCase(s, length, "process")) {
                found.processObject.assign(previous, previousLength);
            } else if (EqualsNoCase(s, length, "id process")) {
                found.idProcess = index;
                found.hasIdProcess = true;
            }
        }
        previous = s;
        previousLength = length;
        pos += length + 1;
    }
    return found;
}

namespace {

// The first object of a performance data block: where it is and what its header says.
struct PerfObject {
    uint64_t offset = 0;
    uint32_t length = 0;
    uint32_t definitionLength = 0;
    uint32_t headerLength = 0;
    uint32_t numCounters = 0;
    int32_t numInstances = 0;
};

// The block's own length bounds everything read from it; false for anything malformed.
bool ReadFirstObject(const uint8_t* data, size_t size, uint32_t* blockLength, PerfObject* object) {
    using namespace perf;
    static const uint8_t kSignature[8] = {'P', 0, 'E', 0, 'R', 0, 'F', 0};
    if (size < kBlockSize || std::memcmp(data, kSignature, sizeof kSignature) != 0) return false;
    const uint32_t total = ReadU32(data + kBlockTotalByteLength);
    if (total < kBlockSize || total > size) return false;
    const Bytes block(data, total);
    if (ReadU32(data + kBlockNumObjectTypes) == 0) return false;

    const uint64_t at = ReadU32(data + kBlockHeaderLength);
    if (at < kBlockSize || !block.Has(at, kObjectSize)) return false;
    object->offset = at;
    object->length = ReadU32(block.At(at + kObjectTotalByteLength));
    if (object->length < kObjectSize || !block.Has(at, object->length)) return false;
    object->definitionLength = ReadU32(block.At(at + kObjectDefinitionLength));
    object->headerLength = ReadU32(block.At(at + kObjectHeaderLength));
    object->numCounters = ReadU32(block.At(at + kObjectNumCounters));
    std::memcpy(&object->numInstances, block.At(at + kObjectNumInstances),
                sizeof object->numInstances);
    if (object->headerLength < kObjectSize || object->definitionLength < object->headerLength ||
        object->definitionLength > object->length)
        return false;
    *blockLength = total;
    return uint64_t(object->numCounters) * kCounterDefinitionSize <=
           object->definitionLength - object->headerLength;
}

// Where the counter with this title index sits in each instance's counter block.
bool FindCounter(const Bytes& block, const PerfObject& object, uint32_t titleIndex,
                 uint32_t* counterOffset) {
    using namespace perf;
    for (uint32_t i = 0; i < object.numCounters; ++i) {
        const uint64_t counter =
            object.offset + object.headerLength + uint64_t(i) * kCounterDefinitionSize;
        if (ReadU32(block.At(counter + kCounterNameTitleIndex)) == titleIndex) {
            *counterOffset = ReadU32(block.At(counter + kCounterOffset));
            return true;
        }
    }
    return false;
}

// The name, as the scan reports it: "unknown" when it does not convert, "" when ".exe" would
// not fit.
void NameEntry(ProcessEntry& entry, const std::u16string& name, std::string& converted,
               const InstanceNameConverter& convert) {
    converted.clear();
    if (!convert || !convert(name, converted) || converted.size() > kProcessNameSize - 1) {
        SetName(entry, "unknown");
    } else if (converted.size() + 4 > kProcessNameSize - 1) {
        SetName(entry, "");
    } else {
        SetName(entry, converted, ".exe");
    }
}

// One instance at *instance into entry; *instance moves past it. False when malformed.
bool ReadInstance(const Bytes& inObject, uint64_t* instance, uint32_t counterOffset,
                  const InstanceNameConverter& convert, std::u16string& name,
                  std::string& converted, ProcessEntry& entry) {
    using namespace perf;
    const uint64_t at = *instance;
    uint32_t byteLength, nameOffset, nameLength;
    if (!inObject.U32(at + kInstanceByteLength, byteLength) ||
        !inObject.U32(at + kInstanceNameOffset, nameOffset) ||
        !inObject.U32(at + kInstanceNameLength, nameLength) || byteLength < kInstanceSize ||
        !inObject.Has(at, byteLength) || uint64_t(nameOffset) + nameLength > byteLength)
        return false;

    name.clear();
    const uint8_t* text = inObject.At(at + nameOffset);
    for (uint32_t k = 0; k + 1 < nameLength; k += 2) {
        const char16_t unit = static_cast<char16_t>(text[k] | (text[k + 1] << 8));
        if (unit == 0) break;
        name.push_back(unit);
    }
    NameEntry(entry, name, converted, convert);

    const uint64_t counters = at + byteLength;
    uint32_t countersLength, id;
    if (!inObject.U32(counters + kCounterBlockByteLength, countersLength) ||
        !inObject.Has(counters, countersLength) ||
        uint64_t(counterOffset) + 4 > countersLength ||
        !inObject.U32(counters + counterOffset, id))
        return false;
    entry.processId = id == 0 ? kNoProcessId : id;
    *instance = counters + countersLength;
    return true;
}

}  // namespace

size_t ParsePerfProcesses(const uint8_t* data, size_t size, uint32_t idProcessCounter,
                          ProcessEntry* entries, size_t capacity,
                          const InstanceNameConverter& convert) {
    if (!data || !entries || capacity < 2) return 0;
    uint32_t blockLength = 0;
    PerfObject object;
    if (!ReadFirstObject(data, size, &blockLength, &object)) return 0;
    const Bytes block(data, blockLength);
    // Without the id counter no entry could name a process that can be opened.
    uint32_t counterOffset = 0;
    if (!FindCounter(block, object, idProcessCounter, &counterOffset)) return 0;
    if (object.numInstances <= 0) return 0;  // PERF_NO_INSTANCES is -1
    size_t n = capacity - 1;
    if (static_cast<uint32_t>(object.numInstances) < n) n = static_cast<uint32_t>(object.numInstances);

    const Bytes inObject(data, object.offset + object.length);
    std::u16string name;
    std::string converted;
    uint64_t instance = object.offset + object.definitionLength;
    for (size_t i = 0; i < n; ++i)
        if (!ReadInstance(inObject, &instance, counterOffset, convert, name, converted, entries[i]))
            return 0;
    return n;
}

}  // namespace tavrin
