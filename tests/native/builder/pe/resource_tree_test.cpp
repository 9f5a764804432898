#include "builder/pe/resource_tree.h"

#include <gtest/gtest.h>

#include "builder/pe/payload_embedding.h"
#include "builder/pe/pe_stub.h"
#include "native/builder/test_support.h"
#include "payload/payload_resource.h"

namespace zel {
namespace {

using namespace test;

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

}  // namespace
}  // namespace zel
