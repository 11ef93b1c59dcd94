#pragma once
// The live preview: frames from a camera (or a video file or a still picture
// standing in for one) are cropped to a phone screen, the loaded effect
// items are drawn into them by the Vexa runtime, and the result is shown in
// the phone picture. The widget owns the runtime's item handles; every
// runtime call is made on the GUI thread with this widget's context current.
//
// Status: 0 not started, 1 runtime set-up failed, 2 ready, 3 running,
// 4 stopped, 5 no camera (the view then says so and the context menu offers
// the other sources).

#include <QGLWidget>
#include <QElapsedTimer>
#include <QString>

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <string>
#include <vector>

class QMenu;
class QTimer;

class lumovexawidget : public QGLWidget {
    Q_OBJECT
public:
    enum Status { NotStarted = 0, SetupFailed = 1, Ready = 2, Running = 3, Stopped = 4, NoCamera = 5 };

    struct CropRect {
        int width = 0, height = 0, left = 0, right = 0, top = 0, bottom = 0;
    };
    // The centre crop of a W x H frame whose height / width is `ratio`.
    static CropRect centreCrop(int W, int H, double ratio);

    explicit lumovexawidget(QWidget* parent = nullptr);
    ~lumovexawidget() override;

    // The frame source: "" or a number = that camera; anything else is a
    // file, a still picture (by its extension) or a video, looped and paced
    // at its own frame rate. The default comes from the command line
    // (setSourceOverride), else from the settings, else camera 0.
    static void setSourceOverride(const QString& source);
    static QString defaultSource();
    QString source() const { return m_source; }
    // Switches the source (releases the old one; a running preview goes on
    // with the new one). remember: stored in the settings as the default.
    void setSource(const QString& source, bool remember = false);
    // "Camera", "Video file…" and "Picture…" for the view's context menu.
    void addSourceActions(QMenu* menu);

    int status() const { return m_status; }
    bool isCameraOn() const { return m_cameraOn; }
    int frameCounter() const { return m_frameCounter; }
    int curIdx() const { return m_curIdx; }
    bool landscape() const { return m_landscape; }
    const std::vector<int>& itemHandles() const { return m_items; }
    const std::vector<int>& renderList() const { return m_render; }
    // Render-list entry i: its handle (enabled) or 0 (disabled). False for
    // an index outside the lists.
    bool setRenderEnabled(int i, bool enabled);
    const CropRect& portraitCrop() const { return m_cropPortrait; }
    const CropRect& landscapeCrop() const { return m_cropLandscape; }
    // Corners (x, y) x 4 in device coordinates.
    const float* phoneQuad() const { return m_phoneQuad; }
    const float* cameraQuad() const { return m_cameraQuad; }
    // The view as it paints now (drawn into the back buffer and read back).
    QImage grabPicture();
    // Why the last addBundle / replaceBundle failed ("" after a success).
    const QString& lastError() const { return m_lastError; }

public slots:
    void initCamera();
    void start();
    void stop();
    bool isRunning() const { return m_status == Running; }
    void nextFrame();
    void setCurIdx(int i);
    void setLandscape(bool landscape);
    void refresh(int i = -1);
    void setParam_f(const std::string& name, float value, int i = -1);
    void setParam_s(const std::string& name, const std::string& value, int i = -1);
    bool addBundle(const std::string& path);
    bool replaceBundle(const std::string& path, int i);
    bool deleteBundle(int i);
    bool moveDown(int i);
    bool moveUp(int i);

signals:
    void statusChanged(int status);

protected:
    void initializeGL() override;
    void paintGL() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool openSource();
    void releaseSource();
    // A new frame into `frame`; false when none (or a video frame not yet due).
    bool queryFrame(cv::Mat& frame);
    void makeFrameBuffers(int width, int height);
    void layout(bool landscape);
    void setStatus(int status);
    bool setupVexa();
    int indexOf(int i) const { return i == -1 ? m_curIdx : i; }

    float m_width = 0, m_height = 0;
    unsigned m_phoneTex = 0;
    float m_phoneQuad[8] = {};
    float m_phoneUv[8] = {};
    float m_cameraQuad[8] = {};

    QString m_source;
    cv::VideoCapture m_capture;
    cv::Mat m_still;          // the picture source, BGR
    bool m_isStill = false;
    bool m_isFile = false;
    double m_framePeriodMs = 0; // video files: 1000 / fps
    double m_nextDueMs = 0;
    QElapsedTimer m_clock;
    cv::Mat m_frame;

    int m_frameW = 0, m_frameH = 0;  // the source's frame size
    cv::Mat m_portrait, m_landscapeImg; // the crops, RGBA, drawn on in place
    QTimer* m_timer = nullptr;
    int m_status = NotStarted;
    bool m_cameraOn = false;
    int m_frameCounter = 0;
    unsigned m_cameraTex = 0;
    int m_cameraTexW = 0, m_cameraTexH = 0;
    bool m_hasCameraPicture = false;
    std::vector<int> m_items;
    std::vector<int> m_render;
    int m_curIdx = -1;
    bool m_landscape = false;
    CropRect m_cropPortrait, m_cropLandscape;
    QString m_lastError;
};
