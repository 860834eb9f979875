#include "lv2Ttl.h"

#include <algorithm>
#include <cstdio>

#include "lv2Ports.h"

namespace korvo::lv2 {

namespace {

constexpr const char* kPrefixes =
    "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap: <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix midi: <http://lv2plug.in/ns/ext/midi#> .\n"
    "@prefix opts: <http://lv2plug.in/ns/ext/options#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
    "@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .\n"
    "@prefix urid: <http://lv2plug.in/ns/ext/urid#> .\n"
    "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n"
    "\n";

std::string uri(const char* text) { return std::string("<") + text + ">"; }

void audioOut(std::string& out, unsigned index, const char* symbol, const char* name) {
  out += "    a lv2:OutputPort , lv2:AudioPort ;\n    lv2:index " + std::to_string(index) + " ;\n    lv2:symbol \"" +
         symbol + "\" ;\n    lv2:name \"" + name + "\"\n";
}

void controlInput(std::string& out, std::size_t i) {
  const ParamInfo& p = paramList().all()[i];
  out += "    a lv2:InputPort , lv2:ControlPort ;\n";
  out += "    lv2:index " + std::to_string(controlPort(i)) + " ;\n";
  out += "    lv2:symbol \"" + portSymbols()[i] + "\" ;\n";
  out += "    lv2:name " + ttlString(p.name) + " ;\n";
  if (p.hint && *p.hint) out += "    rdfs:comment " + ttlString(p.hint) + " ;\n";
  out += "    lv2:default " + std::to_string(p.defaultValue) + " ;\n";
  out += "    lv2:minimum " + std::to_string(p.min) + " ;\n";
  out += "    lv2:maximum " + std::to_string(p.max) + " ;\n";
  out += "    lv2:portProperty lv2:integer";
  if (p.named()) {
    // Every value has its name: the host may offer them as a list.
    out += " , lv2:enumeration ;\n    lv2:scalePoint";
    for (int v = p.min; v <= p.max; ++v) {
      out += v == p.min ? " " : " ,\n        ";
      out += "[ rdfs:label " + ttlString(paramList().toText(p.id, v)) + " ; rdf:value " + std::to_string(v) + " ]";
    }
  }
  out += "\n";
}

}  // namespace

std::string presetUri(std::size_t program) {
  char text[40];
  std::snprintf(text, sizeof text, "urn:korvo:synth:preset:%03zu", program + 1);
  return text;
}

std::string ttlString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20 || u > 0x7E) {
      out += '?';  // the LCD's own glyphs have no place in a host's list
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string base64(const void* data, std::size_t size) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::string out;
  for (std::size_t i = 0; i < size; i += 3) {
    const unsigned b0 = bytes[i];
    const unsigned b1 = i + 1 < size ? bytes[i + 1] : 0;
    const unsigned b2 = i + 2 < size ? bytes[i + 2] : 0;
    const unsigned triple = (b0 << 16) | (b1 << 8) | b2;
    out += kDigits[(triple >> 18) & 63];
    out += kDigits[(triple >> 12) & 63];
    out += i + 1 < size ? kDigits[(triple >> 6) & 63] : '=';
    out += i + 2 < size ? kDigits[triple & 63] : '=';
  }
  return out;
}

std::string manifestTtl(const std::string& binary, const std::vector<ProgramRecord>& presets) {
  std::string out = kPrefixes;
  out += uri(kPluginUri) + "\n    a lv2:Plugin , lv2:InstrumentPlugin ;\n    lv2:binary <" + binary +
         "> ;\n    rdfs:seeAlso <korvo.ttl> .\n\n";
  out += uri(kUiUri) + "\n    a ui:X11UI ;\n    ui:binary <" + binary + "> ;\n    rdfs:seeAlso <korvo.ttl> .\n";
  for (std::size_t i = 0; i < presets.size(); ++i) {
    out += "\n<" + presetUri(i) + ">\n    a pset:Preset ;\n    lv2:appliesTo " + uri(kPluginUri) +
           " ;\n    rdfs:label " + ttlString(displayName(presets[i])) + " ;\n    rdfs:seeAlso <presets.ttl> .\n";
  }
  return out;
}

std::string pluginTtl() {
  std::string out = kPrefixes;
  out += uri(kPluginUri) + "\n";
  out += "    a lv2:Plugin , lv2:InstrumentPlugin , doap:Project ;\n";
  out += "    doap:name \"Korvo\" ;\n";
  // Hosts show the maintainer as the plug-in's maker ("by Unknown" without one).
  out += "    doap:maintainer [ foaf:name \"Korvo\" ] ;\n";
  out += "    lv2:requiredFeature urid:map ;\n";
  out += "    lv2:optionalFeature lv2:hardRTCapable ;\n";
  out += "    lv2:extensionData state:interface ;\n";
  out += "    ui:ui " + uri(kUiUri) + " ;\n";
  out += "    lv2:port [\n";
  out +=
      "    a lv2:InputPort , atom:AtomPort ;\n    atom:bufferType atom:Sequence ;\n    atom:supports midi:MidiEvent "
      ";\n";
  out += "    lv2:designation lv2:control ;\n    lv2:index " + std::to_string(kMidiPort) +
         " ;\n    lv2:symbol \"midi_in\" ;\n    lv2:name \"MIDI In\"\n";
  out += "] , [\n";
  audioOut(out, kLeftPort, "out_left", "Left");
  out += "] , [\n";
  audioOut(out, kRightPort, "out_right", "Right");
  for (std::size_t i = 0; i < paramList().size(); ++i) {
    out += "] , [\n";
    controlInput(out, i);
  }
  out += "] .\n\n";
  out += uri(kUiUri) + "\n";
  out += "    a ui:X11UI ;\n";
  out += "    lv2:requiredFeature ui:idleInterface ;\n";
  out +=
      "    lv2:optionalFeature ui:parent , ui:resize , <http://lv2plug.in/ns/ext/instance-access> , opts:options ;\n";
  out += "    lv2:extensionData ui:idleInterface .\n\n";
  // The state's one property and its type, so hosts and validators know what a preset holds.
  out += uri(kStateKey) + "\n    a rdf:Property ;\n    rdfs:label \"edit buffer\" ;\n";
  out += "    rdfs:comment \"The sound being played and edited: its 544-byte record.\" ;\n";
  out += "    rdfs:range " + uri(kStateType) + " .\n\n";
  out += uri(kStateType) + "\n    a rdfs:Class ;\n    rdfs:label \"edit buffer record\" .\n\n";
  out += uri(kAppliedKey) + "\n    a rdf:Property ;\n    rdfs:label \"applied controls\" ;\n";
  out += "    rdfs:comment \"The control values the plug-in had last applied when the state was saved.\" ;\n";
  out += "    rdfs:range " + uri(kAppliedType) + " .\n\n";
  out += uri(kAppliedType) + "\n    a rdfs:Class ;\n    rdfs:label \"control values\" .\n";
  return out;
}

std::string presetsTtl(const std::vector<ProgramRecord>& presets) {
  std::string out = kPrefixes;
  const auto& params = paramList().all();
  for (std::size_t i = 0; i < presets.size(); ++i) {
    const ProgramRecord& r = presets[i];
    out += "<" + presetUri(i) + ">\n    a pset:Preset ;\n    lv2:appliesTo " + uri(kPluginUri) + " ;\n";
    out += "    rdfs:label " + ttlString(displayName(r)) + " ;\n    lv2:port";
    for (std::size_t k = 0; k < params.size(); ++k) {
      const int value = std::clamp<int>(r.words[params[k].id], params[k].min, params[k].max);
      out += k == 0 ? " " : " ,\n        ";
      out += "[ lv2:symbol \"" + portSymbols()[k] + "\" ; pset:value " + std::to_string(value) + " ]";
    }
    // The form lilv (sratom) writes and reads for a value of a type of the plug-in's own: a
    // node of that type with the bytes as its base64 value (a literal typed with it is dropped).
    out += " ;\n    state:state [\n        " + uri(kStateKey) + " [\n            a " + uri(kStateType) +
           " ;\n            rdf:value \"" + base64(&r, sizeof r) + "\"^^xsd:base64Binary\n        ]\n    ] .\n\n";
  }
  return out;
}

}  // namespace korvo::lv2
