// Linux: no windows, no buffered paint, no COM. Threads end through pthread_exit.
#include <pthread.h>

#include <cstdint>

#include "platform/windowing.h"

namespace qel::platform {

const WindowApi* window_api() { return nullptr; }

void theme_bind(ThemeBinder& t, int major_version) {
    t = ThemeBinder{};
    t.major_version = major_version;
}
void theme_release(ThemeBinder& t) { t = ThemeBinder{}; }

void exit_thread(int32_t code) { pthread_exit(reinterpret_cast<void*>(static_cast<intptr_t>(code))); }

bool com_available() { return false; }
void* com_create_dispatch(const char16_t*) { return nullptr; }
char16_t* bstr_alloc(const char16_t*, uint32_t) { return nullptr; }
void bstr_free(char16_t*) {}
uint32_t bstr_length(const char16_t*) { return 0; }
void variant_clear(void*) {}

}  // namespace qel::platform
