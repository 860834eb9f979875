// The parameters Korvo shows a host: every sound word that the LCD pages edit, once. The page
// set (lcdPages.h) stays the one table they come from: names, ranges and texts are the fields'.
//   id       the word index in the sound record, stable forever (hosts store automation by it)
//   name     the page's label and the field's name as the LCD shows them ("FILT FREQ", "OSC1 OCT")
//   range    the field's integer minimum and maximum; the default is the INIT sound's value
//   text     the field's formatter, and back again for every text it gives
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lcdPages.h"

namespace korvo {

struct ParamInfo {
  int id = 0;
  std::string name;
  int min = 0;
  int max = 0;
  int defaultValue = 0;
  LcdFormat format = nullptr;  // null: the value as a number
  const char* hint = "";       // the field's help line
  // Whether the values are names rather than numbers (a host may offer them as a list).
  bool named() const { return format != nullptr; }
};

class ParamList {
 public:
  ParamList();

  // In id order.
  const std::vector<ParamInfo>& all() const { return params_; }
  std::size_t size() const { return params_.size(); }
  // Null for an id that is no parameter.
  const ParamInfo* find(int id) const;

  // The text the LCD shows for a value (clamped to the range first); empty for an unknown id.
  std::string toText(int id, int value) const;
  // The value whose text this is (blanks around it ignored), or a number within the range;
  // nothing when neither fits.
  std::optional<int> fromText(int id, std::string_view text) const;

 private:
  std::vector<ParamInfo> params_;
  std::vector<int> index_;  // word -> position in params_, -1 for none
};

// The one list, built from the page set at first use. Any thread after that first use.
const ParamList& paramList();

}  // namespace korvo
