#pragma once
// Text of the 2D bundle's descriptor files. The layout (tabs, line breaks,
// field order) is fixed because the phone runtime and existing bundles rely
// on it; numbers follow TextOut.h. String values are JSON-escaped, so any
// item or action name yields a valid file.

#include "pack/DescNode.h"

#include <string>
#include <vector>

class DescWriter {
public:
    // {"bigtexs":["bigtex_0.webp",...]} on one line, no spaces, no newline.
    static std::string atlasListText(const std::vector<std::string>& names);
    // "[\n" + 2D nodes + (",\n" when both lists are non-empty) + AR nodes
    // + "\n]", nodes separated by ",\n".
    static std::string descText(const std::vector<DescNode>& nodes2d, const std::vector<DescNode>& nodesAr);
    // One node, from its "\t{" line to its closing "\t}" (no newline after).
    static void appendNode(std::string& out, const DescNode& node);
};
