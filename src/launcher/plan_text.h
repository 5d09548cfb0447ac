// The plan as an administrator reads it: what /check prints and logs.
#pragma once

#include <string>
#include <vector>

#include "installconfig/install_config_data.h"
#include "launcher/run_options.h"
#include "launcher/run_plan.h"

std::string planText(const RunPlan& plan, const RunOptions& options, const std::vector<EffectiveOption>& effective,
                     const MachineFacts& facts);
