// The dots per inch Windows gives a window, for the editor's default scale.
#pragma once

namespace korvo {

// The DPI of the window (an HWND; null for the primary screen): GetDpiForWindow where the
// system has it (Windows 10 1607 on, looked up at run time so older systems still load the
// plug-in), else the screen's LOGPIXELSX. 96 when neither answers.
int windowDpi(void* hwnd);

}  // namespace korvo
