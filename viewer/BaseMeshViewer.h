#pragma once
// One 3D view of the shared scene (scenegraph/SceneRegistry.h): the main
// window shows three of them (front, left, free). Each view draws the scene
// through its own camera and its own transform of the whole scene
// (sceneNode: fit translation and panning), picks what lies under the mouse
// by drawing identifying colours into an off-screen framebuffer, moves the
// selection with the translate gizmo, and edits one mesh's vertices in edit
// mode (Space). It tells the rest of the editor about changes through four
// signals: notifyPosScale (a gizmo drag moved a node), notifySelection (a
// click changed the selection), notifyMoving (a drag started) and
// notifyReady (the drag ended).
//
// Pick ids: 0 background; 1..3 gizmo axes x, y, z; 3000000 + i vertex i of
// the edit mesh; 10000000 + k the k-th mesh of the scene in depth-first
// order. An id is the colour red * 65536 + green * 256 + blue.
//
// Repainting: a 20 ms timer looks for changes (the scene's nodes, meshes and
// selection, this view's camera and options) and repaints only when there
// was one; setContinuousRepaint(true) repaints on every tick instead and
// runs the pick pass with every frame.
//
// GUI thread only.

#include "geometry/Math3d.h"
#include "viewer/Camera.h"

#include "scenegraph/GLNode.h"

#include <QOpenGLWidget>
#include <QPoint>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ObjMesh;
class QOpenGLFramebufferObject;
class QUndoStack;

// One pickable thing of the view: a gizmo handle, a marker, or a kind of
// mesh element. Kinds: 0 mesh element, 1 marker/bone/mesh object,
// 2 translation, 3 rotation, 4 scale, 5 mirror.
struct HandleRecord {
    uint32_t id = 0;
    math3d::Vec3 direction;
    std::string name;
    int32_t kind = 0;
};

class BaseMeshViewer : public QOpenGLWidget {
    Q_OBJECT
public:
    static constexpr uint32_t kFirstMeshId = 10000000;
    static constexpr uint32_t kFirstVertexId = 3000000;

    explicit BaseMeshViewer(QWidget* parent = nullptr);
    ~BaseMeshViewer() override;

    // ---- Configuration (set by the main window) ----
    int32_t viewNumber = 0;   // front 1000, left 1001, free 1002
    int32_t contextIndex = 0; // texture slot of this view's GL context
    int32_t renderMode = 0;   // RenderMode bits; 230 after GL start-up when 0
    int32_t axisMask = 0xF;   // gizmo parts shown: 1 x, 2 y, 4 z, 8 centre point
    bool zoomEnabled = true, panEnabled = true, rotateEnabled = true;

    // Fits the camera to every mesh attached to the scene (a unit box at the
    // origin when there is none).
    void resetView();
    // eye = distanceUnit * offset + centre, looking at centre, unit zoom.
    void setCameraOffset(const math3d::Vec3& offset);
    // Frames the world boxes of the selected meshes (F) or of every
    // pickable mesh (Home), keeping the direction of view.
    void frameSelection();
    void frameAll();
    // Uploads the textures of this view's slot and points every material of
    // the first two scene levels at them. Call after attaching, detaching or
    // re-texturing meshes (and for all three views).
    void updateAllMat();
    // Object mode <-> edit mode.
    void toggleMode();
    bool inEditMode() const { return m_mode == 0; }

    // The record of a pick id after folding (1000..1999 -> 1000,
    // 2010..9999 -> 2010, 10004..9999999 -> 10004), or null.
    const HandleRecord* lookupHandle(uint32_t id) const;
    // The pick id under a widget pixel (0 outside the view); runs the pick
    // pass first when the scene changed since the last one.
    uint32_t pickId(const QPoint& pos);
    // The edit mesh's vertex under a widget pixel, or -1.
    int32_t pickVertex(const QPoint& pos);

    // ---- Edit mode ----
    // Makes mesh the edit mesh (null: none) and clears the picked vertices.
    void setEditMesh(ObjMesh* mesh);
    ObjMesh* editMesh() const { return m_editMesh; }
    const std::vector<int32_t>& pickedVertices() const { return m_pickedVertices; }
    const math3d::Vec3& editCentre() const { return m_editCentre; }
    // Names of the last 256 named edit operations, oldest first.
    const std::deque<std::string>& editHistory() const { return m_editHistory; }
    // The stack edits are recorded on: the view's own until one is given
    // (null returns to the view's own). Not owned.
    void setUndoStack(QUndoStack* stack);
    QUndoStack* undoStack() const { return m_undo; }

    // ---- Drawing ----
    // Draws one frame into the current context and framebuffer (what
    // paintGL does); the context must be current.
    void drawFrame();
    // Runs the pick pass now and reads it back (benchmarks).
    void runPickPass();
    void setContinuousRepaint(bool on) { m_continuous = on; }
    // Number of frames drawn so far.
    uint64_t framesDrawn() const { return m_frames; }
    // Tells every view that the scene changed in a way they cannot see
    // (mesh contents, textures).
    static void sceneChanged();
    // Process-wide: true from the first move of a gizmo drag to its release.
    static bool moving();

    Camera& camera() { return m_camera; }
    GLNode& sceneNode() { return m_sceneNode; }
    float distanceUnit() const { return m_distanceUnit; }
    const math3d::Vec3& eye() const { return m_eye; }
    const math3d::Vec3& centre() const { return m_centre; }
    int32_t hoverMask() const { return m_hoverMask; }

signals:
    void notifyPosScale();
    void notifySelection();
    void notifyMoving();
    void notifyReady();
    // A short message for the status bar.
    void statusMessage(const QString& text);

protected:
    // A right press would open the custom context menu at once and take the
    // drag that pans or the click that picks a vertex: the menu opens instead
    // at the release of a right click that did not move, in object mode.
    bool event(QEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void timerEvent(QTimerEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    friend class MeshEditCommand;
    void fillHandles();
    static void setMovingFlag(bool on);
    void changed(); // this view needs a repaint and a new pick pass
    uint64_t sceneSignature() const;
    void refreshMaterials();
    void uploadTextures(); // context current
    void setLight();
    // Gizmo (ViewerGizmo.cpp).
    bool gizmoPoints(math3d::Vec3 out[4]);
    void drawGizmo(bool pickMode, float pointSize, float lineWidth);
    void computeAxisScreen();
    void dragGizmo(const QPoint& pos);
    bool selectionBox(math3d::Vec3& lo, math3d::Vec3& hi, bool world) const;
    void frameBox(const math3d::Vec3& lo, const math3d::Vec3& hi);
    // Edit mode (ViewerEdit.cpp).
    bool editKey(QKeyEvent* event);
    void editRelease(QMouseEvent* event);
    void updateEditCentre();
    // Runs op on the edit mesh as one undoable step named name (empty: not
    // entered in the named history).
    template <class Op>
    void editStep(const char* name, Op op);
    void enterEditMode();
    void leaveEditMode();
    bool editMeshAlive() const;
    math3d::Mat4 editMeshMatrix() const;
    void drawEditVertices(bool pickMode);

    Camera m_camera;
    GLNode m_sceneNode;
    int32_t m_mode = 1; // 1 object mode, 0 edit mode
    int32_t m_pressedButton = 0;
    QPoint m_lastPos, m_pressPos;
    math3d::Mat4 m_modelMatrix;
    math3d::Vec3 m_eye{0, 0, 1}, m_centre{0, 0, 0};
    float m_distanceUnit = 1.0f;
    std::vector<math3d::Vec3> m_startPositions;
    std::vector<uint32_t> m_pickImage; // bottom row first
    int m_pickWidth = 0, m_pickHeight = 0;
    std::unique_ptr<QOpenGLFramebufferObject> m_pickFbo;
    bool m_pickFboFailed = false;
    bool m_pickDirty = true;
    std::map<uint32_t, HandleRecord> m_handles;
    const HandleRecord* m_pressedHandle = nullptr;
    const HandleRecord* m_hoverHandle = nullptr;
    uint32_t m_lastPickId = 0;
    int32_t m_hoverMask = 0;
    math3d::Vec3 m_axisScreen[4];
    ObjMesh* m_editMesh = nullptr;
    std::vector<int32_t> m_pickedVertices;
    math3d::Vec3 m_editCentre;
    std::deque<std::string> m_editHistory;
    int m_neighbourCount = 0;
    std::unique_ptr<QUndoStack> m_ownUndo;
    QUndoStack* m_undo = nullptr;
    bool m_dragStarted = false;
    bool m_continuous = false;
    bool m_needsPaint = true;
    bool m_texturesPending = true;
    uint64_t m_lastSignature = 0;
    uint64_t m_seenGeneration = 0;
    uint64_t m_frames = 0;
    int m_timer = 0;
};
