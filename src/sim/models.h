// The instrument models the simulator can stand in for: the family's own
// table, shared with the program.
#pragma once

#include "instrument_models.h"

namespace zorvat::sim {

using zorvat::FindModel;
using zorvat::ModelInfo;
using zorvat::Models;

}  // namespace zorvat::sim
