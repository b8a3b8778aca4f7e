// The exports for phones and spreadsheets: the text every format starts
// from, the exact shape of a vCard, an SMS backup document and the CSV
// tables with hostile texts, the formats a list names, and which files a
// recovery writes where. Folding, and the files as a whole, are read back by
// real parsers in export_readback_test.py.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "output/csv_export.h"
#include "output/export_formats.h"
#include "output/export_text.h"
#include "output/recover_job.h"
#include "output/recover_state.h"
#include "output/sms_backup_xml.h"
#include "output/vcard_export.h"
#include "platform/file.h"
#include "tests/support/temp_folder.h"

namespace qb::output {
namespace {

using dbrecover::ContactItem;
using dbrecover::MsgItem;
using dbrecover::MsgThread;

const std::string kFffd = "\xEF\xBF\xBD";

TEST(ExportText, KeepsWellFormedTextAndReplacesWhatNoReaderTakes) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"Zoë 小明 🙈 \t\n\r\x7F", "Zoë 小明 🙈 \t\n\r\x7F"},
        {std::string("a\0b\x01\x1F", 5), "a" + kFffd + "b" + kFffd + kFffd},
        {"\xFF\xFE", kFffd + kFffd},                          // bytes that start nothing
        {"\xC0\xAF", kFffd + kFffd},                          // overlong "/"
        {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // a surrogate
        {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // beyond U+10FFFF
        {"\xEF\xBF\xBF", kFffd + kFffd + kFffd},              // U+FFFF
        {"x\xE2\x82", "x" + kFffd + kFffd},                   // cut off at the end
        {"\xE2\x82 ", kFffd + kFffd + " "},                   // cut off before a space
    };
    for (const auto& c : cases) EXPECT_EQ(CleanText(c.in), c.out) << c.in;
}

ContactItem Hostile() {
    ContactItem c;
    c.deleted = 1;
    c.name = "Lee, Ann; \\Jr|Annie B";
    c.phone = "+33 6 12|0612";
    c.email = "a@x.org";
    c.note = "one\r\ntwo\nthree\rfour\x01";
    c.organization = "A;B";
    c.postalAddress = "1 rue\nParis";
    c.im = "ann_im";
    c.nickname = "Nan";
    c.website = "http://x.org/a,b";
    c.sipAddress = "ann@sip.x.org";
    c.others = "1|1988-06-21";
    return c;
}

TEST(VCard, WritesEveryFieldEscapedAndMarksTheDeleted) {
    ContactItem hostile = Hostile();
    ContactItem empty;
    const std::vector<ContactItem*> list = {&hostile, &empty};
    EXPECT_EQ(BuildVCards(list),
              "BEGIN:VCARD\r\nVERSION:3.0\r\n"
              "FN:Lee\\, Ann\\; \\\\Jr\r\n"
              "N:Lee\\, Ann\\; \\\\Jr;;;;\r\n"
              "X-QUILLBROOK-NAME:Annie B\r\n"
              "NICKNAME:Nan\r\n"
              "TEL:+33 6 12\r\nTEL:0612\r\n"
              "EMAIL;TYPE=INTERNET:a@x.org\r\n"
              "ADR:;;1 rue\\nParis;;;;\r\n"
              "ORG:A\\;B\r\n"
              "IMPP:ann_im\r\n"
              "X-SIP:ann@sip.x.org\r\n"
              "URL:http://x.org/a\\,b\r\n"
              "NOTE:one\\ntwo\\nthree\\nfour" + kFffd + "\r\n"
              "X-QUILLBROOK-OTHER:1\r\nX-QUILLBROOK-OTHER:1988-06-21\r\n"
              "X-QUILLBROOK-DELETED:YES\r\n"
              "END:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:\r\nN:;;;;\r\nEND:VCARD\r\n");
}

MsgThread Conversation() {
    MsgThread t;
    t.name = "Ann|Ann Lee";
    t.address = "+33 6 12";
    t.deleted = 1;
    MsgItem m;
    m.type = 2;
    m.date = 1400000000123;
    m.dateText = "2014-05-13 16:53:20";
    m.address = "+33 6 12";
    m.body = "Tom & Jerry <3 \"q\" 'a' >\r\nnext\tline\x02";
    t.messages.push_back(m);
    m.type = 1;
    m.deleted = 1;
    m.body = "=HYPERLINK(\"x\")";
    t.messages.push_back(m);
    return t;
}

TEST(SmsBackup, WritesEachMessageWithItsAttributesEscaped) {
    MsgThread named = Conversation();
    MsgThread unnamed;
    unnamed.address = "12345";
    MsgItem m;
    m.type = 1;
    m.address = "12345";
    unnamed.messages.push_back(m);
    MsgThread none;
    const std::vector<MsgThread*> list = {&named, &none, &unnamed};
    const std::string tail =
        "\" toa=\"null\" sc_toa=\"null\" service_center=\"null\" read=\"1\" status=\"-1\" locked=\"0\" date_sent=\"0\" ";
    EXPECT_EQ(BuildSmsBackupXml(list),
              "<?xml version='1.0' encoding='UTF-8' standalone='yes' ?>\n<smses count=\"3\">\n"
              "  <sms protocol=\"0\" address=\"+33 6 12\" date=\"1400000000123\" type=\"2\" subject=\"null\" "
              "body=\"Tom &amp; Jerry &lt;3 &quot;q&quot; &apos;a&apos; &gt;&#13;&#10;next&#9;line" + kFffd + tail +
              "readable_date=\"2014-05-13 16:53:20\" contact_name=\"Ann\" />\n"
              "  <sms protocol=\"0\" address=\"+33 6 12\" date=\"1400000000123\" type=\"1\" subject=\"null\" "
              "body=\"=HYPERLINK(&quot;x&quot;)" + tail +
              "readable_date=\"2014-05-13 16:53:20\" contact_name=\"Ann\" />\n"
              "  <sms protocol=\"0\" address=\"12345\" date=\"0\" type=\"1\" subject=\"null\" body=\"" + tail +
              "readable_date=\"\" contact_name=\"(Unknown)\" />\n"
              "</smses>\n");
}

TEST(Csv, QuotesEveryCellAndKeepsFormulasAsText) {
    const struct {
        std::string cell, written;
    } cells[] = {
        {"plain", "\"plain\""},
        {"say \"hi\",\r\nbye", "\"say \"\"hi\"\",\r\nbye\""},
        {"=1+1", "\"'=1+1\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""},
        {"+cmd|' /C calc'!A0", "\"'+cmd|' /C calc'!A0\""},
        {"- note", "\"'- note\""},
        {"+33 6 12-34-56 (0)", "\"+33 6 12-34-56 (0)\""},
        {"-12.5", "\"-12.5\""},
        {"+", "\"'+\""},
        {"+33 6 12|+44 20", "\"+33 6 12|+44 20\""},
        {"a\x01", "\"a" + kFffd + "\""},
    };
    for (const auto& c : cells) {
        ContactItem contact;
        contact.name = c.cell;
        const std::vector<ContactItem*> list = {&contact};
        const std::string csv = BuildContactsCsv(list);
        const std::string row = "\"1\",\"No\"," + c.written + ",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\"\r\n";
        EXPECT_EQ(csv.substr(csv.find("\r\n") + 2), row) << c.cell;
    }
}

TEST(Csv, MessagesTableHasARowPerMessageWithItsMarks) {
    MsgThread named = Conversation();
    named.messages[0].type = 7;
    MsgThread none;
    none.address = "555";
    const std::vector<MsgThread*> threads = {&named, &none};
    EXPECT_EQ(BuildMessagesCsv(threads),
              "\xEF\xBB\xBF\"Conversation\",\"Conversation Deleted\",\"Name\",\"Phone Number\",\"Date Time\",\"Type\","
              "\"Deleted\",\"Text\"\r\n"
              "\"1\",\"Yes\",\"Ann|Ann Lee\",\"+33 6 12\",\"2014-05-13 16:53:20\",\"7\",\"No\",\"Tom & Jerry <3 "
              "\"\"q\"\" 'a' >\r\nnext\tline" + kFffd + "\"\r\n"
              "\"1\",\"Yes\",\"Ann|Ann Lee\",\"+33 6 12\",\"2014-05-13 16:53:20\",\"Received\",\"Yes\","
              "\"'=HYPERLINK(\"\"x\"\")\"\r\n"
              "\"2\",\"No\",\"\",\"555\",\"\",\"\",\"\",\"\"\r\n");
}

TEST(ExportFormatList, NamesTheFormatsOrTheEntryThatIsNone) {
    const struct {
        const char* list;
        bool ok, html, vcf, xml, csv;
        const char* unknown;
    } cases[] = {
        {"html,vcf,xml,csv", true, true, true, true, true, ""},
        {"vcf", true, false, true, false, false, ""},
        {"csv, xml", true, false, false, true, true, ""},
        {"html,pdf", false, false, false, false, false, "pdf"},
        {"", false, false, false, false, false, ""},
        {"html,", false, false, false, false, false, ""},
        {"HTML", false, false, false, false, false, "HTML"},
    };
    for (const auto& c : cases) {
        std::string unknown = "unset";
        const auto formats = ParseExportFormats(c.list, &unknown);
        ASSERT_EQ(formats.has_value(), c.ok) << c.list;
        if (!formats) {
            EXPECT_EQ(unknown, c.unknown) << c.list;
            continue;
        }
        EXPECT_EQ(formats->html, c.html) << c.list;
        EXPECT_EQ(formats->vcf, c.vcf) << c.list;
        EXPECT_EQ(formats->xml, c.xml) << c.list;
        EXPECT_EQ(formats->csv, c.csv) << c.list;
    }
}

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(folder), error)) {
        names.push_back(std::filesystem::relative(entry.path(), folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RecoverJobExports, EachCategoryFolderHoldsTheChosenFiles) {
    ContactItem contact = Hostile();
    MsgThread thread = Conversation();
    const std::vector<ContactItem*> contacts = {&contact};
    const std::vector<MsgThread*> threads = {&thread};
    RecoverCategory contactCategory;
    contactCategory.contacts = &contacts;
    RecoverCategory messageCategory;
    messageCategory.kind = kRecoverMessages;
    messageCategory.threads = &threads;
    const struct {
        const char* formats;
        std::vector<std::string> files;
    } cases[] = {
        {"html,vcf,xml,csv",
         {"Contacts(1)", "Contacts(1)/Contacts.csv", "Contacts(1)/Contacts.html", "Contacts(1)/Contacts.vcf",
          "Messages(1)", "Messages(1)/Messages.csv", "Messages(1)/Messages.html", "Messages(1)/Messages.xml"}},
        {"vcf,xml", {"Contacts(1)", "Contacts(1)/Contacts.vcf", "Messages(1)", "Messages(1)/Messages.xml"}},
        {"xml", {"Messages(1)", "Messages(1)/Messages.xml"}},
    };
    for (const auto& c : cases) {
        testsupport::ScopedTempFolder root {"qb-export-root-"};
        testsupport::ScopedTempFolder templates {"qb-export-template-"};
        RecoverProgress progress;
        const RecoverOutcome outcome = RunRecoverJob(
            {contactCategory, messageCategory}, root.path(),
            progress, templates.Write("template.html", "<title></title>var data = [];"), *ParseExportFormats(c.formats));
        recoverState.store(0);
        const std::uint64_t categories = c.files.front() == "Contacts(1)" ? 2 : 1;
        EXPECT_EQ(Entries(root.path()), c.files) << c.formats;
        EXPECT_EQ(outcome.reports.size() + categories, c.files.size()) << c.formats;
        EXPECT_EQ(outcome.total, categories) << c.formats;
        EXPECT_EQ(outcome.done, categories) << c.formats;
        EXPECT_TRUE(outcome.problems.empty()) << c.formats;
        if (categories == 2) {
            EXPECT_EQ(platform::ReadWholeFile(platform::JoinPath(root.path(), "Contacts(1)/Contacts.vcf")),
                      BuildVCards(contacts));
        }
    }
}

TEST(RecoverJobExports, AnExportThatCannotBeWrittenIsNamedAndItsRecordsAreNotDone) {
    ContactItem contact = Hostile();
    const std::vector<ContactItem*> contacts = {&contact};
    RecoverCategory category;
    category.contacts = &contacts;
    testsupport::ScopedTempFolder root {"qb-export-root-"};
    // A folder where the card file should go.
    ASSERT_TRUE(platform::CreateFolders(platform::JoinPath(root.path(), "Contacts(1)/Contacts.vcf")));
    testsupport::ScopedTempFolder templates {"qb-export-template-"};
    RecoverProgress progress;
    const RecoverOutcome outcome =
        RunRecoverJob({category}, root.path(), progress, templates.Write("t.html", "<title></title>var data = [];"));
    recoverState.store(0);
    EXPECT_EQ(outcome.done, 0u);
    ASSERT_EQ(outcome.problems.size(), 1u);
    EXPECT_NE(outcome.problems[0].find("Contacts.vcf"), std::string::npos) << outcome.problems[0];
    EXPECT_EQ(outcome.reports.size(), 2u);  // the page and the table
}

}  // namespace
}  // namespace qb::output
