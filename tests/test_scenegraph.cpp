// The scene graph: node transforms and children, pick order, and the shared
// registry's attach, detach and select operations.

#include "geometry/ObjMesh.h"
#include "scenegraph/GLNode.h"
#include "scenegraph/SceneRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace testing_support;
using math3d::Mat3;
using math3d::Mat4;
using math3d::Vec3;

namespace {

// A node with the given depth (position.z) and name.
GLNode nodeAt(float z, const std::string& name) {
    GLNode n;
    n.setPosition({0, 0, z});
    n.name = name;
    return n;
}

void expectMatNear(const Mat4& a, const Mat4& b) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(a.m[i], b.m[i], 1e-5f) << "entry " << i;
}

// Every test starts from an empty shared scene.
class Registry : public testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    void reset() {
        TraceCapture quiet;
        reg.clearSelection();
        reg.detachAll();
        reg.sortRequested = false;
    }
    SceneRegistry& reg = SceneRegistry::instance();
    // Meshes outlive the scene that shows them (TearDown detaches them).
    ObjMesh head, eyes, hat, stray, orphan, absent, a, b;
    ObjMesh m[4];
};

} // namespace

// ---- GLNode ----

TEST(GLNodeTransform, composesAndDecomposesTheLocalMatrix) {
    GLNode n;
    EXPECT_EQ(n.typeId(), 0x10000006u);
    expectMatNear(n.localMatrix(), Mat4::identity());
    const Mat3 r = math3d::eulerToMat3({0.3f, -0.2f, 1.1f});
    n.setRotation(r);
    n.setScale({2, 3, 4});
    n.setPosition({5, 6, 7});
    expectMatNear(n.localMatrix(), math3d::compose({5, 6, 7}, {2, 3, 4}, r));
    EXPECT_FLOAT_EQ(n.localMatrix()(0, 0), 2 * r(0, 0));
    EXPECT_FLOAT_EQ(n.localMatrix()(1, 2), 4 * r(1, 2));
    EXPECT_FLOAT_EQ(n.localMatrix()(2, 3), 7);

    GLNode d;
    d.setLocalMatrix(n.localMatrix());
    EXPECT_FLOAT_EQ(d.position().y, 6);
    EXPECT_NEAR(d.scale().x, 2, 1e-5);
    EXPECT_NEAR(d.scale().z, 4, 1e-5);
    // The rotation part is kept as it stands, scale included.
    EXPECT_FLOAT_EQ(d.rotation()(0, 1), n.localMatrix()(0, 1));
}

TEST(GLNodeTransform, worldMatrixChainsParents) {
    GLNode root;
    root.setPosition({1, 0, 0});
    GLNode* a = root.addChild(GLNode());
    a->setScale({2, 2, 2});
    GLNode* b = a->addChild(GLNode());
    b->setPosition({0, 1, 0});
    EXPECT_EQ(b->parent(), a);
    EXPECT_EQ(a->parent(), &root);
    const Vec3 p = math3d::transformPoint(b->worldMatrix(), {1, 0, 0});
    EXPECT_FLOAT_EQ(p.x, 3); // 1 + 2 * 1
    EXPECT_FLOAT_EQ(p.y, 2); // 2 * 1
    expectMatNear(root.worldMatrix(), root.localMatrix());
}

TEST(GLNodeChildren, addRemoveAndLookUp) {
    TraceCapture trace;
    GLNode root;
    ObjMesh m1, m2;
    GLNode a = nodeAt(1, "a");
    a.addMesh(&m1);
    a.addChild(nodeAt(5, "a-child"));
    GLNode* stored = root.addChild(a);
    EXPECT_NE(stored, &a);
    EXPECT_EQ(stored->parent(), &root);
    EXPECT_EQ(stored->child(0)->parent(), stored); // the copied subtree points at the copy
    EXPECT_EQ(stored->mesh(0), &m1);
    root.addChild(nodeAt(2, "b"))->addMesh(&m2);
    EXPECT_EQ(root.childCount(), 2);
    EXPECT_EQ(root.child(1)->name, "b");
    EXPECT_EQ(root.child(2), nullptr);
    EXPECT_TRUE(trace.contains("2 out of meshes index when get\n"));
    EXPECT_EQ(stored->mesh(1), nullptr);
    EXPECT_TRUE(trace.contains("1 out of meshes index when get\n"));
    EXPECT_FALSE(root.removeChild(2));
    EXPECT_FALSE(root.removeChild(-1));
    EXPECT_EQ(root.childCount(), 2);
    EXPECT_TRUE(root.removeChild(0));
    ASSERT_EQ(root.childCount(), 1);
    EXPECT_EQ(root.child(0)->name, "b");
    m2.highlighted = true;
    root.child(0)->clearHighlight();
    EXPECT_FALSE(m2.highlighted);
    root.clear();
    EXPECT_EQ(root.childCount(), 0);
    EXPECT_EQ(root.meshCount(), 0);
    EXPECT_EQ(m2.vertices.size(), 0u); // meshes are not touched
}

TEST(GLNodeChildren, sortByDepthIsStableAndKeepsAddresses) {
    GLNode root;
    std::vector<GLNode*> nodes;
    const float depths[] = {3, -1, 2, -1, 0, 2};
    for (int i = 0; i < 6; ++i)
        nodes.push_back(root.addChild(nodeAt(depths[i], "n" + std::to_string(i))));
    root.sortChildrenByDepth();
    std::vector<std::string> order;
    for (const GLNode& c : root.children())
        order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"n1", "n3", "n4", "n2", "n5", "n0"}));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(nodes[i]->name, "n" + std::to_string(i)); // same objects, same addresses
}

TEST(GLNodePick, indexLeadsBackToTheMeshDrawnWithThatColour) {
    TraceCapture trace;
    ObjMesh m[6];
    GLNode root;
    root.addMesh(&m[0]);
    GLNode* a = root.addChild(GLNode());
    a->addMesh(&m[1]);
    a->addMesh(&m[2]);
    GLNode* a1 = a->addChild(GLNode());
    a1->addMesh(&m[3]);
    root.addChild(GLNode()); // a node without meshes
    GLNode* b = root.addChild(GLNode());
    b->addMesh(&m[4]);
    b->addChild(GLNode())->addMesh(&m[5]);
    const GLNode* owners[] = {&root, a, a, a1, b, &*std::next(b->children().begin(), 0)};
    EXPECT_EQ(root.subtreeMeshCount(), 6);
    for (int k = 0; k < 6; ++k) {
        const auto found = root.findMeshByIndex(k);
        EXPECT_EQ(found.first, &m[k]) << k;
        EXPECT_EQ(found.second, owners[k]) << k;
    }
    EXPECT_EQ(root.findMeshByIndex(6).first, nullptr);
    EXPECT_EQ(root.findMeshByIndex(-1).first, nullptr);
    EXPECT_TRUE(trace.contains("-1 out of meshes index when get\n"));
}

TEST(GLNodePick, secondNodeOfTwoAnswersTheSecondColour) {
    ObjMesh first, second;
    GLNode root;
    root.addChild(GLNode())->addMesh(&first);
    root.addChild(GLNode())->addMesh(&second);
    const int pickColour = 10000001;
    EXPECT_EQ(root.findMeshByIndex(pickColour - GLNode::kFirstPickId).first, &second);
}

// ---- Registry ----

TEST_F(Registry, attachesToTheRootAndToParents) {
    head.name = "head";
    eyes.name = "eyes";
    GLNode* headNode = reg.attachToRoot(&head);
    ASSERT_NE(headNode, nullptr);
    EXPECT_EQ(head.node, headNode);
    EXPECT_EQ(headNode->name, "head");
    EXPECT_EQ(headNode->parent(), &reg.sceneRoot);
    EXPECT_EQ(reg.m_share_nodes.count({headNode, &head}), 1u);
    GLNode* eyesNode = reg.attachToParent(&head, &eyes);
    ASSERT_NE(eyesNode, nullptr);
    EXPECT_EQ(eyes.node, eyesNode);
    EXPECT_EQ(eyesNode->parent(), headNode);
    EXPECT_EQ(eyesNode->name, "eyes");
    EXPECT_EQ(reg.m_share_nodes.size(), 1u); // children are not registered
    GLNode dummy;
    orphan.node = &dummy;
    EXPECT_EQ(reg.attachToParent(&stray, &orphan), nullptr);
    EXPECT_EQ(orphan.node, &dummy);
    EXPECT_EQ(reg.sceneRoot.childCount(), 1);
}

TEST_F(Registry, detachesRegisteredAndChildMeshes) {
    reg.attachToRoot(&head);
    reg.attachToParent(&head, &eyes);
    reg.attachToRoot(&hat);
    {
        TraceCapture trace;
        EXPECT_FALSE(reg.detachMesh(&absent));
        EXPECT_EQ(trace.all(), "");
    }
    {
        TraceCapture trace;
        EXPECT_TRUE(reg.detachMesh(&eyes)); // found through its parent's pair
        EXPECT_TRUE(trace.contains("detach node begin"));
        EXPECT_TRUE(trace.contains("detach node end"));
    }
    EXPECT_EQ(eyes.node, nullptr);
    EXPECT_EQ(head.node->childCount(), 0);
    EXPECT_EQ(reg.m_share_nodes.size(), 2u);
    TraceCapture trace;
    EXPECT_TRUE(reg.detachMesh(&head));
    EXPECT_EQ(head.node, nullptr);
    EXPECT_EQ(reg.m_share_nodes.size(), 1u);
    ASSERT_EQ(reg.sceneRoot.childCount(), 1);
    EXPECT_EQ(reg.sceneRoot.child(0)->mesh(0), &hat);
    EXPECT_FALSE(reg.detachMesh(&head));
}

TEST_F(Registry, detachingAParentForgetsItsSubtree) {
    reg.attachToRoot(&head);
    reg.attachToParent(&head, &eyes);
    reg.selectMesh(&eyes, true);
    ASSERT_EQ(reg.m_selectedSet.size(), 1u);
    TraceCapture trace;
    EXPECT_TRUE(reg.detachMesh(&head));
    EXPECT_EQ(eyes.node, nullptr);       // no pointer to the dead child node survives
    EXPECT_TRUE(reg.m_selectedSet.empty());
    EXPECT_FALSE(eyes.highlighted);
    reg.clearSelection();
}

TEST_F(Registry, selectsMeshesWithEveryNodeShowingThem) {
    TraceCapture trace;
    GLNode* headNode = reg.attachToRoot(&head);
    GLNode* eyesNode = reg.attachToParent(&head, &eyes);
    GLNode* hatNode = reg.attachToRoot(&hat);
    reg.selectMesh(&head, true);
    EXPECT_TRUE(trace.contains("BaseMeshViewer::selectMeshnode set:2\n"));
    EXPECT_TRUE(head.highlighted);
    EXPECT_EQ(reg.m_selectedSet, (std::set<SceneRegistry::NodeMeshPair>{{headNode, &head}}));
    reg.selectMesh(&eyes, false);
    EXPECT_TRUE(eyes.highlighted);
    EXPECT_EQ(reg.m_selectedSet.size(), 2u);
    EXPECT_EQ(reg.m_selectedSet.count({eyesNode, &eyes}), 1u);
    reg.selectMesh(&hat, true);
    EXPECT_FALSE(head.highlighted);
    EXPECT_FALSE(eyes.highlighted);
    EXPECT_TRUE(hat.highlighted);
    EXPECT_EQ(reg.m_selectedSet, (std::set<SceneRegistry::NodeMeshPair>{{hatNode, &hat}}));
    reg.clearSelection();
    EXPECT_FALSE(hat.highlighted);
    EXPECT_TRUE(reg.m_selectedSet.empty());
}

TEST_F(Registry, detachAllEmptiesTheSceneAndDropsDeadSelections) {
    reg.attachToRoot(&a);
    reg.attachToRoot(&b);
    reg.selectMesh(&a, true);
    TraceCapture trace;
    reg.detachAll();
    EXPECT_EQ(trace.all(), " BaseMeshViewer::detachAll() begin BaseMeshViewer::m_share_nodes detachAll"
                           " BaseMeshViewer::m_share_nodes_set detachAll()");
    EXPECT_TRUE(reg.m_share_nodes.empty());
    EXPECT_EQ(reg.sceneRoot.childCount(), 0);
    EXPECT_EQ(a.node, nullptr);
    EXPECT_TRUE(reg.m_selectedSet.empty());
    reg.clearSelection();
}

TEST_F(Registry, sortsOnRequestKeepingEqualDepthsInOrder) {
    const float depths[] = {1, 0, 1, -2};
    std::vector<GLNode*> nodes;
    for (int i = 0; i < 4; ++i) {
        m[i].name = "m" + std::to_string(i);
        nodes.push_back(reg.attachToRoot(&m[i]));
        nodes.back()->setPosition({0, 0, depths[i]});
    }
    TraceCapture trace;
    reg.sortShareNodes();
    EXPECT_EQ(reg.sceneRoot.child(0)->name, "m0"); // not requested: unchanged
    EXPECT_EQ(trace.all(), "");
    reg.sortRequested = true;
    reg.sortShareNodes();
    EXPECT_FALSE(reg.sortRequested);
    EXPECT_EQ(trace.all(), "BaseMeshViewer::sortShareNodes\n");
    std::vector<std::string> order;
    for (const GLNode& c : reg.sceneRoot.children())
        order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"m3", "m1", "m0", "m2"}));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(m[i].node, nodes[i]); // registered pointers stay valid
        EXPECT_EQ(reg.m_share_nodes.count({nodes[i], &m[i]}), 1u);
        EXPECT_EQ(nodes[i]->mesh(0), &m[i]);
    }
    // Picking after the sort follows the new order.
    EXPECT_EQ(reg.sceneRoot.findMeshByIndex(0).first, &m[3]);
    EXPECT_TRUE(reg.detachMesh(&m[1]));
    EXPECT_EQ(nodes[3]->mesh(0), &m[3]);
}
