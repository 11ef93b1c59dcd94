#include "pack/DescWriter.h"

#include "pack/TextOut.h"

namespace {

void appendString(std::string& out, const char* key, const std::string& value) {
    out += "\t\t\"";
    out += key;
    out += "\":\"";
    out += textout::jsonEscape(value);
    out += "\",\n";
}

void appendInt(std::string& out, const char* key, int value) {
    out += "\t\t\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
    out += ",\n";
}

void appendFloats(std::string& out, const std::vector<float>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            out += ',';
        out += textout::floatText(values[i]);
    }
}

void appendFrame(std::string& out, const DescFrame& f) {
    out += "\t\t\t{\n\t\t\t\t\"v\":[";
    appendFloats(out, f.v);
    out += "],\n\t\t\t\t\"vt\":[";
    appendFloats(out, f.vt);
    out += "],\n\t\t\t\t\"bigtexidx\":";
    out += std::to_string(f.bigtexidx);
    out += "\n\t\t\t}";
}

void appendNodes(std::string& out, const std::vector<DescNode>& nodes) {
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (i > 0)
            out += ",\n";
        DescWriter::appendNode(out, nodes[i]);
    }
}

} // namespace

std::string DescWriter::atlasListText(const std::vector<std::string>& names) {
    std::string out = "{\"bigtexs\":[";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += ',';
        out += '"';
        out += textout::jsonEscape(names[i]);
        out += '"';
    }
    out += "]}";
    return out;
}

void DescWriter::appendNode(std::string& out, const DescNode& n) {
    out += "\t{\n";
    appendString(out, "name", n.name);
    appendString(out, "type", n.type);
    appendString(out, "path", n.path);
    appendInt(out, "fps", n.fps);
    appendInt(out, "frameCnt1Loop", n.frameCnt1Loop);
    appendString(out, "triggerstart", n.triggerstart);
    appendString(out, "startaction", n.startaction);
    appendInt(out, "needkeepfaceaction", n.needkeepfaceaction);
    appendString(out, "triggerend", n.triggerend);
    appendString(out, "endaction", n.endaction);
    appendString(out, "looptype", n.looptype);
    appendInt(out, "loopcnt", n.loopcnt);
    appendInt(out, "nodetype", n.nodetype);
    appendInt(out, "root", n.root);
    out += "\t\t\"childNodes\":[";
    for (size_t i = 0; i < n.childNodes.size(); ++i) {
        if (i > 0)
            out += ',';
        out += std::to_string(n.childNodes[i]);
    }
    out += "],\n";
    appendInt(out, "base_vertex", n.base_vertex);
    out += "\t\t\"texture_frames\":[\n";
    for (size_t i = 0; i < n.texture_frames.size(); ++i) {
        if (i > 0)
            out += ",\n";
        appendFrame(out, n.texture_frames[i]);
    }
    out += "\n\t\t]\n\t}";
}

std::string DescWriter::descText(const std::vector<DescNode>& nodes2d, const std::vector<DescNode>& nodesAr) {
    std::string out = "[\n";
    appendNodes(out, nodes2d);
    if (!nodes2d.empty() && !nodesAr.empty())
        out += ",\n";
    appendNodes(out, nodesAr);
    out += "\n]";
    return out;
}
