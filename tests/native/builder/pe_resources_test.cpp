#include "builder/pe_resources.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>
#include <string>

#include "native/builder/test_support.h"

namespace zel {
namespace {

using test::MakeTestPe;
using test::PutU32;

std::vector<std::uint8_t> Pseudorandom(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
    return bytes;
}

const ResourceLeaf* FindLeaf(const ResourceTree& tree, const ResourceKey& type, const ResourceKey& name) {
    for (const ResourceType& t : tree.types) {
        if (!(t.key == type)) continue;
        for (const ResourceName& n : t.names) {
            if (n.key == name && !n.languages.empty()) return &n.languages.front();
        }
    }
    return nullptr;
}

std::string Bytes(const std::vector<std::uint8_t>& data) { return std::string(data.begin(), data.end()); }

TEST(PeStubTest, ReadsNamedAndNumberedResources) {
    const PeStub stub(MakeTestPe(true));
    const ResourceTree& tree = stub.resources();
    ASSERT_EQ(tree.types.size(), 2u);
    const ResourceLeaf* hello = FindLeaf(tree, {u"ZTYPE", 0}, {u"", 7});
    ASSERT_NE(hello, nullptr);
    EXPECT_EQ(hello->language.id, 1033u);
    EXPECT_EQ(Bytes(hello->data), "hello world");
    const ResourceLeaf* second = FindLeaf(tree, {u"", 3}, {u"ICONX", 0});
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(Bytes(second->data), "second");
}

TEST(PeStubTest, EmbeddingKeepsResourcesAndAddsThePayload) {
    // .reloc follows .rsrc: a new section is appended. Embedding again into the
    // result rewrites that last section in place and replaces the payload.
    for (const bool withReloc : {true, false}) {
        SCOPED_TRACE(withReloc ? "rsrc before reloc" : "rsrc last");
        const PeStub stub(MakeTestPe(withReloc));
        EXPECT_EQ(PlanEmbedding(stub, 5).appendedSection, withReloc);
        const std::vector<std::uint8_t> payload = Pseudorandom(3001, 1);
        const PeStub once(EmbedPayload(stub, payload));
        EXPECT_FALSE(PlanEmbedding(once, 5).appendedSection);
        const std::vector<std::uint8_t> payload2 = Pseudorandom(70001, 2);
        const std::vector<std::uint8_t> twiceBytes = EmbedPayload(once, payload2);
        const PeStub twice(twiceBytes);
        for (const PeStub* image : {&once, &twice}) {
            const ResourceTree& tree = image->resources();
            ASSERT_EQ(tree.types.size(), 3u);
            EXPECT_TRUE(tree.types[0].key.IsName());  // named entries stay first
            EXPECT_EQ(Bytes(FindLeaf(tree, {u"ZTYPE", 0}, {u"", 7})->data), "hello world");
            EXPECT_EQ(Bytes(FindLeaf(tree, {u"", 3}, {u"ICONX", 0})->data), "second");
        }
        EXPECT_EQ(FindLeaf(once.resources(), {u"", kRtRcdata}, {u"", kPayloadResourceId})->data, payload);
        EXPECT_EQ(FindLeaf(twice.resources(), {u"", kRtRcdata}, {u"", kPayloadResourceId})->data, payload2);
        EXPECT_EQ(twice.sections().size(), once.sections().size());
        EXPECT_EQ(twice.bytes().size() % 0x200, 0u);
    }
}

TEST(PeStubTest, EditedResourcesAreWrittenAndTheRestKept) {
    // Added, replaced and removed resources read back as edited; untouched ones
    // keep their bytes. A second round starts from the first one's output.
    const PeStub stub(MakeTestPe(true));
    ResourceTree tree = stub.resources();
    SetResource(tree, kRtVersion, 1, ResourceLeaf{{u"", 1041}, 1200, {'v', '1'}});
    SetResource(tree, kRtIcon, 2, ResourceLeaf{{u"", 0}, 0, {'i', '2'}});
    EXPECT_FALSE(RemoveResource(tree, kRtIcon, 9));
    const std::vector<std::uint8_t> payload = Pseudorandom(999, 6);
    const PeStub once(EmbedPayload(stub, tree, payload));
    const ResourceName* version = FindResource(once.resources(), kRtVersion, 1);
    ASSERT_NE(version, nullptr);
    ASSERT_EQ(version->languages.size(), 1u);
    EXPECT_EQ(version->languages[0].language.id, 1041u);
    EXPECT_EQ(version->languages[0].codePage, 1200u);
    EXPECT_EQ(Bytes(version->languages[0].data), "v1");
    EXPECT_EQ(Bytes(FindLeaf(once.resources(), {u"", kRtIcon}, {u"", 2})->data), "i2");
    EXPECT_EQ(Bytes(FindLeaf(once.resources(), {u"", 3}, {u"ICONX", 0})->data), "second");
    EXPECT_EQ(FindLeaf(once.resources(), {u"", kRtRcdata}, {u"", kPayloadResourceId})->data, payload);

    ResourceTree again = once.resources();
    EXPECT_TRUE(RemoveResource(again, kRtIcon, 2));
    EXPECT_FALSE(RemoveResource(again, kRtIcon, 2));
    EXPECT_TRUE(RemoveResource(again, kRtVersion, 1));
    SetResource(again, kRtGroupIcon, 32512, ResourceLeaf{{u"", 0}, 0, {'g'}});
    const PeStub twice(EmbedPayload(once, again, payload));
    EXPECT_EQ(FindResource(twice.resources(), kRtVersion, 1), nullptr);
    EXPECT_EQ(FindResource(twice.resources(), kRtIcon, 2), nullptr);
    // The named icon of the same type survives the removal of its neighbour.
    EXPECT_EQ(Bytes(FindLeaf(twice.resources(), {u"", 3}, {u"ICONX", 0})->data), "second");
    EXPECT_EQ(Bytes(FindLeaf(twice.resources(), {u"ZTYPE", 0}, {u"", 7})->data), "hello world");
    EXPECT_EQ(Bytes(FindLeaf(twice.resources(), {u"", kRtGroupIcon}, {u"", 32512})->data), "g");
    EXPECT_EQ(FindLeaf(twice.resources(), {u"", kRtRcdata}, {u"", kPayloadResourceId})->data, payload);
}

TEST(PeStubTest, ABuiltAndSignedImageCanBeInspectedButNotExtended) {
    // A certificate table after the last section, as signing tools append it.
    std::vector<std::uint8_t> image = EmbedPayload(PeStub(MakeTestPe(false)), Pseudorandom(100, 7));
    const std::size_t certificate = image.size();
    image.resize(image.size() + 24, 0xCE);
    PutU32(image, test::kOptionalHeader + 112 + 8 * 4, static_cast<std::uint32_t>(certificate));
    PutU32(image, test::kOptionalHeader + 112 + 8 * 4 + 4, 24);
    EXPECT_THROW(PeStub{image}, std::runtime_error);
    const PeStub inspected(image, PeStub::kInspect);
    EXPECT_EQ(FindLeaf(inspected.resources(), {u"", kRtRcdata}, {u"", kPayloadResourceId})->data, Pseudorandom(100, 7));
}

TEST(PeStubTest, OutputPassesAnIndependentReader) {
    if (!test::HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
    test::ScratchFolder dir(L"builder");
    for (const bool withReloc : {true, false}) {
        SCOPED_TRACE(withReloc);
        const std::vector<std::uint8_t> stubBytes = MakeTestPe(withReloc);
        const std::vector<std::uint8_t> payload = Pseudorandom(12345, 3);
        test::WriteBytes(dir.path() / "stub.exe", stubBytes);
        test::WriteBytes(dir.path() / "payload.bin", payload);
        test::WriteBytes(dir.path() / "out.exe", EmbedPayload(PeStub(stubBytes), payload));
        EXPECT_EQ(test::VerifyPe(dir.path() / "stub.exe", dir.path() / "out.exe", dir.path() / "payload.bin"), 0);
    }
}

// The stub the lead's test script points to (InstallerCore.exe from the win64 build).
std::filesystem::path RealStub() {
    const char* path = std::getenv("ZEL_STUB_EXE");
    return path != nullptr ? std::filesystem::path(path) : std::filesystem::path();
}

TEST(PeStubTest, RealStubKeepsEveryResourceAndLoadsInAnIndependentReader) {
    const std::filesystem::path stubPath = RealStub();
    if (stubPath.empty()) GTEST_SKIP() << "ZEL_STUB_EXE is not set";
    if (!test::HavePefile()) GTEST_SKIP() << "python3-pefile is not installed";
    test::ScratchFolder dir(L"builder");
    const PeStub stub(test::ReadBytes(stubPath));
    for (const auto& [type, id] : {std::pair{14u, 32512u}, {24u, 1u}, {5u, 101u}, {5u, 102u}, {16u, 1u}}) {
        EXPECT_NE(FindLeaf(stub.resources(), {u"", type}, {u"", id}), nullptr) << type << "/" << id;
    }
    const std::vector<std::uint8_t> payload = Pseudorandom((1 << 20) + 3, 4);
    test::WriteBytes(dir.path() / "payload.bin", payload);
    const std::vector<std::uint8_t> once = EmbedPayload(stub, payload);
    test::WriteBytes(dir.path() / "once.exe", once);
    EXPECT_EQ(test::VerifyPe(stubPath, dir.path() / "once.exe", dir.path() / "payload.bin"), 0);

    // Rebuilding from a built setup.exe replaces the payload and keeps the rest.
    const std::vector<std::uint8_t> payload2 = Pseudorandom(777, 5);
    test::WriteBytes(dir.path() / "payload2.bin", payload2);
    test::WriteBytes(dir.path() / "twice.exe", EmbedPayload(PeStub(once), payload2));
    EXPECT_EQ(test::VerifyPe(stubPath, dir.path() / "twice.exe", dir.path() / "payload2.bin"), 0);

    if (std::system("command -v x86_64-w64-mingw32-objdump >/dev/null 2>&1") == 0) {
        const std::string objdump =
            "x86_64-w64-mingw32-objdump -p '" + (dir.path() / "once.exe").string() + "' >/dev/null";
        EXPECT_EQ(std::system(objdump.c_str()), 0);
    }
}

TEST(PeStubTest, RefusesStubsItCannotHandle) {
    struct Case {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> mutate;
        const char* message;
    };
    const std::size_t opt = test::kOptionalHeader;
    const Case cases[] = {
        {"no MZ", [](auto& b) { b[0] = 'X'; }, "no MZ header"},
        {"no PE signature", [](auto& b) { b[test::kPeOffset] = 'X'; }, "no PE signature"},
        {"PE32", [&](auto& b) { test::PutU16(b, opt, 0x10B); }, "PE32+"},
        {"signed", [&](auto& b) { PutU32(b, opt + 112 + 8 * 4, 0xA00), PutU32(b, opt + 112 + 8 * 4 + 4, 8); },
         "signed"},
        {"overlay", [](auto& b) { b.insert(b.end(), 16, 0xAB); }, "16 bytes after its last section"},
        {"symbols", [](auto& b) { PutU32(b, test::kPeOffset + 12, 0x900); }, "symbol table"},
        {"truncated", [](auto& b) { b.resize(0x900); }, "beyond the end of the file"},
        {"tiny", [](auto& b) { b.resize(40); }, "no MZ header"},
        {"resource data outside", [](auto& b) { PutU32(b, test::kRsrcRaw + test::kFirstDataEntry, 0x9000); },
         "resource data lies outside"},
        {"type entry is a leaf", [](auto& b) { PutU32(b, test::kRsrcRaw + 0x10 + 4, 0x20); },
         "a type entry is not a directory"},
        {"name entry is a leaf", [](auto& b) { PutU32(b, test::kRsrcRaw + 0x30 + 4, 0x50); },
         "a name entry is not a directory"},
        {"resource directory loop",
         [](auto& b) { PutU32(b, test::kRsrcRaw + 0x60 + 4, 0x80000000u); },  // language level points to a directory
         "more than three levels"},
        {"truncated resource name", [](auto& b) { test::PutU16(b, test::kRsrcRaw + 0x80, 0x7000); },
         "truncated resource name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes = MakeTestPe(true);
        c.mutate(bytes);
        try {
            PeStub stub(bytes);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(PeStubTest, RefusesWhenNoSectionHeaderFits) {
    std::vector<std::uint8_t> bytes = MakeTestPe(true);
    bytes[test::kSectionTable + 3 * 40] = 1;  // the slot after the last header is in use
    const PeStub stub(bytes);
    EXPECT_THROW(PlanEmbedding(stub, 10), std::runtime_error);
}

// The reference sums 16-bit words with an end-around carry, byte by byte.
std::uint32_t ReferenceChecksum(const std::vector<std::uint8_t>& bytes) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const std::uint32_t word = bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0);
        sum += word;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(bytes.size());
}

TEST(PeChecksumTest, MatchesWordSumWhateverThePieces) {
    for (const std::size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 4097u, 100003u}) {
        const std::vector<std::uint8_t> bytes = Pseudorandom(size, static_cast<unsigned>(size));
        std::mt19937 random(7);
        PeChecksum checksum;
        for (std::size_t at = 0; at < size;) {
            const std::size_t n = std::min<std::size_t>(size - at, random() % 9);
            checksum.Update({bytes.data() + at, n});
            at += n;
        }
        EXPECT_EQ(checksum.Finish(), ReferenceChecksum(bytes)) << size;
    }
    const std::vector<std::uint8_t> ones(4096, 0xFF);
    PeChecksum checksum;
    checksum.Update(ones);
    EXPECT_EQ(checksum.Finish(), ReferenceChecksum(ones));
}

}  // namespace
}  // namespace zel
