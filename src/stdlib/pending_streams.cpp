// Placeholders for the built-ins this family has not implemented yet; each raises a
// runtime error naming itself. Remove an entry when its real definition lands.
#include "stdlib/builtins.h"
#include "vm/runtime_error.h"

namespace qel {

void bi_stream_clear(Frame*) { raise_runtime_error("stream_clear is not implemented yet"); }
void bi_stream_read(Frame*) { raise_runtime_error("stream_read is not implemented yet"); }
void bi_stream_write(Frame*) { raise_runtime_error("stream_write is not implemented yet"); }
void bi_stream_to_hex_string(Frame*) { raise_runtime_error("stream_to_hex_string is not implemented yet"); }
void bi_stream_from_hex_string(Frame*) { raise_runtime_error("stream_from_hex_string is not implemented yet"); }
void bi_stream_load_from_file(Frame*) { raise_runtime_error("stream_load_from_file is not implemented yet"); }
void bi_stream_save_to_file(Frame*) { raise_runtime_error("stream_save_to_file is not implemented yet"); }
void bi_stream_set_size(Frame*) { raise_runtime_error("stream_set_size is not implemented yet"); }
void bi_stream_set_capacity(Frame*) { raise_runtime_error("stream_set_capacity is not implemented yet"); }
void bi_compress(Frame*) { raise_runtime_error("compress is not implemented yet"); }
void bi_uncompress(Frame*) { raise_runtime_error("uncompress is not implemented yet"); }
void bi_FileExists(Frame*) { raise_runtime_error("FileExists is not implemented yet"); }
void bi_DirectoryExists(Frame*) { raise_runtime_error("DirectoryExists is not implemented yet"); }
void bi_ExtractFileName(Frame*) { raise_runtime_error("ExtractFileName is not implemented yet"); }
void bi_ExtractFileExt(Frame*) { raise_runtime_error("ExtractFileExt is not implemented yet"); }
void bi_ExtractFileDir(Frame*) { raise_runtime_error("ExtractFileDir is not implemented yet"); }
void bi_GetCurrentDir(Frame*) { raise_runtime_error("GetCurrentDir is not implemented yet"); }

}  // namespace qel
