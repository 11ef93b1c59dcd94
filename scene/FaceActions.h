#pragma once
// The face-action table: ordered (name, condition) pairs read from
// data/tools/actions.json, an object whose member "actions" is an array of
// {"name": string, "condition": string} elements (other members ignored).
// The condition is effect-script source text (see data/README.md).

#include <string>
#include <vector>

struct FaceAction {
    std::string name;
    std::string condition;
};

class FaceActions {
public:
    // Parses `bytes` as the table file (any bytes accepted).
    //  - not one valid JSON document, or no member "actions" (or the root is
    //    not an object): traces "\nERROR!!!!!\n" and
    //    "your action json file is invalid\n", returns false, table unchanged;
    //  - "actions" not an array, or no usable element: table emptied, traces
    //    "\nERROR!!!!!\n" and "your action rule:0\n", returns false;
    //  - otherwise the table becomes the usable elements, in file order, and
    //    the result is true.
    // An element that is not an object, whose "name" or "condition" is missing
    // or not a string, or whose name is empty or the reserved "null", is
    // skipped with the console line "skip face action %d: <reason>\n".
    bool loadFromBytes(const std::string& bytes);
    // As loadFromBytes, reading the file at `path` ("rb") through a 65536-byte
    // buffer. A file that cannot be opened, is not a regular file (a folder,
    // pipe or device), or is larger than 16 MiB counts as invalid JSON. Any
    // nesting depth is parsed without recursion.
    bool loadFromFile(const std::string& path);

    int count() const { return static_cast<int>(m_actions.size()); }
    // Name and condition of action i; empty strings when i is out of range.
    std::string name(int i) const;
    std::string condition(int i) const;
    const std::vector<FaceAction>& all() const { return m_actions; }
    void clear() { m_actions.clear(); }

private:
    std::vector<FaceAction> m_actions;
};
