// The superuser command: quoting for the phone's shell, the three forms,
// the answer of "id", and the probe against each kind of su the fake
// client models (which refuse what the real ones refuse).
#include "device/superuser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/device/fake_phone.h"

namespace qb::device {
namespace {

using testsupport::FakePhone;
using testsupport::Invocation;

TEST(PhoneShellQuoting, PlainWordsStayAndOthersAreSingleQuoted) {
    const struct {
        std::string argument;
        std::string quoted;
    } cases[] = {
        {"/data/data/com.android.providers.contacts/databases/contacts2.db",
         "/data/data/com.android.providers.contacts/databases/contacts2.db"},
        {"%a", "%a"},
        {"-c", "-c"},
        {"", "''"},
        {"two words", "'two words'"},
        {"it's", "'it'\\''s'"},
        {"$HOME;rm -rf /", "'$HOME;rm -rf /'"},
        {"a\"b\\c`d", "'a\"b\\c`d'"},
    };
    for (const auto& c : cases) EXPECT_EQ(QuoteForPhoneShell(c.argument), c.quoted) << c.argument;
}

TEST(SuperuserForms, EachFormWrapsTheCommandItsOwnWay) {
    const std::vector<std::string> stat = {"stat", "-c", "%a", "/data/x.db"};
    EXPECT_EQ(AsRoot(SuperuserForm::UserCommand, stat),
              (std::vector<std::string> {"su", "root", "stat", "-c", "%a", "/data/x.db"}));
    EXPECT_EQ(AsRoot(SuperuserForm::UidCommand, stat),
              (std::vector<std::string> {"su", "0", "stat", "-c", "%a", "/data/x.db"}));
    EXPECT_EQ(AsRoot(SuperuserForm::DashC, stat), (std::vector<std::string> {"su", "-c", "'stat -c %a /data/x.db'"}));
    EXPECT_EQ(AsRoot(SuperuserForm::DashC, {"id"}), (std::vector<std::string> {"su", "-c", "id"}));
    // A word with a blank is quoted inside, and the whole once more.
    EXPECT_EQ(AsRoot(SuperuserForm::DashC, {"cat", "/sdcard/a b"}),
              (std::vector<std::string> {"su", "-c", "'cat '\\''/sdcard/a b'\\'''"}));
}

TEST(SuperuserForms, OnlyARootIdCounts) {
    EXPECT_TRUE(SaysRoot("uid=0(root) gid=0(root) groups=0(root) context=u:r:su:s0\n"));
    EXPECT_TRUE(SaysRoot("WARNING: linker: unused DT entry\r\nuid=0(root) gid=0(root)\r\n"));
    EXPECT_TRUE(SaysRoot("uid=0 gid=0\n"));
    for (const char* notRoot : {"", "uid=2000(shell) gid=2000(shell)\n", "uid=01(x)\n", "su: invalid uid/gid '-c'\n",
                                 "/system/bin/sh: su: inaccessible or not found\n", "euid=0(root)\n",
                                 "Permission denied: uid=0( is not yours\n"}) {
        EXPECT_FALSE(SaysRoot(notRoot)) << notRoot;
    }
}

TEST(SuperuserProbe, FindsTheFormEachKindOfSuAccepts) {
    const struct {
        std::string su;
        SuperuserForm form;
        std::vector<Invocation> probes;
    } cases[] = {
        {"aosp", SuperuserForm::UserCommand, {{"shell", "su", "root", "id"}}},
        {"manager", SuperuserForm::DashC, {{"shell", "su", "root", "id"}, {"shell", "su", "-c", "id"}}},
        {"", SuperuserForm::None,
         {{"shell", "su", "root", "id"}, {"shell", "su", "-c", "id"}, {"shell", "su", "0", "id"}}},
    };
    for (const auto& c : cases) {
        FakePhone phone;
        phone.SetSuKind(c.su);
        const DeviceLink link(phone.Options(), "0123456789ABCDEF");
        EXPECT_EQ(FindSuperuserForm(link), c.form) << c.su;
        std::vector<Invocation> probes;
        for (Invocation call : phone.Invocations()) {
            if (call.size() > 2 && call[0] == "-s") probes.emplace_back(call.begin() + 2, call.end());
        }
        EXPECT_EQ(probes, c.probes) << c.su;
    }
}

}  // namespace
}  // namespace qb::device
