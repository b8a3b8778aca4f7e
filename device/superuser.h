// The phone's superuser command: the forms in which the system runs a
// command as root, the quoting of a command for the phone's shell, and the
// probe that finds, once per acquisition, the form the phone's su accepts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/adb_client.h"

namespace qb::device {

enum class SuperuserForm {
    None,         // no form works: the phone is not rooted, or its su refuses
    UserCommand,  // su root CMD ARG...: the Android build's own debugging su
    DashC,        // su -c 'CMD ARG...': the su of root managers
    UidCommand,   // su 0 CMD ARG...
};

// The forms in the order they are tried. The first is the one phones were
// always sent, so a phone that accepts it sees the same commands as before.
inline constexpr SuperuserForm kSuperuserForms[] = {SuperuserForm::UserCommand, SuperuserForm::DashC,
                                                     SuperuserForm::UidCommand};

// "su root", "su -c", "su 0", or "no su" for None.
std::string_view SuperuserFormName(SuperuserForm form);

// One argument as the phone's shell reads it back unchanged: as it is when
// it holds only characters the shell takes literally, else in single
// quotes (a single quote inside written as '\'').
std::string QuoteForPhoneShell(std::string_view argument);

// The arguments after "shell" or "exec-out" that run command as root in a
// form. adb joins them with spaces into one line for the phone's shell; in
// the -c form su hands the command to a shell of its own once more, so it
// goes as one quoted word made of the quoted arguments.
std::vector<std::string> AsRoot(SuperuserForm form, const std::vector<std::string>& command);

// True when the output of "id" says the user is root: a line beginning
// "uid=0(" or "uid=0 ".
bool SaysRoot(std::string_view idOutput);

// Runs "id" through each form in order and returns the first that answers
// as root; None when none does, the device has gone, or a stop was asked.
SuperuserForm FindSuperuserForm(const DeviceLink& link);

}  // namespace qb::device
