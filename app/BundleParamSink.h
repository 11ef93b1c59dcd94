#pragma once
// Where the parameter board sends live slider moves: the bundle list's
// controller, which forwards them to the running preview and drops them
// while none runs. The key names the item ("<global>" for the global
// parameters) and the parameter: {"thing":"<item>","param":"<name>"}.

#include <string>

class BundleParamSink {
public:
    virtual ~BundleParamSink() = default;
    virtual void setParam_f(const std::string& key, float value) = 0;
    virtual void setParam_s(const std::string& key, const std::string& value) = 0;
};

// The key of one parameter of one item.
inline std::string bundleParamKey(const std::string& thing, const std::string& param) {
    return "{\"thing\":\"" + thing + "\",\"param\":\"" + param + "\"}";
}
