#pragma once
// The workspace on disk: the projects folder and the first-start project.

#include <string>

// Creates <root>/Projects/ when missing and, on first start, the "default"
// project with its zip, out, build, build/iOS and build/Android folders.
// Failures are printed and never abort start-up.
void createDefaultProject(const std::string& root);

// Writes the run-state marker <root>/log/state.txt ("1" running, "2" closed).
// A marker that cannot be written is silently skipped.
void writeRunState(const std::string& root, int state);
