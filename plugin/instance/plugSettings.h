// The engine's settings: three folders, the editor's preferences and its MIDI port choices, read when the engine is
// created and written back when it is destroyed.
#pragma once

#include <string>

namespace korvo {

class SettingsStore;

struct TplugSettings {
  // Which folders were found in the store (the others took their defaults).
  bool storedFolder[3] = {false, false, false};
  std::string path_dll;
  std::string path_data;  // wave ROM and backup file
  std::string path_user;  // first folder of the editor's file dialogs
  bool restMouseMenu = false;
  bool restMouseKnob = false;
  // SysEx exchange with the hardware: the chosen ports by name (empty: none), the pause between
  // the messages of one exchange, and whether single dumps in the host's event list are taken.
  std::string midiInPort;
  std::string midiOutPort;
  int sysexPauseMs = 200;
  bool sysexFromHost = false;
  // The editor's size in percent as the user chose it (100 to 300 in steps of 25); 0 until a
  // choice is made: the editor then follows the system's or the host's scale.
  int editorScale = 0;
  // MIDI learn: "controller=word" pairs separated by blanks ("74=168 71=169"). They belong to the
  // player's controller keyboard, not to a song, so they are kept here and not in a project.
  std::string midiControllers;
  // Whether a MIDI program change selects a program, once the user has chosen in the Options
  // menu: 1 no, 2 yes; 0 until then (each format then keeps its own default).
  int programChange = 0;
};

// A stored editor scale: one of 100, 125, ... 300, else 0 (no choice).
int validEditorScale(long long percent);

// Folders used when the store has no value (or an empty one) for them.
struct SettingsDefaults {
  std::string path_dll;
  std::string path_data;
  std::string path_user;
  // Whether folders that took these defaults are written back. Windows writes them, as the
  // registry holds what the setup program installed. On Linux the defaults follow the plug-in's
  // own location, so writing them would freeze today's location into the settings and leave a
  // moved plug-in without its wave ROM.
  bool writeDefaultsBack = true;
};

// On Windows the folders default to "c:\" as the setup program expects; elsewhere to the folders
// the Linux installation creates beside the plug-in: <plug-in folder>/Korvo/data and .../user.
SettingsDefaults systemSettingsDefaults();

// Fills `settings` from the store. A store that cannot be opened leaves every folder empty and
// both preferences false; otherwise missing values take their defaults (folders) or true.
void readSettings(SettingsStore& store, const SettingsDefaults& defaults, TplugSettings& settings);
// Writes the five values (a folder that took its default only when `defaults` asks for it or when
// it was changed since); a store that cannot be opened is left alone. Reports nothing.
void writeSettings(SettingsStore& store, const SettingsDefaults& defaults, const TplugSettings& settings);

}  // namespace korvo
