-- Ardour session steps for the real-host tests, run by ardour7-lua (headless, dummy backend).
--   create DIR NAME PLUGIN   new 48 kHz session with one MIDI track whose instrument is the LXVST
--                            plug-in named PLUGIN (as the scanner recorded it), saved
--   create-lv2 DIR NAME URI  the same with the LV2 plug-in of that URI
--   resave DIR NAME          open the session (the plug-in gets its saved state) and save it again
--                            (Ardour asks the plug-in for its state anew)
--   param DIR NAME LABEL V   open the session, set the instrument's parameter of that name to V, save
-- ardour7-lua exits 0 even when a script fails, so success is the marker line at the end.
local mode, dir, name = arg[1], arg[2], arg[3]

local function say(s) io.stderr:write("ardour_session: " .. s .. "\n") end

-- The dummy backend is hidden from scripts unless asked for.
ARDOUR.config():set_hide_dummy_backend(false)
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy audio backend")

if mode == "create" then
  local plugname = arg[4]
  assert(create_session(dir, name, 48000), "cannot create the session " .. dir)
  -- Plug-ins may be looked up only once a session exists (earlier look-ups crash 7.3).
  local info = ARDOUR.LuaAPI.new_plugin_info(plugname, ARDOUR.PluginType.LXVST)
  assert(not info:isnil(), "the scan cache has no LXVST plug-in named " .. plugname)
  local tracks = Session:new_midi_track(
    ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1), ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2),
    false, info, nil, nil, 1, "Synth", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
  assert(tracks:size() == 1, "no MIDI track")
  local track = tracks:front()
  assert(not track:nth_plugin(0):isnil(), "the track has no instrument")
  say("instrument " .. track:nth_plugin(0):display_name())
elseif mode == "create-lv2" then
  assert(create_session(dir, name, 48000), "cannot create the session " .. dir)
  local info = ARDOUR.LuaAPI.new_plugin_info(arg[4], ARDOUR.PluginType.LV2)
  assert(not info:isnil(), "Ardour found no LV2 plug-in " .. arg[4])
  local tracks = Session:new_midi_track(
    ARDOUR.ChanCount(ARDOUR.DataType("midi"), 1), ARDOUR.ChanCount(ARDOUR.DataType("audio"), 2),
    false, info, nil, nil, 1, "Synth", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal, true)
  assert(tracks:size() == 1, "no MIDI track")
  assert(not tracks:front():nth_plugin(0):isnil(), "the track has no instrument")
  say("instrument " .. tracks:front():nth_plugin(0):display_name())
elseif mode == "param" then
  assert(load_session(dir, name), "cannot open the session " .. dir)
  local label, value = arg[4], tonumber(arg[5])
  local track = Session:route_by_name("Synth")
  assert(not track:isnil(), "the session has no track Synth")
  local proc = track:nth_plugin(0)
  assert(not proc:isnil(), "the track has no instrument")
  local plug = proc:to_insert():plugin(0)
  -- LuaAPI counts the plug-in's parameters, parameter_label takes their port numbers.
  local index = -1
  for n = 0, plug:parameter_count() - 1 do
    local port = plug:nth_parameter(n, true)
    if plug:parameter_label(port) == label then index = n end
  end
  assert(index >= 0, "the instrument has no parameter " .. label)
  assert(ARDOUR.LuaAPI.set_processor_param(proc, index, value), "cannot set " .. label)
  say(label .. " = " .. value)
elseif mode == "resave" then
  assert(load_session(dir, name), "cannot open the session " .. dir)
else
  error("unknown mode " .. tostring(mode))
end

Session:save_state("", false, false, false, false, false)
close_session()
say("KORVO-REALHOST-OK")
quit()
