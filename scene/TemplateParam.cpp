#include "scene/TemplateParam.h"

#include "base/Trace.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cfloat>
#include <regex>

namespace {

// Longest stretch from "@" through the blanks after the name that a
// declaration head may span; longer heads are refused so that the regular
// expression engine never recurses over unbounded input.
constexpr size_t kMaxHeadLength = 4096;

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

size_t lineEnd(const std::string& text, size_t from) {
    while (from < text.size() && !isLineBreak(text[from]))
        ++from;
    return from;
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
// Its last group always takes the rest of the line, so the head is matched
// with the regular expression on a bounded window and the description is cut
// at the line break directly; the matches are the same.
void scanTemplateDeclarations(const std::string& text, std::vector<TemplateParam>& globals,
                              std::vector<TemplateParam>& materials) {
    static const std::regex head("[@]([gm])param[ \\t]+([0-9a-zA-Z_]+)[ \\t]*", std::regex::ECMAScript);
    size_t pos = 0;
    while ((pos = text.find('@', pos)) != std::string::npos) {
        const size_t end = lineEnd(text, pos);
        const size_t windowEnd = std::min(end, pos + kMaxHeadLength);
        std::smatch m;
        const auto first = text.begin() + static_cast<std::ptrdiff_t>(pos);
        const auto last = text.begin() + static_cast<std::ptrdiff_t>(windowEnd);
        if (!std::regex_search(first, last, m, head, std::regex_constants::match_continuous)) {
            ++pos;
            continue;
        }
        const size_t headEnd = pos + static_cast<size_t>(m.length(0));
        if (headEnd == windowEnd && windowEnd < end) {
            Trace::out("template declaration too long, skipped at offset %zu\n", pos);
            pos = end;
            continue;
        }
        const std::string scope = m.str(1), name = m.str(2);
        const std::string description = text.substr(headEnd, end - headEnd);
        Trace::out("%s %s %s\n", scope.c_str(), name.c_str(), description.c_str());
        TemplateParam p = TemplateParam::fromDeclaration(scope, name, description);
        (scope == "g" ? globals : materials).push_back(std::move(p));
        pos = end;
    }
}
