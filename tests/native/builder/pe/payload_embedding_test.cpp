#include "builder/pe/payload_embedding.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "builder/pe/pe_stub.h"
#include "native/builder/test_support.h"
#include "payload/payload_resource.h"

namespace zel {
namespace {

using namespace test;

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

TEST(PeStubTest, RefusesWhenNoSectionHeaderFits) {
    std::vector<std::uint8_t> bytes = MakeTestPe(true);
    bytes[test::kSectionTable + 3 * 40] = 1;  // the slot after the last header is in use
    const PeStub stub(bytes);
    EXPECT_THROW(PlanEmbedding(stub, 10), std::runtime_error);
}

}  // namespace
}  // namespace zel
