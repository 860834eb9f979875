// The generic controls of the editor window and its dialogs. Colours are Pixels (0x00RRGGBB);
// each control paints its whole client area unless it says it is transparent.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "control.h"

namespace korvo {

enum class Align { Left, Center, Right };

// A line of text. Transparent labels paint only the glyphs.
class Label : public Control {
 public:
  std::string text;
  Align alignment = Align::Left;
  bool transparent = true;
  // Sizes the label to its text when the text or font changes through setText().
  bool autoSize = false;

  void setText(std::string t);
  void paint(Canvas& canvas) override;
};

// A filled area with an optional one-pixel border.
class Panel : public Control {
 public:
  enum class Border { None, Single };
  Border border = Border::Single;
  Pixel borderColour = rgb(0, 0, 0);
  void paint(Canvas& canvas) override;
};

// A filled rectangle with an outline pen (the window's decoration bars).
class Shape : public Control {
 public:
  Pixel brush = rgb(255, 255, 255);
  Pixel pen = rgb(0, 0, 0);
  int penWidth = 1;  // 0 draws no outline
  void paint(Canvas& canvas) override;
};

// A picture at the top-left (or centred). Transparent where it has no picture.
class ImageBox : public Control {
 public:
  Image picture;
  bool center = false;
  // Sizes the control to the picture when set through setPicture().
  bool autoSize = false;
  void setPicture(Image img);
  // Draws the picture anew for a scale other than 100 % (the picture itself is shown, resampled,
  // when unset). The result is kept until the scale changes.
  std::function<Image(int percent)> drawAtScale;
  void paint(Canvas& canvas) override;

 private:
  Image scaled_;
};

// A plain push button: onClick on a release inside after a press inside; Space and Enter
// click it while focused.
class PushButton : public Control {
 public:
  PushButton();
  std::string caption;
  bool pressed() const { return pressed_; }

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void mouseMove(const MouseEvent& e) override;
  void mouseUp(const MouseEvent& e) override;
  void keyDown(int key, ShiftState shift) override;

 private:
  bool pressed_ = false;
};

// A list of text lines with one selected item, scrolled so that the selection stays in view.
class ListBox : public Control {
 public:
  ListBox();
  std::vector<std::string> items;
  Pixel colSelected = rgb(0, 120, 215);
  Pixel colSelectedText = rgb(255, 255, 255);

  int itemIndex() const { return itemIndex_; }
  // -1 clears the selection; other out-of-range values are ignored. Does not fire onChange.
  void setItemIndex(int i);
  int topIndex() const { return topIndex_; }
  int itemHeight() const;
  int visibleRows() const;
  // Item under a point in this control's coordinates, or -1.
  int itemAt(Point p) const;
  void setItems(std::vector<std::string> list);

  // The selection changed by the user (mouse or keys).
  std::function<void(ListBox&)> onChange;

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void doubleClick(const MouseEvent& e) override;
  bool mouseWheel(int delta, ShiftState shift, Point p) override;
  // Up, Down, PageUp, PageDown, Home, End move the selection.
  void keyDown(int key, ShiftState shift) override;
  bool wantsNavigationKeys() const override { return true; }

 private:
  void select(int i, bool byUser);
  void scrollIntoView();
  int itemIndex_ = -1;
  int topIndex_ = 0;
};

// A single-line text box with a caret and a selection (byte positions of UTF-8 text; the
// editor's texts are ASCII).
class TextBox : public Control {
 public:
  TextBox();
  bool upperCase = false;
  int maxLength = 0;  // 0: no limit
  bool readOnly = false;
  bool border = true;
  bool autoSelect = true;  // select all when the focus arrives
  Pixel colSelected = rgb(0, 120, 215);
  Pixel colSelectedText = rgb(255, 255, 255);

  const std::string& text() const { return text_; }
  // Sets the text (upper-cased and cut to maxLength as typing would); caret to the end.
  void setText(std::string t);
  int caret() const { return caret_; }
  int selStart() const;
  int selLength() const;
  void select(int start, int length);
  void selectAll() { select(0, static_cast<int>(text_.size())); }
  std::string selectedText() const;
  // The clipboard through the host: Ctrl+C or Ctrl+Insert copies the selection, Ctrl+X cuts it,
  // Ctrl+V or Shift+Insert pastes (the first line, without control characters).
  void copy();
  void cut();
  void paste();
  void pasteText(const std::string& text) override;
  // Position of the caret boundary nearest an x coordinate.
  int positionAt(int x) const;

  std::function<void(TextBox&)> onChange;
  // Enter pressed; the key is consumed when this is set.
  std::function<void(TextBox&)> onEnter;

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void mouseMove(const MouseEvent& e) override;
  void doubleClick(const MouseEvent& e) override;
  void keyDown(int key, ShiftState shift) override;
  void keyPress(char32_t ch) override;
  void focusChanged(bool gained) override;
  bool wantsNavigationKeys() const override { return true; }

 private:
  void replaceSelection(const std::string& with);
  void moveCaret(int to, bool extend);
  int textLeft() const { return border ? 3 : 1; }
  std::string text_;
  int caret_ = 0;
  int anchor_ = 0;  // the other end of the selection
  int scroll_ = 0;  // pixels scrolled to the left
  bool dragging_ = false;
};

}  // namespace korvo
