// MIDI learn bindings as the settings keep them: "controller=parameter" pairs separated by blanks,
// e.g. "74=168 71=169". Reading is forgiving (a hand-edited file): an entry that does not name a
// learnable controller and a parameter is skipped, the rest are kept.
#pragma once

#include <string>
#include <string_view>

#include "midiLearn.h"
#include "paramList.h"

namespace korvo {

// Binds every valid entry of `text` with the parameter's whole range; returns how many.
int readControllerBindings(std::string_view text, const ParamList& params, MidiLearn& learn);
std::string controllerBindingsText(const MidiLearn& learn);
// The binding of a parameter over its whole range (nullopt for an id that is not a parameter).
std::optional<ControllerBinding> bindingFor(const ParamList& params, int id);

}  // namespace korvo
