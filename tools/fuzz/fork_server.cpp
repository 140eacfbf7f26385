// The fuzzer's fork server: one long-lived emulated process that assembles and runs mutants,
// each in a child of its own, so a campaign pays the emulator's start-up once instead of twice
// per mutant. The child does what `qelasm build` and then `qel IMAGE` would do, from the state the
// host has before its first run; its end (exit code, signal) is the mutant's outcome.
//
// Arguments: folders holding a mutant.qsrc each, run in this process before serving (warm-up).
// Protocol, one request per line on standard input:  WORKDIR TIMEOUT_MS
//   WORKDIR holds mutant.qsrc; the child writes mutant.qel and stderr there, and asm_error when
//   the source does not assemble (no run then).
// One answer per line on standard output:  exit N | signal N | timeout
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/host.h"
#include "qelasm/authoring.h"

namespace {

long long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

void redirect(int fd, const char* path, int flags) {
    int f = open(path, flags, 0644);
    if (f >= 0) {
        dup2(f, fd);
        close(f);
    }
}

[[noreturn]] void run_child(const std::string& dir) {
    rlimit no_core{0, 0}, fsize{256u << 20, 256u << 20};
    setrlimit(RLIMIT_CORE, &no_core);
    setrlimit(RLIMIT_FSIZE, &fsize);
    if (chdir(dir.c_str()) != 0) _exit(120);
    redirect(0, "/dev/null", O_RDONLY);
    redirect(1, "/dev/null", O_WRONLY);
    redirect(2, "stderr", O_WRONLY | O_CREAT | O_TRUNC);
    std::string text, error;
    if (!qelasm::build_image_text({"mutant.qsrc"}, &text, &error) ||
        !qelasm::write_image(text, "mutant.qel", &error)) {
        FILE* f = std::fopen("asm_error", "w");
        if (f) {
            std::fputs(error.c_str(), f);
            std::fclose(f);
        }
        _exit(0);
    }
    char16_t cmd[] = u"mutant.qel";
    std::exit(qel::host_main(nullptr, nullptr, cmd, 10));
}

// Runs one image in this process before serving (its output dropped), so that the children
// inherit the emulator's translation of the assembler and the host instead of redoing it.
void warm_up(const char* dir) {
    int out = dup(1), err = dup(2);
    pid_t self = getpid();
    std::string cwd(4096, '\0');
    if (!getcwd(cwd.data(), cwd.size())) return;
    if (chdir(dir) == 0) {
        redirect(1, "/dev/null", O_WRONLY);
        redirect(2, "/dev/null", O_WRONLY);
        std::string text, error;
        if (qelasm::build_image_text({"mutant.qsrc"}, &text, &error) && qelasm::write_image(text, "mutant.qel", &error)) {
            char16_t cmd[] = u"mutant.qel";
            qel::host_main(nullptr, nullptr, cmd, 10);
        }
        if (chdir(cwd.c_str()) != 0) _exit(121);
    }
    if (getpid() != self) _exit(0);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) warm_up(argv[i]);
    char line[4096];
    while (std::fgets(line, sizeof line, stdin)) {
        char dir[4000];
        long timeout_ms = 0;
        if (std::sscanf(line, "%3999s %ld", dir, &timeout_ms) != 2) {
            std::printf("bad request\n");
            std::fflush(stdout);
            continue;
        }
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) run_child(dir);
        int status = 0;
        bool timed_out = false;
        long long deadline = now_ms() + timeout_ms;
        for (;;) {
            pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) break;
            if (r < 0) {
                status = 0;
                break;
            }
            if (now_ms() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                timed_out = true;
                break;
            }
            usleep(2000);
        }
        if (timed_out)
            std::printf("timeout\n");
        else if (WIFSIGNALED(status))
            std::printf("signal %d\n", WTERMSIG(status));
        else
            std::printf("exit %d\n", WEXITSTATUS(status));
        std::fflush(stdout);
    }
    return 0;
}
