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

void CheckedPackages::Keep(const std::string& name, const FileIdentity& identity,
                           uint64_t decoded) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_kept[name] = {identity, decoded};
}

bool CheckedPackages::Kept(const std::string& name, const FileIdentity& identity,
                           uint64_t* decoded) const {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto kept = m_kept.find(name);
    if (kept == m_kept.end() || !(kept->second.identity == identity)) return false;
    *decoded = kept->second.decoded;
    return true;
}

namespace {

// Kept only when the file is as it was before it was read: a write meanwhile changes its
// identity, and the next look reads it again.
void KeepIfUnchanged(const std::string& name, const std::string& path, const FileIdentity& before,
                     const IdentityFn& identityOf, CheckedPackages& checked, uint64_t decoded) {
    FileIdentity after;
    if (identityOf(path, &after) && after == before) checked.Keep(name, before, decoded);
}

}  // namespace

PackageRefusal CheckPackageOnce(const UpdateConfig& config, const std::string& name,
                                prynn::FileSystem& files, const std::string& path,
                                const IdentityFn& identityOf, CheckedPackages& checked,
                                uint64_t* decodedSize) {
    FileIdentity before;
    const bool known = identityOf && identityOf(path, &before);
    if (known && config.Find(name) && checked.Kept(name, before, decodedSize))
        return PackageRefusal::kNone;
    const PackageRefusal refusal = CheckPackage(config, name, files, path, decodedSize);
    if (refusal == PackageRefusal::kNone && known)
        KeepIfUnchanged(name, path, before, identityOf, checked, *decodedSize);
    return refusal;
}

StoredPackage LookAtStoredPackage(const UpdateConfig& config, const std::string& name,
                                  std::optional<uint64_t> storedSize) {
    StoredPackage stored;
    const SignedPackage* signedPackage = config.Find(name);
    if (!signedPackage || !storedSize || *storedSize > signedPackage->size) return stored;
    stored.bytes = *storedSize;
    if (*storedSize == signedPackage->size) stored.kind = StoredPackage::kSignedSize;
    else if (*storedSize > 0) stored.kind = StoredPackage::kBegun;
    return stored;
}

}  // namespace tavrin
