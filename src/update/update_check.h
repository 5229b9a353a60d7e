// The start-up update check: fetch the manifest, compare the published version with our own and,
// when it is newer, show the notes, open the homepage, start the updater and end the run.
#pragma once

#include "runtime/runtime.h"
#include "runtime/xml.h"

namespace pelorin::update {

inline constexpr double kOwnVersion = 1.3;
inline constexpr double kNewerThreshold = 0.0000001;

// The one manifest document of the run: created by the entry routine, filled by check(),
// released by the exit routine.
extern xml::Document* manifest;

// Returns when no newer release is published; otherwise the run ends inside.
void check();

// The updater's command line for the release described in the loaded manifest.
runtime::Text updater_command_line();

}  // namespace pelorin::update
