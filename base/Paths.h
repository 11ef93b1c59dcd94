#pragma once
// Path helpers on 8-bit strings, shared by every subsystem.

#include <string>

// a empty: b. Otherwise a, a "/" when a does not already end in "/" or "\",
// then b unchanged (so joining X and "/zip" gives X + "//zip").
std::string pathJoin(const std::string& a, const std::string& b);
// p in the platform's own separators (unchanged on Linux).
std::string toNativePath(const std::string& p);
// True when the file or folder exists.
bool fileExists(const std::string& p);
// Creates one folder level. 0: it already existed ("dir exist:%s\n"),
// 1: created ("mkdir ok\n"), -1: failed ("mkdir error:%s\n").
int makeDir(const std::string& p);
