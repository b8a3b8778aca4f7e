#include "device/superuser.h"

namespace qb::device {
namespace {

// What the phone's shell (mksh, or toybox sh) takes literally in a word.
bool IsLiteral(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("_@%+=:,./-").find(c) != std::string_view::npos;
}

}  // namespace

std::string_view SuperuserFormName(SuperuserForm form) {
    switch (form) {
    case SuperuserForm::UserCommand: return "su root";
    case SuperuserForm::DashC: return "su -c";
    case SuperuserForm::UidCommand: return "su 0";
    case SuperuserForm::None: break;
    }
    return "no su";
}

std::string QuoteForPhoneShell(std::string_view argument) {
    bool literal = !argument.empty();
    for (const char c : argument) literal = literal && IsLiteral(c);
    if (literal) return std::string(argument);
    std::string quoted = "'";
    for (const char c : argument) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    quoted += '\'';
    return quoted;
}

std::vector<std::string> AsRoot(SuperuserForm form, const std::vector<std::string>& command) {
    std::vector<std::string> arguments {"su"};
    switch (form) {
    case SuperuserForm::DashC: {
        std::string line;
        for (const std::string& word : command) {
            if (!line.empty()) line += ' ';
            line += QuoteForPhoneShell(word);
        }
        arguments.push_back("-c");
        arguments.push_back(QuoteForPhoneShell(line));
        return arguments;
    }
    case SuperuserForm::UidCommand: arguments.push_back("0"); break;
    case SuperuserForm::UserCommand:
    case SuperuserForm::None: arguments.push_back("root"); break;
    }
    arguments.insert(arguments.end(), command.begin(), command.end());
    return arguments;
}

bool SaysRoot(std::string_view idOutput) {
    std::size_t begin = 0;
    while (begin < idOutput.size()) {
        std::size_t end = idOutput.find('\n', begin);
        if (end == std::string_view::npos) end = idOutput.size();
        std::string_view line = idOutput.substr(begin, end - begin);
        begin = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r')) {
            line.remove_prefix(1);
        }
        if (line.rfind("uid=0(", 0) == 0 || line.rfind("uid=0 ", 0) == 0) return true;
    }
    return false;
}

SuperuserForm FindSuperuserForm(const DeviceLink& link) {
    for (const SuperuserForm form : kSuperuserForms) {
        std::vector<std::string> arguments {"shell"};
        const std::vector<std::string> su = AsRoot(form, {"id"});
        arguments.insert(arguments.end(), su.begin(), su.end());
        const AdbRun run = link.Run(arguments, link.options().capturedLimit);
        if (SaysRoot(run.output)) return form;
        if (run.stopped || link.StopRequested() || SaysDeviceGone(run.output)) break;
    }
    return SuperuserForm::None;
}

}  // namespace qb::device
