#include "updater/install/package_check.h"

#include <vector>

#include "trust/crypto.h"

namespace tavrin {

PackageRefusal MeasureFile(prynn::FileSystem& files, const std::string& path, uint64_t maxBytes,
                           SignedPackage* measured, prynn::DecodedSizeCounter* blocks) {
    std::unique_ptr<Sha256> hash = NewSha256();
    if (!hash) return PackageRefusal::kCannotHash;
    std::unique_ptr<prynn::ByteSource> source = files.OpenRead(path);
    if (!source) return PackageRefusal::kUnreadable;
    std::vector<uint8_t> buffer(64 * 1024);
    measured->size = 0;
    for (;;) {
        size_t got = 0;
        if (!source->Read(buffer.data(), buffer.size(), &got)) return PackageRefusal::kUnreadable;
        if (got == 0) break;
        measured->size += got;
        if (measured->size > maxBytes) return PackageRefusal::kWrongSize;
        if (!hash->Update(buffer.data(), got)) return PackageRefusal::kCannotHash;
        if (blocks) blocks->Feed(buffer.data(), got);
    }
    measured->sha256 = hash->FinishHex();
    return measured->sha256.empty() ? PackageRefusal::kCannotHash : PackageRefusal::kNone;
}

PackageRefusal CheckPackage(const UpdateConfig& config, const std::string& name,
                            prynn::FileSystem& files, const std::string& path,
                            uint64_t* decodedSize) {
    const SignedPackage* signedPackage = config.Find(name);
    if (!signedPackage) return PackageRefusal::kNotListed;
    SignedPackage measured;
    prynn::DecodedSizeCounter blocks;
    const PackageRefusal read = MeasureFile(files, path, signedPackage->size, &measured, &blocks);
    if (read != PackageRefusal::kNone) return read;
    if (measured.size != signedPackage->size) return PackageRefusal::kWrongSize;
    if (measured.sha256 != signedPackage->sha256) return PackageRefusal::kWrongHash;
    return blocks.Finish(decodedSize) == prynn::StreamStatus::kOk ? PackageRefusal::kNone
                                                                 : PackageRefusal::kNotPackage;
}

StoredPackage LookAtStoredPackage(const UpdateConfig& config, const std::string& name,
                                  prynn::FileSystem& files, const std::string& path) {
    StoredPackage stored;
    const SignedPackage* signedPackage = config.Find(name);
    SignedPackage measured;
    if (!signedPackage ||
        MeasureFile(files, path, signedPackage->size, &measured) != PackageRefusal::kNone)
        return stored;
    stored.bytes = measured.size;
    if (measured.size < signedPackage->size)
        stored.kind = measured.size > 0 ? StoredPackage::kBegun : StoredPackage::kNothing;
    else if (measured.sha256 == signedPackage->sha256)
        stored.kind = StoredPackage::kWhole;
    return stored;
}

}  // namespace tavrin
