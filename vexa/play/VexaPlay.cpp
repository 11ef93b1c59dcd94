// vexa-play: plays effect bundles on an image, a video or a camera without a
// display (EGL, surfaceless or pbuffer) and writes the frames and, on
// request, every frame's tracked faces as JSON.

#include "vexa/Runtime.h"
#include "vexa/play/HeadlessGl.h"
#include "vexa/vexa.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int usage(const std::string& why) {
    std::cerr << "vexa-play: " << why << "\n"
              << "usage: vexa-play <bundle>... --input <image|video|camera:N> [--out <png|folder|video>]\n"
              << "       [--frames N] [--param name=value]... [--faces-json FILE] [--data v3.bundle]\n";
    return 2;
}

bool readAll(const std::string& path, std::vector<char>& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f)
        return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return true;
}

std::string num(double v) {
    std::ostringstream s;
    s.precision(6);
    s << v;
    return s.str();
}

void appendFaces(std::string& json, int frame) {
    json += frame ? ",\n" : "";
    json += "{\"frame\":" + std::to_string(frame) + ",\"faces\":[";
    const vexa::FaceTracker* t = vexa::internal::tracker();
    if (t && t->hasFace()) {
        const auto& faces = t->found();
        for (std::size_t i = 0; i < faces.size(); ++i) {
            const bool main = i == 0;
            const vexa::Box& b = main ? t->face().box : faces[i].box;
            const vexa::Landmarks& l = main ? t->face().landmarks : faces[i].landmarks;
            json += i ? "," : "";
            json += "{\"box\":[" + num(b.x) + "," + num(b.y) + "," + num(b.width) + "," + num(b.height) +
                    "],\"landmarks\":[";
            for (std::size_t k = 0; k < l.size(); ++k)
                json += (k ? ",[" : "[") + num(l[k].x) + "," + num(l[k].y) + "]";
            json += "]";
            if (main) {
                const vexa::FaceValues& v = t->face().values;
                json += ",\"id\":" + std::to_string(t->face().id) + ",\"pose\":{\"pitch\":" + num(v.pitch) +
                        ",\"yaw\":" + num(v.yaw) + ",\"roll\":" + num(v.roll) + "},\"values\":{\"mouthOpen\":" +
                        num(v.mouthOpen) + ",\"eyeOpenLeft\":" + num(v.eyeOpenLeft) + ",\"eyeOpenRight\":" +
                        num(v.eyeOpenRight) + ",\"browRaise\":" + num(v.browRaise) + ",\"smile\":" + num(v.smile) +
                        ",\"pitchSwing\":" + num(v.pitchSwing) + ",\"yawSwing\":" + num(v.yawSwing) +
                        ",\"pitchTurns\":" + num(v.pitchTurns) + ",\"yawTurns\":" + num(v.yawTurns) + "}";
            }
            json += "}";
        }
    }
    json += "]}";
}

bool writeAtomically(const std::string& path, const std::string& bytes) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f || !f.write(bytes.data(), std::streamsize(bytes.size())) || !f.flush())
            return false;
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    return !ec;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> bundles;
    std::vector<std::pair<std::string, std::string>> params;
    std::string input, out, facesJson, dataPath = "data/vexa/v3.bundle";
    long frames = -1;
    bool dataExplicit = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= argc)
                return false;
            v = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--input") {
            if (!value(input))
                return usage("--input needs a value");
        } else if (a == "--out") {
            if (!value(out))
                return usage("--out needs a value");
        } else if (a == "--faces-json") {
            if (!value(facesJson))
                return usage("--faces-json needs a value");
        } else if (a == "--data") {
            if (!value(dataPath))
                return usage("--data needs a value");
            dataExplicit = true;
        } else if (a == "--frames") {
            char* end = nullptr;
            if (!value(v) || (frames = std::strtol(v.c_str(), &end, 10), *end != '\0') || frames < 1)
                return usage("--frames needs a positive number");
        } else if (a == "--param") {
            const std::size_t eq = value(v) ? v.find('=') : std::string::npos;
            if (eq == std::string::npos || eq == 0)
                return usage("--param needs name=value");
            params.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (!a.empty() && a[0] == '-') {
            return usage("unknown option " + a);
        } else {
            bundles.push_back(a);
        }
    }
    if (input.empty())
        return usage("--input is required");

    cv::VideoCapture capture;
    cv::Mat still;
    double fps = 30;
    if (input.rfind("camera:", 0) == 0) {
        if (!capture.open(std::atoi(input.c_str() + 7), cv::CAP_V4L2)) {
            std::cerr << "vexa-play: cannot open " << input << "\n";
            return 1;
        }
    } else {
        still = cv::imread(input, cv::IMREAD_COLOR);
        if (still.empty()) {
            if (!(capture.open(input, cv::CAP_FFMPEG) && capture.isOpened()) &&
                !(capture.open(input, cv::CAP_GSTREAMER) && capture.isOpened())) {
                std::cerr << "vexa-play: cannot read input " << input << "\n";
                return 1;
            }
            const double f = capture.get(cv::CAP_PROP_FPS);
            if (f > 1 && f < 1000)
                fps = f;
        }
    }
    if (frames < 0)
        frames = still.empty() ? (input.rfind("camera:", 0) == 0 ? 100 : 1000000) : 1;

    std::string reason;
    if (!vexa::makeHeadlessGlCurrent(reason)) {
        std::cerr << "vexa-play: " << reason << "\n";
        return 1;
    }
    std::vector<char> blob;
#ifdef VEXA_SOURCE_DATA
    // Run from elsewhere than the workspace: the blob of the source tree.
    if (!dataExplicit && !fs::exists(dataPath))
        dataPath = VEXA_SOURCE_DATA;
#endif
    if (!readAll(dataPath, blob))
        std::cerr << "vexa-play: cannot read data blob " << dataPath << "\n";
    if (!lumoSetup(blob.empty() ? nullptr : blob.data(), int(blob.size()))) {
        std::cerr << "vexa-play: set-up failed: " << lumoGetLastError() << "\n";
        return 1;
    }
    vexa::internal::useFrameClock(fps);
    std::vector<int> handles;
    for (const std::string& b : bundles) {
        std::vector<char> bytes;
        if (!readAll(b, bytes)) {
            std::cerr << "vexa-play: cannot read bundle " << b << "\n";
            return 1;
        }
        const int h = lumoCreateItemFromPackage(bytes.data(), int(bytes.size()));
        if (!h) {
            std::cerr << "vexa-play: bundle " << b << " refused: " << lumoGetLastError() << "\n";
            return 1;
        }
        for (const auto& [name, value] : params) {
            char* end = nullptr;
            const double d = std::strtod(value.c_str(), &end);
            const int ok = (*end == '\0' && !value.empty()) ? lumoItemSetParamd(h, name.c_str(), d)
                                                            : lumoItemSetParams(h, name.c_str(), value.c_str());
            if (!ok)
                std::cerr << "vexa-play: parameter " << name << ": " << lumoGetLastError() << "\n";
        }
        handles.push_back(h);
    }

    const std::string ext = fs::path(out).extension().string();
    const bool toImage = ext == ".png" || ext == ".jpg";
    const bool toVideo = ext == ".avi" || ext == ".mp4" || ext == ".mkv";
    const bool toFolder = !out.empty() && !toImage && !toVideo;
    if (toFolder) {
        std::error_code ec;
        fs::create_directories(out, ec);
    }
    cv::VideoWriter writer;
    std::string json = "[\n";
    cv::Mat bgr, rgba, last;
    long done = 0;
    for (long f = 0; f < frames; ++f) {
        if (!still.empty())
            bgr = still;
        else if (!capture.read(bgr) || bgr.empty())
            break;
        cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
        if (!rgba.isContinuous())
            rgba = rgba.clone();
        if (!lumoRenderItemsEx(4, rgba.data, 4, rgba.data, rgba.cols, rgba.rows, int(f), handles.data(),
                               int(handles.size()))) {
            std::cerr << "vexa-play: frame " << f << ": " << lumoGetLastError() << "\n";
            return 1;
        }
        if (*lumoGetLastError())
            std::cerr << "vexa-play: frame " << f << ": " << lumoGetLastError() << "\n";
        if (!facesJson.empty())
            appendFaces(json, int(f));
        cv::cvtColor(rgba, last, cv::COLOR_RGBA2BGR);
        if (toFolder) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%05ld.png", f);
            cv::imwrite(out + name, last);
        } else if (toVideo) {
            if (!writer.isOpened() &&
                !writer.open(out, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, last.size())) {
                std::cerr << "vexa-play: cannot write video " << out << "\n";
                return 1;
            }
            writer.write(last);
        }
        ++done;
    }
    if (done == 0) {
        std::cerr << "vexa-play: no frame read from " << input << "\n";
        return 1;
    }
    if (toImage && !cv::imwrite(out, last)) {
        std::cerr << "vexa-play: cannot write " << out << "\n";
        return 1;
    }
    if (!facesJson.empty() && !writeAtomically(facesJson, json + "\n]\n")) {
        std::cerr << "vexa-play: cannot write " << facesJson << "\n";
        return 1;
    }
    for (int h : handles)
        lumoDestroyItem(h);
    std::cout << "vexa-play: " << done << " frame(s)\n";
    return 0;
}
