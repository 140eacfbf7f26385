/* The floor of the image-load benchmark: read the container, inflate it in one pass and scan the
   text once (counting its lines). Loading an image cannot be faster than this.
   usage: load_floor IMAGE.qel     (prints the number of lines) */
#include <stdio.h>
#include <stdlib.h>
#include <zlib.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    FILE* f = fopen(argv[1], "rb");
    if (!f) return 2;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    unsigned char* in = malloc(size);
    if (!in || fread(in, 1, size, f) != (size_t)size) return 2;
    fclose(f);
    in[0] = 0x78; /* the container's "ql" stands where zlib's header bytes were */
    in[1] = 0x9C;
    z_stream s = {0};
    s.next_in = in;
    s.avail_in = size;
    if (inflateInit(&s) != Z_OK) return 2;
    size_t cap = 1 << 20, len = 0;
    unsigned char* out = malloc(cap);
    int status;
    do {
        if (len == cap) out = realloc(out, cap *= 2);
        s.next_out = out + len;
        s.avail_out = cap - len;
        status = inflate(&s, Z_NO_FLUSH);
        len = cap - s.avail_out;
    } while (status == Z_OK);
    if (status != Z_STREAM_END) return 2;
    inflateEnd(&s);
    long lines = 0;
    for (size_t i = 0; i < len; ++i) lines += out[i] == '\r';
    printf("%ld\n", lines);
    return 0;
}
