// The only file of the runtime that includes dlib (its headers compile slowly).
#include "vexa/FaceTracker.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <thread>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace vexa {

namespace {

constexpr double kPi = 3.14159265358979323846;

double dist(const Point2& a, const Point2& b) { return std::hypot(double(a.x - b.x), double(a.y - b.y)); }
double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

Box boundsOf(const Landmarks& l) {
    float x0 = l[0].x, y0 = l[0].y, x1 = x0, y1 = y0;
    for (const Point2& p : l) {
        x0 = std::min(x0, p.x);
        y0 = std::min(y0, p.y);
        x1 = std::max(x1, p.x);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

// One-euro filter smoothing factor for cutoff `fc` (Hz) over `dt` seconds.
double alphaFor(double fc, double dt) {
    const double tau = 1.0 / (2 * kPi * fc);
    return 1.0 / (1.0 + tau / dt);
}

} // namespace

struct FaceTracker::Impl {
    mutable dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    mutable std::mutex detectorMutex;  // the detector keeps scratch state
    dlib::shape_predictor predictor;
    cv::Mat grey;

    // The detection worker: one search at a time. `generation` tells the
    // searches of the current source from those of a forgotten one.
    std::thread worker;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool quit = false, queued = false, running = false, ready = false;
    cv::Mat job;
    std::uint64_t jobGeneration = 0, resultGeneration = 0, generation = 0;
    std::vector<FoundFace> result;

    Landmarks predict(const cv::Mat& g, const Box& b) const {
        dlib::cv_image<unsigned char> img(g);
        const dlib::rectangle r(long(std::lround(b.x)), long(std::lround(b.y)), long(std::lround(b.x + b.width)),
                                long(std::lround(b.y + b.height)));
        const dlib::full_object_detection shape = predictor(img, r);
        Landmarks l;
        for (unsigned long i = 0; i < 68 && i < shape.num_parts(); ++i)
            l[i] = {float(shape.part(i).x()), float(shape.part(i).y())};
        return l;
    }

    ~Impl() { stop(); }

    // Ends the worker (after the search under way); idempotent.
    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex);
            quit = true;
        }
        wake.notify_all();
        if (worker.joinable())
            worker.join();
    }

    // Hands a copy of `g` to the worker unless it is busy or holds faces not
    // taken up yet; false then.
    bool submit(const FaceTracker& owner, const cv::Mat& g) {
        std::lock_guard<std::mutex> lock(mutex);
        if (queued || running || ready)
            return false;
        g.copyTo(job);
        jobGeneration = generation;
        queued = true;
        if (!worker.joinable())
            worker = std::thread([this, &owner] { run(owner); });
        wake.notify_one();
        return true;
    }

    // The faces of the last finished search of the current source, once.
    bool take(std::vector<FoundFace>& faces) {
        std::lock_guard<std::mutex> lock(mutex);
        if (!ready)
            return false;
        ready = false;
        if (resultGeneration != generation)
            return false;
        faces.swap(result);
        return true;
    }

    void forget() {
        std::lock_guard<std::mutex> lock(mutex);
        ++generation;
        queued = ready = false;
        result.clear();
    }

    void run(const FaceTracker& owner) {
#ifdef __linux__
        // The search may take several frames; the thread that draws them
        // comes first.
        setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
#endif
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return quit || queued; });
            if (quit)
                return;
            cv::Mat g;
            std::swap(g, job);
            const std::uint64_t gen = jobGeneration;
            queued = false;
            running = true;
            lock.unlock();
            std::vector<FoundFace> faces;
            try {
                faces = owner.detect(g.data, g.cols, g.rows);
            } catch (...) {
                faces.clear();  // a failed search finds nothing
            }
            lock.lock();
            running = false;
            if (gen == generation) {
                result.swap(faces);
                resultGeneration = gen;
                ready = true;
            }
        }
    }
};

FaceTracker::~FaceTracker() {
    // The worker searches through this object: it ends before any member goes.
    if (m_impl)
        m_impl->stop();
}

std::unique_ptr<FaceTracker> FaceTracker::create(const SetupData& setup, std::string& reason) {
    std::unique_ptr<FaceTracker> t(new FaceTracker());
    t->m_setup = setup;
    t->m_impl = std::make_unique<Impl>();
    std::ifstream in(setup.faceModel, std::ios::binary);
    if (!in) {
        reason = "face model not found: " + setup.faceModel;
        return nullptr;
    }
    try {
        dlib::deserialize(t->m_impl->predictor, in);
    } catch (const std::exception& e) {
        reason = "face model unreadable: " + setup.faceModel + " (" + e.what() + ")";
        return nullptr;
    }
    if (t->m_impl->predictor.num_parts() != 68) {
        reason = "face model is not a 68-point model: " + setup.faceModel;
        return nullptr;
    }
    return t;
}

bool HeadPose::project(const float p[3], float& px, float& py, float& depth) const {
    const double* R = rotation;
    const double x = R[0] * p[0] + R[1] * p[1] + R[2] * p[2] + translation[0];
    const double y = R[3] * p[0] + R[4] * p[1] + R[5] * p[2] + translation[1];
    const double z = R[6] * p[0] + R[7] * p[1] + R[8] * p[2] + translation[2];
    if (z <= 1e-6)
        return false;
    px = float(focal * x / z + cx);
    py = float(focal * y / z + cy);
    depth = float(z);
    return true;
}

std::vector<FoundFace> FaceTracker::detect(const unsigned char* grey, int width, int height) const {
    std::vector<FoundFace> faces;
    if (!grey || width <= 0 || height <= 0)
        return faces;
    const cv::Mat g(height, width, CV_8UC1, const_cast<unsigned char*>(grey));
    const double scale = std::min(1.0, double(m_setup.tracker.detectMaxSide) / std::max(width, height));
    cv::Mat small;
    if (scale < 1.0)
        cv::resize(g, small, cv::Size(), scale, scale, cv::INTER_AREA);
    else
        small = g;
    std::vector<dlib::rectangle> boxes;
    try {
        dlib::cv_image<unsigned char> img(small);
        std::lock_guard<std::mutex> lock(m_impl->detectorMutex);
        boxes = m_impl->detector(img);
    } catch (const std::exception&) {
        return faces;
    }
    for (const dlib::rectangle& r : boxes) {
        Box b{float(r.left() / scale), float(r.top() / scale), float(r.width() / scale), float(r.height() / scale)};
        if (b.width < m_setup.tracker.minFaceSize)
            continue;
        // The detector's box size steps with its pyramid level; a second
        // pass from the box the landmarks imply makes them independent of
        // that step (typical detector box around the 68 points).
        const Landmarks first = m_impl->predict(g, b);
        const Box lb = boundsOf(first);
        const Box refined{lb.x - 0.104f * lb.width, lb.y - 0.142f * lb.height, 1.116f * lb.width, 1.101f * lb.height};
        faces.push_back({b, m_impl->predict(g, refined)});
    }
    std::sort(faces.begin(), faces.end(), [](const FoundFace& a, const FoundFace& b) { return a.box.area() > b.box.area(); });
    return faces;
}

void FaceTracker::reset() {
    m_hasFace = m_appeared = m_lost = false;
    m_searched = false;
    m_sinceDetect = 0;
    m_lastTime = -1;
    m_found.clear();
    m_history.clear();
    if (m_impl)
        m_impl->forget();
}

bool FaceTracker::searching() const {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    return m_impl->queued || m_impl->running || m_impl->ready;
}

void FaceTracker::adopt(const std::vector<FoundFace>& faces, bool current, bool& fresh) {
    m_found = faces;
    if (faces.empty()) {
        m_hasFace = false;
        return;
    }
    const FoundFace& best = faces.front();
    const Box lb = boundsOf(best.landmarks);
    // Same face when the new box overlaps the tracked one's centre.
    const float cx = m_face.box.x + m_face.box.width / 2, cy = m_face.box.y + m_face.box.height / 2;
    const bool same = m_hasFace && cx > best.box.x && cx < best.box.x + best.box.width && cy > best.box.y &&
                      cy < best.box.y + best.box.height;
    if (lb.width > 1 && lb.height > 1) {
        m_boxFromLandmarks[0] = (best.box.x - lb.x) / lb.width;
        m_boxFromLandmarks[1] = (best.box.y - lb.y) / lb.height;
        m_boxFromLandmarks[2] = best.box.width / lb.width;
        m_boxFromLandmarks[3] = best.box.height / lb.height;
    }
    if (current) {
        fresh = !same;
        m_face.raw = best.landmarks;
        m_hasFace = true;
        return;
    }
    if (same) {
        // The tracked face, confirmed: it is followed on this frame.
        if (track())
            m_found.front() = FoundFace{boundsOf(m_face.raw), m_face.raw};
        return;
    }
    // A face new to the tracker, found some frames ago: its landmarks on
    // this frame from where it was (faces move little between frames).
    const Landmarks first = m_impl->predict(m_impl->grey, best.box);
    const Box fb = boundsOf(first);
    const Box refined{fb.x - 0.104f * fb.width, fb.y - 0.142f * fb.height, 1.116f * fb.width, 1.101f * fb.height};
    m_face.raw = m_impl->predict(m_impl->grey, refined);
    m_found.front() = FoundFace{best.box, m_face.raw};
    m_hasFace = true;
    fresh = true;
}

bool FaceTracker::track() {
    // The predictor from the box the detector would give around the last
    // raw landmarks.
    const cv::Mat& g = m_impl->grey;
    const Box lb = boundsOf(m_face.raw);
    const Box guess{lb.x + m_boxFromLandmarks[0] * lb.width, lb.y + m_boxFromLandmarks[1] * lb.height,
                    m_boxFromLandmarks[2] * lb.width, m_boxFromLandmarks[3] * lb.height};
    const Landmarks next = m_impl->predict(g, guess);
    const Box nb = boundsOf(next);
    const float cx = nb.x + nb.width / 2, cy = nb.y + nb.height / 2;
    if (nb.width < m_setup.tracker.minFaceSize / 2.0f || cx < 0 || cy < 0 || cx > g.cols || cy > g.rows ||
        nb.width > 2.0f * lb.width || nb.width < 0.5f * lb.width) {
        m_hasFace = false;
        m_found.clear();
        return false;
    }
    m_face.raw = next;
    return true;
}

void FaceTracker::process(const unsigned char* rgba, int width, int height, double time) {
    m_appeared = m_lost = false;
    if (!rgba || width <= 0 || height <= 0)
        return;
    const bool hadFace = m_hasFace;
    if (width != m_frameW || height != m_frameH) {
        // Another source: what was tracked and searched belongs to the old one.
        reset();
        m_frameW = width;
        m_frameH = height;
    }
    const cv::Mat frame(height, width, CV_8UC4, const_cast<unsigned char*>(rgba));
    cv::cvtColor(frame, m_impl->grey, cv::COLOR_RGBA2GRAY);
    const cv::Mat& g = m_impl->grey;
    const double dt = (m_lastTime >= 0 && time > m_lastTime) ? time - m_lastTime : 1.0 / 30;
    m_lastTime = time;

    bool fresh = false;
    std::vector<FoundFace> faces;
    if (!m_searched || m_detectEveryFrame) {
        // The source's first search, or the benchmark's reference: here and now.
        adopt(detect(g.data, width, height), true, fresh);
        m_searched = true;
        m_sinceDetect = 0;
    } else {
        if (m_impl->take(faces))
            adopt(faces, false, fresh);
        else if (m_hasFace && track())
            m_found.assign(1, FoundFace{boundsOf(m_face.raw), m_face.raw});
        // While no face is known every frame is searched; while one is
        // tracked, every redetectInterval frames (or as soon as the worker
        // is free after that).
        if (!m_hasFace || ++m_sinceDetect >= m_setup.tracker.redetectInterval) {
            if (m_impl->submit(*this, g))
                m_sinceDetect = 0;
        }
    }
    if (!m_hasFace) {
        if (hadFace)
            m_lost = true;
        m_history.clear();
        return;
    }
    if (fresh) {
        m_face.id = m_nextId++;
        m_appeared = true;
        for (Filter& f : m_filters)
            f.primed = false;
        m_speed.primed = false;
        m_face.pose.valid = false;
        m_history.clear();
    }
    smooth(dt);
    m_face.box = boundsOf(m_face.landmarks);
    updatePose(width, height);
    updateValues(time);
}

void FaceTracker::smooth(double dt) {
    if (!m_smoothing) {
        m_face.landmarks = m_face.raw;
        return;
    }
    // One cutoff for all points, from the speed of the face's centre: points
    // move together, and the centre's speed is far less noisy than a point's.
    Point2 c;
    for (const Point2& p : m_face.raw) {
        c.x += p.x / 68;
        c.y += p.y / 68;
    }
    double speed = 0;
    if (m_speed.primed) {
        const double raw = dist(c, m_lastCentre) / dt;
        const double a = alphaFor(1.0, dt);
        m_speed.value = a * raw + (1 - a) * m_speed.value;
        speed = m_speed.value;
    }
    m_speed.primed = true;
    m_lastCentre = c;
    const double cutoff = m_setup.tracker.smoothMinCutoff + m_setup.tracker.smoothBeta * speed;
    const double a = alphaFor(cutoff, dt);
    for (int i = 0; i < 68; ++i) {
        for (int k = 0; k < 2; ++k) {
            Filter& f = m_filters[size_t(2 * i + k)];
            const double x = k == 0 ? m_face.raw[size_t(i)].x : m_face.raw[size_t(i)].y;
            if (!f.primed) {
                f.value = x;
                f.primed = true;
            } else {
                f.value = a * x + (1 - a) * f.value;
            }
            (k == 0 ? m_face.landmarks[size_t(i)].x : m_face.landmarks[size_t(i)].y) = float(f.value);
        }
    }
}

void FaceTracker::updatePose(int width, int height) {
    std::vector<cv::Point3d> object;
    std::vector<cv::Point2d> image;
    for (const auto& [lm, vi] : m_setup.head.landmarks) {
        const auto& v = m_setup.head.vertices[size_t(vi)];
        object.emplace_back(v[0], v[1], v[2]);
        image.emplace_back(m_face.landmarks[size_t(lm)].x, m_face.landmarks[size_t(lm)].y);
    }
    HeadPose& p = m_face.pose;
    p.focal = m_setup.tracker.focalScale * std::max(width, height);
    p.cx = width / 2.0;
    p.cy = height / 2.0;
    const cv::Matx33d K(p.focal, 0, p.cx, 0, p.focal, p.cy, 0, 0, 1);
    cv::Mat rvec, tvec;
    bool guess = false;
    if (p.valid) {
        cv::Mat R(3, 3, CV_64F, p.rotation);
        cv::Rodrigues(R, rvec);
        tvec = (cv::Mat_<double>(3, 1) << p.translation[0], p.translation[1], p.translation[2]);
        guess = true;
    } else {
        // Start facing the camera at the distance the face's width suggests.
        const double z = p.focal * 220.0 / std::max(1.0f, boundsOf(m_face.landmarks).width);
        const Box b = boundsOf(m_face.landmarks);
        rvec = (cv::Mat_<double>(3, 1) << kPi, 0, 0);
        tvec = (cv::Mat_<double>(3, 1) << (b.x + b.width / 2 - p.cx) * z / p.focal,
                (b.y + b.height / 2 - p.cy) * z / p.focal, z);
        guess = true;
    }
    bool ok = false;
    try {
        ok = cv::solvePnP(object, image, K, cv::noArray(), rvec, tvec, guess, cv::SOLVEPNP_ITERATIVE);
    } catch (const cv::Exception&) {
        ok = false;
    }
    if (!ok || tvec.at<double>(2) <= 0) {
        p.valid = false;
        return;
    }
    cv::Mat R;
    cv::Rodrigues(rvec, R);
    for (int i = 0; i < 9; ++i)
        p.rotation[i] = R.at<double>(i / 3, i % 3);
    for (int i = 0; i < 3; ++i)
        p.translation[i] = tvec.at<double>(i);
    p.valid = true;
}

void FaceTracker::updateValues(double time) {
    const Landmarks& l = m_face.landmarks;
    FaceValues& v = m_face.values;
    const double faceH = std::max(1.0, dist(l[27], l[8]));
    const double gap = (dist(l[61], l[67]) + dist(l[62], l[66]) + dist(l[63], l[65])) / 3;
    // Lip gap over the nose-bridge-to-chin height: about 0.01 closed, 0.1
    // talking or a toothy smile, 0.15 laughing, 0.3 wide open.
    v.mouthOpen = clamp01((gap / faceH - 0.02) / 0.25);
    auto ear = [&](int a) {
        const double w = std::max(1.0, dist(l[size_t(a)], l[size_t(a + 3)]));
        return (dist(l[size_t(a + 1)], l[size_t(a + 5)]) + dist(l[size_t(a + 2)], l[size_t(a + 4)])) / (2 * w);
    };
    // The person's left eye is on the image's right (points 42..47).
    v.eyeOpenLeft = clamp01((ear(42) - 0.12) / 0.14);
    v.eyeOpenRight = clamp01((ear(36) - 0.12) / 0.14);
    const double browR = (dist(l[19], l[37]) + dist(l[19], l[38])) / 2;
    const double browL = (dist(l[24], l[43]) + dist(l[24], l[44])) / 2;
    v.browRaise = clamp01(((browL + browR) / 2 / faceH - 0.2) / 0.1);
    // Mouth width over the outer eye corners' distance: about 0.6 at rest,
    // 0.75 to 0.85 smiling.
    const double eyes = std::max(1.0, dist(l[36], l[45]));
    v.smile = clamp01((dist(l[48], l[54]) / eyes - 0.6) / 0.2);

    if (m_face.pose.valid) {
        const double* R = m_face.pose.rotation;
        // Viewer frame: x right, y up, z towards the viewer.
        const double fx = R[2], fy = -R[5], fz = -R[8];  // head forward (0,0,1)
        const double ux = R[1], uy = -R[4];              // head up (0,1,0)
        v.yaw = std::atan2(fx, fz) * 180 / kPi;
        v.pitch = std::atan2(fy, std::hypot(fx, fz)) * 180 / kPi;
        v.roll = std::atan2(ux, uy) * 180 / kPi;
    }
    m_history.push_back({time, v.pitch, v.yaw});
    while (!m_history.empty() && m_history.front()[0] < time - m_setup.tracker.historySeconds)
        m_history.pop_front();
    for (int k = 1; k <= 2; ++k) {
        double lo = 1e9, hi = -1e9;
        int turns = 0, dir = 0;
        double anchor = m_history.front()[size_t(k)];
        for (const auto& h : m_history) {
            lo = std::min(lo, h[size_t(k)]);
            hi = std::max(hi, h[size_t(k)]);
            const double d = h[size_t(k)] - anchor;
            if (std::fabs(d) >= 2.0) {  // ignore tremor below 2 degrees
                const int nd = d > 0 ? 1 : -1;
                if (dir != 0 && nd != dir)
                    ++turns;
                dir = nd;
                anchor = h[size_t(k)];
            } else if ((dir > 0 && h[size_t(k)] > anchor) || (dir < 0 && h[size_t(k)] < anchor)) {
                anchor = h[size_t(k)];
            }
        }
        (k == 1 ? v.pitchSwing : v.yawSwing) = hi - lo;
        (k == 1 ? v.pitchTurns : v.yawTurns) = turns;
    }
}

} // namespace vexa
