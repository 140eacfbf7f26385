// JSON throughput: parsing a 20 MB document (objects, arrays, strings with escapes, numbers) held
// as UTF-16, against the floor of one pass that only counts its quote characters, and serializing
// the parsed tree back in the multi-line form with 4 spaces. Best of several runs each, all in
// this one process, in processor time. MB are millions of characters of JSON text (the UTF-16 buffer is twice that).
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "formats/json_tree.h"

using namespace qel;

namespace {

uint32_t rng_state = 12345;
uint32_t next_random() {
    rng_state = rng_state * 1103515245u + 12345u;
    return rng_state >> 8;
}

void append(std::u16string& s, const char* a) {
    for (; *a; ++a) s.push_back(static_cast<unsigned char>(*a));
}

void number(std::u16string& s) {
    char t[40];
    switch (next_random() % 4) {
        case 0: std::snprintf(t, sizeof t, "%u", next_random() % 100000); break;
        case 1: std::snprintf(t, sizeof t, "-%u.%02u", next_random() % 1000, next_random() % 100); break;
        case 2: std::snprintf(t, sizeof t, "%u.%ue%d", next_random() % 10, next_random() % 1000000, static_cast<int>(next_random() % 40) - 20); break;
        default: std::snprintf(t, sizeof t, "%u%u", next_random(), next_random()); break;
    }
    append(s, t);
}

void text(std::u16string& s) {
    static const char* const words[] = {"alpha", "beta", "gamma", "delta", "settings", "window", "value", "item"};
    s.push_back(u'"');
    for (uint32_t i = 0, n = 1 + next_random() % 6; i < n; ++i) {
        if (i) s.push_back(u' ');
        append(s, words[next_random() % 8]);
        switch (next_random() % 8) {
            case 0: append(s, "\\\"q\\\""); break;
            case 1: append(s, "\\n"); break;
            case 2: append(s, "\\u00e9"); break;
            case 3: s.push_back(u'\u00e9'); break;
            case 4: append(s, "\\\\path\\/x"); break;
            default: break;
        }
    }
    s.push_back(u'"');
}

void record(std::u16string& s) {
    append(s, "{\"id\":");
    number(s);
    append(s, ",\"name\":");
    text(s);
    append(s, ",\"tags\":[");
    for (uint32_t i = 0, n = next_random() % 5; i < n; ++i) {
        if (i) s.push_back(u',');
        text(s);
    }
    append(s, "],\"price\":");
    number(s);
    append(s, next_random() % 2 ? ",\"ok\":true" : ",\"ok\":false");
    append(s, ",\"nested\":{\"x\":");
    number(s);
    append(s, ",\"y\":null,\"z\":[");
    number(s);
    s.push_back(u',');
    number(s);
    append(s, "]}}");
}

// Processor time of this process, so that other work on a shared machine does not count.
double seconds_since(std::clock_t t0) { return static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
    const size_t target = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::u16string doc = u"[";
    while (doc.size() < target) {
        if (doc.size() > 1) doc.push_back(u',');
        record(doc);
    }
    doc.push_back(u']');
    const double mb = doc.size() / 1e6;

    double floor = 1e9, parse = 1e9, serialize = 1e9;
    volatile uint32_t quotes = 0;
    uint32_t values = 0, out_units = 0;
    for (int r = 0; r < runs; ++r) {
        std::clock_t t0 = std::clock();
        uint32_t q = 0;
        const char16_t* p = doc.data();
        for (size_t i = 0, n = doc.size(); i < n; ++i) q += p[i] == u'"';
        quotes = q;
        floor = std::min(floor, seconds_since(t0));

        t0 = std::clock();
        json_value* v = json_parse(doc.data(), static_cast<uint32_t>(doc.size()));
        parse = std::min(parse, seconds_since(t0));
        if (!v) {
            std::puts("the document did not parse");
            return 1;
        }
        values = v->u.array.length;

        t0 = std::clock();
        WChar* out = json_serialize(v, json_serialize_opts{kJsonMultiline, 0, 4}, &out_units);
        serialize = std::min(serialize, seconds_since(t0));
        if (!out) {
            std::puts("the tree did not serialize");
            return 1;
        }
        std::free(out);
        json_value_free(v);
    }
    std::printf("document      %.1f MB (%u records, %u quotes)\n", mb, values, static_cast<unsigned>(quotes));
    std::printf("quote count   %8.1f ms  %8.1f MB/s  (floor)\n", floor * 1e3, mb / floor);
    std::printf("parse         %8.1f ms  %8.1f MB/s  %.2f x floor\n", parse * 1e3, mb / parse, parse / floor);
    std::printf("serialize     %8.1f ms  %8.1f MB/s of output (%.1f MB)\n", serialize * 1e3, out_units / 1e6 / serialize, out_units / 1e6);
    return 0;
}
