#include "scene/FaceActions.h"

#include "base/Trace.h"

#include <rapidjson/document.h>
#include <rapidjson/filereadstream.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

constexpr size_t kReadBufferSize = 65536;
// A face-action table is a few kilobytes; larger files are refused unread.
constexpr uintmax_t kMaxFileBytes = 16u * 1024 * 1024;

void reportInvalid() {
    Trace::out("\nERROR!!!!!\n");
    Trace::out("your action json file is invalid\n");
}

// Why element i cannot be used, or null when it can.
const char* rejectReason(const rapidjson::Value& element) {
    if (!element.IsObject())
        return "not an object";
    auto name = element.FindMember("name");
    if (name == element.MemberEnd() || !name->value.IsString())
        return "\"name\" missing or not a string";
    auto cond = element.FindMember("condition");
    if (cond == element.MemberEnd() || !cond->value.IsString())
        return "\"condition\" missing or not a string";
    const std::string n(name->value.GetString(), name->value.GetStringLength());
    if (n.empty())
        return "empty name";
    if (n == "null")
        return "\"null\" is reserved for no action";
    return nullptr;
}

std::string stringMember(const rapidjson::Value& element, const char* key) {
    const rapidjson::Value& v = element[key];
    return std::string(v.GetString(), v.GetStringLength());
}

// The usable elements of the "actions" array, in order.
std::vector<FaceAction> usableActions(const rapidjson::Value& array) {
    std::vector<FaceAction> out;
    for (rapidjson::SizeType i = 0; i < array.Size(); ++i) {
        if (const char* reason = rejectReason(array[i])) {
            Trace::out("skip face action %d: %s\n", static_cast<int>(i), reason);
            continue;
        }
        out.push_back({stringMember(array[i], "name"), stringMember(array[i], "condition")});
    }
    return out;
}

// Applies a parsed document to the table (the rules of loadFromBytes).
bool applyDocument(const rapidjson::Document& doc, std::vector<FaceAction>& table) {
    if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("actions")) {
        reportInvalid();
        return false;
    }
    const rapidjson::Value& actions = doc["actions"];
    std::vector<FaceAction> usable;
    if (actions.IsArray())
        usable = usableActions(actions);
    if (usable.empty()) {
        table.clear();
        Trace::out("\nERROR!!!!!\n");
        Trace::out("your action rule:%d\n", 0);
        return false;
    }
    table = std::move(usable);
    return true;
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

} // namespace

bool FaceActions::loadFromBytes(const std::string& bytes) {
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(bytes.data(), bytes.size());
    return applyDocument(doc, m_actions);
}

bool FaceActions::loadFromFile(const std::string& path) {
    // Only a regular file is opened: a pipe or device would block or never end.
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::is_regular_file(st)) {
        Trace::out("can not open file:%s\n", path.c_str());
        reportInvalid();
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxFileBytes) {
        Trace::out("action file too large:%s\n", path.c_str());
        reportInvalid();
        return false;
    }
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        Trace::out("can not open file:%s\n", path.c_str());
        reportInvalid();
        return false;
    }
    std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
    rapidjson::FileReadStream stream(file.get(), buffer.get(), kReadBufferSize);
    rapidjson::Document doc;
    // Iterative: nesting depth costs heap, never stack.
    doc.ParseStream<rapidjson::kParseIterativeFlag>(stream);
    return applyDocument(doc, m_actions);
}

std::string FaceActions::name(int i) const {
    return (i >= 0 && i < count()) ? m_actions[static_cast<size_t>(i)].name : std::string();
}

std::string FaceActions::condition(int i) const {
    return (i >= 0 && i < count()) ? m_actions[static_cast<size_t>(i)].condition : std::string();
}
