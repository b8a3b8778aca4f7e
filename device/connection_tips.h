// What the user is told when the phone could not be read: how to let this
// computer debug the phone, and what to check on the connection. The
// command line prints these lines and the window draws them on its start
// screen, so both say the same.
#pragma once

#include <string_view>

namespace qb::device {

// When the phone has not yet authorised this computer.
inline constexpr std::string_view kAuthorizationTitle = "Authorization on device is required in order to continue.";
inline constexpr std::string_view kAuthorizationLine =
    "Please check your phone screen and authorize this computer as shown below.";

// Whenever no phone is ready: a heading and four numbered tips.
inline constexpr std::string_view kConnectionTipsHeading = "Cannot load data from Android Phone, please : ";
inline constexpr std::string_view kConnectionTips[4] = {
    "1. Be sure you've installed the drive of your device",
    "2. Make sure device enables USB Debugging(Setting >> Applications >> Development >> USB debugging).",
    "3. If you want to recover SMS or contacts, please make sure you've got ROOT access on your Android phone.",
    "4. If you want to recover the data on the phone's SD card, you should turn on USB storage on the device.",
};

}  // namespace qb::device
