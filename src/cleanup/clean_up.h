#pragma once

#include <vector>

#include "cleanup/run_control.h"
#include "cleanup/run_seams.h"
#include "cleanup/run_world.h"
#include "config/kestrel_cfg.h"

namespace kestrel {

// One clean-up run of cfg in world: its records go to cfg's RemovedFiles, its last run date
// to cfg and its file. A control, when given, can stop the run early and counts its folders.
// listed, when given, is what a preview listed: the run moves those files and no others.
// Returns false iff the run ended through its error handler.
bool CleanUp(const RunWorld& world, KestrelCfg& cfg, RunControl* control = nullptr,
             const std::vector<ListedFile>* listed = nullptr);

}  // namespace kestrel
