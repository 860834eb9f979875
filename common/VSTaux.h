// Small file, text, number and floating-point helpers shared by every layer.
// Depends on the standard library only, so the DSP and sound units may use it too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvo {

// Files -----------------------------------------------------------------------------------------

// Largest file readWholeFile accepts unless told otherwise; every format the plug-in reads is far
// smaller, so anything bigger is refused instead of being pulled into memory.
inline constexpr std::size_t kMaxReadSize = 64u * 1024u * 1024u;

// Reads the whole file. Returns its size and fills `out`; returns 0 and leaves `out` untouched when
// the file cannot be opened, is empty, is larger than maxSize or a read fails.
std::size_t readWholeFile(const std::string& fileName, std::vector<std::uint8_t>& out,
                          std::size_t maxSize = kMaxReadSize);

// Writes `size` bytes. The bytes go to a temporary file of a name of its own beside the target that
// then replaces it, so an interrupted write never destroys the old copy. The new file keeps the old
// one's permissions, a symbolic link is written through to the file it names (the link stays), and
// a read-only target is refused (EACCES) and left as it is. Returns 0 on success, else an error
// code (errno style). A null buffer or zero size writes nothing and returns 0.
int writeWholeFile(const std::string& fileName, const void* data, std::size_t size);
// A few words for an error code of writeWholeFile ("the file or its folder is read-only").
std::string describeWriteError(int error);

// The folder separator of this system ('\\' on Windows, '/' elsewhere).
char pathSeparator();

// folder + name with one separator between them; an empty folder yields the bare name, and a
// folder that already ends in a separator ('/' or '\\') gets none added.
std::string joinPath(std::string_view folder, std::string_view name);

// Replaces the characters that file systems refuse: " -> ', * and ? -> ~, / : \ | -> -,
// < -> [, > -> ].
std::string sanitizeFileName(std::string_view text);

// Text ------------------------------------------------------------------------------------------

// width <= 0: empty. Else |value| in decimal left-padded with '0' to width; a negative value is
// padded to width - 1 and then given a leading '-'.
std::string zeroPad(int value, int width);

// Number of decimal digits of a non-negative integer (1 for 0..9).
int digitCount(std::uint32_t value);

// "C-2 " .. "G8  ": name from the twelve pitch names and octave n / 12 - 2, right-padded with
// blanks to at least four characters (at most seven characters in all).
const std::array<std::string, 128>& noteNames();

// Numbers ---------------------------------------------------------------------------------------

// base^exponent by repeated squaring; a negative exponent gives the reciprocal.
double intPower(double base, int exponent);

// base^exponent: exponent 0 -> 1, base 0 with positive exponent -> 0, an integral exponent that
// fits 32 bits -> intPower, else exp2(exponent * log2(base)).
double power(double base, double exponent);

// float -> 32-bit integer by the current rounding mode of the floating-point unit.
std::int32_t roundCurrent(double x);
// float -> integer truncated toward zero.
std::int32_t truncate(double x);
// x minus its integer part (keeps the sign of x).
double fraction(double x);

// Floating-point unit ---------------------------------------------------------------------------

// The control state that decides rounding and denormal handling: MXCSR for SSE and, on 32-bit
// x86, the x87 control word as well. Elsewhere both stay zero and the operations do nothing.
struct FpControl {
  std::uint32_t mxcsr = 0;
  std::uint16_t x87 = 0;
};

FpControl readFpControl();
// Loads a control state, clearing pending exception flags first.
void loadFpControl(const FpControl& control);
// Loads `control` with the rounding field forced to round-toward-zero.
void loadFpControlTruncating(const FpControl& control);

// While alive: rounding toward zero, denormals flushed to zero (FTZ and DAZ); the caller's state
// is restored on destruction. This is the state the render runs in.
class ScopedRenderFpu {
 public:
  ScopedRenderFpu();
  ~ScopedRenderFpu();
  ScopedRenderFpu(const ScopedRenderFpu&) = delete;
  ScopedRenderFpu& operator=(const ScopedRenderFpu&) = delete;

 private:
  FpControl saved_;
};

}  // namespace korvo
