// A generic editor of a flat block of signed 16-bit words: the one path through which pages,
// managers and file code read and change a sound's parameters, keeping the modified flag.
#pragma once

#include <atomic>

#include <cstdint>
#include <string>
#include <string_view>

namespace korvo {

class CparamEditorBase {
 public:
  CparamEditorBase() = default;
  CparamEditorBase(void* record, int recordSize)
      : record_(static_cast<std::uint8_t*>(record)), recordSize_(recordSize) {}
  virtual ~CparamEditorBase() = default;
  CparamEditorBase(const CparamEditorBase&) = delete;
  CparamEditorBase& operator=(const CparamEditorBase&) = delete;

  virtual int ParamCount() const { return 0; }
  // Word `index` sign-extended; 0 for any index outside 0..ParamCount-1 (negative ones too).
  virtual int GetParam(int index) const;
  // Stores the low 16 bits; the modified flag is set only when the value differs. No range check:
  // the pages enforce their ranges.
  virtual void SetParam(int index, int value);
  virtual void SetName(std::string_view /*text*/) {}
  virtual std::string GetName() const { return {}; }
  // Zero-fills a block of record size and sets the modified flag.
  virtual void InitRecord(void* block);
  virtual void InitCurrent() { InitRecord(record_); }
  // Copies a source into the record and clears the flag; without a source the record is
  // initialised instead.
  virtual void LoadFrom(const void* source);
  virtual void SaveTo(void* target);
  virtual int RecordSize(bool flag) const { return flag ? recordSize_ : 0; }
  virtual void CopyInto(void* target, const void* source) const;
  virtual void CopyOut(const void* source, void* target) const;
  // The flag is atomic: the audio thread sets it for a word a learned controller moved and clears
  // it for a program a MIDI program change selected.
  virtual void SetModified() { modified_.store(true, std::memory_order_relaxed); }
  virtual void ClearModified() { modified_.store(false, std::memory_order_relaxed); }

  bool Modified() const { return modified_.load(std::memory_order_relaxed); }
  void* Record() const { return record_; }

 protected:
  std::uint8_t* record_ = nullptr;
  int recordSize_ = 0;
  std::atomic<bool> modified_{false};
};

}  // namespace korvo
