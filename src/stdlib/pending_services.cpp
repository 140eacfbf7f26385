// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_Hash(Frame*) { raise_runtime_error("Hash is not implemented yet"); }
void bi_Random(Frame*) { raise_runtime_error("Random is not implemented yet"); }
void bi_Randomize(Frame*) { raise_runtime_error("Randomize is not implemented yet"); }
void bi_Abs(Frame*) { raise_runtime_error("Abs is not implemented yet"); }
void bi_fAbs(Frame*) { raise_runtime_error("fAbs is not implemented yet"); }
void bi_Ceil(Frame*) { raise_runtime_error("Ceil is not implemented yet"); }
void bi_Floor(Frame*) { raise_runtime_error("Floor is not implemented yet"); }
void bi_Cos(Frame*) { raise_runtime_error("Cos is not implemented yet"); }
void bi_Sin(Frame*) { raise_runtime_error("Sin is not implemented yet"); }
void bi_Sqrt(Frame*) { raise_runtime_error("Sqrt is not implemented yet"); }
void bi_Pow(Frame*) { raise_runtime_error("Pow is not implemented yet"); }
void bi_Max(Frame*) { raise_runtime_error("Max is not implemented yet"); }
void bi_Not(Frame*) { raise_runtime_error("Not is not implemented yet"); }
void bi_BNot(Frame*) { raise_runtime_error("BNot is not implemented yet"); }
void bi_RGB(Frame*) { raise_runtime_error("RGB is not implemented yet"); }
void bi_MakeARGB(Frame*) { raise_runtime_error("MakeARGB is not implemented yet"); }
void bi_ColorToRGB(Frame*) { raise_runtime_error("ColorToRGB is not implemented yet"); }
void bi_GetRValue(Frame*) { raise_runtime_error("GetRValue is not implemented yet"); }
void bi_GetGValue(Frame*) { raise_runtime_error("GetGValue is not implemented yet"); }
void bi_GetBValue(Frame*) { raise_runtime_error("GetBValue is not implemented yet"); }
void bi_HexColor(Frame*) { raise_runtime_error("HexColor is not implemented yet"); }
void bi_ARGBToD2DColor(Frame*) { raise_runtime_error("ARGBToD2DColor is not implemented yet"); }
void bi_D2DColorToARGB(Frame*) { raise_runtime_error("D2DColorToARGB is not implemented yet"); }
void bi_D2DPoint2F(Frame*) { raise_runtime_error("D2DPoint2F is not implemented yet"); }
void bi_ClipRectF(Frame*) { raise_runtime_error("ClipRectF is not implemented yet"); }
void bi_malloc(Frame*) { raise_runtime_error("malloc is not implemented yet"); }
void bi_calloc(Frame*) { raise_runtime_error("calloc is not implemented yet"); }
void bi_free(Frame*) { raise_runtime_error("free is not implemented yet"); }
void bi_memcpy(Frame*) { raise_runtime_error("memcpy is not implemented yet"); }
void bi_memset(Frame*) { raise_runtime_error("memset is not implemented yet"); }
void bi_memcmp(Frame*) { raise_runtime_error("memcmp is not implemented yet"); }
void bi_memdup(Frame*) { raise_runtime_error("memdup is not implemented yet"); }
void bi_address(Frame*) { raise_runtime_error("address is not implemented yet"); }

}  // namespace qel
