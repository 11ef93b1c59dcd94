#pragma once
// The process-wide info log (log/log.txt). Messages are written only while a
// log file is open and the level is at most 1; each line starts with
// "[info][<module>:<line>][HH:MM:SS]: " and reaches the file at once, in one
// write under a lock: lines of several threads never interleave, and
// logOpen/logClose may run while other threads log.

// Closes an open log, then opens `path` for writing (truncating). Returns
// whether the open succeeded; on failure no log is open.
bool logOpen(const char* path);
void logClose();
void logSetLevel(int level);
// Writes one message; returns the number of characters written, or 0 when
// nothing was written (no log open, level above 1).
int logPrint(const char* module, int line, const char* buildTime, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));

// Module name of a source path: its base name without extension, lower case.
const char* logModuleName(const char* sourcePath);

// Logs with the calling module's name, line and build time.
#define LOG_INFO(...) logPrint(logModuleName(__FILE__), __LINE__, __TIME__, __VA_ARGS__)
