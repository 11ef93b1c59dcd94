#include "scene/TemplateParam.h"

#include "base/Trace.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cfloat>

namespace {

float toFloat(double d) {
    if (d > FLT_MAX)
        return FLT_MAX;
    if (d < -FLT_MAX)
        return -FLT_MAX;
    return static_cast<float>(d);
}

void readNumber(const rapidjson::Value& object, const char* key, float& out) {
    auto it = object.FindMember(key);
    if (it != object.MemberEnd() && it->value.IsNumber())
        out = toFloat(it->value.GetDouble());
}

void readDefaultValue(const rapidjson::Value& object, TemplateParam& p) {
    auto it = object.FindMember("default_value");
    if (it == object.MemberEnd())
        return;
    if (p.type == "slider") {
        if (it->value.IsNumber()) {
            p.valuef = toFloat(it->value.GetDouble());
            p.isStr = false;
        }
    } else if (it->value.IsString()) {
        p.values.assign(it->value.GetString(), it->value.GetStringLength());
        p.isStr = true;
    }
}

void readIsTex(const rapidjson::Value& object, TemplateParam& p) {
    auto it = object.FindMember("isTex");
    if (it == object.MemberEnd() || !it->value.IsNumber())
        return;
    // "read as an integer": the fractional part does not count.
    const double d = it->value.GetDouble();
    p.isTex = d >= 1.0 || d <= -1.0;
}

void readDescription(const rapidjson::Value& object, TemplateParam& p) {
    readNumber(object, "min", p.min);
    readNumber(object, "max", p.max);
    auto type = object.FindMember("type");
    if (type != object.MemberEnd() && type->value.IsString())
        p.type.assign(type->value.GetString(), type->value.GetStringLength());
    if (p.type == "slider")
        p.isStr = false;
    readDefaultValue(object, p);
    readIsTex(object, p);
}

bool isLineBreak(char c) { return c == '\n' || c == '\r'; }
bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isNameChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// Head of a declaration, "@" [gm] "param" [ \t]+ [0-9a-zA-Z_]+ [ \t]*, at
// text[at]: the offset just past it, or npos when there is none. Stops at
// the first character that cannot continue the head, so each call reads
// only the head it matches.
struct Head {
    size_t end = std::string::npos;
    size_t nameBegin = 0, nameEnd = 0;
};

Head matchHead(const std::string& text, size_t at) {
    Head h;
    const size_t n = text.size();
    size_t i = at + 1;
    if (i >= n || (text[i] != 'g' && text[i] != 'm'))
        return h;
    if (text.compare(i + 1, 5, "param") != 0)
        return h;
    i += 6;
    const size_t blanks = i;
    while (i < n && isBlank(text[i]))
        ++i;
    if (i == blanks)
        return h;
    h.nameBegin = i;
    while (i < n && isNameChar(text[i]))
        ++i;
    if (i == h.nameBegin)
        return h;
    h.nameEnd = i;
    while (i < n && isBlank(text[i]))
        ++i;
    h.end = i;
    return h;
}

} // namespace

TemplateParam TemplateParam::fromDeclaration(const std::string& scope, const std::string& name,
                                             const std::string& description) {
    TemplateParam p;
    p.scope = scope;
    p.name = name;
    p.description = description;
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(description.data(), description.size());
    if (!doc.HasParseError() && doc.IsObject())
        readDescription(doc, p);
    Trace::out("name:%s min:%f max%f valuef:%f values:%s\n", p.name.c_str(), p.min, p.max, p.valuef,
               p.values.c_str());
    return p;
}

// The declaration expression is "[@]([gm])param[ \t]+([0-9a-zA-Z_]+)[ \t]*(.*)".
// Its last group always takes the rest of the line, so a head that matches
// is a declaration. A head that fails ends before any later "@" (its
// characters are letters and blanks), so every character is read a bounded
// number of times: the scan is linear in the text.
void scanTemplateDeclarations(const std::string& text, std::vector<TemplateParam>& globals,
                              std::vector<TemplateParam>& materials) {
    size_t pos = 0;
    while ((pos = text.find('@', pos)) != std::string::npos) {
        const Head h = matchHead(text, pos);
        if (h.end == std::string::npos) {
            ++pos;
            continue;
        }
        size_t end = h.end;
        while (end < text.size() && !isLineBreak(text[end]))
            ++end;
        const std::string scope(1, text[pos + 1]);
        const std::string name = text.substr(h.nameBegin, h.nameEnd - h.nameBegin);
        const std::string description = text.substr(h.end, end - h.end);
        Trace::out("%s %s %s\n", scope.c_str(), name.c_str(), description.c_str());
        TemplateParam p = TemplateParam::fromDeclaration(scope, name, description);
        (scope == "g" ? globals : materials).push_back(std::move(p));
        pos = end;
    }
}
