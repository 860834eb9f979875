// The lane kernel built for AVX2 (this file alone is compiled with -mavx2; it is called only
// where the processor reports AVX2). Nothing but the kernel lives here, so no inline code
// built for AVX2 can be shared with the rest of the program.
#define KORVO_LANES_ENTRY runAvx2
#include "voiceLanesKernel.h"
