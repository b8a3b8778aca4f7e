// A phone folder for the fake bridge client (tools/fake_adb describes the
// folder) holding a generated sample phone's databases where Android keeps
// them, in a chosen state. Used by the demos and the tests.
#pragma once

#include <string>

#include "tools/sample_phone/sample_phone.h"

namespace qb::tools {

struct FakePhoneState {
    std::string state = "device";  // what "adb devices" lists; "none" for no phone
    bool rooted = true;            // the phone has a working su
    std::string su = "aosp";       // which su: "aosp" (su root CMD...) or "manager" (su -c '...')
    bool selinux = false;          // SELinux enforcing: pulls under /data are refused
    // Android 7 and later: the messaging database in the device-encrypted
    // storage, /data/user_de/0/..., while the old folder is left without it.
    bool android7 = false;
};

// Copies the sample's contacts2.db and mmssms.db with their companions into
// phone/fs/<remote path>, writes the state, su and SELinux files, and
// removes what an earlier run left (bridge server, log, modes). False with a
// reason when something cannot be written.
bool LayOutFakePhone(const SamplePhonePaths& sample, const std::string& phone, const FakePhoneState& state,
                     std::string* error);

}  // namespace qb::tools
