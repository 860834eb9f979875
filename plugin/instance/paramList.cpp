#include "paramList.h"

#include <algorithm>
#include <charconv>

#include "progRecord.h"

namespace korvo {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

ParamList::ParamList() : index_(kParamWordCount, -1) {
  const ProgramRecord init = makeInitRecord();
  // Pages that own their fields first; the overviews only add a word no other page edits.
  for (const bool overview : {false, true}) {
    for (const LcdPage& page : lcdPages()) {
      if (page.overview != overview) continue;
      for (const LcdPageField& field : page.fields) {
        if (field.word < 0 || field.word >= kParamWordCount || index_[static_cast<std::size_t>(field.word)] >= 0)
          continue;
        ParamInfo p;
        p.id = field.word;
        p.name = std::string(trimmed(page.label)) + " " + field.name;
        p.min = std::min(field.lo, field.hi);
        p.max = std::max(field.lo, field.hi);
        p.defaultValue = std::clamp<int>(init.words[field.word], p.min, p.max);
        p.format = field.format;
        p.hint = field.hint;
        index_[static_cast<std::size_t>(field.word)] = 0;
        params_.push_back(std::move(p));
      }
    }
  }
  std::sort(params_.begin(), params_.end(), [](const ParamInfo& a, const ParamInfo& b) { return a.id < b.id; });
  for (std::size_t i = 0; i < params_.size(); ++i)
    index_[static_cast<std::size_t>(params_[i].id)] = static_cast<int>(i);
}

const ParamInfo* ParamList::find(int id) const {
  if (id < 0 || id >= kParamWordCount) return nullptr;
  const int i = index_[static_cast<std::size_t>(id)];
  return i < 0 ? nullptr : &params_[static_cast<std::size_t>(i)];
}

std::string ParamList::toText(int id, int value) const {
  const ParamInfo* p = find(id);
  if (!p) return {};
  value = std::clamp(value, p->min, p->max);
  return p->format ? p->format(value) : std::to_string(value);
}

std::optional<int> ParamList::fromText(int id, std::string_view text) const {
  const ParamInfo* p = find(id);
  if (!p) return std::nullopt;
  text = trimmed(text);
  if (p->format) {
    for (int v = p->min; v <= p->max; ++v)
      if (trimmed(p->format(v)) == text) return v;
  }
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (value < p->min || value > p->max) return std::nullopt;
  return value;
}

const ParamList& paramList() {
  static const ParamList list;
  return list;
}

}  // namespace korvo
