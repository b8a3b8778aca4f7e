// The child the process tests run: each mode (the first argument) does one
// thing a real program might do to its parent. Standard library only, but
// for the system's own argument vector, stream modes and process starts on
// Windows.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

void Write(std::FILE* to, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

#ifdef _WIN32
std::string Narrow(const wchar_t* wide) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();
    return out;
}

// Starts this program again with the given mode, inheriting every
// inheritable handle (its standard output among them), and returns the new
// process's id; 0 when it cannot be started.
unsigned long StartAgain(const std::wstring& arguments) {
    wchar_t self[MAX_PATH];
    if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return 0;
    std::wstring line = L"\"" + std::wstring(self) + L"\" " + arguments;
    STARTUPINFOW startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION info {};
    if (!::CreateProcessW(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) return 0;
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return info.dwProcessId;
}
#endif

int Run(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
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
    if (mode == "exit" && argc > 2) return std::atoi(argv[2].c_str());
    if (mode == "sleep" && argc > 2) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[2].c_str())));
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
        const char* value = std::getenv(argv[2].c_str());
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
#ifdef _WIN32
    if (mode == "handle" && argc > 2) {
        // Writes to a handle value the parent had open, which reaches the
        // parent's pipe only if the handle was inherited.
        const auto handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(argv[2])));
        DWORD written = 0;
        ::WriteFile(handle, "stray", 5, &written, nullptr);
        return 0;
    }
    if (mode == "spawn-and-exit") {
        // Like a client that starts a server which lives on with the client's
        // standard output still open: prints the server's process id.
        const unsigned long pid = StartAgain(L"sleep 5000");
        Write(stdout, std::to_string(pid) + "\n");
        return pid ? 0 : 1;
    }
    if (mode == "spawn-and-hang") {
        const unsigned long pid = StartAgain(L"hang");
        Write(stdout, std::to_string(pid) + "\n");
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
#endif
    Write(stderr, "unknown mode\n");
    return 100;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // Bytes go out as written, without line-end translation.
    ::_setmode(::_fileno(stdin), _O_BINARY);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) arguments.push_back(Narrow(argv[i]));
    return Run(arguments);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv, argv + argc)); }
#endif
