// The child the process tests run: each mode (the first argument) does one
// thing a real program might do to its parent. Standard library only.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>

namespace {

void Write(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "echo") {
        // Each argument as <length>:<bytes> on a line of its own.
        for (int i = 2; i < argc; ++i) {
            const std::string a = argv[i];
            Write(stdout, std::to_string(a.size()) + ":" + a + "\n");
        }
        return 0;
    }
    if (mode == "write" && argc > 2) {
        const std::size_t n = std::stoull(argv[2]);
        std::string bytes(n, '\0');
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 251);
        Write(stdout, bytes);
        return 0;
    }
    if (mode == "mixed") {
        Write(stdout, "out1\n");
        Write(stderr, "err1\n");
        Write(stdout, "out2\n");
        return 0;
    }
    if (mode == "exit" && argc > 2) return std::atoi(argv[2]);
    if (mode == "sleep" && argc > 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2])));
        Write(stdout, "slept\n");
        return 0;
    }
    if (mode == "hang") {
        // Prints its argument, then never ends by itself (a minute is far
        // beyond any limit the tests set).
        if (argc > 2) Write(stdout, argv[2]);
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    if (mode == "stdin") {
        std::size_t n = 0;
        while (std::getchar() != EOF) ++n;
        Write(stdout, std::to_string(n) + "\n");
        return 0;
    }
    if (mode == "env" && argc > 2) {
        const char* value = std::getenv(argv[2]);
        Write(stdout, value ? std::string("set:") + value : std::string("unset"));
        return 0;
    }
    if (mode == "fds") {
        // Every open descriptor beyond the standard three, with what it
        // names; the listing's own descriptor is left out.
        namespace fs = std::filesystem;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator("/proc/self/fd", ec)) {
            const std::string name = entry.path().filename().string();
            if (name == "0" || name == "1" || name == "2") continue;
            const std::string target = fs::read_symlink(entry.path(), ec).string();
            if (ec || target.rfind("/proc/", 0) == 0) continue;
            Write(stdout, name + " -> " + target + "\n");
        }
        return 0;
    }
    Write(stderr, "unknown mode\n");
    return 100;
}
