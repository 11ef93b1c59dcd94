#include "preview/lumovexawidget.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "images/ImageBuffer.h"
#include "scene/MainDataHolder.h"
#include "vexa/vexa.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QResizeEvent>
#include <QSettings>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>
#include <fstream>

#ifndef GL_BGRA
#define GL_BGRA 0x80E1
#endif

namespace {

const double kPortraitRatio = 221.0 / 127.0;  // height / width of the phone screen
const double kLandscapeRatio = 127.0 / 221.0;
const double kPhoneRatio = 2.0488372;          // 881 / 430, the phone picture
const double kPhoneRatioLandscape = 0.48808172;
const char* kSourceKey = "preview/camera";
const size_t kMaxParamName = 199;   // the runtime's name buffer holds 200 bytes
const size_t kMaxStringParamName = 79;

// Vexa is set up once per process, whichever widget asks first.
bool g_vexaTried = false;
bool g_vexaReady = false;
QString g_sourceOverride;
bool g_hasOverride = false;

bool isPictureFile(const QString& path) {
    static const QStringList exts = {"png", "jpg", "jpeg", "bmp", "tga", "webp", "tif", "tiff", "pgm", "ppm"};
    return exts.contains(QFileInfo(path).suffix().toLower());
}

bool isCameraIndex(const QString& source, int* index) {
    if (source.isEmpty()) {
        *index = 0;
        return true;
    }
    bool ok = false;
    *index = source.toInt(&ok);
    return ok && *index >= 0;
}

// Whole-file read with a size bound (bundles are small; the bound keeps a
// wrong file from taking all memory).
bool readBytes(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > (std::streamoff(1) << 30))
        return false;
    in.seekg(0);
    out.resize(size_t(size));
    return in.read(&out[0], size) || size == 0;
}

} // namespace

lumovexawidget::CropRect lumovexawidget::centreCrop(int W, int H, double r) {
    CropRect c;
    if (W <= 0 || H <= 0)
        return c;
    if (double(H) / W <= r) {
        c.height = H;
        c.width = std::max(1, std::min(W, int(H / r)));
        c.top = 0;
        c.bottom = H - 1;
        c.left = (W - c.width) / 2;
        c.right = W - c.left - 1;
    } else {
        c.width = W;
        c.height = std::max(1, std::min(H, int(W * r)));
        c.left = 0;
        c.right = W - 1;
        c.top = (H - c.height) / 2;
        c.bottom = H - c.top - 1;
    }
    return c;
}

lumovexawidget::lumovexawidget(QWidget* parent) : QGLWidget(parent), m_source(defaultSource()) {
    setContextMenuPolicy(Qt::CustomContextMenu);
    layout(false);
}

lumovexawidget::~lumovexawidget() {
    if (m_timer)
        m_timer->stop();
    makeCurrent();
    for (int h : m_items)
        lumoDestroyItem(h);
    if (m_cameraTex)
        glDeleteTextures(1, &m_cameraTex);
    if (m_phoneTex)
        glDeleteTextures(1, &m_phoneTex);
    doneCurrent();
}

void lumovexawidget::setSourceOverride(const QString& source) {
    g_sourceOverride = source;
    g_hasOverride = true;
}

QString lumovexawidget::defaultSource() {
    if (g_hasOverride)
        return g_sourceOverride;
    return QSettings().value(kSourceKey, QString()).toString();
}

void lumovexawidget::setSource(const QString& source, bool remember) {
    Trace::out("lumovexawidget::setSource(%s)\n", source.toLocal8Bit().constData());
    if (remember)
        QSettings().setValue(kSourceKey, source);
    const bool wasRunning = m_status == Running;
    if (m_timer)
        m_timer->stop();
    releaseSource();
    m_source = source;
    m_cameraOn = false;
    m_hasCameraPicture = false;
    if (m_status == Running || m_status == NoCamera || m_status == Stopped)
        setStatus(g_vexaReady ? Ready : NotStarted);
    if (wasRunning)
        start();
    update();
}

void lumovexawidget::addSourceActions(QMenu* menu) {
    menu->addSeparator();
    QAction* camera = menu->addAction(tr("Camera"));
    QAction* video = menu->addAction(tr("Video file…"));
    QAction* picture = menu->addAction(tr("Picture…"));
    camera->setObjectName(QStringLiteral("p_action_source_camera"));
    video->setObjectName(QStringLiteral("p_action_source_video"));
    picture->setObjectName(QStringLiteral("p_action_source_picture"));
    connect(camera, &QAction::triggered, this, [this] { setSource(QString(), true); });
    connect(video, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Video file…"), QDir::currentPath(),
                                                          tr("Videos (*.avi *.mp4 *.mkv *.mov *.webm);;All files (*)"));
        if (!path.isEmpty())
            setSource(path, true);
    });
    connect(picture, &QAction::triggered, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Picture…"), QDir::currentPath(),
                                                          tr("Pictures (*.png *.jpg *.jpeg *.bmp *.tga *.webp)"));
        if (!path.isEmpty())
            setSource(path, true);
    });
}

void lumovexawidget::setStatus(int status) {
    if (m_status == status)
        return;
    m_status = status;
    emit statusChanged(status);
    update();
}

bool lumovexawidget::openSource() {
    releaseSource();
    int index = 0;
    if (isCameraIndex(m_source, &index)) {
        m_isFile = false;
        return m_capture.open(index, cv::CAP_V4L2) && m_capture.isOpened();
    }
    m_isFile = true;
    const std::string path = m_source.toLocal8Bit().toStdString();
    if (isPictureFile(m_source)) {
        m_still = cv::imread(path, cv::IMREAD_COLOR);
        m_isStill = !m_still.empty();
        return m_isStill;
    }
    // Video files through the media back ends only: the catch-all probe also
    // wakes the still-camera back end, which scans USB for cameras.
    const bool opened = (m_capture.open(path, cv::CAP_FFMPEG) && m_capture.isOpened()) ||
                        (m_capture.open(path, cv::CAP_GSTREAMER) && m_capture.isOpened());
    if (!opened)
        return false;
    const double fps = m_capture.get(cv::CAP_PROP_FPS);
    m_framePeriodMs = fps > 0.5 && fps < 1000 ? 1000.0 / fps : 1000.0 / 30;
    m_clock.start();
    m_nextDueMs = 0;
    return true;
}

void lumovexawidget::releaseSource() {
    if (m_capture.isOpened())
        m_capture.release();
    m_still.release();
    m_isStill = false;
}

bool lumovexawidget::queryFrame(cv::Mat& frame) {
    if (m_isStill) {
        frame = m_still;
        return !frame.empty();
    }
    if (!m_capture.isOpened())
        return false;
    if (m_isFile) {
        // A video plays at its own rate: a tick before the next frame is
        // due shows nothing new; a run far behind catches up at once.
        const double now = double(m_clock.nsecsElapsed()) / 1e6;
        if (now < m_nextDueMs)
            return false;
        m_nextDueMs = std::max(m_nextDueMs + m_framePeriodMs, now - m_framePeriodMs);
        if (m_capture.read(frame) && !frame.empty())
            return true;
        m_capture.set(cv::CAP_PROP_POS_FRAMES, 0); // loop
        return m_capture.read(frame) && !frame.empty();
    }
    return m_capture.read(frame) && !frame.empty();
}

void lumovexawidget::makeFrameBuffers(int width, int height) {
    m_frameW = width;
    m_frameH = height;
    m_cropPortrait = centreCrop(width, height, kPortraitRatio);
    m_cropLandscape = centreCrop(width, height, kLandscapeRatio);
    m_portrait.create(m_cropPortrait.height, m_cropPortrait.width, CV_8UC4);
    m_landscapeImg.create(m_cropLandscape.height, m_cropLandscape.width, CV_8UC4);
}

void lumovexawidget::initCamera() {
    Trace::out("lumovexawidget::initCamera\n");
    try {
        if (!openSource()) {
            Trace::out("can not open camera!!!\n");
            setStatus(NoCamera);
            return;
        }
        cv::Mat frame;
        bool got = false;
        for (int i = 0; i < 11 && !got; ++i) {
            Trace::out("cvQueryFrame frame\n");
            if (m_isFile && !m_isStill)
                m_nextDueMs = 0;
            got = queryFrame(frame);
            if (!got)
                Trace::out("No captured frame\n");
        }
        if (!got) {
            Trace::out("No captured frmae,init fail\n");
            return;
        }
        m_frame = frame;
        Trace::out("check frame res\n");
        m_frameW = m_frameH = 0;
        m_portrait.release();
        m_landscapeImg.release();
        Trace::out("crate frame res\n");
        makeFrameBuffers(frame.cols, frame.rows);

        Trace::out("start timer\n");
        if (!m_timer) {
            m_timer = new QTimer(this);
            m_timer->setInterval(16);
            connect(m_timer, &QTimer::timeout, this, &lumovexawidget::nextFrame);
        }
        m_cameraOn = true;

        Trace::out("glGenTextures tex\n");
        makeCurrent();
        if (!m_cameraTex) {
            glGenTextures(1, &m_cameraTex);
            glBindTexture(GL_TEXTURE_2D, m_cameraTex);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        }

        Trace::out("setup vexa\n");
        setStatus(setupVexa() ? Ready : SetupFailed);
        Trace::out("vexa setup end\n");
    } catch (...) {
        Trace::out("camera init error\n");
    }
}

bool lumovexawidget::setupVexa() {
    if (g_vexaTried && g_vexaReady)
        return true;
    std::string root = MainDataHolder::instance()->root;
    if (root.empty())
        root = QDir::currentPath().toLocal8Bit().toStdString();
    const std::string path = pathJoin(root, "data/vexa/v3.bundle");
    std::string blob;
    const bool exists = QFileInfo::exists(QString::fromLocal8Bit(path.c_str()));
    Trace::out(exists ? "v3data exist, path %s\n" : "v3data not exist path %s\n", path.c_str());
    const bool read = exists && readBytes(path, blob);
    if (read) {
        Trace::out("load v3.bin success\n");
        Trace::out("v3.bin size:%d byte\n", int(blob.size()));
    } else {
        Trace::out("load v3.bin failed\n");
    }
    makeCurrent();
    g_vexaTried = true;
    g_vexaReady = lumoSetup(read ? blob.data() : nullptr, read ? int(blob.size()) : 0) != 0;
    if (g_vexaReady) {
        Trace::out("lumoSetup success\n");
    } else {
        Trace::out("lumoSetup faild\n");
        m_lastError = QString::fromUtf8(lumoGetLastError());
    }
    return g_vexaReady;
}

void lumovexawidget::start() {
    if (!m_cameraOn)
        initCamera();
    if (m_status == Ready || m_status == Stopped) {
        if (m_isFile && !m_isStill)
            m_nextDueMs = 0;
        m_timer->start();
        setStatus(Running);
    }
}

void lumovexawidget::stop() {
    if (m_status == Running) {
        setStatus(Stopped);
        m_timer->stop();
    }
}

void lumovexawidget::nextFrame() {
    if (m_status != Running)
        return;
    try {
        cv::Mat frame;
        if (!queryFrame(frame) && (m_isFile || !queryFrame(frame)))
            return;
        // A source whose frame size changes (another video, a re-plugged
        // camera) gets new buffers and crops.
        if (frame.cols != m_frameW || frame.rows != m_frameH) {
            Trace::out("frame size changed %dx%d\n", frame.cols, frame.rows);
            makeFrameBuffers(frame.cols, frame.rows);
        }
        // Convert and crop in one pass: only the crop's pixels are converted.
        const int code = frame.channels() == 4 ? cv::COLOR_BGRA2RGBA
                         : frame.channels() == 1 ? cv::COLOR_GRAY2RGBA
                                                 : cv::COLOR_BGR2RGBA;
        const CropRect& c = m_landscape ? m_cropLandscape : m_cropPortrait;
        cv::Mat& crop = m_landscape ? m_landscapeImg : m_portrait;
        cv::cvtColor(frame(cv::Rect(c.left, c.top, c.width, c.height)), crop, code);

        makeCurrent();
        if (!m_render.empty()) {
            lumoRenderItemsEx(VEXA_FORMAT_RGBA, crop.data, VEXA_FORMAT_RGBA, crop.data, crop.cols, crop.rows,
                              m_frameCounter, m_render.data(), int(m_render.size()));
            ++m_frameCounter;
        }
        // The picture is shown mirrored (as in a looking glass): paint reads
        // the texture from right to left, so the rows go up as they are.
        glBindTexture(GL_TEXTURE_2D, m_cameraTex);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        if (crop.cols == m_cameraTexW && crop.rows == m_cameraTexH) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, crop.cols, crop.rows, GL_RGBA, GL_UNSIGNED_BYTE, crop.data);
        } else {
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, crop.cols, crop.rows, 0, GL_RGBA, GL_UNSIGNED_BYTE, crop.data);
            m_cameraTexW = crop.cols;
            m_cameraTexH = crop.rows;
        }
        m_hasCameraPicture = true;
        update();
    } catch (...) {
        Trace::out(" lumovexawidget::nextFrame error\nd");
    }
}

QImage lumovexawidget::grabPicture() {
    makeCurrent();
    paintGL();
    return grabFrameBuffer();
}

void lumovexawidget::initializeGL() {
    glClearColor(0, 0, 0, 0);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
}

void lumovexawidget::paintGL() {
    if (QOpenGLContext* ctx = QOpenGLContext::currentContext()) {
        ctx->functions()->glUseProgram(0);
        ctx->functions()->glActiveTexture(GL_TEXTURE0);
    }
    glViewport(0, 0, int(width() * devicePixelRatioF()), int(height() * devicePixelRatioF()));
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);

    const ImageBuffer* phone = MainDataHolder::instance()->previewPicture.get();
    if (!m_phoneTex && phone && phone->channels == 4 && phone->width > 0 && !phone->data.empty()) {
        glGenTextures(1, &m_phoneTex);
        glBindTexture(GL_TEXTURE_2D, m_phoneTex);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, phone->width, phone->height, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                     phone->data.data());
    }
    auto quad = [](const float* xy, const float* uv) {
        glBegin(GL_QUADS);
        for (int k = 0; k < 4; ++k) {
            glTexCoord2f(uv[2 * k], uv[2 * k + 1]);
            glVertex2f(xy[2 * k], xy[2 * k + 1]);
        }
        glEnd();
    };
    if (m_phoneTex) {
        glBindTexture(GL_TEXTURE_2D, m_phoneTex);
        quad(m_phoneQuad, m_phoneUv);
    }
    if (m_cameraOn && m_hasCameraPicture) {
        // (0, 1), (0, 0), (1, 0), (1, 1) of the mirrored picture.
        static const float uv[8] = {1, 1, 1, 0, 0, 0, 0, 1};
        glBindTexture(GL_TEXTURE_2D, m_cameraTex);
        quad(m_cameraQuad, uv);
    }
    glBindTexture(GL_TEXTURE_2D, 0);

    QString words;
    if (m_status == NoCamera)
        words = tr("No camera found.\nRight-click here to play a video file or a picture instead.");
    else if (m_status == SetupFailed)
        words = tr("The Vexa runtime could not be set up.") + "\n" + m_lastError;
    else if (!m_cameraOn)
        words = tr("Press play to start the preview.");
    if (!words.isEmpty()) {
        QPainter painter(this);
        painter.setPen(QColor(0xE0, 0xE0, 0xE8));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, words);
    }
}

void lumovexawidget::resizeEvent(QResizeEvent* event) {
    const int w = event->size().width(), h = event->size().height();
    Trace::out("lumovexawidget::resizeEvent :%d %d\n", w, h);
    if (w != 0 && h != 0) {
        m_width = float(w);
        m_height = float(h);
        layout(m_landscape);
    }
    QGLWidget::resizeEvent(event);
}

void lumovexawidget::setLandscape(bool landscape) {
    layout(landscape);
    update();
}

void lumovexawidget::layout(bool L) {
    m_landscape = L;
    const int W = int(m_width), H = int(m_height);
    float a = 1, b = 1;
    if (W > 0 && H > 0) {
        const double ratio = L ? kPhoneRatioLandscape : kPhoneRatio;
        int w2 = W, h2 = H;
        if (double(H) / W <= ratio)
            w2 = int(H / ratio);
        else
            h2 = int(W * ratio);
        a = float(w2) / W;
        b = float(h2) / H;
    }
    const float phone[8] = {-a, -b, -a, b, a, b, a, -b};
    std::memcpy(m_phoneQuad, phone, sizeof phone);
    static const float uvPortrait[8] = {0, 1, 0, 0, 1, 0, 1, 1};
    static const float uvLandscape[8] = {1, 1, 0, 1, 0, 0, 1, 0};
    std::memcpy(m_phoneUv, L ? uvLandscape : uvPortrait, sizeof m_phoneUv);
    if (!L) {
        const float cam[8] = {-0.88372093f * a, -0.76390463f * b, -0.88372093f * a, 0.76390463f * b,
                              0.88837206f * a,  0.76390463f * b,  0.88837206f * a,  -0.76390463f * b};
        std::memcpy(m_cameraQuad, cam, sizeof cam);
    } else {
        const float cam[8] = {-0.76390463f * a, -0.88837206f * b, -0.76390463f * a, 0.88372093f * b,
                              0.76390463f * a,  0.88372093f * b,  0.76390463f * a,  -0.88837206f * b};
        std::memcpy(m_cameraQuad, cam, sizeof cam);
    }
    if (!m_items.empty()) {
        makeCurrent();
        for (int h : m_items)
            lumoItemSetParamd(h, "isLandscape", L ? 1 : 0);
    }
}

void lumovexawidget::setCurIdx(int i) {
    m_curIdx = i;
    Trace::out("setCurIdx(%d)\n", i);
}

bool lumovexawidget::setRenderEnabled(int i, bool enabled) {
    if (i < 0 || size_t(i) >= m_items.size())
        return false;
    m_render[size_t(i)] = enabled ? m_items[size_t(i)] : 0;
    return true;
}

void lumovexawidget::refresh(int i) {
    i = indexOf(i);
    if (i < 0 || size_t(i) >= m_items.size())
        return;
    makeCurrent();
    lumoItemSetParamd(m_items[size_t(i)], "@refresh", 0);
}

void lumovexawidget::setParam_f(const std::string& name, float value, int i) {
    i = indexOf(i);
    if (i < 0 || size_t(i) >= m_items.size())
        return;
    const int handle = m_items[size_t(i)];
    if (name.size() > kMaxParamName) {
        Trace::out("lumovexawidget::setParam_f: parameter name of %d bytes refused\n", int(name.size()));
        return;
    }
    Trace::out("lumovexawidget::setParam_f(%s,%f,%d) rid %d\n", name.c_str(), double(value), i, handle);
    makeCurrent();
    lumoItemSetParamd(handle, name.c_str(), double(value));
    lumoItemSetParamd(handle, "@refresh", 0);
}

void lumovexawidget::setParam_s(const std::string& name, const std::string& value, int i) {
    i = indexOf(i);
    if (i < 0 || size_t(i) >= m_items.size())
        return;
    const int handle = m_items[size_t(i)];
    if (name.size() > kMaxStringParamName) {
        Trace::out("lumovexawidget::setParam_s: parameter name of %d bytes refused\n", int(name.size()));
        return;
    }
    Trace::out("lumovexawidget::setParam_f(%s,%s,%d) rid %d\n", name.c_str(), value.c_str(), i, handle);
    makeCurrent();
    lumoItemSetParams(handle, name.c_str(), value.c_str());
    lumoItemSetParamd(handle, "@refresh", 0);
}

bool lumovexawidget::addBundle(const std::string& path) {
    m_lastError.clear();
    if (!m_cameraOn)
        start();
    if (!m_cameraOn) {
        Trace::out("camera init failed\n");
        m_lastError = tr("camera init failed");
        return false;
    }
    std::string bytes;
    if (!readBytes(path, bytes)) {
        Trace::out("load bundle failed:%s\n", path.c_str());
        m_lastError = tr("can not read %1").arg(QString::fromLocal8Bit(path.c_str()));
        return false;
    }
    Trace::out("load bundle success\n");
    makeCurrent();
    const int handle = lumoCreateItemFromPackage(bytes.data(), int(bytes.size()));
    Trace::out("addBundle nid:%d\n", handle);
    if (handle == 0) {
        m_lastError = QString::fromUtf8(lumoGetLastError());
        return false;
    }
    lumoItemSetParamd(handle, "isLandscape", m_landscape ? 1 : 0);
    m_items.push_back(handle);
    m_render.push_back(handle);
    return true;
}

bool lumovexawidget::replaceBundle(const std::string& path, int i) {
    if (!addBundle(path))
        return false;
    const int last = int(m_items.size()) - 1;
    const bool inside = i >= 0 && i < last;
    Trace::out("idx %d %d ,val %d %d ,\n", i, last, inside ? m_items[size_t(i)] : 0, m_items[size_t(last)]);
    if (inside && m_items[size_t(i)] != m_items[size_t(last)]) {
        std::swap(m_items[size_t(i)], m_items[size_t(last)]);
        std::swap(m_render[size_t(i)], m_render[size_t(last)]);
        // The new item takes the place of the old in the render list as
        // well, so an entry disabled before renders again.
        m_render[size_t(i)] = m_items[size_t(i)];
        makeCurrent();
        lumoDestroyItem(m_items[size_t(last)]);
        m_items.pop_back();
        m_render.pop_back();
    }
    return true;
}

bool lumovexawidget::deleteBundle(int i) {
    if (i < 0 || size_t(i) >= m_items.size())
        return false;
    const int handle = m_items[size_t(i)];
    m_items.erase(m_items.begin() + i);
    m_render.erase(m_render.begin() + i);
    makeCurrent();
    lumoDestroyItem(handle);
    return true;
}

bool lumovexawidget::moveDown(int i) {
    if (i < 0 || i + 1 >= int(m_items.size()))
        return false;
    std::swap(m_items[size_t(i)], m_items[size_t(i) + 1]);
    std::swap(m_render[size_t(i)], m_render[size_t(i) + 1]);
    return true;
}

bool lumovexawidget::moveUp(int i) {
    if (i < 1 || i >= int(m_items.size()))
        return false;
    std::swap(m_items[size_t(i)], m_items[size_t(i) - 1]);
    std::swap(m_render[size_t(i)], m_render[size_t(i) - 1]);
    return true;
}
