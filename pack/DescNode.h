#pragma once
// One entry of a 2D bundle's desc.json, fields in the order they are written.
// A fresh node has empty strings, zero numbers and empty lists.

#include <string>
#include <vector>

struct DescFrame {
    std::vector<float> v;  // 12 floats: corners left-top, right-top, right-bottom, left-bottom (x y z)
    std::vector<float> vt; // 8 floats: the same corners' atlas coordinates (u v)
    int bigtexidx = 0;     // atlas holding the frame
    // v and vt are both empty for a frame that could not be described.
};

struct DescNode {
    std::string name;
    std::string type;
    std::string path;
    int fps = 0;
    int frameCnt1Loop = 0;
    std::string triggerstart;
    std::string startaction;
    int needkeepfaceaction = 0;
    std::string triggerend;
    std::string endaction;
    std::string looptype;
    int loopcnt = 0;
    int nodetype = 0;
    int root = 0;
    std::vector<int> childNodes;
    int base_vertex = 0;
    std::vector<DescFrame> texture_frames;
};
