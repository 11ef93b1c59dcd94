// Keys in a 3D view of the main window against the window's menu shortcuts.
#include "test_tree_support.h"

#include "geometry/ObjMesh.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"

TEST_F(TreeTest, ctrlZInAnEditingViewUndoesTheMeshEditAndNotTheProjectStep) {
    ASSERT_TRUE(editor->createProject(1, "keys"));
    addTo(0); // a project step before the mesh edit
    const std::string afterStep = tree->currentBytes();
    ObjMesh mesh; // a triangle of no item: editable
    mesh.vertices = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0, 0.5f, 0}};
    mesh.faces.resize(1);
    mesh.faces[0].count = 3;
    for (int k = 0; k < 3; ++k)
        mesh.faces[0].v[k] = k, mesh.faces[0].t[k] = -1;
    mesh.computeNormals();
    mesh.computeBounds();
    mesh.vertexFlags.assign(3, 0);
    SceneRegistry::instance().attachToRoot(&mesh);
    struct Detach { ObjMesh* m; ~Detach() { SceneRegistry::instance().detachMesh(m); } } detach{&mesh};
    SceneRegistry::instance().selectMesh(&mesh, true);
    auto* front = w<BaseMeshViewer>("p_frontView");
    QApplication::setActiveWindow(editor.get());
    front->setFocus();
    QTest::keyClick(front, Qt::Key_Space);
    ASSERT_TRUE(front->inEditMode());
    QTest::keyClick(front, Qt::Key_I, Qt::AltModifier); // every vertex selected
    QTest::keyClick(front, Qt::Key_X);                  // and deleted
    ASSERT_TRUE(mesh.vertices.empty());
    ASSERT_TRUE(front->hasFocus());
    QTest::keyClick(front, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(tree->currentBytes(), afterStep);
}
