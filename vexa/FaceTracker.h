#pragma once
// Face tracking on camera frames: dlib's HOG frontal detector on a reduced
// grey image, the 68-point shape predictor, tracking between detections from
// the last landmarks, one-euro smoothing of the landmarks, head pose from the
// reference head (cv::solvePnP) and the face values of the condition language.
//
// The detector is the expensive part; it runs on a worker thread of the
// tracker's own. A frame is tracked by the predictor from the last landmarks
// and takes up the worker's faces when they are ready (found on an earlier
// frame; the landmarks are always predicted on the current one). Only the
// first search of a source (after create, reset or a change of frame size)
// runs on the caller's thread, so a face known in the first frame is there.

#include "vexa/SetupData.h"

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace vexa {

struct Point2 {
    float x = 0, y = 0;
};

struct Box {
    float x = 0, y = 0, width = 0, height = 0;  // pixels, top-left origin
    float area() const { return width * height; }
};

using Landmarks = std::array<Point2, 68>;

// The values conditions read as face.<name> (see data/README.md).
struct FaceValues {
    double mouthOpen = 0, eyeOpenLeft = 1, eyeOpenRight = 1, browRaise = 0, smile = 0;
    double pitch = 0, yaw = 0, roll = 0;
    double pitchSwing = 0, yawSwing = 0, pitchTurns = 0, yawTurns = 0;
};

// Head pose: camera point = R * head point + t (OpenCV camera: x right,
// y down, z forward), pixels = focal * (x / z, y / z) + centre.
struct HeadPose {
    bool valid = false;
    double rotation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double translation[3] = {0, 0, 1};
    double focal = 1, cx = 0, cy = 0;
    // Projects a reference-head point to pixels; false behind the camera.
    bool project(const float p[3], float& px, float& py, float& depth) const;
};

struct TrackedFace {
    int id = 0;            // grows with every newly appeared face
    Box box;               // landmark bounds
    Landmarks landmarks;   // smoothed
    Landmarks raw;         // as the predictor gave them this frame
    HeadPose pose;
    FaceValues values;
};

// A face found in the last processed frame (all faces on detection frames).
struct FoundFace {
    Box box;
    Landmarks landmarks;
};

class FaceTracker {
public:
    ~FaceTracker();
    // Loads the shape predictor named by the settings; null with a reason
    // when it is missing or unreadable.
    static std::unique_ptr<FaceTracker> create(const SetupData& setup, std::string& reason);

    // Processes one RGBA frame (rows top-down) taken at `time` seconds.
    void process(const unsigned char* rgba, int width, int height, double time);
    // Detection alone on a grey image (rows top-down): faces at least
    // minFaceSize wide, largest first, with their landmarks. Safe to call
    // while the worker searches (the detector is taken in turn).
    std::vector<FoundFace> detect(const unsigned char* grey, int width, int height) const;

    bool hasFace() const { return m_hasFace; }
    const TrackedFace& face() const { return m_face; }
    const std::vector<FoundFace>& found() const { return m_found; }
    bool faceAppeared() const { return m_appeared; }  // this frame
    bool faceLost() const { return m_lost; }          // this frame
    // Forgets the face and any search under way; the next frame is searched
    // on the caller's thread.
    void reset();
    // True while the worker holds a search whose faces are not taken up yet.
    bool searching() const;

    // Benchmark switches: detect on every frame (on the caller's thread);
    // raw landmarks unsmoothed.
    void setDetectEveryFrame(bool on) { m_detectEveryFrame = on; }
    void setSmoothing(bool on) { m_smoothing = on; }

private:
    FaceTracker() = default;
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    SetupData m_setup;
    bool m_hasFace = false, m_appeared = false, m_lost = false;
    bool m_detectEveryFrame = false, m_smoothing = true;
    bool m_searched = false;      // the source's first search is done
    int m_frameW = 0, m_frameH = 0;
    int m_sinceDetect = 0, m_nextId = 1;
    double m_lastTime = -1;
    TrackedFace m_face;
    std::vector<FoundFace> m_found;
    float m_boxFromLandmarks[4] = {0, 0, 1, 1};  // detector box relative to landmark bounds
    struct Filter {
        double value = 0, derivative = 0;
        bool primed = false;
    };
    std::array<Filter, 136> m_filters;
    Filter m_speed;
    Point2 m_lastCentre;
    std::deque<std::array<double, 3>> m_history;  // time, pitch, yaw
    // Takes up faces found in this frame (or, current = false, in an earlier
    // one: the landmarks are then predicted on this frame).
    void adopt(const std::vector<FoundFace>& faces, bool current, bool& fresh);
    // The predictor from the last raw landmarks; false when the face is lost.
    bool track();
    void smooth(double dt);
    void updatePose(int width, int height);
    void updateValues(double time);
};

} // namespace vexa
