// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_Length(Frame*) { raise_runtime_error("Length is not implemented yet"); }
void bi_LeftStr(Frame*) { raise_runtime_error("LeftStr is not implemented yet"); }
void bi_RightStr(Frame*) { raise_runtime_error("RightStr is not implemented yet"); }
void bi_MidStr(Frame*) { raise_runtime_error("MidStr is not implemented yet"); }
void bi_PosStr(Frame*) { raise_runtime_error("PosStr is not implemented yet"); }
void bi_InsertStr(Frame*) { raise_runtime_error("InsertStr is not implemented yet"); }
void bi_DeleteStr(Frame*) { raise_runtime_error("DeleteStr is not implemented yet"); }
void bi_Trim(Frame*) { raise_runtime_error("Trim is not implemented yet"); }
void bi_UpperCase(Frame*) { raise_runtime_error("UpperCase is not implemented yet"); }
void bi_LowerCase(Frame*) { raise_runtime_error("LowerCase is not implemented yet"); }
void bi_ReplaceStr(Frame*) { raise_runtime_error("ReplaceStr is not implemented yet"); }
void bi_ReplaceText(Frame*) { raise_runtime_error("ReplaceText is not implemented yet"); }
void bi_QuotedStr(Frame*) { raise_runtime_error("QuotedStr is not implemented yet"); }
void bi_Chr(Frame*) { raise_runtime_error("Chr is not implemented yet"); }
void bi_Asc(Frame*) { raise_runtime_error("Asc is not implemented yet"); }
void bi_IntToHex(Frame*) { raise_runtime_error("IntToHex is not implemented yet"); }
void bi_StrToInt(Frame*) { raise_runtime_error("StrToInt is not implemented yet"); }
void bi_StrToBool(Frame*) { raise_runtime_error("StrToBool is not implemented yet"); }
void bi_BoolToStr(Frame*) { raise_runtime_error("BoolToStr is not implemented yet"); }
void bi_Format(Frame*) { raise_runtime_error("Format is not implemented yet"); }
void bi_UrlEncode(Frame*) { raise_runtime_error("UrlEncode is not implemented yet"); }
void bi_Int(Frame*) { raise_runtime_error("Int is not implemented yet"); }
void bi_Long(Frame*) { raise_runtime_error("Long is not implemented yet"); }
void bi_Float(Frame*) { raise_runtime_error("Float is not implemented yet"); }
void bi_String(Frame*) { raise_runtime_error("String is not implemented yet"); }
void bi_Ptr(Frame*) { raise_runtime_error("Ptr is not implemented yet"); }
void bi_UnsignedShort(Frame*) { raise_runtime_error("UnsignedShort is not implemented yet"); }

}  // namespace qel
