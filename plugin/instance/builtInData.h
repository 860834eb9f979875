// The wave ROM image and the factory bank carried inside the plug-in binary. The instance falls
// back on them when the data folder has no usable wavrom.bin or backup file, so a plug-in copied alone
// into a host's folder plays the factory sounds from the first note.
#pragma once

#include "plugInstance.h"

namespace korvo {

// `environment` with the built-in wave ROM and factory bank filled in.
InstanceEnvironment withBuiltInData(InstanceEnvironment environment = {});

}  // namespace korvo
