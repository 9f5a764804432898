#include "builder/pe/pe_stub.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "builder/pe/payload_embedding.h"
#include "native/builder/test_support.h"
#include "payload/payload_resource.h"

namespace zel {
namespace {

using namespace test;

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

}  // namespace
}  // namespace zel
