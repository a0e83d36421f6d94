// Persistence of the control's thirteen properties through the standard persistence
// interfaces a host uses: a page's parameter bag, streams, storages and memory blocks.
// Each instance is initialised once (InitNew or Load): hosts do so, and a control may refuse a
// second initialisation.
#include <windows.h>
#include <objbase.h>
#include <ocidl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/wine/support.h"

namespace {

using wt::kPropertyCount;
using wt::kPropertyNames;

// Thirteen distinct values: Korean text of code page 949, an empty one, spaces and markup.
const std::vector<std::wstring> kValues = {
    L"바둑왕",       L"비밀번호123", L"2000",          L"서버.example:7000",
    L"",             L"s2 with spaces", L"<&\"'>",     L"s4",
    L"대국실 5",     L"s6",          L"s7",            L"s8",
    L"s9 마지막"};

class PersistenceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(wt::EnsureRegistered()); }

    ::testing::AssertionResult NewControl(win::ComPtr<IUnknown>& unk,
                                          win::ComPtr<IDispatch>& disp) {
        ::testing::AssertionResult created = wt::CreateControl(unk);
        if (!created) return created;
        return wt::QueryDispatch(unk.get(), disp);
    }

    win::CoInit m_com;
};

TEST_F(PersistenceTest, GetClassIdIsTheControlsOnEveryInterface) {
    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    const struct {
        const char* name;
        const IID* iid;
    } rows[] = {
        {"IPersist", &IID_IPersist},
        {"IPersistPropertyBag", &IID_IPersistPropertyBag},
        {"IPersistStreamInit", &IID_IPersistStreamInit},
        {"IPersistStream", &IID_IPersistStream},
        {"IPersistStorage", &IID_IPersistStorage},
        {"IPersistMemory", &IID_IPersistMemory},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        win::ComPtr<IPersist> persist;
        ASSERT_EQ(S_OK, unk->QueryInterface(*row.iid, persist.receiveVoid()));
        CLSID clsid;
        std::memset(&clsid, 0xde, sizeof(clsid));
        EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
        EXPECT_TRUE(IsEqualCLSID(CLSID_Tavrin, clsid)) << wt::Narrow(wt::GuidString(clsid));
    }
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
}

TEST_F(PersistenceTest, BagLoadSetsEveryNamedProperty) {
    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    win::ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistPropertyBag, persist.receiveVoid()));

    wt::PropertyBag bag;
    for (int i = 0; i < kPropertyCount; ++i) bag.values[kPropertyNames[i]] = kValues[i];
    ASSERT_EQ(S_OK, persist->Load(&bag, nullptr));
    EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), kValues));
    for (int i = 0; i < kPropertyCount; ++i) {
        SCOPED_TRACE(wt::Narrow(kPropertyNames[i]));
        EXPECT_EQ(1, std::count(bag.reads.begin(), bag.reads.end(), kPropertyNames[i]));
    }
    EXPECT_TRUE(bag.writes.empty());
    persist.reset();
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
    EXPECT_EQ(1, bag.refs) << "the control kept a reference to the bag";
}

// A page names only some parameters; the others keep what they held. The values are set
// through IDispatch on an object that is then loaded once, as a browser loads a page's
// parameters: Load is the one initialisation, with no InitNew before it. (This control
// accepts a Load after InitNew too; a control may refuse a second initialisation, so the test
// does not depend on that.)
TEST_F(PersistenceTest, BagLoadKeepsPropertiesItDoesNotName) {
    const struct {
        const char* name;
        std::vector<int> named;  // indexes of the properties the bag holds
    } rows[] = {
        {"none", {}},
        {"login only", {0, 1, 2}},
        {"servers only", {3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
        {"odd ones", {1, 3, 5, 7, 9, 11}},
        {"last only", {12}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        win::ComPtr<IUnknown> unk;
        win::ComPtr<IDispatch> disp;
        ASSERT_TRUE(NewControl(unk, disp));
        std::vector<std::wstring> before, expected;
        for (int i = 0; i < kPropertyCount; ++i) before.push_back(L"before " + std::to_wstring(i));
        ASSERT_TRUE(wt::PutAll(disp.get(), before));

        wt::PropertyBag bag;
        expected = before;
        for (int i : row.named) {
            // An empty parameter is a value too: it replaces what was there.
            std::wstring value = (i % 2) ? kValues[i] : std::wstring();
            bag.values[kPropertyNames[i]] = value;
            expected[i] = value;
        }
        win::ComPtr<IPersistPropertyBag> persist;
        ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistPropertyBag, persist.receiveVoid()));
        ASSERT_EQ(S_OK, persist->Load(&bag, nullptr));
        EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), expected));
        persist.reset();
        disp.reset();
        EXPECT_EQ(0u, wt::FinalRelease(unk));
    }
}

TEST_F(PersistenceTest, BagSaveWritesAllThirteenNamesInOrder) {
    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    win::ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistPropertyBag, persist.receiveVoid()));
    ASSERT_EQ(S_OK, persist->InitNew());
    ASSERT_TRUE(wt::PutAll(disp.get(), kValues));

    wt::PropertyBag bag;
    ASSERT_EQ(S_OK, persist->Save(&bag, TRUE, TRUE));
    size_t lastPosition = 0;
    for (int i = 0; i < kPropertyCount; ++i) {
        SCOPED_TRACE(wt::Narrow(kPropertyNames[i]));
        auto value = bag.values.find(kPropertyNames[i]);
        ASSERT_NE(bag.values.end(), value) << "not written";
        EXPECT_EQ(wt::Narrow(kValues[i]), wt::Narrow(value->second));
        auto at = std::find(bag.writes.begin(), bag.writes.end(), kPropertyNames[i]);
        size_t position = static_cast<size_t>(at - bag.writes.begin());
        EXPECT_EQ(1, std::count(bag.writes.begin(), bag.writes.end(), kPropertyNames[i]));
        if (i > 0) {
            EXPECT_GT(position, lastPosition) << "written out of table order";
        }
        lastPosition = position;
    }

    // What was saved loads into a fresh object.
    win::ComPtr<IUnknown> unk2;
    win::ComPtr<IDispatch> disp2;
    ASSERT_TRUE(NewControl(unk2, disp2));
    win::ComPtr<IPersistPropertyBag> persist2;
    ASSERT_EQ(S_OK, unk2->QueryInterface(IID_IPersistPropertyBag, persist2.receiveVoid()));
    ASSERT_EQ(S_OK, persist2->Load(&bag, nullptr));
    EXPECT_TRUE(wt::AllPropertiesAre(disp2.get(), kValues));

    persist.reset();
    persist2.reset();
    disp.reset();
    disp2.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
    EXPECT_EQ(0u, wt::FinalRelease(unk2));
    EXPECT_EQ(1, bag.refs);
}

TEST_F(PersistenceTest, PropertyPutMarksTheControlDirty) {
    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    win::ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistStreamInit, persist.receiveVoid()));
    ASSERT_EQ(S_OK, persist->InitNew());

    for (int i = 0; i < kPropertyCount; ++i) {
        SCOPED_TRACE(wt::Narrow(kPropertyNames[i]));
        win::ComPtr<IStream> stream;
        ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive()));
        ASSERT_EQ(S_OK, persist->Save(stream.get(), TRUE));
        EXPECT_EQ(S_FALSE, persist->IsDirty()) << "a save that clears the flag leaves it clean";
        ASSERT_EQ(S_OK, wt::PutString(disp.get(), i + 1, L"changed"));
        EXPECT_EQ(S_OK, persist->IsDirty());
    }
    // A save that keeps the flag keeps it.
    win::ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive()));
    ASSERT_EQ(S_OK, persist->Save(stream.get(), FALSE));
    EXPECT_EQ(S_OK, persist->IsDirty());

    persist.reset();
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
}

// A container that persists its objects with OLE's own helpers: the class id, then the data,
// and a new object made from them.
TEST_F(PersistenceTest, OleSaveToStreamAndOleLoadFromStreamMakeTheSameControl) {
    win::ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive()));
    {
        win::ComPtr<IUnknown> unk;
        win::ComPtr<IDispatch> disp;
        ASSERT_TRUE(NewControl(unk, disp));
        ASSERT_TRUE(wt::PutAll(disp.get(), kValues));
        win::ComPtr<IPersistStream> persist;
        ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistStream, persist.receiveVoid()));
        ASSERT_EQ(S_OK, ::OleSaveToStream(persist.get(), stream.get()));
        persist.reset();
        disp.reset();
        EXPECT_EQ(0u, wt::FinalRelease(unk));
    }
    LARGE_INTEGER zero = {};
    ASSERT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_SET, nullptr));
    win::ComPtr<IDispatch> loaded;
    ASSERT_EQ(S_OK, ::OleLoadFromStream(stream.get(), IID_IDispatch, loaded.receiveVoid()));
    EXPECT_TRUE(wt::AllPropertiesAre(loaded.get(), kValues));
    EXPECT_EQ(0u, wt::FinalRelease(loaded));
}

// The loading object holds stale values first, so an empty saved value must replace one.
TEST_F(PersistenceTest, StreamRoundTripCarriesAllThirteen) {
    win::ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive()));
    {
        win::ComPtr<IUnknown> unk;
        win::ComPtr<IDispatch> disp;
        ASSERT_TRUE(NewControl(unk, disp));
        win::ComPtr<IPersistStreamInit> persist;
        ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistStreamInit, persist.receiveVoid()));
        ASSERT_EQ(S_OK, persist->InitNew());
        ASSERT_TRUE(wt::PutAll(disp.get(), kValues));
        ULARGE_INTEGER max;
        max.QuadPart = wt::kSentinel;
        EXPECT_EQ(S_OK, persist->GetSizeMax(&max));
        ASSERT_EQ(S_OK, persist->Save(stream.get(), TRUE));
        LARGE_INTEGER zero = {};
        ULARGE_INTEGER end = {};
        ASSERT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_CUR, &end));
        EXPECT_GT(end.QuadPart, 0u);
        if (max.QuadPart != wt::kSentinel && max.QuadPart != 0) {
            EXPECT_LE(end.QuadPart, max.QuadPart) << "saved more than GetSizeMax said";
        }
        persist.reset();
        disp.reset();
        EXPECT_EQ(0u, wt::FinalRelease(unk));
    }
    LARGE_INTEGER zero = {};
    ASSERT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_SET, nullptr));

    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    std::vector<std::wstring> stale(kPropertyCount, L"stale");
    ASSERT_TRUE(wt::PutAll(disp.get(), stale));
    win::ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistStreamInit, persist.receiveVoid()));
    ASSERT_EQ(S_OK, persist->Load(stream.get()));
    EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), kValues));
    EXPECT_EQ(S_FALSE, persist->IsDirty()) << "just loaded";

    persist.reset();
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
}

TEST_F(PersistenceTest, StorageRoundTripCarriesAllThirteen) {
    win::ComPtr<ILockBytes> bytes;
    ASSERT_EQ(S_OK, ::CreateILockBytesOnHGlobal(nullptr, TRUE, bytes.receive()));
    win::ComPtr<IStorage> storage;
    ASSERT_EQ(S_OK, ::StgCreateDocfileOnILockBytes(
                        bytes.get(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                        storage.receive()));
    {
        win::ComPtr<IUnknown> unk;
        win::ComPtr<IDispatch> disp;
        ASSERT_TRUE(NewControl(unk, disp));
        win::ComPtr<IPersistStorage> persist;
        ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistStorage, persist.receiveVoid()));
        ASSERT_EQ(S_OK, persist->InitNew(storage.get()));
        ASSERT_TRUE(wt::PutAll(disp.get(), kValues));
        ASSERT_EQ(S_OK, persist->Save(storage.get(), TRUE));
        EXPECT_EQ(S_OK, persist->SaveCompleted(nullptr));
        EXPECT_EQ(S_OK, persist->HandsOffStorage());
        persist.reset();
        disp.reset();
        EXPECT_EQ(0u, wt::FinalRelease(unk));
    }
    ASSERT_EQ(S_OK, storage->Commit(STGC_DEFAULT));

    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    ASSERT_TRUE(wt::PutAll(disp.get(), std::vector<std::wstring>(kPropertyCount, L"stale")));
    win::ComPtr<IPersistStorage> persist;
    ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistStorage, persist.receiveVoid()));
    ASSERT_EQ(S_OK, persist->Load(storage.get()));
    EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), kValues));
    EXPECT_EQ(S_OK, persist->HandsOffStorage());
    persist.reset();
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
}

TEST_F(PersistenceTest, MemoryRoundTripCarriesAllThirteen) {
    std::vector<BYTE> block;
    {
        win::ComPtr<IUnknown> unk;
        win::ComPtr<IDispatch> disp;
        ASSERT_TRUE(NewControl(unk, disp));
        win::ComPtr<IPersistMemory> persist;
        ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistMemory, persist.receiveVoid()));
        ASSERT_EQ(S_OK, persist->InitNew());
        ASSERT_TRUE(wt::PutAll(disp.get(), kValues));
        ULONG size = wt::kSentinel;
        ASSERT_EQ(S_OK, persist->GetSizeMax(&size));
        ASSERT_NE(wt::kSentinel, size);
        ASSERT_GT(size, 0u);
        ASSERT_LT(size, 1u << 20);
        block.assign(size, 0xcc);
        ASSERT_EQ(S_OK, persist->Save(block.data(), TRUE, size));
        EXPECT_EQ(S_FALSE, persist->IsDirty());
        persist.reset();
        disp.reset();
        EXPECT_EQ(0u, wt::FinalRelease(unk));
    }
    win::ComPtr<IUnknown> unk;
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(NewControl(unk, disp));
    ASSERT_TRUE(wt::PutAll(disp.get(), std::vector<std::wstring>(kPropertyCount, L"stale")));
    win::ComPtr<IPersistMemory> persist;
    ASSERT_EQ(S_OK, unk->QueryInterface(IID_IPersistMemory, persist.receiveVoid()));
    ASSERT_EQ(S_OK, persist->Load(block.data(), static_cast<ULONG>(block.size())));
    EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), kValues));
    persist.reset();
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(unk));
}

}  // namespace
