#pragma once

#include "engine/model/preset.h"

#include <vector>

namespace sorvik {

/// The ten starter presets of the "Preset Gallery", built afresh on every call: every preset
/// and every rule gets a new id, so two calls never return equal presets. All use the colour
/// "3478F6", schema version 1, and are not built in; every rule is enabled and unconditional.
std::vector<Preset> starterPresets();

} // namespace sorvik
