#include "manualPages.h"

#include <cstdio>

#include "modSources.h"
#include "progFormat.h"
#include "soundText.h"

namespace korvo {

namespace {

// Values a field's range lists in full; longer ranges show their ends.
constexpr int kListedValues = 8;

std::string trimmed(std::string s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// A cell of a Markdown table: the pipe would end it.
std::string cell(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

std::string code(const std::string& s) { return "`" + s + "`"; }

std::string signedNumber(int v) { return v > 0 ? "+" + std::to_string(v) : std::to_string(v); }

std::string knobOf(int slot) {
  if (slot < 0 || slot > 9) return "-";
  return std::string(slot < 5 ? "upper " : "lower ") + std::to_string(slot % 5 + 1);
}

// What the display shows for `v` when the field has no formatter of its own (as the LCD
// controller's default formatters write it).
std::string plainText(const LcdPageField& f, int v) {
  if (f.lo == 0 && f.hi == 1) return v > 0 ? "ON" : "OFF";
  return f.lo < 0 || f.hi < 0 ? signedNumber(v) : std::to_string(v);
}

// A value's text without its digits: "00L" and "63L" look alike, "63X" does not.
std::string shape(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c < '0' || c > '9') out += c;
  return out;
}

std::string shown(const LcdPageField& f, int v) { return f.format ? trimmed(f.format(v)) : plainText(f, v); }

// The values column: every value of a short named range, else the two ends.
std::string valuesOf(const LcdPageField& f) {
  if (f.format == FormatWaveName) return "a wave by name (see [Waves](#waves))";
  if (f.format == FormatModSource) return "a source by name, or OFF (see [Modulation sources](#modulation-sources))";
  if (f.lo == 0 && f.hi == 1) return "OFF, ON";
  std::string text;
  if (f.format && f.hi - f.lo < kListedValues) {
    for (int v = f.lo; v <= f.hi; ++v) text += (v > f.lo ? ", " : "") + code(shown(f, v));
    return text;
  }
  if (!f.format) return code(shown(f, f.lo)) + " to " + code(shown(f, f.hi));
  // A formatter may mark parts of the range ("00L".."63L", then "00X".."63X"): each part that
  // looks alike is shown by its ends.
  for (int first = f.lo; first <= f.hi;) {
    int last = first;
    while (last < f.hi && shape(shown(f, last + 1)) == shape(shown(f, first))) ++last;
    text += (first > f.lo ? ", " : "") + code(shown(f, first)) + (last > first ? " to " + code(shown(f, last)) : "");
    first = last + 1;
  }
  return text;
}

// The name the sound's text form (korvo-patch, korvo-render --text) gives the field's word.
std::string textName(int word) {
  for (const SoundParam& p : soundParams())
    if (p.word == word) return p.name;
  return {};
}

std::string anchor(std::string name) {
  std::string out;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      out += c;
    else if (!out.empty() && out.back() != '-')
      out += '-';
  }
  while (!out.empty() && out.back() == '-') out.pop_back();
  return out;
}

void appendPage(std::string& md, const LcdPage& page, int index) {
  const std::string id = "page-" + anchor(page.name);
  md += "### " + std::to_string(index + 1) + ". " + page.name + " {#" + id + "}\n\n";
  md += "![The page \"" + page.name + "\", its first field underlined](" + pagePicturePath(index) + ")\n\n";
  if (page.overview)
    md +=
        "This page gathers fields that also have a page of their own: turning them here or there changes the "
        "same value.\n\n";
  md += "| Knob | Field | Values | What it does | Text name |\n|---|---|---|---|---|\n";
  for (const LcdPageField& f : page.fields) {
    const std::string name = textName(f.word);
    md += "| " + knobOf(f.slot) + " | " + code(f.name) + " | " + cell(valuesOf(f)) + " | " +
          cell(*f.hint ? f.hint : "") + " | " + (name.empty() ? "" : code(name)) + " |\n";
  }
  md += "\n";
}

void appendNameTable(std::string& md, const std::string& title, int first, int count, std::string (*nameOf)(int)) {
  md += "### " + title +
        "\n\n| Number | Name | Number | Name | Number | Name | Number | Name |\n"
        "|---|---|---|---|---|---|---|---|\n";
  const int rows = (count + 3) / 4;
  for (int r = 0; r < rows; ++r) {
    md += "|";
    for (int c = 0; c < 4; ++c) {
      const int n = c * rows + r;
      if (n < count)
        md += " " + std::to_string(first + n) + " | " + code(cell(nameOf(first + n))) + " |";
      else
        md += " | |";
    }
    md += "\n";
  }
  md += "\n";
}

std::string waveName(int v) { return std::string(waveNameTrimmed(v)); }
std::string sourceName(int v) { return std::string(sourceNameTrimmed(v)); }

}  // namespace

std::string pagePicturePath(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "pictures/page-%02d.png", index + 1);
  return name;
}

std::string pageReference(const std::vector<LcdPage>& pages) {
  std::string md = "## Every page of the display {#page-reference}\n\n";
  md += "The display has " + std::to_string(pages.size()) +
        " pages. The tables below list each page's fields in the order the display shows them: the knob that "
        "turns the field (upper 1 is the leftmost knob above the display, lower 5 the rightmost below it), the "
        "values it takes as the display shows them, the help text the status line shows while the mouse is "
        "over the field, and the name the sound's text form uses for it (see [korvo-patch](#korvo-patch)).\n\n";
  for (std::size_t i = 0; i < pages.size(); ++i) appendPage(md, pages[i], static_cast<int>(i));
  appendNameTable(md, "Waves", 0, kWaveCount, waveName);
  appendNameTable(md, "Modulation sources", -1, kSourceNameCount - 1, sourceName);
  return md;
}

}  // namespace korvo
